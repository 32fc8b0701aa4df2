#include "diagnostics/diagnost.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <deque>

#include "link/bytes.h"
#include "link/com.h"
#include "link/commands.h"
#include "link/cp1252.h"
#include "link/frame.h"
#include "link/userio.h"
#include "link/utils.h"
#include "shell/connection.h"

namespace dgn {

namespace {

// clang-format off
constexpr Sensor kSensors[9] = {
    {"farf",   28, 0, 5}, {"th2o",   29, 0, 4}, {"toil", 30, 0, 3},
    {"tair",   31, 0, 2}, {"lFuel",  32, 0, 1}, {"pBaro", 33, 0, 0},
    {"nbego1", 34, 1, 7}, {"nbego2", 35, 1, 6}, {"vBat", 36, 1, 5},
};
// clang-format on

using S = StatusShow;

const std::vector<StatusField>& StatusTable() {
  static const std::vector<StatusField> table = [] {
    std::vector<StatusField> t = {
        {"STRonTime", 0, true, S::Time},
        {"STRtimeOverRpm", 4, true, S::Time},
        {"STRtimeOverThrottle", 8, true, S::Time},
        {"NUMdistWheel", 12, true, S::Thousandths},
        {"NUMmaxValRpm", 16, false, S::Number},
        {"NUMcntOverRev", 18, false, S::Number},
        {"LEDdistErrs", 20, false, S::Led},
        {"STRonTimeUser", 24, true, S::Time},
        {"NUMdistWheelUser", 28, true, S::Thousandths},
        {"NUMtrig1err", 32, false, S::Number},
        {"NUMtrig2err", 34, false, S::Number},
        {"NUMinj1err", 36, false, S::Number},
        {"NUMinj2err", 38, false, S::Number},
        {"NUMvelWheelErr", 44, false, S::Number},
    };
    static const char* counters[12] = {"NUMcntStarterIn", "NUMcntStop",      "NUMcntClutch",
                                       "NUMcntSideStand", "NUMcntNeutral",   "NUMcntDropSwitch",
                                       "NUMcntShiftSet",  "NUMcntPoilLow",   "NUMcntKeyLock",
                                       "NUMcntFuelRes",   "NUMcntChangeMap", "NUMcntCodeLoad"};
    for (int i = 0; i < 12; ++i)
      t.push_back({counters[i], static_cast<uint8_t>(46 + 2 * i), false, S::Number});
    t.push_back({"NUMdtcErr", 70, false, S::Number});
    static std::deque<std::string> names;  // stable places for the control names
    for (const Sensor& s : kSensors) names.push_back(std::string("NUM") + s.name + "Err");
    for (int i = 0; i < 9; ++i)
      t.push_back({names[i].c_str(), static_cast<uint8_t>(72 + 2 * i), false, S::Number});
    return t;
  }();
  return table;
}

const std::vector<ParamField>& ParamTable() {
  static const std::vector<ParamField> table = [] {
    std::vector<ParamField> t = {
        {"NUMrpmLimit", 0, false, false, 1, 0, true, 1, 3, 0, -1},
        {"NUMthrottleLimit", 2, false, false, 10, 1, true, 10, 4, 0, -1},
        {"NUMdistLimit", 4, true, false, 0.1, 0, true, 0.1, 5, 0, -1},
        {"NUMvelWheelLimit", 8, false, false, 1, 0, true, 1, 14, 0, -1},
    };
    static std::deque<std::string> names;  // stable places for the control names
    struct Column {
      const char* suffix;
      uint8_t base;
      bool derived;
      uint8_t sub;
    };
    static constexpr Column columns[] = {
        {"MaxErr", 10, false, 2}, {"ADmin", 28, false, 3},    {"Min", 46, true, 0},   {"ADmax", 64, false, 4},
        {"Max", 82, true, 0},     {"ADrecov", 100, false, 5}, {"Recov", 118, true, 0}};
    for (int s = 0; s < 9; ++s) {
      for (const Column& c : columns) {
        names.push_back(std::string("NUM") + kSensors[s].name + c.suffix);
        const bool pressure = std::string(kSensors[s].name) == "pBaro";
        const double divisor = c.derived && !pressure ? 10 : 1;
        t.push_back({names.back().c_str(), static_cast<uint8_t>(c.base + 2 * s), false, c.derived, divisor,
                     divisor == 10 ? 1 : 0, !c.derived, 1, c.derived ? uint8_t{0} : kSensors[s].item, c.sub,
                     s});
      }
    }
    return t;
  }();
  return table;
}

// clang-format off
constexpr ResetButton kResets[] = {
    {"CBglobalErrReset", 1},     {"CBonTimeReset", 2},        {"CBoverRpmReset", 3},
    {"CBoverThrottleReset", 4},  {"CBdistReset", 5},          {"CBmaxRpmReset", 6},
    {"CBoverRevReset", 7},       {"CBonTimeUserReset", 8},    {"CBdistUserReset", 9},
    {"CBtrig1errReset", 10},     {"CBtrig2errReset", 11},     {"CBinj1errReset", 12},
    {"CBinj2errReset", 13},      {"CBvelWheelErrReset", 14},  {"CBstarterInCntReset", 15},
    {"CBstopCntReset", 16},      {"CBclutchCntReset", 17},    {"CBsideStandCntReset", 18},
    {"CBneutralCntReset", 19},   {"CBdropSwitchCntReset", 20}, {"CBshiftSetCntReset", 21},
    {"CBpoilLowCntReset", 22},   {"CBkeyLockCntReset", 23},   {"CBfuelResCntReset", 24},
    {"CBmapCntReset", 25},       {"CBcodeLoadCntReset", 26},  {"CBdtcErrReset", 27},
    {"CBfarfErrReset", 28},      {"CBth2oErrReset", 29},      {"CBtoilErrReset", 30},
    {"CBtairErrReset", 31},      {"CBlFuelErrReset", 32},     {"CBpBaroErrReset", 33},
    {"CBnbego1ErrReset", 34},    {"CBnbego2ErrReset", 35},    {"CBvBatErrReset", 36},
};
// clang-format on

constexpr const char kDefaultsTitle[] = "Set Defaults";
constexpr int kDefaultSteps = 49;

// Converts a record from the wire (big-endian) to PC order, field by field.
template <size_t N>
void ToPcOrder(std::array<uint8_t, N>& record, std::initializer_list<int> words32,
               std::initializer_list<int> bytes) {
  for (int offset = 0; offset + 1 < static_cast<int>(N);) {
    if (std::find(bytes.begin(), bytes.end(), offset) != bytes.end()) {
      ++offset;
      continue;
    }
    if (std::find(words32.begin(), words32.end(), offset) != words32.end()) {
      com::Put32LE(record.data() + offset, com::Get32BE(record.data() + offset));
      offset += 4;
    } else {
      com::Put16LE(record.data() + offset, com::Get16BE(record.data() + offset));
      offset += 2;
    }
  }
}

void StatusToPcOrder(std::array<uint8_t, kStatusSize>& r) {
  ToPcOrder(r, {0, 4, 8, 12, 24, 28}, {90, 91});
}
void ParamToPcOrder(std::array<uint8_t, kParamSize>& r) {
  ToPcOrder(r, {4}, {136, 137});
}

}  // namespace

std::span<const Sensor> Sensors() {
  return kSensors;
}
std::span<const StatusField> StatusFields() {
  return StatusTable();
}
std::span<const ParamField> ParamFields() {
  return ParamTable();
}
std::span<const ResetButton> ResetButtons() {
  return kResets;
}

const ParamField* FindParamField(const std::string& control) {
  for (const ParamField& f : ParamTable())
    if (control == f.control) return &f;
  return nullptr;
}

std::string ConvertTime(uint32_t s) {
  char text[64];
  const unsigned long days = s / 86400, hours = (s / 3600) % 24, minutes = s / 60 - (s / 3600) * 60,
                      seconds = s % 60;
  std::snprintf(text, sizeof text, "%4lud %2luh %2lum %2lus", days, hours, minutes, seconds);
  return text;
}

uint16_t WriteValue(double value, double factor) {
  const double v = value * factor;
  if (!(v >= 0)) return 0;  // below 0 (and not a number)
  if (v > 65535) return 65535;
  return static_cast<uint16_t>(std::trunc(v));
}

std::array<int, 9> SensorRowTops(int panelHeight, const std::array<bool, 9>& visible) {
  std::array<int, 9> tops{};
  const int top = panelHeight * 352 / 538, pitch = panelHeight * 19 / 538;
  int row = 0;
  for (int i = 0; i < 9; ++i) tops[i] = visible[i] ? top + pitch * row++ : -1;
  return tops;
}

uint32_t DiagModel::StatusValue(const StatusField& f) const {
  return f.u32 ? com::Get32LE(status.data() + f.offset) : com::Get16LE(status.data() + f.offset);
}

std::string DiagModel::StatusText(const StatusField& f) const {
  const uint32_t v = StatusValue(f);
  char text[32];
  switch (f.show) {
    case StatusShow::Time:
      return ConvertTime(v);
    case StatusShow::Thousandths:
      std::snprintf(text, sizeof text, "%.3f", v / 1000.0);
      return text;
    case StatusShow::Number:
    case StatusShow::Led:
      break;
  }
  return std::to_string(v);
}

int32_t DiagModel::ParamRaw(const ParamField& f) const {
  if (f.u32) return static_cast<int32_t>(com::Get32LE(param.data() + f.offset));
  const uint16_t w = com::Get16LE(param.data() + f.offset);
  return f.isSigned ? static_cast<int16_t>(w) : w;
}

std::string DiagModel::ParamText(const ParamField& f) const {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", f.decimals, ParamRaw(f) / f.divisor);
  return text;
}

bool DiagModel::SwitchBit(const Sensor& s) const {
  return (param[136 + s.byte] >> s.bit) & 1;
}

bool DiagModel::ErrorBit(const Sensor& s) const {
  return (status[90 + s.byte] >> s.bit) & 1;
}

void DiagModel::ClearRecords() {
  status.fill(0);
  param.fill(0);
  param[136] = param[137] = 0xFF;
}

uint8_t DiagModel::WriteDiagParam(uint16_t value, uint8_t item, uint8_t sub) {
  if (!com::isComOpen) return 0;
  uint8_t request[4];
  com::Put16BE(request, value);
  request[2] = item;
  request[3] = sub;
  if (!com::TxCommand(com::WriteDiagParam, request, sizeof request)) return 0;
  std::array<uint8_t, kParamSize> reply{};
  uint8_t length = 0;
  if (com::RxResponsePolled(com::WriteDiagParam, reply.data(), kParamSize, &length, com::Timer(),
                            com::kPollWriteDiagParam) != 0)
    return 0;
  // Only a whole record replaces the one on screen: a part of one would mix the
  // ECU's new values with old ones in another byte order.
  if (length != kParamSize) return 0;
  ParamToPcOrder(reply);
  param = reply;
  return 1;
}

uint8_t DiagModel::DiagnosticPassword(uint8_t mode, const std::array<uint8_t, 8>& password, uint8_t* answer) {
  *answer = 0;
  if (!com::isComOpen) return 0;
  uint8_t request[9] = {mode};
  std::copy(password.begin(), password.end(), request + 1);
  uint8_t length = 0;
  if (!com::TxCommand(com::DiagnosticPassword, request, sizeof request)) return 0;
  if (com::RxResponse(com::DiagnosticPassword, answer, 1, &length) != 0 || length != 1) {
    *answer = 0;
    return 0;
  }
  return 1;
}

void DiagModel::ResetPasswordState() {
  dgnPwdStep = 0;
  pwdSetLabel = "Change";
  pwdFieldEnabled = true;
  fDgnUnlocked = 0;
}

uint8_t DiagModel::DgnTimer() {
  // A link closed and opened again while another page was in front is a new connection:
  // its ECU may be another one, or locked again, so the password is probed anew.
  const bool reopened = com::PortOpenings() != portOpenings_;
  portOpenings_ = com::PortOpenings();
  if (!com::isComOpen || reopened) {
    ClearRecords();
    ++shown;
    ResetPasswordState();
    pwdRead = false;
    failures_ = 0;
    if (!com::isComOpen) return 0;
  }
  if (!pwdRead) {
    if (!WriteDiagParam(0, 0, 0)) {
      if (failures_ > 0) return 0;
      ++failures_;
      return 1;
    }
    uint8_t answer = 0;
    DiagnosticPassword(1, {}, &answer);
    fDgnUnlocked = answer != 0;
    pwdFieldEnabled = !fDgnUnlocked;
    pwdSetLabel = "Change";
    pwdRead = true;
  }
  const uint8_t item = dgnResetItem;
  dgnResetItem = 0;
  std::array<uint8_t, kStatusSize> reply{};
  uint8_t length = 0;
  const bool ok = com::TxCommand(com::ReadDiagnostics, &item, 1) &&
                  com::RxResponse(com::ReadDiagnostics, reply.data(), kStatusSize, &length) == 0 &&
                  length == kStatusSize;
  if (ok) {
    StatusToPcOrder(reply);
    status = reply;
    failures_ = 0;
    ++shown;
    return 1;
  }
  if (failures_ > 0) {
    ClearRecords();
    ++shown;
    return 0;
  }
  ++failures_;
  return 1;
}

uint8_t DiagModel::SetValue(const ParamField& field, double value) {
  if (shell::CheckfBusy() || !field.writable) return 0;
  const uint8_t ok = WriteDiagParam(WriteValue(value, field.factor), field.item, field.sub);
  ++shown;  // the new record, or the old one again
  return ok;
}

uint8_t DiagModel::ToggleSwitch(const Sensor& sensor) {
  if (shell::CheckfBusy()) return 0;
  const uint8_t ok = WriteDiagParam(0, sensor.item, 1);
  ++shown;
  return ok;
}

uint8_t DiagModel::SetDiagDefaults() {
  struct Step {
    uint8_t item, sub;
    uint16_t value;
  };
  std::vector<Step> steps = {{3, 0, 9000}, {4, 0, 700}, {5, 0, 0}, {14, 0, 400}};
  for (uint8_t sub : {2, 3, 4, 5})
    for (const Sensor& s : kSensors)
      steps.push_back({s.item, sub, static_cast<uint16_t>(sub == 5 ? 0 : 65535)});
  for (const Sensor& s : kSensors) steps.push_back({s.item, 1, 0});

  auto current = [this](uint8_t item, uint8_t sub) -> int64_t {
    for (const ParamField& f : ParamTable())
      if (f.writable && f.item == item && f.sub == sub) return ParamRaw(f);
    return -1;
  };
  bool ok = true;
  for (int k = 0; k < kDefaultSteps && ok; ++k) {
    com::Ui().SetProgressBar(static_cast<uint32_t>(k), kDefaultSteps);
    const Step& s = steps[static_cast<size_t>(k)];
    if (s.sub == 1) {
      // The switch write flips the bit: only sensors still monitored are switched.
      if (!SwitchBit(kSensors[s.item - 28])) ok = WriteDiagParam(0, s.item, 1) != 0;
    } else if (current(s.item, s.sub) != s.value) {
      ok = WriteDiagParam(s.value, s.item, s.sub) != 0;
    }
  }
  if (ok) com::Ui().SetProgressBar(kDefaultSteps, kDefaultSteps);
  com::Ui().MessagePopup(kDefaultsTitle, ok ? " Done!" : shell::szGenericError);
  com::Ui().SetProgressBar(0, 0);
  ++shown;
  return ok ? 1 : 0;
}

uint8_t DiagModel::DefaultParms(const std::function<void(bool)>& running) {
  if (shell::CheckfBusy()) return 0;
  if (!com::Ui().ConfirmPopup(kDefaultsTitle, "Set all parameters to default values?")) return 0;
  if (running) running(true);
  const uint8_t ok = SetDiagDefaults();
  if (running) running(false);
  return ok;
}

std::array<uint8_t, 8> PasswordBytes(const std::string& text) {
  std::array<uint8_t, 8> bytes{};
  const std::string raw = com::ToCp1252(text, 8);
  std::copy_n(raw.begin(), std::min<size_t>(raw.size(), 8), bytes.begin());
  return bytes;
}

void DiagModel::LogIn(const std::string& text) {
  if (shell::CheckfBusy()) return;
  uint8_t answer = 0;
  DiagnosticPassword(1, PasswordBytes(text), &answer);
  fDgnUnlocked = answer != 0;
  pwdFieldEnabled = !fDgnUnlocked;
  if (!fDgnUnlocked) com::Ui().MessagePopup("Error!", "Invalid passwords...");
  pwdSetLabel = "Change";
  dgnPwdStep = 0;
}

void DiagModel::ChangePassword(const std::string& text) {
  if (shell::CheckfBusy()) return;
  switch (dgnPwdStep) {
    case 0:
      pwdSetLabel = "Enter";
      pwdFieldEnabled = true;
      pwdFieldFocus = true;
      dgnPwdStep = 1;
      return;
    case 1:
      firstEntry = PasswordBytes(text);
      pwdSetLabel = "Re-enter";
      pwdFieldEnabled = true;
      pwdFieldFocus = true;
      dgnPwdStep = 2;
      return;
    default:
      break;
  }
  pwdSetLabel = "Change";
  pwdFieldEnabled = false;
  dgnPwdStep = 0;
  const std::array<uint8_t, 8> second = PasswordBytes(text);
  if (second != firstEntry) {
    com::Ui().MessagePopup("Error!", "Typed passwords do not match...");
    return;
  }
  uint8_t answer = 0;
  DiagnosticPassword(0, second, &answer);
  fDgnUnlocked = answer != 0;
  if (!fDgnUnlocked) com::Ui().MessagePopup("Error!", "Change passwords...");
}

}  // namespace dgn
