// The root of the host's device hierarchy: what the host asks of every device,
// whatever transport it uses. The order of the virtual operations is part of
// the binary contract between the host and its plug-ins; never reorder them.
#pragma once

#include <json/value.h>

#include <stdexcept>
#include <string>

class VDeviceInterface {
 public:
  // Value of one named point; a device that keeps no named values has none.
  virtual float Get_Value(const std::string& key) {
    (void)key;
    throw std::out_of_range("数据未就绪");
  }
  // Restores the device's image from a cached copy held as a string.
  virtual int LoadFromCache(const std::string& cached);
  virtual int LoadFromCache(const unsigned char* data, int len) = 0;
  virtual unsigned int DataId();
  virtual std::string DeviceType();
  virtual int DeviceIoControl(int code, const Json::Value& in, Json::Value& out);
  // Called after a complete polling round.
  virtual void RoundDone();
  virtual bool UseControllerDb();
  virtual ~VDeviceInterface();

  // The data id under which the host files this device's data.
  unsigned int data_id = 0;
  // The device's type name, as configured devices are matched to plug-ins.
  std::string device_type;
  bool use_controller_db = false;

 protected:
  VDeviceInterface() = default;
  VDeviceInterface(const VDeviceInterface&) = delete;
  VDeviceInterface& operator=(const VDeviceInterface&) = delete;
};
