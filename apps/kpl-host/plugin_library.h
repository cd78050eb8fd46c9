// A device plug-in loaded with the dynamic loader: the library stays loaded
// as long as this object lives, so every device it made must be gone first.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/kpl_socket_device.h"
#include "host/provider.h"

namespace kplhost {

class PluginError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class PluginLibrary {
 public:
  // Loads the library and asks it for its providers; throws PluginError with
  // the loader's own message when it cannot.
  explicit PluginLibrary(const std::string& path);
  ~PluginLibrary();
  PluginLibrary(const PluginLibrary&) = delete;
  PluginLibrary& operator=(const PluginLibrary&) = delete;

  // A new device from the plug-in's socket-device provider.
  std::shared_ptr<KPLSocketDevice> create_device() const;

 private:
  void* handle_ = nullptr;
  std::vector<std::shared_ptr<Provider>> providers_;
  const KPLSocketDeviceProvider* factory_ = nullptr;
};

}  // namespace kplhost
