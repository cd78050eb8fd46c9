#include "testkit/recording_host.h"

#include <stdexcept>

#include "host/kpl_socket_device.h"
#include "testkit/rule_records.h"

RecordingHost::RecordingHost() : services{this, this, this, this} {}

RecordingHost::~RecordingHost() = default;

int RecordingHost::StartSocket(KPLSocketDevice& dev, const std::string& ip, unsigned short port) {
  HostCall c(HostCall::start_socket, dev);
  c.name = ip;
  c.port = port;
  calls.push_back(std::move(c));
  return socket_handle;
}

int RecordingHost::CloseSocket(KPLSocketDevice& dev, int handle) {
  HostCall c(HostCall::close_socket, dev);
  c.number = handle;
  calls.push_back(std::move(c));
  return 0;
}

int RecordingHost::Send(KPLSocketDevice& dev, int handle, const unsigned char* data,
                        unsigned int len) {
  HostCall c(HostCall::send, dev);
  c.number = handle;
  c.bytes.assign(data, data + len);
  calls.push_back(std::move(c));
  return static_cast<int>(len);
}

int RecordingHost::CheckThreshold(KPLVDevice& dev, const std::string& name, const std::string& desc,
                                  const float& value, int number) {
  HostCall c(HostCall::check_threshold, dev);
  c.name = name;
  c.desc = desc;
  c.value_addr = &value;
  c.value = value;
  c.number = number;
  calls.push_back(std::move(c));
  if (keep_rule_results) dev.rule_batch.push_back(analogue_record(name, desc, value, number));
  return 1;
}

int RecordingHost::CheckThresholdBool(KPLVDevice& dev, int one, const std::string& id,
                                      const std::string& code, const std::string& desc,
                                      const std::string& label, bool flag, unsigned short number) {
  HostCall c(HostCall::check_threshold_bool, dev);
  c.one = one;
  c.name = id;
  c.code = code;
  c.desc = desc;
  c.label = label;
  c.flag = flag;
  c.number = number;
  calls.push_back(std::move(c));
  if (keep_rule_results)
    dev.rule_batch.push_back(alarm_record(id, code, desc, label, flag, number));
  return 1;
}

bool RecordingHost::CheckAOReport(KPLVDevice& dev, const std::string& name, float value) {
  HostCall c(HostCall::ao_report, dev);
  c.name = name;
  c.value = value;
  calls.push_back(std::move(c));
  auto it = ao_report_results.find(name);
  return it != ao_report_results.end() && it->second;
}

bool RecordingHost::DoBatchCheckThreshold(KPLVDevice& dev, const std::vector<rule_value>& records) {
  HostCall c(HostCall::batch_check, dev);
  c.records = records;
  calls.push_back(std::move(c));
  if (batch_throws) throw std::runtime_error("rules unavailable");
  return batch_result;
}

void RecordingHost::CheckThresholdWork(KPLVDevice& dev, std::function<void()> work) {
  HostCall c(HostCall::work, dev);
  calls.push_back(std::move(c));
  if (run_work_at_once)
    work();
  else
    pending_work.push_back(std::move(work));
}

int RecordingHost::SendSP(KPLVDevice& dev, int image_id, const unsigned char* data, int len,
                          bool changed_only) {
  HostCall c(HostCall::send_sp, dev);
  c.image_id = image_id;
  c.data = data;
  c.len = len;
  c.changed_only = changed_only;
  if (data && len > 0) c.bytes.assign(data, data + len);
  calls.push_back(std::move(c));
  return 1;
}

int RecordingHost::SaveDeviceHistory(KPLVDevice& dev, const unsigned char* data, int len) {
  HostCall c(HostCall::save_history, dev);
  c.data = data;
  c.len = len;
  if (data && len > 0) c.bytes.assign(data, data + len);
  calls.push_back(std::move(c));
  return 1;
}

std::vector<HostCall> RecordingHost::calls_of(HostCall::Kind kind) const {
  std::vector<HostCall> out;
  for (const HostCall& c : calls)
    if (c.kind == kind) out.push_back(c);
  return out;
}

std::vector<Bytes> RecordingHost::sent() const {
  std::vector<Bytes> out;
  for (const HostCall& c : calls)
    if (c.kind == HostCall::send) out.push_back(c.bytes);
  return out;
}

void RecordingHost::run_pending_work() {
  auto work = std::move(pending_work);
  pending_work.clear();
  for (auto& w : work) w();
}
