// A device as the host's framework knows it: configuration, the image state
// the host reads, the rule results of a round, and the host services a device
// calls (threshold rules, the threshold worker, history, publishing).
#pragma once

#include <atomic>
#include <boost/date_time/posix_time/ptime.hpp>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/kpl_controller.h"
#include "host/rule_value.h"
#include "host/vdevice_interface.h"

struct HostServices;

class KPLVDevice : public VDeviceInterface, public std::enable_shared_from_this<KPLVDevice> {
 public:
  virtual int Reset() { return 1; }
  virtual int InitV(const Json::Value& config);
  virtual int Init(std::weak_ptr<KPLController> controller, unsigned int device_number,
                   const Json::Value& config);
  virtual int InitSetting(const Json::Value& setting);
  virtual bool IsSupportDevice(const std::string& type);
  virtual std::shared_ptr<KPLVDevice> GetChildVDevice(unsigned int number);
  virtual std::vector<std::shared_ptr<KPLVDevice>> GetAllChildVDevices();
  // Publishes an image under its image id.
  virtual int SendSP(int image_id, const unsigned char* data, int len, bool changed_only);
  virtual int SendDelayData(const unsigned char* data, int len);
  virtual int SendDoData(int point, int value);
  virtual int ReadDi(int point);
  virtual float ReadAi(int point);
  virtual float Get_SP_Value(int image_id, int offset);

  // Threshold services. Each call records its outcome in rule_batch.
  int CheckThreshold(const std::string& name, const std::string& desc, const float& value,
                     int number);
  int CheckThresholdBool(int one, const std::string& id, const std::string& code,
                         const std::string& desc, const std::string& label, bool flag,
                         unsigned short number);
  // Whether an analogue value has moved far enough since it was last reported.
  bool CheckAOReport(const std::string& name, float value);
  // Hands a round's follow-up work to the host's threshold worker.
  void CheckThresholdWork(std::function<void()> work);
  // Compares a round's rule results with the last known state of each point.
  bool DoBatchCheckThreshold(const std::vector<rule_value>& records);
  int SaveDeviceHistory(const unsigned char* data, int len);

  bool data_ready = false;
  std::uint16_t state_word = 0;
  // Written by the round and again by its work item, which the host may run
  // on another thread while the next round is under way.
  std::atomic<bool> check_result{false};
  boost::posix_time::ptime update_time;
  std::vector<rule_value> rule_batch;
  std::vector<std::string> ao_names;
  std::map<std::string, float> ao_values;

  unsigned int device_number = 0;
  std::weak_ptr<KPLController> controller;
  Json::Value setting;
  // Where this device's service calls go: the host points each device at
  // its own services before Init. Never null.
  HostServices* services;

 protected:
  KPLVDevice();
};
