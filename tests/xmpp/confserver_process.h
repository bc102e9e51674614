// confserver run by the tests and the benchmarks as the conference component of their own XMPP
// server.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tests/xmpp/child_process.h"
#include "tests/xmpp/xmpp_server.h"

namespace quenlo::xmpp_test {

// The arguments that attach confserver to `server` as its conference component, with the rooms
// kept in `store` (never in the user's state folder).
std::vector<std::string> ConfserverArguments(const XmppServer& server, const std::string& store);

// confserver with `arguments` (its own path goes first), its output in the file `log`; started,
// not waited for.
std::unique_ptr<ChildProcess> LaunchConfserver(const std::vector<std::string>& arguments,
                                               const std::string& log);

// confserver attached to `server` on `store`, with `extra_arguments` after those, returned once
// it has connected (until then the server turns away everything for its domain). Throws
// std::runtime_error with its log when it has not connected within twenty seconds, and stops it.
std::unique_ptr<ChildProcess> StartConfserver(const XmppServer& server, const std::string& store,
                                              const std::string& log,
                                              const std::vector<std::string>& extra_arguments = {});

}  // namespace quenlo::xmpp_test
