#include "apps/kpl-host/plugin_library.h"

#include <dlfcn.h>

namespace kplhost {

PluginLibrary::PluginLibrary(const std::string& path) {
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) throw PluginError("cannot load plug-in: " + std::string(dlerror()));
  dlerror();
  void* entry = dlsym(handle_, "get_providers");
  if (!entry) {
    const std::string why = dlerror();
    dlclose(handle_);
    throw PluginError(path + ": not a device plug-in: " + why);
  }
  providers_ = reinterpret_cast<get_providers_fn>(entry)();
  for (const auto& p : providers_)
    if (auto* f = dynamic_cast<const KPLSocketDeviceProvider*>(p.get())) {
      factory_ = f;
      break;
    }
  if (!factory_) {
    providers_.clear();
    dlclose(handle_);
    throw PluginError(path + ": offers no socket device provider");
  }
}

PluginLibrary::~PluginLibrary() {
  providers_.clear();
  dlclose(handle_);
}

std::shared_ptr<KPLSocketDevice> PluginLibrary::create_device() const {
  return std::shared_ptr<KPLSocketDevice>(factory_->create());
}

}  // namespace kplhost
