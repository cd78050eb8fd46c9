// Where the images chosen for the history go: the writer's queue, or a
// store written at once where nothing must be spared the wait.
#pragma once

#include "apps/kpl-host/storage/history_store.h"

namespace kplhost {

struct DeviceSlot;

class HistoryRows {
 public:
  virtual ~HistoryRows() = default;
  virtual void write(DeviceSlot& slot, HistoryRow row) = 0;
};

}  // namespace kplhost
