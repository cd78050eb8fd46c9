// Where a device's saved images go: the host's history, which takes a row
// without waiting for the disk.
#pragma once

#include <string>

namespace kplhost {

struct DeviceSlot;

class HistorySink {
 public:
  virtual ~HistorySink() = default;
  // local_time: when the image was saved, as rows carry it.
  virtual void save(DeviceSlot& slot, std::string local_time, const unsigned char* image,
                    int len) = 0;
};

}  // namespace kplhost
