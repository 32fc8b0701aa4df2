#include "loader/eta.h"

#include <cmath>
#include <cstdio>

#include "loader/program.h"

namespace loader {

namespace {
// Per block on the wire: frame header and checksum (4), block number (2), and the
// empty acknowledgement (4).
constexpr double kBlockOverhead = 4 + 2 + 4;
// Blocks measured before their timing replaces the wire figure in full: the first
// few carry the start-up of the line.
constexpr double kTrustedBlocks = 8;
}  // namespace

double TimeLeft::WireSeconds(uint64_t bytes, bool withEndFrame) const {
  const double blocks = std::ceil(static_cast<double>(bytes) / kBlockSize) + (withEndFrame ? 1 : 0);
  return (static_cast<double>(bytes) + blocks * kBlockOverhead) * 11.0 / baud_;
}

void TimeLeft::Start(double now) {
  start_ = now;
  done_ = 0;
  elapsed_ = 0.0;
}

void TimeLeft::Sent(uint64_t done, double now) {
  done_ = done < total_ ? done : total_;
  elapsed_ = now - start_;
}

double TimeLeft::SecondsLeft() const {
  const double wireLeft = WireSeconds(total_ - done_, true);
  const double wireDone = WireSeconds(done_, false);
  if (done_ == 0 || wireDone <= 0 || elapsed_ <= 0) return wireLeft;
  // Each block costs its wire time times what the blocks so far took against theirs
  // (adapter latency, the boot loader's flash writes); until a few blocks have been
  // measured the wire figure keeps part of its weight.
  const double ratio = elapsed_ / wireDone;
  const double weight = std::fmin(1.0, std::ceil(static_cast<double>(done_) / kBlockSize) / kTrustedBlocks);
  return wireLeft * (weight * ratio + (1.0 - weight));
}

std::string DurationText(double seconds) {
  const long s = seconds > 0 ? std::lround(seconds) : 0;
  char text[32];
  if (s < 60)
    std::snprintf(text, sizeof text, "%ld s", s);
  else if (s < 3600)
    std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
  else
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
  return text;
}

std::string RunTimeText(const RunTime& time) {
  if (time.took >= 0) return "took " + DurationText(time.took);
  if (time.secondsLeft < 0) return {};
  const int percent = static_cast<int>(std::floor(std::fmin(1.0, std::fmax(0.0, time.fraction)) * 100.0));
  return std::to_string(percent) + " %, " + DurationText(time.secondsLeft) + " left";
}

}  // namespace loader
