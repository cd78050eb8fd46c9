#include "host/host_services.h"

#include "host/kpl_vdevice.h"

int Transport::Send(KPLSocketDevice& dev, int handle,
                    const std::vector<boost::asio::const_buffer>& buffers) {
  int sent = 0;
  for (const auto& b : buffers) {
    int n = Send(dev, handle, static_cast<const unsigned char*>(b.data()),
                 static_cast<unsigned int>(b.size()));
    if (n < 0) return n;
    sent += n;
  }
  return sent;
}

namespace {

// Services for a device that no host has claimed: nothing leaves the process,
// no rule result is kept, and work items run at once on the caller's thread.
class NullServices final : public Transport,
                           public ThresholdRules,
                           public Worker,
                           public Publisher {
 public:
  int StartSocket(KPLSocketDevice&, const std::string&, unsigned short) override { return -1; }
  int CloseSocket(KPLSocketDevice&, int) override { return 0; }
  int Send(KPLSocketDevice&, int, const unsigned char*, unsigned int) override { return -1; }
  using Transport::Send;

  int CheckThreshold(KPLVDevice&, const std::string&, const std::string&, const float&,
                     int) override {
    return 1;
  }
  int CheckThresholdBool(KPLVDevice&, int, const std::string&, const std::string&,
                         const std::string&, const std::string&, bool, unsigned short) override {
    return 1;
  }
  bool CheckAOReport(KPLVDevice&, const std::string&, float) override { return false; }
  bool DoBatchCheckThreshold(KPLVDevice&, const std::vector<rule_value>&) override { return false; }
  void CheckThresholdWork(KPLVDevice&, std::function<void()> work) override {
    if (work) work();
  }
  int SendSP(KPLVDevice&, int, const unsigned char*, int, bool) override { return 0; }
  int SaveDeviceHistory(KPLVDevice&, const unsigned char*, int) override { return 0; }
};

NullServices null_impl;
HostServices null_services{&null_impl, &null_impl, &null_impl, &null_impl};

}  // namespace

HostServices* HostServices::none() { return &null_services; }
