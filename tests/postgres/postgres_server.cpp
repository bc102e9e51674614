#include "tests/postgres/postgres_server.h"

#include <pwd.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <pqxx/pqxx>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

#include "tests/xmpp/prosody_server.h"

namespace quenlo::postgres_test {
namespace {

constexpr char kBin[] = "/usr/lib/postgresql/15/bin/";
constexpr char kUser[] = "postgres";

std::string Tail(const std::string& text, std::size_t length) {
  return text.size() <= length ? text : text.substr(text.size() - length);
}

// `arguments` run as the postgres user when this process is root; the child dies with us.
std::vector<std::string> AsServerUser(std::vector<std::string> arguments) {
  if (geteuid() != 0) return arguments;
  std::vector<std::string> wrapped = {"setpriv",       "--reuid",     kUser,  "--regid", kUser,
                                      "--init-groups", "--pdeathsig", "KILL", "--"};
  wrapped.insert(wrapped.end(), arguments.begin(), arguments.end());
  return wrapped;
}

}  // namespace

PostgresServer::PostgresServer(bool flushes) {
  std::string pattern =
      (std::filesystem::temp_directory_path() / "quenlo-postgres-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a temp folder");
  directory_ = pattern;
  if (geteuid() == 0) {
    const passwd* user = getpwnam(kUser);
    if (user == nullptr || chown(directory_.c_str(), user->pw_uid, user->pw_gid) != 0) {
      throw std::runtime_error("cannot hand " + directory_ + " to the postgres user");
    }
  }
  const std::string data = directory_ + "/data";
  {
    xmpp_test::ChildProcess initdb(
        AsServerUser({std::string(kBin) + "initdb", "--pgdata", data, "--username", kUser, "--auth",
                      "trust", "--encoding", "UTF8", "--locale", "C", "--no-sync"}),
        directory_ + "/initdb.log");
    const auto status = initdb.WaitForExit(std::chrono::seconds(60));
    if (!status || !WIFEXITED(*status) || WEXITSTATUS(*status) != 0) {
      throw std::runtime_error("initdb failed: " +
                               Tail(xmpp_test::ReadFile(directory_ + "/initdb.log"), 2000));
    }
  }
  port_ = xmpp_test::FreeLoopbackPort();
  std::vector<std::string> command = {std::string(kBin) + "postgres",
                                      "-D",
                                      data,
                                      "-p",
                                      std::to_string(port_),
                                      "-c",
                                      "listen_addresses=127.0.0.1",
                                      "-c",
                                      "unix_socket_directories=" + directory_,
                                      "-c",
                                      "max_connections=50"};
  if (!flushes) {
    // Losing the data of a throwaway server at a crash costs nothing; flushing it costs seconds.
    command.insert(command.end(), {"-c", "fsync=off", "-c", "full_page_writes=off"});
  }
  process_ = std::make_unique<xmpp_test::ChildProcess>(AsServerUser(std::move(command)),
                                                       directory_ + "/postgres.log");
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (true) {
    try {
      Query(Uri("postgres"), "SELECT 1");
      break;
    } catch (const std::runtime_error&) {
      if (!process_->running() || std::chrono::steady_clock::now() > until) {
        const std::string log = xmpp_test::ReadFile(directory_ + "/postgres.log");
        process_.reset();
        throw std::runtime_error("PostgreSQL did not start: " + Tail(log, 2000));
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
}

PostgresServer::~PostgresServer() {
  // SIGINT is PostgreSQL's fast shutdown: it ends every session and stops at once.
  if (process_) process_->Stop(SIGINT, std::chrono::seconds(10));
  process_.reset();
  std::error_code ignored;
  std::filesystem::remove_all(directory_, ignored);
}

std::string PostgresServer::NewDatabase() {
  const std::string name = "test" + std::to_string(++databases_);
  Query(Uri("postgres"), "CREATE DATABASE " + name);
  return Uri(name);
}

std::string PostgresServer::Uri(const std::string& name) const {
  return "postgresql://" + std::string(kUser) + "@127.0.0.1:" + std::to_string(port_) + "/" + name;
}

std::string PostgresServer::Query(const std::string& uri, const std::string& sql) {
  try {
    pqxx::connection connection(uri);
    pqxx::nontransaction session(connection);
    const pqxx::result result = session.exec(sql);
    return result.empty() || result[0].empty() || result[0][0].is_null()
               ? std::string()
               : result[0][0].as<std::string>();
  } catch (const std::exception& error) {
    throw std::runtime_error(error.what());
  }
}

std::vector<std::string> PostgresServer::StatementsFailedWith(const std::string& message) const {
  // The server logs an error's line, then its context and detail, then "STATEMENT:" and the
  // statement (on lines of their own when it holds several).
  std::istringstream log(xmpp_test::ReadFile(directory_ + "/postgres.log"));
  std::vector<std::string> statements;
  bool failed = false;
  for (std::string line; std::getline(log, line);) {
    if (line.find("ERROR:  ") != std::string::npos) {
      failed = line.find(message) != std::string::npos;
    } else if (failed && line.find("STATEMENT:  ") != std::string::npos) {
      statements.push_back(line.substr(line.find("STATEMENT:  ") + 12));
      failed = false;
    }
  }
  return statements;
}

PostgresServer& SharedPostgresServer() {
  static PostgresServer server;
  return server;
}

}  // namespace quenlo::postgres_test
