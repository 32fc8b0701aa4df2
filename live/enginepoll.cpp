#include "live/enginepoll.h"

#include <chrono>

#include "link/com.h"
#include "live/live.h"
#include "shell/connection.h"
#include "tuning/map2.h"

namespace live {

EnginePoll::EnginePoll() {
  clock = [] {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
  };
}

bool EnginePoll::MayPoll() {
  return com::isComOpen && !shell::fBusy && !shell::fSending && !shell::fReceiving && !tuning::IsMapTuning();
}

void EnginePoll::Lose() {
  const bool had = hasRecord_;
  hasRecord_ = false;
  record_ = {};
  if (had && onChange) onChange();
}

uint8_t EnginePoll::Tick() {
  const double now = clock();
  // After a failed identity check every tick checks again, so that a changed ECU is
  // counted on consecutive ticks (a live record between two checks would reset the
  // count, and the link would stay open to an ECU it must not talk to).
  if (!MayPoll() || !pinged_ || pingFailed_ || now - lastPing_ >= kPingPeriod) {
    if (!MayPoll()) Lose();
    pinged_ = true;
    lastPing_ = now;
    ++pings_;
    const uint8_t result = shell::Ping();
    pingFailed_ = result == 0;
    return result;
  }
  LiveData reply{};
  if (ReadLiveRecord({}, &reply)) {
    record_ = reply;
    hasRecord_ = true;
    recordTime_ = now;
    failures_ = 0;
    ++records_;
    if (onChange) onChange();
    return 1;
  }
  // The counting is the main timer's: every failed exchange is a failed tick. The old
  // values stay for one failure, as on the live page.
  if (failures_ < 255) ++failures_;
  if (failures_ >= 2) Lose();
  return 0;
}

}  // namespace live
