// How long a programming run still takes: the bytes still to send at the line's
// rate (8N2: 11 bits a byte, with every block's frame and acknowledgement), scaled
// by how long the blocks sent so far took against their own wire time. The clock is
// the caller's, so tests drive it.
#pragma once
#include <cstdint>
#include <string>

namespace loader {

class TimeLeft {
 public:
  // `total`: bytes of the transmission copy; `baud`: the line's rate.
  TimeLeft(uint64_t total, int baud) : total_(total), baud_(baud > 0 ? baud : 1) {}

  // The first block is about to go out (the erase is over).
  void Start(double now);
  // `done` bytes are acknowledged at `now`.
  void Sent(uint64_t done, double now);

  double Fraction() const { return total_ ? static_cast<double>(done_) / static_cast<double>(total_) : 1.0; }
  // Seconds until the end frame is acknowledged, as estimated at the last Sent.
  double SecondsLeft() const;
  // Seconds on the wire for `bytes` of data in blocks, the end frame included when
  // they are the last ones.
  double WireSeconds(uint64_t bytes, bool withEndFrame) const;

 private:
  uint64_t total_;
  int baud_;
  uint64_t done_ = 0;
  double start_ = 0.0;
  double elapsed_ = 0.0;
};

// What the gauge shows beside the kilobytes.
struct RunTime {
  double fraction = 0.0;
  double secondsLeft = -1.0;  // while programming; negative: nothing to show
  double took = -1.0;         // once done: the run's seconds
};

// "42 %, 1:05 left", "took 1:20", or empty.
std::string RunTimeText(const RunTime& time);
// "45 s", "1:05", "1:02:03".
std::string DurationText(double seconds);

}  // namespace loader
