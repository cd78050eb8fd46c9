// A host back end for fuzzing: keeps what the device sent last, checks
// every published image, and otherwise does nothing.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "host/host_services.h"
#include "host/kpl_vdevice.h"
#include "model/qlt_model.h"
#include "testkit/frames.h"
#include "testkit/json_text.h"

// Stops the run with a crash the fuzzer reports, when an invariant breaks.
#define FUZZ_CHECK(cond)  \
  do {                    \
    if (!(cond)) abort(); \
  } while (0)

// The document text holds, or the text itself as a string value.
inline Json::Value json_or_text(const std::string& text) {
  Json::Value v;
  if (!parse_json(text, v)) v = text;
  return v;
}

class FuzzHost final : public Transport, public ThresholdRules, public Worker, public Publisher {
 public:
  FuzzHost() : services{this, this, this, this} {}

  int StartSocket(KPLSocketDevice&, const std::string&, unsigned short) override { return 1; }
  int CloseSocket(KPLSocketDevice&, int) override { return 0; }
  int Send(KPLSocketDevice&, int, const unsigned char* data, unsigned int len) override {
    FUZZ_CHECK(len == sizeof(rdu_read));
    std::memcpy(&last_request, data, len);
    ++sent;
    return static_cast<int>(len);
  }
  using Transport::Send;
  int CheckThreshold(KPLVDevice&, const std::string&, const std::string&, const float& v,
                     int) override {
    volatile float read = v;  // the reference must be readable
    (void)read;
    return 1;
  }
  int CheckThresholdBool(KPLVDevice&, int, const std::string&, const std::string&,
                         const std::string&, const std::string&, bool, unsigned short) override {
    return 1;
  }
  bool CheckAOReport(KPLVDevice&, const std::string&, float) override { return false; }
  bool DoBatchCheckThreshold(KPLVDevice&, const std::vector<rule_value>&) override { return false; }
  void CheckThresholdWork(KPLVDevice&, std::function<void()> work) override { work(); }
  int SendSP(KPLVDevice& dev, int image_id, const unsigned char* data, int len, bool) override {
    auto& m = static_cast<QLTModel&>(dev);
    // A published image is the planned size and still opens with the device
    // number: no reply may have been copied over it.
    FUZZ_CHECK(image_id == 5273);
    FUZZ_CHECK(len == 4 * static_cast<int>(m.item_bytes / 4) + 11);
    std::uint32_t number;
    std::memcpy(&number, data, 4);
    FUZZ_CHECK(number == m.device_number);
    ++published;
    return 1;
  }
  int SaveDeviceHistory(KPLVDevice&, const unsigned char*, int) override { return 1; }

  HostServices services;
  rdu_read last_request{};
  long sent = 0;
  long published = 0;
};

// The model reports refused replies on standard output; at fuzzing speed
// that would be most of the run's time.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (!std::freopen("/dev/null", "w", stdout)) abort();
  return 0;
}
