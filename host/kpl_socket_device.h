// A device reached over one TCP connection. The host's transport owns the
// connection; received bytes come in through process(), requests go out
// through SendSocketData().
#pragma once

#include <boost/asio/buffer.hpp>
#include <string>
#include <vector>

#include "host/kpl_vdevice.h"

class KPLSocketDevice : public KPLVDevice {
 public:
  // The host's receive entry: hands each received chunk to process_data().
  virtual int process(int handle, unsigned char* data, int len);
  virtual int process_data(int handle, unsigned char* data, int len);
  virtual int OnConnected(int handle);
  // Called by the host's polling. Returns 1 when it started a pass (sent the
  // first request of one), 0 when it sent nothing; the host measures passes
  // from that start to the device's next SendSP. The default does nothing.
  virtual int RefreshStatus();
  virtual int DeviceIoControl(int code, int arg);
  // Opens the connection to ip:port and returns its handle.
  virtual int StartSocket(const std::string& ip, unsigned short port);
  virtual int CloseSocket(int handle);
  virtual int SendSocketData(int handle, const unsigned char* data, unsigned int len);
  virtual int SendSocketData(int handle, const std::vector<boost::asio::const_buffer>& buffers);
  virtual int SendSocketData(const unsigned char* data, unsigned int len) {
    return SendSocketData(socket_id, data, len);
  }
  virtual int SendSocketData(const std::vector<boost::asio::const_buffer>& buffers) {
    return SendSocketData(socket_id, buffers);
  }

  // Reads the unit's endpoint ("ip", "port") and device address ("addr").
  int Init(std::weak_ptr<KPLController> controller, unsigned int device_number,
           const Json::Value& config) override;
  using VDeviceInterface::DeviceIoControl;

  static constexpr int recv_capacity = 4096;

  // Bytes of a frame under reassembly; the transport empties it on reconnect.
  int recv_len = 0;
  unsigned char recv_buf[recv_capacity];
  int socket_id = -1;
  std::string peer_ip;
  unsigned short peer_port = 0;
  unsigned char dev_addr = 0;
  // Set by the transport while the connection is up.
  unsigned char link_ready = 0;

 protected:
  KPLSocketDevice() = default;
};
