// A host back end that records every call a device makes, in order, so a
// test can assert the whole sequence of a pass or a round. A device uses it
// once its services point here: dev.services = &host.services.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "host/host_services.h"
#include "host/kpl_vdevice.h"
#include "testkit/hex.h"

struct HostCall {
  enum Kind {
    start_socket,
    close_socket,
    send,
    check_threshold,
    check_threshold_bool,
    ao_report,
    batch_check,
    work,
    send_sp,
    save_history,
  };
  HostCall(Kind k, KPLVDevice& d) : kind(k), dev(&d) {}

  Kind kind;
  KPLVDevice* dev;
  // Point name or alarm id; the address for start_socket.
  std::string name;
  std::string desc;
  std::string code;
  std::string label;
  // Bytes sent, published or saved.
  Bytes bytes;
  // check_threshold: where the value lives and what it held during the call.
  const float* value_addr = nullptr;
  float value = 0;
  int number = 0;
  int one = 0;
  bool flag = false;
  int image_id = 0;
  bool changed_only = false;
  const unsigned char* data = nullptr;
  int len = 0;
  unsigned short port = 0;
  std::vector<rule_value> records;
};

class RecordingHost final : public Transport,
                            public ThresholdRules,
                            public Worker,
                            public Publisher {
 public:
  RecordingHost();
  ~RecordingHost() override;

  // Transport
  int StartSocket(KPLSocketDevice& dev, const std::string& ip, unsigned short port) override;
  int CloseSocket(KPLSocketDevice& dev, int handle) override;
  int Send(KPLSocketDevice& dev, int handle, const unsigned char* data, unsigned int len) override;
  using Transport::Send;
  // ThresholdRules
  int CheckThreshold(KPLVDevice& dev, const std::string& name, const std::string& desc,
                     const float& value, int number) override;
  int CheckThresholdBool(KPLVDevice& dev, int one, const std::string& id, const std::string& code,
                         const std::string& desc, const std::string& label, bool flag,
                         unsigned short number) override;
  bool CheckAOReport(KPLVDevice& dev, const std::string& name, float value) override;
  bool DoBatchCheckThreshold(KPLVDevice& dev, const std::vector<rule_value>& records) override;
  // Worker
  void CheckThresholdWork(KPLVDevice& dev, std::function<void()> work) override;
  // Publisher
  int SendSP(KPLVDevice& dev, int image_id, const unsigned char* data, int len,
             bool changed_only) override;
  int SaveDeviceHistory(KPLVDevice& dev, const unsigned char* data, int len) override;

  std::vector<HostCall> calls_of(HostCall::Kind kind) const;
  std::vector<Bytes> sent() const;
  // Runs the queued work items in order and forgets them.
  void run_pending_work();

  std::vector<HostCall> calls;
  std::vector<std::function<void()>> pending_work;

  // How the recording host answers.
  int socket_handle = 3;
  bool run_work_at_once = true;
  bool keep_rule_results = true;
  bool batch_result = false;
  // DoBatchCheckThreshold throws std::runtime_error, as a failing host may.
  bool batch_throws = false;
  std::map<std::string, bool> ao_report_results;

  HostServices services;
};
