// The live data model: the held live record and its exchange with the ECU (command 7
// with the pending bench adjustment), the one-failure tolerance, the output tests
// (command 11), and the equipment records that decide which controls the live page
// dims or hides (RefreshLiveConfig). Plain C++; the page shows what it holds.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "live/liverecord.h"

namespace live {

// The 3-byte payload of each live request: a 16-bit value (big-endian) and a code.
struct BenchAdjust {
  uint16_t value = 0;
  uint8_t code = 0;  // 0: no adjustment
};

// A bench adjustment control: the code it sends and how its value is scaled.
struct BenchControl {
  const char* control;
  uint8_t code;
  uint16_t factor;  // value sent = round(v x factor)
  bool isSigned;
};
std::span<const BenchControl> BenchControls();
// The adjustment a control's value asks for (halves away from zero, saturated to
// the 16-bit range of the field); code 0 for a control that is not a bench control.
BenchAdjust MakeBenchAdjust(const std::string& control, double value);

// An output test button: its code; toggles send their new state, buttons 0.
struct OutputTest {
  const char* control;
  uint8_t code;
  bool toggle;
};
std::span<const OutputTest> OutputTests();
const OutputTest* FindOutputTest(const std::string& control);

// Equipment record 7.1: output assignment.
struct OutputAssignment {
  uint16_t words[2] = {0, 0};
  uint8_t ignition[2] = {0xFF, 0xFF};   // per cylinder, valid 0..1
  uint8_t injection[2] = {0xFF, 0xFF};  // per cylinder, valid 0..3
};
// Equipment record 7.2: kept, not shown.
struct Record72 {
  uint8_t bytes[6] = {0, 0, 0, 0, 0, 1};
  uint16_t word = 0;
};
// Equipment record 7.3: the bike and its equipment flags (record bytes 4..19).
struct BikeEquipment {
  uint32_t identity = 0xFF0000;  // bits 23..16 family (0xFF none), 15..8 model, 7..0 year
  std::array<uint8_t, 16> flags{};
  uint8_t Flag(int recordByte) const { return flags[recordByte - 4]; }
};

// What RefreshLiveConfig read (closed-port values for whatever it could not read).
struct LiveConfig {
  bool portOpen = false;
  std::string ecuMap1, ecuMap2, ecuPar;  // TMecuMap1, TMecuMap2, TMecuPar
  OutputAssignment outputs;
  Record72 record72;
  BikeEquipment bike;
};

// The controls the page dims or hides for a configuration, and the bike text.
struct LiveControlStates {
  std::vector<std::pair<std::string, bool>> enabled;  // control, enabled
  std::vector<std::pair<std::string, bool>> visible;  // control, visible
  std::string bikeText;                               // STRtypeBike
  bool bikeEnabled = false;
};
LiveControlStates ControlStates(const LiveConfig& config);
// The last state of a control in a state list (true when it is not named there).
bool StateOf(const std::vector<std::pair<std::string, bool>>& states, const std::string& control);

// One live exchange: command 7 with the adjustment, and a single read. 1 when a
// complete record of exactly 144 bytes arrived (then it is in `record`).
uint8_t ReadLiveRecord(const BenchAdjust& adjust, LiveData* record);

class LiveModel {
 public:
  LiveData record{};           // the held record, as received
  BenchAdjust pending;         // travels with the next live request
  LiveConfig config;           // the last RefreshLiveConfig
  bool engineRunning = false;  // from the last display
  uint32_t shown = 0;          // counts the displays of the record (new data, or cleared)

  // Called with every complete record received (the datalog).
  std::function<void(const LiveData&)> onRecord;

  // LivTimer: RefreshLiveConfig with the refresh flag, otherwise one live exchange.
  uint8_t LivTimer(bool refresh);
  // One live exchange; 1 on success (a single failure in a row is tolerated).
  uint8_t LiveExchange();
  // Reads the data names and the three equipment records; 1 when all reads succeeded.
  uint8_t RefreshLiveConfig();
  // A bench control changed: its adjustment replaces any pending one.
  void SetBancoAdjust(const std::string& control, double value);
  // Command 11 with a code and a value; shows its own messages. 1 on success.
  uint8_t TestOneShotOutput(uint8_t code, uint8_t value);
  // Zeroes the held record (and shows it).
  void ClearLiveData();
  uint8_t Failures() const { return failures_; }

 private:
  void Display(bool received);
  uint8_t failures_ = 0;  // consecutive failed live exchanges
};

}  // namespace live
