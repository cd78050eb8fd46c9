// The host's transport: one TCP connection per device, opened when the
// device asks for it and reopened with backoff whenever it is lost or cannot
// be made in time. Every handler runs on the one I/O thread and calls into
// the device under the device's lock, through the barrier.
#pragma once

#include <boost/asio/io_context.hpp>
#include <memory>
#include <mutex>
#include <vector>

#include "apps/kpl-host/core/device_calls.h"
#include "apps/kpl-host/core/device_slot.h"
#include "apps/kpl-host/core/host_events.h"
#include "host/host_services.h"

namespace kplhost {

class Connection;

class TcpTransport final : public Transport {
 public:
  TcpTransport(boost::asio::io_context& io, DeviceRegistry& registry, HostEvents& events,
               DeviceCalls& calls);
  ~TcpTransport() override;

  int StartSocket(KPLSocketDevice& dev, const std::string& ip, unsigned short port) override;
  int CloseSocket(KPLSocketDevice& dev, int handle) override;
  int Send(KPLSocketDevice& dev, int handle, const unsigned char* data, unsigned int len) override;
  using Transport::Send;

  // Closes every connection for good; call on the I/O thread or once it has
  // stopped.
  void close_all();

 private:
  std::shared_ptr<Connection> find(int handle);

  boost::asio::io_context& io_;
  DeviceRegistry& registry_;
  HostEvents& events_;
  DeviceCalls& calls_;
  std::mutex lock_;
  // A handle is an index into this table.
  std::vector<std::shared_ptr<Connection>> connections_;
};

}  // namespace kplhost
