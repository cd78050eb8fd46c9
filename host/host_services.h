// The host's moving parts behind the device classes: each device forwards its
// service calls to these interfaces, so a test can record every call and the
// reference host can plug in real sockets, rules, a worker and history.
#pragma once

#include <boost/asio/buffer.hpp>
#include <functional>
#include <string>
#include <vector>

#include "host/rule_value.h"

class KPLVDevice;
class KPLSocketDevice;

class Transport {
 public:
  virtual ~Transport() = default;
  // Opens (or starts opening) a connection for the device; returns its handle.
  virtual int StartSocket(KPLSocketDevice& dev, const std::string& ip, unsigned short port) = 0;
  virtual int CloseSocket(KPLSocketDevice& dev, int handle) = 0;
  virtual int Send(KPLSocketDevice& dev, int handle, const unsigned char* data,
                   unsigned int len) = 0;
  // Gathered form; the default sends each buffer in turn.
  virtual int Send(KPLSocketDevice& dev, int handle,
                   const std::vector<boost::asio::const_buffer>& buffers);
};

class ThresholdRules {
 public:
  virtual ~ThresholdRules() = default;
  virtual int CheckThreshold(KPLVDevice& dev, const std::string& name, const std::string& desc,
                             const float& value, int number) = 0;
  virtual int CheckThresholdBool(KPLVDevice& dev, int one, const std::string& id,
                                 const std::string& code, const std::string& desc,
                                 const std::string& label, bool flag, unsigned short number) = 0;
  virtual bool CheckAOReport(KPLVDevice& dev, const std::string& name, float value) = 0;
  virtual bool DoBatchCheckThreshold(KPLVDevice& dev, const std::vector<rule_value>& records) = 0;
};

class Worker {
 public:
  virtual ~Worker() = default;
  virtual void CheckThresholdWork(KPLVDevice& dev, std::function<void()> work) = 0;
};

class Publisher {
 public:
  virtual ~Publisher() = default;
  virtual int SendSP(KPLVDevice& dev, int image_id, const unsigned char* data, int len,
                     bool changed_only) = 0;
  virtual int SaveDeviceHistory(KPLVDevice& dev, const unsigned char* data, int len) = 0;
};

struct HostServices {
  Transport* transport;
  ThresholdRules* rules;
  Worker* worker;
  Publisher* publisher;

  // The services a new device starts with, until its host gives it its own:
  // they do nothing (sends go nowhere, no rule result is kept), and work
  // items run at once.
  static HostServices* none();
};
