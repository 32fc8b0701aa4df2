// The rhythm of the link on the pages that show the running engine (the map editor and
// the two correction editors): each main-timer tick exchanges the live record, and the
// identity check (Ping, with the protection keys) still runs at least every kPingPeriod,
// so a changed or locked ECU is noticed as on any other page; after a failed check the
// ticks check again until one succeeds. Every exchange's result goes to the main
// timer's failure counting. While a transfer, a command or a tuning
// session runs, or the link is closed, a tick is the identity check alone, as on the
// pages that do not show the engine.
//
// One object serves the three pages, so the record, its count and the Ping cadence are
// one whichever page is in front.
#pragma once
#include <cstdint>
#include <functional>

#include "live/liverecord.h"

namespace live {

class EnginePoll {
 public:
  static constexpr double kPingPeriod = 0.5;  // seconds between two identity checks

  EnginePoll();

  std::function<double()> clock;  // seconds; the steady clock unless a test sets one

  // True when the editors may read the live record now: the link is open and no
  // transfer, Send, Receive or tuning session runs.
  static bool MayPoll();

  // The duty of one tick: the identity check when it is due (or polling is not
  // allowed), otherwise one live exchange. Returns the exchange's result.
  uint8_t Tick();

  // The last record received, and whether it is current: cleared when the link closes,
  // when polling stops and after two failed exchanges in a row.
  const LiveData& Record() const { return record_; }
  bool HasRecord() const { return hasRecord_; }
  double RecordTime() const { return recordTime_; }
  uint32_t Records() const { return records_; }  // records received so far
  uint32_t Pings() const { return pings_; }      // identity checks so far
  double Now() const { return clock(); }

  // Called after every tick that received a record or lost it.
  std::function<void()> onChange;

 private:
  void Lose();
  LiveData record_{};
  bool hasRecord_ = false;
  double recordTime_ = 0;
  double lastPing_ = 0;
  bool pinged_ = false;
  bool pingFailed_ = false;
  uint8_t failures_ = 0;
  uint32_t records_ = 0, pings_ = 0;
};

}  // namespace live
