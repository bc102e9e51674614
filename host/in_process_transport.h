// The embedded transport: participants and the conference server simulator in one process.
// Every packet still crosses as serialised text, so the module meets exactly what a network
// would bring it. Packets for participants wait in a queue until DeliverPending, so that a
// command returns before its answer arrives, as it would over a network.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>

#include "host/transport.h"
#include "server/conference_server.h"

namespace quenlo::host {

class InProcessTransport final : public Transport {
 public:
  explicit InProcessTransport(server::ConferenceServer& server);

  void Connect(const Endpoint& endpoint, PacketReceiver& receiver) override;
  void Disconnect(const std::string& address) override;
  // The server learns the sender from the connection, as a real server stamps "from".
  void Send(const std::string& from, std::string xml) override;

  // Hands every queued packet to its receiver, including those that handling them sends in
  // turn, until the queue is empty. Gives the number delivered. One thread delivers: the module
  // expects the packets of one session one at a time.
  std::size_t DeliverPending();
  // Lets the server end the votes whose time ran out; their pushes join the queue.
  void Tick();

  // Sees every packet in both directions, in the order they travel.
  void SetWireObserver(WireObserver observer);

 private:
  struct Connection {
    Endpoint endpoint;
    PacketReceiver* receiver;
  };

  void Enqueue(std::vector<server::Delivery> deliveries);
  void Observe(const WirePacket& packet);

  server::ConferenceServer& server_;
  std::mutex mutex_;
  std::map<std::string, Connection, std::less<>> connections_;
  std::deque<server::Delivery> queue_;
  WireObserver observer_;
};

}  // namespace quenlo::host
