// Where a device's saved images go: the host's history, which takes every
// round's image without waiting for the disk and decides which to keep.
#pragma once

namespace kplhost {

struct DeviceSlot;

class HistorySink {
 public:
  virtual ~HistorySink() = default;
  virtual void save(DeviceSlot& slot, const unsigned char* image, int len) = 0;
};

}  // namespace kplhost
