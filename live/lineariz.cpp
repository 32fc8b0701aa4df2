#include "live/lineariz.h"

#include <cmath>

#include "config/bike.h"
#include "ecudata/fieldkeep.h"
#include "link/bytes.h"
#include "link/com.h"
#include "link/commands.h"
#include "link/frame.h"
#include "link/userio.h"
#include "shell/connection.h"

namespace live {

namespace {

using ecu::Field;
using ecu::FieldType;

constexpr LnrTable kTables[] = {
    {"TABfarf", 528, 560, 10, 0, 100, "Throttle position (%)", nullptr, false},
    {"TABth2o", 592, 624, 10, -30, 250, "Coolant temperature", &config::fTempIsOil, true},
    {"TABtoil", 720, 752, 10, -30, 250, "Oil temperature", &config::fTempIsOil, false},
    {"TABtair", 656, 688, 10, -30, 150, "Air temperature", &config::fAirIsAnalog, false},
    {"TABpAir", 784, 816, 1, 0, 10000, "Air pressure", &config::fAirIsAnalog, false},
    {"TABnbego1", 848, 880, 10, 0, 1300, "Lambda sensor 1", &config::fNbego1, false},
    {"TABnbego2", 912, 944, 10, 0, 1300, "Lambda sensor 2", &config::fNbego2, false},
    {"TABfuelLevel", 976, 1008, 10, 0, 100, "Fuel level (%)", &config::fFuelControl, false},
};

constexpr LnrTable kBlockOrder[] = {kTables[0], kTables[1], kTables[3], kTables[2],
                                    kTables[4], kTables[5], kTables[6], kTables[7]};

constexpr int kInputRow(const LnrTable& t) {
  return t.outputs == 528 ? 1 : 0;
}

constexpr Field Row(const LnrTable& t, bool inputs, uint8_t group) {
  Field f{};
  f.control = t.control;
  f.offset = inputs ? t.inputs : t.outputs;
  f.type = FieldType::S16;
  f.divisor = inputs ? 1 : t.divisor;
  f.min = inputs ? 0 : t.outMin;
  f.max = inputs ? 1023 : t.outMax;
  f.decimals = inputs || t.divisor == 1 ? 0 : 1;
  f.defaultRaw = !inputs && t.outputs == 784 ? 1000 : 0;  // air pressure: 1000
  f.group = group;
  f.cols = kLnrPoints;
  f.row = static_cast<int16_t>(kInputRow(t) + (inputs ? 0 : 1));
  f.col = 0;
  return f;
}

constexpr Field FuelReserve() {
  Field f{};
  f.control = "NUMpercFuelReserve";
  f.offset = kFuelReserveOffset;
  f.type = FieldType::U16;
  f.divisor = 10;
  f.min = 0;
  f.max = 100;
  f.decimals = 1;
  f.group = kFuelReserveGroup;
  return f;
}

constexpr Field kFields[] = {
    Row(kTables[0], true, 1),
    Row(kTables[0], false, 1),
    Row(kTables[1], true, 2),
    Row(kTables[1], false, 2),
    Row(kTables[2], true, 3),
    Row(kTables[2], false, 3),
    Row(kTables[3], true, 4),
    Row(kTables[3], false, 4),
    Row(kTables[4], true, 5),
    Row(kTables[4], false, 5),
    Row(kTables[5], true, 6),
    Row(kTables[5], false, 6),
    Row(kTables[6], true, 7),
    Row(kTables[6], false, 7),
    Row(kTables[7], true, 8),
    Row(kTables[7], false, 8),
    FuelReserve(),
};

int16_t Get(const uint8_t* block, uint32_t offset, int i) {
  return static_cast<int16_t>(com::Get16LE(block + offset + 2 * i));
}
void Put(uint8_t* block, uint32_t offset, int i, int16_t v) {
  com::Put16LE(block + offset + 2 * i, static_cast<uint16_t>(v));
}

}  // namespace

const std::array<int16_t, kLnrPoints> bpLinearizThrottle = {0,   67,  133, 200, 267, 333, 400, 467,
                                                            533, 600, 667, 733, 800, 867, 933, 1000};

std::span<const LnrTable> LnrTables() {
  return kTables;
}
std::span<const LnrTable> LnrTablesInBlockOrder() {
  return kBlockOrder;
}

const LnrTable* FindLnrTable(const std::string& control) {
  for (const LnrTable& t : kTables)
    if (control == t.control) return &t;
  return nullptr;
}

bool IsLnrTableShown(const LnrTable& table) {
  if (!table.flag) return true;
  return table.whenClear ? *table.flag == 0 : *table.flag != 0;
}

bool IsFuelReserveShown() {
  return config::fFuelControl && !config::fFuelReserve;
}

std::span<const ecu::Field> LnrFields() {
  return kFields;
}

int InputRow(const LnrTable& table) {
  return kInputRow(table);
}
int OutputRow(const LnrTable& table) {
  return kInputRow(table) + 1;
}

void InitLnrData(uint8_t* block) {
  ecu::WriteDefaults(block, kFields);
  FixThrottleOutputs(block);
}

namespace {
bool TableEdited(const LnrTable& t, const uint8_t* before, const uint8_t* after) {
  return !before || ecu::RunEdited(before, after, t.inputs, 2 * kLnrPoints) ||
         ecu::RunEdited(before, after, t.outputs, 2 * kLnrPoints);
}
}  // namespace

void FixThrottleOutputs(uint8_t* block, const uint8_t* before) {
  if (!TableEdited(kTables[0], before, block)) return;
  for (int i = 0; i < kLnrPoints; ++i) Put(block, kTables[0].outputs, i, bpLinearizThrottle[i]);
}

bool SortLinearisations(uint8_t* block, const uint8_t* before) {
  bool changed = false;
  for (const LnrTable& t : kBlockOrder) {
    if (!TableEdited(t, before, block)) continue;
    for (int i = 1; i < kLnrPoints; ++i) {
      const int16_t in = Get(block, t.inputs, i), prevIn = Get(block, t.inputs, i - 1);
      const int16_t out = Get(block, t.outputs, i), prevOut = Get(block, t.outputs, i - 1);
      if (in < prevIn) {
        Put(block, t.inputs, i, prevIn);
        Put(block, t.outputs, i, prevOut);
        changed = true;
      } else if (in == prevIn && out != prevOut) {
        Put(block, t.outputs, i, prevOut);
        changed = true;
      }
    }
  }
  return changed;
}

uint8_t ReadThrottleCount(int& count) {
  long sum = 0;
  for (int k = 0; k < 4; ++k) {
    const uint8_t request = 1;
    uint8_t reply[8] = {};
    uint8_t length = 0;
    if (!com::TxCommand(com::ThrottleSet, &request, 1)) return 0;
    if (com::RxResponse(com::ThrottleSet, reply, sizeof reply, &length) != 0) return 0;
    if (length != 2) return 0;
    sum += com::Get16BE(reply);
  }
  const long average = (sum + 2) / 4;
  count = static_cast<int>(average > 32767 ? 32767 : average);
  return 1;
}

CountWindow ThrottleWindow(int current) {
  CountWindow w{current - 150, current + 150};
  if (w.lo < 0) w.lo = 0;
  if (w.hi > 1023) w.hi = 1023;
  return w;
}

std::array<int16_t, kLnrPoints> SpreadThrottleInputs(double idle, double full) {
  std::array<int16_t, kLnrPoints> inputs{};
  // k * (full - idle) first: the quotient then is exact wherever the reading allows it.
  for (int k = 0; k < kLnrPoints; ++k)
    inputs[k] = static_cast<int16_t>(std::trunc(idle + k * (full - idle) / 15.0));
  return inputs;
}

std::array<double, kLnrPoints> InterpolateRow(double first, double last) {
  std::array<double, kLnrPoints> row{};
  for (int c = 0; c < kLnrPoints; ++c) row[c] = first + c * (last - first) / 15.0;
  row[kLnrPoints - 1] = last;
  return row;
}

ThrottleSetting::Outcome ThrottleSetting::Set(int current) {
  if (!com::isComOpen) {
    com::Ui().MessagePopup(szThrottleTitle, szCommError);
    return Outcome::Stay;
  }
  int reading = 0;
  if (!ReadThrottleCount(reading)) {
    com::Ui().MessagePopup(szThrottleTitle, shell::szGenericError);
    return Outcome::Stay;
  }
  if (!ThrottleWindow(current).Contains(reading) &&
      !com::Ui().ConfirmPopup("Warning!", "Possible error\nContinue?"))
    return Outcome::Close;
  if (step_ == 0) {
    idle_ = reading;
    step_ = 1;
    return Outcome::Stay;
  }
  if (reading <= idle_) {
    // Spread between them, every input would collapse onto the idle one; the pop-up stays
    // so the throttle can be opened fully and read again.
    com::Ui().MessagePopup("Warning!", szFullNotAboveIdle);
    return Outcome::Stay;
  }
  full_ = reading;
  return Outcome::Finished;
}

void PutThrottleInputs(uint8_t* block, const std::array<int16_t, kLnrPoints>& inputs) {
  for (int i = 0; i < kLnrPoints; ++i) Put(block, kTables[0].inputs, i, inputs[i]);
}

}  // namespace live
