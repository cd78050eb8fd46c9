// A plug-in for tests of the host's barrier: the real device model, except
// that it throws from the operation its "appSetting" names ("throw_in":
// "Init", "RefreshStatus" or "process") once that operation has been called
// "throw_after" times. The two settings are taken out before the model sees
// the configuration.

#include <stdexcept>
#include <string>

#include "host/provider.h"
#include "model/qlt_model.h"

namespace {

class ThrowingModel final : public QLTModel {
 public:
  int Init(std::weak_ptr<KPLController> controller, unsigned int device_number,
           const Json::Value& config) override {
    Json::Value own = config;
    Json::Value& setting = own["appSetting"];
    if (setting.isObject()) {
      throw_in_ = setting.get("throw_in", "").asString();
      throw_after_ = setting.get("throw_after", 0).asInt();
      setting.removeMember("throw_in");
      setting.removeMember("throw_after");
    }
    maybe_throw("Init");
    return QLTModel::Init(controller, device_number, own);
  }
  int RefreshStatus() override {
    maybe_throw("RefreshStatus");
    return QLTModel::RefreshStatus();
  }
  int process_data(int handle, unsigned char* data, int len) override {
    maybe_throw("process");
    return QLTModel::process_data(handle, data, len);
  }

 private:
  void maybe_throw(const std::string& operation) {
    if (operation == throw_in_ && calls_++ >= throw_after_)
      throw std::runtime_error("thrown on purpose in " + operation);
  }

  std::string throw_in_;
  int throw_after_ = 0;
  int calls_ = 0;
};

class ThrowingProvider final : public KPLSocketDeviceProvider {
 public:
  KPLSocketDevice* create() const override { return new ThrowingModel; }
};

}  // namespace

extern "C" __attribute__((visibility("default"))) std::vector<std::shared_ptr<Provider>>
get_providers() {
  return {std::make_shared<ThrowingProvider>()};
}
