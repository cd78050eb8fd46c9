#include "host/host_services.h"
#include "host/kpl_socket_device.h"

// VDeviceInterface

int VDeviceInterface::LoadFromCache(const std::string& cached) {
  return LoadFromCache(reinterpret_cast<const unsigned char*>(cached.data()),
                       static_cast<int>(cached.size()));
}
unsigned int VDeviceInterface::DataId() { return data_id; }
std::string VDeviceInterface::DeviceType() { return device_type; }
int VDeviceInterface::DeviceIoControl(int, const Json::Value&, Json::Value&) { return 0; }
void VDeviceInterface::RoundDone() {}
bool VDeviceInterface::UseControllerDb() { return use_controller_db; }
VDeviceInterface::~VDeviceInterface() = default;

// KPLVDevice

KPLVDevice::KPLVDevice() : services(HostServices::none()) {}

int KPLVDevice::InitV(const Json::Value&) { return 1; }

namespace {

bool fits_unsigned(const Json::Value& v) {
  // isUInt alone: it is false for a bool, a negative or fractional number and
  // anything past 32 bits, where asLargestInt would throw.
  return v.isUInt();
}

}  // namespace

int KPLVDevice::Init(std::weak_ptr<KPLController> owner, unsigned int number,
                     const Json::Value& config) {
  controller = std::move(owner);
  device_number = number;
  if (!config.isObject()) return 1;
  const Json::Value& id = config["data_id"];
  if (fits_unsigned(id)) data_id = id.asUInt();
  const Json::Value& names = config["ao_names"];
  if (names.isArray()) {
    ao_names.clear();
    for (const Json::Value& n : names)
      if (n.isString()) ao_names.push_back(n.asString());
  }
  return 1;
}

int KPLVDevice::InitSetting(const Json::Value& s) {
  setting = s;
  return 1;
}

bool KPLVDevice::IsSupportDevice(const std::string& type) { return type == device_type; }
std::shared_ptr<KPLVDevice> KPLVDevice::GetChildVDevice(unsigned int) { return nullptr; }
std::vector<std::shared_ptr<KPLVDevice>> KPLVDevice::GetAllChildVDevices() { return {}; }

int KPLVDevice::SendSP(int image_id, const unsigned char* data, int len, bool changed_only) {
  return services->publisher->SendSP(*this, image_id, data, len, changed_only);
}
int KPLVDevice::SendDelayData(const unsigned char*, int) { return 0; }
int KPLVDevice::SendDoData(int, int) { return 0; }
int KPLVDevice::ReadDi(int) { return 0; }
float KPLVDevice::ReadAi(int) { return 0.0f; }
float KPLVDevice::Get_SP_Value(int, int) { return 0.0f; }

int KPLVDevice::CheckThreshold(const std::string& name, const std::string& desc, const float& value,
                               int number) {
  return services->rules->CheckThreshold(*this, name, desc, value, number);
}

int KPLVDevice::CheckThresholdBool(int one, const std::string& id, const std::string& code,
                                   const std::string& desc, const std::string& label, bool flag,
                                   unsigned short number) {
  return services->rules->CheckThresholdBool(*this, one, id, code, desc, label, flag, number);
}

bool KPLVDevice::CheckAOReport(const std::string& name, float value) {
  return services->rules->CheckAOReport(*this, name, value);
}

void KPLVDevice::CheckThresholdWork(std::function<void()> work) {
  services->worker->CheckThresholdWork(*this, std::move(work));
}

bool KPLVDevice::DoBatchCheckThreshold(const std::vector<rule_value>& records) {
  return services->rules->DoBatchCheckThreshold(*this, records);
}

int KPLVDevice::SaveDeviceHistory(const unsigned char* data, int len) {
  return services->publisher->SaveDeviceHistory(*this, data, len);
}

// KPLSocketDevice

int KPLSocketDevice::process(int handle, unsigned char* data, int len) {
  return process_data(handle, data, len);
}
int KPLSocketDevice::process_data(int, unsigned char*, int) { return 0; }
int KPLSocketDevice::OnConnected(int) { return 1; }
int KPLSocketDevice::RefreshStatus() { return 0; }
int KPLSocketDevice::DeviceIoControl(int, int) { return 0; }

int KPLSocketDevice::StartSocket(const std::string& ip, unsigned short port) {
  return services->transport->StartSocket(*this, ip, port);
}
int KPLSocketDevice::CloseSocket(int handle) {
  return services->transport->CloseSocket(*this, handle);
}
int KPLSocketDevice::SendSocketData(int handle, const unsigned char* data, unsigned int len) {
  return services->transport->Send(*this, handle, data, len);
}
int KPLSocketDevice::SendSocketData(int handle,
                                    const std::vector<boost::asio::const_buffer>& buffers) {
  return services->transport->Send(*this, handle, buffers);
}

int KPLSocketDevice::Init(std::weak_ptr<KPLController> owner, unsigned int number,
                          const Json::Value& config) {
  KPLVDevice::Init(std::move(owner), number, config);
  if (!config.isObject()) return 1;
  const Json::Value& ip = config["ip"];
  if (ip.isString()) peer_ip = ip.asString();
  const Json::Value& port = config["port"];
  if (fits_unsigned(port) && port.asUInt() <= 65535)
    peer_port = static_cast<unsigned short>(port.asUInt());
  const Json::Value& addr = config["addr"];
  if (fits_unsigned(addr) && addr.asUInt() <= 255)
    dev_addr = static_cast<unsigned char>(addr.asUInt());
  return 1;
}
