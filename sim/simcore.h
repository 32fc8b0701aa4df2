// The core of the ECU simulator: reassembles request frames from the byte stream,
// hands them to a simulated device (application firmware or boot loader), and
// applies the fault options to the replies.
#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

#include "link/frame.h"

namespace com {
class PipePort;
}

namespace sim {

// One simulated side of the ECU.
class Device {
 public:
  virtual ~Device() = default;
  virtual com::FrameLayout Layout() const = 0;
  // Handles one well-formed request; returns the reply's payload, or nothing when
  // the device does not answer. `command` is the reply's command code.
  struct Reply {
    bool send = true;
    std::vector<uint8_t> payload;
  };
  virtual Reply Handle(uint8_t command, const uint8_t* payload, uint8_t n) = 0;
};

// Fault options; a negative frame number disables the fault. Frames count from 1
// in the order the requests arrive.
struct Faults {
  int dropAfterFrames = -1;    // answer nothing after this many requests (the link "drops")
  int corruptChecksumAt = -1;  // the reply to this request carries a wrong checksum
  int shortReplyAt = -1;       // the reply to this request is one byte short
  double replyDelay = 0.0;     // seconds before each reply
};

class Engine {
 public:
  Engine(Device& device, Faults faults = {});
  // Feeds bytes from the PC; returns the reply bytes produced by complete requests.
  std::vector<uint8_t> OnBytes(const uint8_t* data, size_t n);
  int FramesSeen() const { return frames_; }
  bool Dropped() const { return faults_.dropAfterFrames >= 0 && frames_ >= faults_.dropAfterFrames; }
  const Faults& GetFaults() const { return faults_; }
  Faults& MutableFaults() { return faults_; }
  Device& GetDevice() { return device_; }
  // Bytes of an incomplete request are waiting for the rest of their frame.
  bool Receiving() const { return !pending_.empty(); }
  // Forgets an incomplete request, as the firmware does after a pause on the line
  // (a client that went away in the middle of a frame must not swallow the next
  // client's first requests).
  void ResetReception() { pending_.clear(); }

 private:
  void OnFrame(uint8_t command, const uint8_t* payload, uint8_t n, std::vector<uint8_t>& out);

  Device& device_;
  Faults faults_;
  std::vector<uint8_t> pending_;  // bytes of an incomplete request
  int frames_ = 0;
};

// Connects an engine to an in-memory pipe: what the program writes is answered at
// once (or, with a reply delay, when a read has waited long enough).
void AttachToPipe(Engine& engine, com::PipePort& pipe);

}  // namespace sim
