// A second host, written apart from kpl-host and without Asio, that holds a
// plug-in to the host contract alone: one thread runs a poll(2) loop over
// plain non-blocking sockets, connects and reconnects, hands received bytes
// to process(), polls each device, and checks every image published or
// saved. Configuring it again destroys its devices and makes new ones, as a
// controller does when its configuration changes. Work items go to the
// worker it is given.
#pragma once

#include <json/value.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/host_services.h"
#include "host/kpl_socket_device.h"
#include "host/provider.h"

class PollHost final : public Transport, public ThresholdRules, public Publisher {
 public:
  using Clock = std::chrono::steady_clock;
  // Whether an image holds the values of the device's unit; called on the
  // loop's thread for a publish and on the worker's for a save.
  using ImageCheck =
      std::function<bool(unsigned int device_number, const unsigned char* image, int len)>;
  struct DeviceEntry {
    unsigned int number;
    Json::Value config;
  };

  PollHost(const KPLSocketDeviceProvider& provider, Worker& worker, ImageCheck check,
           std::chrono::milliseconds poll_interval);
  ~PollHost() override;
  PollHost(const PollHost&) = delete;
  PollHost& operator=(const PollHost&) = delete;

  // Closes the connections of the devices there are and lets the devices go,
  // then makes and configures one device per entry.
  void configure(const std::vector<DeviceEntry>& entries);
  // Runs the loop until every device has published `rounds` images since it
  // was made; false if `limit` passes first.
  bool run_rounds(long rounds, std::chrono::milliseconds limit);

  // Transport
  int StartSocket(KPLSocketDevice& dev, const std::string& ip, unsigned short port) override;
  int CloseSocket(KPLSocketDevice& dev, int handle) override;
  int Send(KPLSocketDevice& dev, int handle, const unsigned char* data, unsigned int len) override;
  using Transport::Send;
  // ThresholdRules: each call keeps one record, as a host keeps its batch.
  int CheckThreshold(KPLVDevice& dev, const std::string& name, const std::string& desc,
                     const float& value, int number) override;
  int CheckThresholdBool(KPLVDevice& dev, int one, const std::string& id, const std::string& code,
                         const std::string& desc, const std::string& label, bool flag,
                         unsigned short number) override;
  bool CheckAOReport(KPLVDevice& dev, const std::string& name, float value) override;
  bool DoBatchCheckThreshold(KPLVDevice& dev, const std::vector<rule_value>& records) override;
  // Publisher
  int SendSP(KPLVDevice& dev, int image_id, const unsigned char* data, int len,
             bool changed_only) override;
  int SaveDeviceHistory(KPLVDevice& dev, const unsigned char* data, int len) override;

  std::atomic<long> published{0}, saved{0}, bad_images{0}, batches{0}, bad_batches{0};
  // Every device it ever made, to see that each is gone once let go.
  std::vector<std::weak_ptr<KPLSocketDevice>> made;

 private:
  struct Slot {
    std::shared_ptr<KPLSocketDevice> device;
    std::string ip;
    unsigned short port = 0;
    int fd = -1;
    bool connecting = false;
    Clock::time_point retry_at{};
    std::vector<unsigned char> unsent;
    long rounds = 0;
  };
  Slot* slot_of(const KPLVDevice& dev);
  void connect(Slot& s);
  void lose(Slot& s);
  void connected(Slot& s, int handle);
  void received(Slot& s, int handle);
  void flush(Slot& s);
  void close_all();

  const KPLSocketDeviceProvider& provider_;
  ImageCheck check_;
  const std::chrono::milliseconds poll_interval_;
  HostServices services_;
  std::vector<Slot> slots_;
};
