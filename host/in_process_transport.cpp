#include "host/in_process_transport.h"

#include <utility>

#include "host/host_error.h"

namespace quenlo::host {

InProcessTransport::InProcessTransport(server::ConferenceServer& server) : server_(server) {}

void InProcessTransport::Connect(const Endpoint& endpoint, PacketReceiver& receiver) {
  server_.OpenRoom(endpoint.room);  // false only means somebody opened it before
  auto missed = server_.Join(endpoint.room, endpoint.address, endpoint.display_name);
  if (!missed) throw HostError("cannot join room " + endpoint.room);
  {
    std::lock_guard lock(mutex_);
    connections_.insert_or_assign(endpoint.address, Connection{endpoint, &receiver});
  }
  Enqueue(std::move(*missed));
}

void InProcessTransport::Disconnect(const std::string& address) {
  std::unique_lock lock(mutex_);
  const auto found = connections_.find(address);
  if (found == connections_.end()) return;
  const std::string room = found->second.endpoint.room;
  connections_.erase(found);
  lock.unlock();
  server_.Leave(room, address);
}

void InProcessTransport::Send(const std::string& from, std::string xml) {
  std::string room;
  {
    std::lock_guard lock(mutex_);
    const auto found = connections_.find(from);
    if (found != connections_.end()) room = found->second.endpoint.room;
  }
  Observe(WirePacket{from, room, xml});
  Enqueue(server_.Receive(from, xml));
}

std::size_t InProcessTransport::DeliverPending() {
  std::size_t delivered = 0;
  for (;;) {
    server::Delivery delivery;
    PacketReceiver* receiver = nullptr;
    {
      std::lock_guard lock(mutex_);
      if (queue_.empty()) return delivered;
      delivery = std::move(queue_.front());
      queue_.pop_front();
      const auto found = connections_.find(delivery.to);
      if (found != connections_.end()) receiver = found->second.receiver;
    }
    // A packet for somebody who left is lost, as on a network.
    if (receiver == nullptr) continue;
    receiver->Receive(delivery.xml);
    ++delivered;
  }
}

void InProcessTransport::Tick() { Enqueue(server_.Tick()); }

void InProcessTransport::SetWireObserver(WireObserver observer) {
  std::lock_guard lock(mutex_);
  observer_ = std::move(observer);
}

void InProcessTransport::Enqueue(std::vector<server::Delivery> deliveries) {
  std::vector<WirePacket> traced;
  {
    std::lock_guard lock(mutex_);
    for (server::Delivery& delivery : deliveries) {
      if (observer_) {
        const auto found = connections_.find(delivery.to);
        // Everything the server sends comes from the room of the one it goes to.
        traced.push_back(WirePacket{found == connections_.end() ? "" : found->second.endpoint.room,
                                    delivery.to, delivery.xml});
      }
      queue_.push_back(std::move(delivery));
    }
  }
  for (const WirePacket& packet : traced) Observe(packet);
}

void InProcessTransport::Observe(const WirePacket& packet) {
  WireObserver observer;
  {
    std::lock_guard lock(mutex_);
    if (!observer_) return;
    observer = observer_;
  }
  observer(packet);
}

}  // namespace quenlo::host
