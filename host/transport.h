// How a host reaches the conference server: serialised packets out, serialised packets in.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace quenlo::host {

// Where the packets a transport receives for one address go.
class PacketReceiver {
 public:
  virtual void Receive(std::string_view xml) = 0;

 protected:
  ~PacketReceiver() = default;
};

// One participant's place on the network: its own address, the room it sits in, and the name
// the room shows for it (the voter name of registered votes).
struct Endpoint {
  std::string address;
  std::string room;
  std::string display_name;
};

// One packet on the wire, for tracing.
struct WirePacket {
  std::string from;
  std::string to;
  std::string xml;
};

// Sees every packet a transport carries, in both directions, in the order they travel.
using WireObserver = std::function<void(const WirePacket&)>;

class Transport {
 public:
  virtual ~Transport() = default;

  // Enters the room; from then on packets for endpoint.address go to `receiver` until
  // Disconnect. Throws HostError when the endpoint cannot join.
  virtual void Connect(const Endpoint& endpoint, PacketReceiver& receiver) = 0;
  virtual void Disconnect(const std::string& address) = 0;

  // Transmits one packet (UTF-8 XML text) on behalf of `from`.
  virtual void Send(const std::string& from, std::string xml) = 0;
};

}  // namespace quenlo::host
