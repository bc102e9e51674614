// The conference service on a file store, driven over standard input and output, so that tests
// can kill it at any moment and start it again on the same file. Each input line is a command,
// answered by one line per delivery ("ADDRESS XML") and a line holding a single dot:
//   join ROOM ADDRESS NAME
//   send ADDRESS XML
// Usage: store_service FILE
#include <cstdio>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "server/conference_server.h"
#include "server/sqlite_store.h"

namespace {

void Answer(const std::vector<quenlo::server::Delivery>& deliveries) {
  for (const auto& delivery : deliveries) std::cout << delivery.to << ' ' << delivery.xml << '\n';
  std::cout << '.' << std::endl;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: store_service FILE\n";
    return 2;
  }
  try {
    quenlo::server::ConferenceServer server(&std::chrono::system_clock::now,
                                            std::make_unique<quenlo::server::SqliteStore>(argv[1]));
    std::string line;
    while (std::getline(std::cin, line)) {
      std::istringstream words(line);
      std::string command, address;
      words >> command;
      if (command == "join") {
        std::string room, name;
        words >> room >> address >> name;
        server.OpenRoom(room);
        const auto missed = server.Join(room, address, name);
        Answer(missed ? *missed : std::vector<quenlo::server::Delivery>{});
      } else if (command == "send") {
        words >> address;
        std::string xml;
        std::getline(words >> std::ws, xml);
        Answer(server.Receive(address, xml));
      } else {
        std::cerr << "store_service: unknown command " << command << '\n';
        return 2;
      }
    }
  } catch (const quenlo::server::StoreError& error) {
    std::cerr << "store_service: " << error.what() << '\n';
    return 1;
  }
  return 0;
}
