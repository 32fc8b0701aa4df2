// The simulator on a pseudo-terminal: the program connects to the slave side as to
// a serial line, the simulator reads and answers on the master side.
#pragma once
#include <csignal>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "sim/simcore.h"

namespace sim {

class PseudoTerminal {
 public:
  PseudoTerminal() = default;
  ~PseudoTerminal();
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  // Opens a master/slave pair, sets the slave raw at once and keeps one slave
  // descriptor open, so the master never sees a hang-up when a client closes the
  // line (clients may connect, disconnect and connect again).
  bool Open(std::string* error);
  int MasterFd() const { return master_; }
  const std::string& SlavePath() const { return slavePath_; }

 private:
  int master_ = -1;
  int slaveKeep_ = -1;
  std::string slavePath_;
};

// An 8N2 serial line of a given rate, in both directions: 11 bit times per byte.
// Bytes from the PC are complete only once they have had their time on the line, and
// a reply leaves no earlier than the line allows after the previous one; a reply is
// delivered at the moment its last byte would arrive. A rate of 0 means no pacing.
class LineModel {
 public:
  explicit LineModel(double baud = 0.0) : byteTime_(baud > 0 ? 11.0 / baud : 0.0) {}
  double ByteTime() const { return byteTime_; }
  // A byte read at `now` (seconds): returns when its last bit is on the line.
  double Received(double now);
  // A reply of `length` bytes ready to go at `ready`: returns when it has arrived.
  double Sent(double ready, size_t length);

 private:
  double byteTime_;
  double rxFree_ = 0.0;  // when the PC-to-ECU direction is free again
  double txFree_ = 0.0;  // when the ECU-to-PC direction is free again
};

// One reply waiting for its time.
struct ScheduledReply {
  double at;
  std::vector<uint8_t> bytes;
};

// Feeds bytes that arrived at `now` to the engine one by one, as the line delivers
// them, and schedules every reply (after the engine's reply delay) on the line.
void FeedLine(Engine& engine, LineModel& line, double now, const uint8_t* data, size_t n,
              std::deque<ScheduledReply>& out);

// Seconds on the steady clock.
double NowSeconds();

// A pause this long inside a request frame abandons the frame, as the firmware does
// (a client that went away in the middle of a frame must not swallow the next
// client's first requests). The clock is injectable, so the rule is tested without
// waiting.
class FrameGapRule {
 public:
  static constexpr double kGap = 0.1;  // seconds
  explicit FrameGapRule(std::function<double()> clock = NowSeconds, double gap = kGap)
      : clock_(std::move(clock)), gap_(gap) {}
  // Bytes have just been read: forgets the engine's incomplete frame when the line
  // was quiet for longer than the gap since the previous bytes. Returns the time of
  // arrival on the rule's clock.
  double OnArrival(Engine& engine);

 private:
  std::function<double()> clock_;
  double gap_;
  double lastByte_ = 0.0;
};

// Serves the engine on the master side until `stop` becomes non-zero (set from a
// signal handler). SIGINT and SIGTERM must be blocked by the caller; they are let in
// only while waiting. Returns 0, or 1 on an unexpected error (message in *error).
int ServePty(Engine& engine, const PseudoTerminal& pty, double baud, volatile std::sig_atomic_t& stop,
             std::string* error);

}  // namespace sim
