// Factories that a plug-in hands the host: the host asks a provider for as
// many devices as it has units configured for the plug-in's type.
#pragma once

#include <memory>
#include <vector>

class KPLSocketDevice;

class Provider {
 public:
  virtual ~Provider() {}
};

class KPLSocketDeviceProvider : public Provider {
 public:
  ~KPLSocketDeviceProvider() override {}
  // A new, unconfigured device; the caller owns it.
  virtual KPLSocketDevice* create() const = 0;
};

// The entry every plug-in exports with C linkage under the name
// "get_providers"; the host finds it with dlsym.
using get_providers_fn = std::vector<std::shared_ptr<Provider>> (*)();
