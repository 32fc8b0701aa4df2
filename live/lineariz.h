// Sensor linearisation tables of the parameter block and the throttle setting.
//
// Each table pairs 16 converter counts (inputs, 0..1023) with 16 output values. The
// page shows only the tables that the bike's equipment uses; the throttle setting
// reads the throttle sensor at idle and at full opening (command 8) and spreads the
// 16 throttle inputs evenly between the two readings.
#pragma once
#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "ecudata/fields.h"

namespace live {

inline constexpr int kLnrPoints = 16;
inline constexpr uint32_t kFuelReserveOffset = 1202;

// One linearisation table: where its rows lie in the block and how its outputs are shown.
struct LnrTable {
  const char* control;  // TABfarf, TABth2o, ...
  uint32_t outputs;     // offset of the 16 outputs
  uint32_t inputs;      // offset of the 16 inputs
  int32_t divisor;      // output shown = raw / divisor
  double outMin, outMax;
  const char* caption;  // what the page writes above the table
  const uint8_t* flag;  // the equipment flag that decides; null: always shown
  bool whenClear;       // shown while the flag is clear (else while it is set)
};

// The eight tables in the order of the page (the throttle first, the fuel level last).
std::span<const LnrTable> LnrTables();
// The same eight in block order (the order of the sorting).
std::span<const LnrTable> LnrTablesInBlockOrder();
const LnrTable* FindLnrTable(const std::string& control);
bool IsLnrTableShown(const LnrTable& table);
// NUMpercFuelReserve: shown when fFuelControl is set and fFuelReserve clear.
bool IsFuelReserveShown();

// The page's field table: for every table its input row and its output row (the throttle
// table has a header row above them), and the fuel-reserve percentage. Groups 1..8 are the
// tables in page order, group 9 the fuel reserve.
std::span<const ecu::Field> LnrFields();
inline constexpr uint8_t kFuelReserveGroup = 9;
// Row of a table's inputs and outputs in its table control (0-based).
int InputRow(const LnrTable& table);
int OutputRow(const LnrTable& table);

// The fixed throttle outputs (0.1 % steps).
extern const std::array<int16_t, kLnrPoints> bpLinearizThrottle;

// Defaults: throttle outputs bpLinearizThrottle and inputs 0, air-pressure outputs 1000,
// every other value 0, fuel reserve 0.
void InitLnrData(uint8_t* block);
// Writes bpLinearizThrottle over the throttle outputs; with `before`, only when the
// throttle table differs from it (was edited).
void FixThrottleOutputs(uint8_t* block, const uint8_t* before = nullptr);
// Inputs must not decrease: a point below its predecessor takes the predecessor's input
// and output; an equal input takes its output. With `before`, only the tables that differ
// from it (were edited) are sorted; a table that came so is kept as it came. True when
// anything changed.
bool SortLinearisations(uint8_t* block, const uint8_t* before = nullptr);

// Command 8, four times: (sum + 2) / 4, at most 32767. 0 on any failed exchange or a
// reply that is not exactly two bytes.
uint8_t ReadThrottleCount(int& count);

// The window a reading must lie in: `current` +- 150, within 0..1023.
struct CountWindow {
  int lo, hi;
  bool Contains(int v) const { return v >= lo && v <= hi; }
};
CountWindow ThrottleWindow(int current);
// Inputs idle + k (full - idle) / 15 for k = 0..15, truncated toward zero.
std::array<int16_t, kLnrPoints> SpreadThrottleInputs(double idle, double full);
// Columns 2..15 of a row from its first and last value: first + (c - 1)(last - first) / 15.
std::array<double, kLnrPoints> InterpolateRow(double first, double last);

inline constexpr char szCloseGas[] = "Set Throttle to idle position\nand press OK";
inline constexpr char szOpenGas[] = "Set Throttle to full open\nand press OK";
inline constexpr char szThrottleTitle[] = "Throttle Setting";
inline constexpr char szCommError[] = "COMM error...";
inline constexpr char szFullNotAboveIdle[] =
    "Possible error\nThe full open reading is not above the idle one.\nOpen the throttle fully and press OK "
    "again.";

// The two steps of the throttle setting (idle, then full opening).
class ThrottleSetting {
 public:
  enum class Outcome {
    Stay,      // the pop-up stays (next step, or a failure that was reported)
    Close,     // the user gave up after the plausibility question
    Finished,  // both readings taken: Inputs() holds the new throttle inputs
  };

  void Begin() {
    step_ = 0;
    idle_ = full_ = 0;
  }
  int Step() const { return step_; }
  const char* Instruction() const { return step_ == 0 ? szCloseGas : szOpenGas; }
  // CBset: reads the throttle; `current` is the input the reading is compared with (the
  // first throttle input at idle, the last one at full opening). Messages and the
  // plausibility question go through com::Ui().
  Outcome Set(int current);
  double Idle() const { return idle_; }
  double Full() const { return full_; }
  std::array<int16_t, kLnrPoints> Inputs() const { return SpreadThrottleInputs(idle_, full_); }

 private:
  int step_ = 0;
  double idle_ = 0, full_ = 0;
};

// Writes new throttle inputs into a block.
void PutThrottleInputs(uint8_t* block, const std::array<int16_t, kLnrPoints>& inputs);

}  // namespace live
