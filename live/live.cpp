#include "live/live.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "config/bike.h"
#include "ecudata/transfer.h"
#include "link/bytes.h"
#include "link/com.h"
#include "link/commands.h"
#include "link/frame.h"
#include "link/userio.h"
#include "shell/connection.h"

namespace live {

namespace {

// clang-format off
constexpr BenchControl kBench[] = {
    {"NSkInjBanco",    2, 1000, false},
    {"NSkInjBanco1",   3, 1000, false},
    {"NSkInjBanco2",   4, 1000, false},
    {"NSdegFaseBanco", 5, 1,    true},
    {"NSddgAdvBanco",  6, 10,   true},
    {"NSddgAdvBanco1", 7, 10,   true},
    {"NSddgAdvBanco2", 8, 10,   true},
};

constexpr OutputTest kTests[] = {
    {"CBtestInjCyl1A", 1,  false},
    {"CBtestInjCyl2A", 2,  false},
    {"CBtestInjCyl1B", 3,  false},
    {"CBtestInjCyl2B", 4,  false},
    {"CBtestTrigCyl1", 5,  false},
    {"CBtestTrigCyl2", 6,  false},
    {"TBtestFuelPump", 7,  true},
    {"TBtestFan",      8,  true},
    {"TBtestLight",    9,  true},
    {"TBtestMilLamp",  10, true},
    {"TBtestHeat",     11, true},
    {"CBchangeMap",    12, false},
};
// clang-format on

constexpr const char kTestTitle[] = "One-Shot Output Test";

// Nearest integer, halves away from zero.
double RoundAway(double x) {
  return x > 0 ? std::trunc(x + 0.5) : std::trunc(x - 0.5);
}

// Builds the state lists: a control dimmed (or hidden) by any rule stays so.
class States {
 public:
  void Dim(std::initializer_list<const char*> controls, bool dim) {
    for (const char* c : controls) Set(enabled_, c, !dim);
  }
  void Show(std::initializer_list<const char*> controls, bool show) {
    for (const char* c : controls) Set(visible_, c, show);
  }
  LiveControlStates Take() {
    LiveControlStates out;
    for (auto& [name, on] : enabled_) out.enabled.emplace_back(name, on);
    for (auto& [name, on] : visible_) out.visible.emplace_back(name, on);
    return out;
  }

 private:
  static void Set(std::map<std::string, bool>& states, const char* control, bool on) {
    auto [it, inserted] = states.emplace(control, on);
    if (!inserted) it->second = it->second && on;
  }
  std::map<std::string, bool> enabled_, visible_;
};

}  // namespace

std::span<const BenchControl> BenchControls() {
  return kBench;
}

BenchAdjust MakeBenchAdjust(const std::string& control, double value) {
  for (const BenchControl& b : kBench) {
    if (control != b.control) continue;
    double raw = RoundAway(value * b.factor);
    if (b.isSigned) {
      raw = std::clamp(raw, -32768.0, 32767.0);
      return {static_cast<uint16_t>(static_cast<int16_t>(raw)), b.code};
    }
    raw = std::clamp(raw, 0.0, 65535.0);
    return {static_cast<uint16_t>(raw), b.code};
  }
  return {};
}

std::span<const OutputTest> OutputTests() {
  return kTests;
}

const OutputTest* FindOutputTest(const std::string& control) {
  for (const OutputTest& t : kTests)
    if (control == t.control) return &t;
  return nullptr;
}

bool StateOf(const std::vector<std::pair<std::string, bool>>& states, const std::string& control) {
  bool on = true;
  for (const auto& [name, state] : states)
    if (name == control) on = state;
  return on;
}

LiveControlStates ControlStates(const LiveConfig& config) {
  States s;
  const OutputAssignment& out = config.outputs;

  // Output assignment: a cylinder without a valid output has no injection or ignition.
  const bool inj1 = out.injection[0] <= 3, inj2 = out.injection[1] <= 3;
  const bool ign1 = out.ignition[0] <= 1, ign2 = out.ignition[1] <= 1;
  s.Dim({"NUMterog1A", "NUMterog1B", "NUMfase1", "NUMusInjBase1", "NUMkInjUser1", "NSkInjBanco1"}, !inj1);
  s.Dim({"NUMterog2A", "NUMterog2B", "NUMfase2", "NUMusInjBase2", "NUMkInjUser2", "NSkInjBanco2"}, !inj2);
  s.Dim({"NUMteta1", "NUMdwell1", "NUMddgAdvUser1", "NSddgAdvBanco1"}, !ign1);
  s.Dim({"NUMteta2", "NUMdwell2", "NUMddgAdvUser2", "NSddgAdvBanco2"}, !ign2);
  auto usesIgn = [&](uint8_t output) { return out.ignition[0] == output || out.ignition[1] == output; };
  auto usesInj = [&](uint8_t output) { return out.injection[0] == output || out.injection[1] == output; };
  s.Dim({"CBtestTrigCyl1", "LEDisOverDwell1"}, !usesIgn(0));
  s.Dim({"CBtestTrigCyl2", "LEDisOverDwell2"}, !usesIgn(1));
  s.Dim({"CBtestInjCyl1A", "CBtestInjCyl1B", "LEDisOverInj1"}, !usesInj(0));
  s.Dim({"CBtestInjCyl2A", "CBtestInjCyl2B", "LEDisOverInj2"}, !usesInj(1));

  // Equipment of the bike.
  const BikeEquipment& bike = config.bike;
  auto has = [&](int recordByte) { return bike.Flag(recordByte) != 0; };
  s.Dim({"NUMusInjVbatB", "NUMterog1B", "NUMterog2B", "CBtestInjCyl1B", "CBtestInjCyl2B"}, !has(4));
  s.Show({"NUMtoil", "NUMtoilAD"}, has(5));
  s.Show({"NUMth2o", "NUMth2oAD"}, !has(5));
  s.Dim({"NUMtairAD", "NUMpBaroAD"}, !has(6));
  s.Dim({"LEDisPoilLow"}, !has(8));
  s.Dim({"NUMlFuel", "NUMlFuelAD", "LEDisFuelRes"}, !has(9));
  s.Dim({"TBtestFan", "LEDisFan"}, !has(11) && !has(12));
  s.Dim({"TBtestLight", "LEDisLight"}, !has(13));
  s.Dim({"TBtestMilLamp", "LEDisMilLamp"}, !has(14));
  s.Dim({"NUMnbego1", "NUMnbego1AD"}, !has(16));
  s.Dim({"NUMnbego2", "NUMnbego2AD"}, !has(17));
  s.Dim({"TBtestHeat", "LEDisHeat", "LEDisCoc"}, !has(16) && !has(17));
  s.Dim({"TMwheels", "NUMvelWheel", "NUMdistWheel"}, !has(18));
  s.Dim({"LEDisDTC"}, !has(19));
  s.Dim({"TBtestFuelPump", "LEDisFuelPump", "CBchangeMap"}, !config.portOpen);

  LiveControlStates states = s.Take();
  const uint32_t family = (bike.identity >> 16) & 0xFF;
  states.bikeText = config::BikeText(bike.identity);
  states.bikeEnabled = family != 0xFF;
  return states;
}

uint8_t LiveModel::LivTimer(bool refresh) {
  return refresh ? RefreshLiveConfig() : LiveExchange();
}

void LiveModel::Display(bool received) {
  ++shown;
  const bool open = com::isComOpen != 0;
  if (received && open) {
    shell::fEcuProtected = ProtectionOff(record) ? 0 : 1;
    engineRunning = EngineOn(record);
    if (onRecord) onRecord(record);
    return;
  }
  // A cleared record says nothing about the lock: the identity check keeps its word
  // while the link is open.
  engineRunning = false;
  if (!open) shell::fEcuProtected = 0;
}

void LiveModel::ClearLiveData() {
  record.fill(0);
}

uint8_t ReadLiveRecord(const BenchAdjust& adjust, LiveData* record) {
  uint8_t request[3];
  com::Put16BE(request, adjust.value);
  request[2] = adjust.code;
  com::TxCommand(com::ReadLive, request, sizeof request);  // the receive decides
  LiveData reply{};
  uint8_t length = 0;
  const int32_t rc = com::RxResponse(com::ReadLive, reply.data(), kLiveDataSize, &length);
  if (rc != 0 || length != kLiveDataSize) return 0;
  *record = reply;
  return 1;
}

uint8_t LiveModel::LiveExchange() {
  if (!com::isComOpen) {
    ClearLiveData();
    Display(false);
    failures_ = 0;
    return 0;
  }
  const BenchAdjust adjust = pending;
  pending = {};  // cleared as soon as it is sent, whatever the reply
  LiveData reply{};
  if (ReadLiveRecord(adjust, &reply)) {
    record = reply;
    failures_ = 0;
    Display(true);
    return 1;
  }
  if (failures_ < 255) ++failures_;
  if (failures_ == 1) return 1;  // the old values stay on screen
  ClearLiveData();
  Display(false);
  return 0;
}

uint8_t LiveModel::RefreshLiveConfig() {
  LiveConfig c;
  c.portOpen = com::isComOpen != 0;
  bool ok = c.portOpen;
  if (c.portOpen)
    ok = shell::GetEcuDataName(c.ecuMap1, 1) && shell::GetEcuDataName(c.ecuMap2, 2) &&
         shell::GetEcuDataName(c.ecuPar, 0);

  uint8_t bytes[20];
  if (ecu::DoGetValues(7, 1, 0, 0, bytes, 8)) {
    c.outputs.words[0] = com::Get16BE(bytes);
    c.outputs.words[1] = com::Get16BE(bytes + 2);
    c.outputs.ignition[0] = bytes[4];
    c.outputs.ignition[1] = bytes[5];
    c.outputs.injection[0] = bytes[6];
    c.outputs.injection[1] = bytes[7];
  } else {
    ok = false;
  }
  if (ecu::DoGetValues(7, 2, 0, 0, bytes, 8)) {
    std::copy(bytes, bytes + 6, c.record72.bytes);
    c.record72.word = com::Get16BE(bytes + 6);
  } else {
    ok = false;
  }
  if (ecu::DoGetValues(7, 3, 0, 0, bytes, 20)) {
    c.bike.identity = com::Get32BE(bytes);
    std::copy(bytes + 4, bytes + 20, c.bike.flags.begin());
  } else {
    ok = false;
  }
  config = c;
  if (!ok) {
    ClearLiveData();
    Display(false);
  }
  return ok ? 1 : 0;
}

void LiveModel::SetBancoAdjust(const std::string& control, double value) {
  if (shell::CheckfBusy()) return;
  const BenchAdjust adjust = MakeBenchAdjust(control, value);
  if (adjust.code != 0) pending = adjust;
}

uint8_t LiveModel::TestOneShotOutput(uint8_t code, uint8_t value) {
  if (shell::CheckfBusy()) return 0;
  if (!com::isComOpen) {
    com::Ui().MessagePopup(kTestTitle, "COMM error...");
    return 0;
  }
  const uint8_t request[2] = {code, value};
  uint8_t length = 0;
  if (!com::TxCommand(com::TestOutput, request, 2) ||
      com::RxResponse(com::TestOutput, nullptr, 0, &length) != 0 || length != 0) {
    com::Ui().MessagePopup(kTestTitle, shell::szGenericError);
    return 0;
  }
  return 1;
}

}  // namespace live
