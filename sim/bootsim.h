// The simulated boot loader (what Kalvex talks to).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "sim/simcore.h"

namespace sim {

struct BootOptions {
  enum class Hello { Plain, Extended };
  Hello hello = Hello::Extended;  // the one BootHello form this boot loader answers
  uint16_t sysType = 0x5600;      // 0x5600 or 0x5534 (any other value to test refusal)
  std::string name = "Q740 Boot";
  uint16_t versionMajor = 2, versionMinor = 1;
  bool hasApplication = true;  // BootAppInfo 2 answers 0 bytes when false
  std::string appName = "Q740";
  uint16_t appMajor = 1, appMinor = 3;
  std::string appSuffix = "";
  std::string appText3 = "MLF 740", appText4 = "2009-04-16";
  int noAckForBlock = -1;     // block number whose write is never acknowledged
  double eraseDelay = 0.0;    // seconds the erase takes before its acknowledgement
  std::string streamOutPath;  // where the received stream is written at the end frame
};

// Command-line options of q740-sim for the boot loader ("--boot-hello plain", ...).
// Returns true when `name` (without the leading dashes) is a boot option and was
// taken; `value` is its argument ("" for flags). `error` is set for a bad value.
bool ParseBootOption(const std::string& name, const std::string& value, BootOptions& options,
                     std::string* error);
// Whether a boot option takes an argument.
bool BootOptionTakesValue(const std::string& name);
// Help lines for the boot options.
std::string BootOptionsHelp();

class BootDevice : public Device {
 public:
  explicit BootDevice(BootOptions options = {});
  com::FrameLayout Layout() const override { return com::BootFrame; }
  Reply Handle(uint8_t command, const uint8_t* payload, uint8_t n) override;

  BootOptions& Options() { return options_; }
  // What has been programmed: the concatenated data of blocks 0, 1, ... in order.
  const std::vector<uint8_t>& Stream() const { return stream_; }
  const std::vector<uint8_t>& ErasedAreas() const { return erased_; }
  bool EndFrameSeen() const { return ended_; }
  bool SequenceError() const { return sequenceError_; }
  int BlocksReceived() const { return nextBlock_; }
  void Reset();

 private:
  BootOptions options_;
  std::vector<uint8_t> stream_;
  std::vector<uint8_t> erased_;
  int nextBlock_ = 0;
  bool ended_ = false;
  bool sequenceError_ = false;
};

}  // namespace sim
