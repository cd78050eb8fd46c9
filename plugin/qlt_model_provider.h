// The plug-in's one provider: it makes QLTModel devices.
#pragma once

#include "host/provider.h"

class QLTModelProvider : public KPLSocketDeviceProvider {
 public:
  QLTModelProvider() = default;
  // A new, unconfigured QLTModel; the caller owns it.
  KPLSocketDevice* create() const override;
};
