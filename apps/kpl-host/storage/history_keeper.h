// Which of a device's images go to the history. Every round hands its image
// over; the newest is kept in memory, and written when it is worth a row:
//  - the first image of each interval of the wall clock (history_interval_s;
//    0: every image), so that history and the restore at start are never
//    older than that;
//  - the image of a round in which an alarm was raised or cleared, and the
//    newest image when the device's communication is lost or found again,
//    so that the image at each raise and clear is on record exactly;
//  - the newest image of every device when the host stops, so that a
//    restart restores the last image taken.
// At one round a second and the default interval that is 144 rows a day for
// a device instead of 86,400.
#pragma once

#include <cstdint>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "apps/kpl-host/core/history_sink.h"
#include "apps/kpl-host/core/host_events.h"
#include "apps/kpl-host/core/wall_clock.h"
#include "apps/kpl-host/storage/history_rows.h"

namespace kplhost {

class HistoryKeeper final : public HistorySink, public HostEvents {
 public:
  HistoryKeeper(HistoryRows& out, int interval_s, WallClock clock = system_wall_clock());

  // A round's image, on the worker thread.
  void save(DeviceSlot& slot, const unsigned char* image, int len) override;
  // A round with alarm changes: its image, handed over next, is written.
  void round(const DeviceSlot& slot, const RoundSummary& summary) override;
  // The newest image is written at once.
  void communication(const DeviceSlot& slot, bool lost, const std::string& detail) override;
  // Writes every newest image not written yet; once the rounds have ended.
  void flush();

 private:
  struct Kept {
    DeviceSlot* slot = nullptr;
    std::vector<unsigned char> image;
    std::int64_t unix_s = 0;
    // The interval the last row written falls in, and whether the image
    // kept now is written already.
    std::int64_t interval = -1;
    bool written = true;
    bool alarm_round = false;
  };
  // The caller holds the lock.
  void write(Kept& k);

  HistoryRows& out_;
  const int interval_s_;
  const WallClock clock_;
  std::mutex lock_;
  std::unordered_map<const DeviceSlot*, Kept> kept_;
};

}  // namespace kplhost
