#include "tuning/manual.h"

#include <algorithm>
#include <filesystem>

#include "ecudata/files.h"
#include "ecudata/image.h"
#include "ecudata/init.h"
#include "ecudata/transfer.h"
#include "link/bytes.h"
#include "link/userio.h"
#include "link/utils.h"
#include "maps/map1.h"
#include "shell/connection.h"
#include "tuning/map2.h"
#include "tuning/tuneview.h"

namespace tuning {

namespace {

uint8_t InjTarget1() {
  return session.commonCorrection ? kTargetInjBoth : kTargetInj1;
}

void PendAdjust(int correction, uint16_t value, uint8_t target) {
  session.adjustRecord[correction] = Adjust{value, target, 0};
  session.adjust[correction] = true;
}

int Cylinders() {
  return ecu::ecuParData[maps::kCylinderCountOffset];
}

const char* const kSettingsExt = "mtp";

}  // namespace

namespace {

// The Adjust record of a correction control's value, pending for the next tick.
void PendCorrection(int correction, double v) {
  switch (correction) {
    case kCorInj1:
      PendAdjust(kCorInj1, static_cast<uint16_t>(RoundHalfAway(v * 1000)), InjTarget1());
      break;
    case kCorInj2:
      PendAdjust(kCorInj2, static_cast<uint16_t>(RoundHalfAway(v * 1000)), kTargetInj2);
      break;
    case kCorAdv:
      PendAdjust(kCorAdv, static_cast<uint16_t>(static_cast<int16_t>(RoundHalfAway(v * 10))), kTargetAdvance);
      break;
    default:
      break;
  }
}

}  // namespace

void SetTuningAdjust(int correction, double v) {
  if (tuneInfo.State() == kStateManual) PendCorrection(correction, v);
}

void SelectCorrection(bool on, double j1Value) {
  if (tuneInfo.State() != kStateManual) return;
  session.commonCorrection = on;
  if (on) PendAdjust(kCorInj1, static_cast<uint16_t>(RoundHalfAway(j1Value * 1000)), kTargetInjBoth);
}

uint8_t ResetTuningAdjust(bool busy) {
  if (busy) return 1;
  uint8_t ok = SendTuneAdjust(Adjust{1000, kTargetInjBoth, 0});
  if (!SendTuneAdjust(Adjust{0, kTargetAdvance, 0})) ok = 0;
  return ok;
}

uint8_t ManPause(bool on, bool busy) {
  if (tuneInfo.State() != kStateManual) return 1;
  const uint8_t ok = ResetTuningAdjust(busy);
  session.pauseRecord = Adjust{1000, kTargetPause, static_cast<uint8_t>(on ? 1 : 0)};
  session.pause = true;
  return ok;
}

void ManualFreeze(int correction) {
  if (correction >= 0 && correction < 3) session.freeze[correction] = true;
}

int NextTuneMap(int map, bool up) {
  if (up) return map == kMapInj1 ? kMapInj2 : kMapAdv;
  return map == kMapAdv ? kMapInj2 : kMapInj1;
}

KeyOutcome TuneFunctionKey(TuneKey key, const KeyContext& k) {
  KeyOutcome out;
  out.shownMap = k.shownMap;
  // Minus, plus and freeze of each correction, in the manual panel mode only.
  const struct {
    TuneKey minus, plus, freeze;
    int correction;
    double value, step, lo, hi;
  } corrections[] = {
      {TuneKey::F2, TuneKey::F3, TuneKey::F4, kCorInj1, k.j1, k.steps.inj1, kFactorMin, kFactorMax},
      {TuneKey::F5, TuneKey::F6, TuneKey::F7, kCorInj2, k.j2, k.steps.inj2, kFactorMin, kFactorMax},
      {TuneKey::F9, TuneKey::F10, TuneKey::F11, kCorAdv, k.adv, k.steps.adv, kAdvOffsetMin, kAdvOffsetMax},
  };
  for (const auto& c : corrections) {
    if (key != c.minus && key != c.plus && key != c.freeze) continue;
    if (!k.manualMode) return out;
    out.consumed = true;
    if (key == c.freeze)
      ManualFreeze(c.correction);
    else
      PendCorrection(c.correction, std::clamp(c.value + (key == c.plus ? c.step : -c.step), c.lo, c.hi));
    return out;
  }
  switch (key) {
    case TuneKey::F1:
      out.consumed = out.showHelp = true;
      break;
    case TuneKey::F12:
      out.consumed = out.toggleScroll = true;
      break;
    case TuneKey::PageUp:
    case TuneKey::PageDown:
      out.shownMap = NextTuneMap(k.shownMap, key == TuneKey::PageUp);
      out.consumed = true;
      break;
    default:
      break;
  }
  return out;
}

const char* TuneHelpText() {
  return "F2 / F3: injection correction 1 - / +\n"
         "F4: freeze injection correction 1\n"
         "F5 / F6: injection correction 2 - / +\n"
         "F7: freeze injection correction 2\n"
         "F9 / F10: advance correction - / +\n"
         "F11: freeze advance correction\n"
         "F12: automatic scrolling on / off\n"
         "PgUp / PgDown: next / previous map\n"
         "\n"
         "With a cell selected:\n"
         "'-': decrease the cell by the step\n"
         "'+': increase the cell by the step\n"
         "Ctrl-Enter: value dialog";
}

bool IsInjectionMap(int map) {
  return map == kMapInj1 || map == kMapInj2;
}

int32_t TuneCell(int map, int row, int col) {
  maps::MapPlace place;
  if (!TuneMapPlace(map, &place) || row < 0 || row >= kTuneRows || col < 0 || col >= kTuneCols) return 0;
  const uint16_t raw = com::Get16LE(ecu::ecuMapData + place.matrix + 2 * (row * kTuneCols + col));
  return IsInjectionMap(map) ? static_cast<int32_t>(raw) : static_cast<int16_t>(raw);
}

double TuneCellScale(int map) {
  return IsInjectionMap(map) ? 1000.0 : 10.0;
}

void TuneCellLimits(int map, double* lo, double* hi) {
  *lo = IsInjectionMap(map) ? 0.0 : -720.0;
  *hi = IsInjectionMap(map) ? 32.0 : 720.0;
}

uint16_t TuneCellRaw(int map, double display) {
  double lo = 0, hi = 0;
  TuneCellLimits(map, &lo, &hi);
  const int64_t raw = RoundHalfAway(std::clamp(display, lo, hi) * TuneCellScale(map));
  return IsInjectionMap(map) ? static_cast<uint16_t>(raw) : static_cast<uint16_t>(static_cast<int16_t>(raw));
}

uint8_t SendTuneMapRow(int map, int row, const uint16_t values[kTuneCols]) {
  if (row < 0 || row >= kTuneRows) return 0;
  uint8_t area = 6, cylinder = 0;
  if (map == kMapInj2) cylinder = 1;
  if (map == kMapAdv) area = 7, cylinder = 0xFF;
  if (!IsInjectionMap(map) && map != kMapAdv) return 0;
  uint8_t data[2 * kTuneCols];
  for (int c = 0; c < kTuneCols; ++c) com::Put16BE(data + 2 * c, values[c]);
  return ecu::DoSendValues(3, area, static_cast<uint8_t>(row), cylinder, data, sizeof data);
}

uint8_t StepTuneCell(int map, int row, int col, bool plus, const TuneSteps& steps, bool commonCorrection) {
  if (row < 0 || row >= kTuneRows || col < 0 || col >= kTuneCols) return 1;
  double step = steps.inj1;
  if (map == kMapInj2) {
    if (Cylinders() < 2) return 1;
    step = commonCorrection ? steps.inj1 : steps.inj2;
  } else if (map == kMapAdv) {
    step = steps.adv;
  } else if (map != kMapInj1) {
    return 1;
  }
  uint16_t values[kTuneCols];
  for (int c = 0; c < kTuneCols; ++c) values[c] = static_cast<uint16_t>(TuneCell(map, row, c));
  const double shown = TuneCell(map, row, col) / TuneCellScale(map);
  values[col] = TuneCellRaw(map, shown + (plus ? step : -step));
  if (SendTuneMapRow(map, row, values)) return 1;
  com::Ui().MessagePopup("Map Tuning", shell::szGenericError);
  return 0;
}

int DefaultTuneOperation(int map) {
  return IsInjectionMap(map) ? kOpPercent : kOpAdd;
}

TuneDialogSetup PrepareTuneDialog(int map, int operation, const TuneSelection& sel) {
  TuneDialogSetup d;
  const bool inj = IsInjectionMap(map);
  d.allVisible = inj && Cylinders() >= 2;
  switch (operation) {
    case kOpSet:
      d.min = inj ? 0 : -90, d.max = inj ? 10 : 90;
      d.start = TuneCell(map, sel.r0, sel.c0) / TuneCellScale(map);
      d.label = inj ? "[ms]" : "[deg]";
      break;
    case kOpAdd:
      d.min = inj ? -5 : -30, d.max = inj ? 5 : 30;
      d.label = inj ? "[ms]" : "[deg]";
      break;
    default:
      d.min = -100, d.max = 100;
      d.label = "[%]";
      break;
  }
  if (operation == kOpPercent) {
    d.step = 0.1, d.decimals = 1;
  } else {
    d.step = inj ? 0.001 : 0.1, d.decimals = inj ? 3 : 1;
  }
  d.start = std::clamp(d.start, d.min, d.max);
  return d;
}

double QuantiseTuneValue(int map, int operation, double v) {
  const double f = operation == kOpPercent ? 10.0 : TuneCellScale(map);
  return static_cast<double>(RoundHalfAway(v * f)) / f;
}

double TuneResult(int map, int operation, double v, double cell) {
  const double q = QuantiseTuneValue(map, operation, v);
  double r = operation == kOpSet ? q : operation == kOpAdd ? cell + q : cell * (1 + q / 100);
  double lo = 0, hi = 0;
  TuneCellLimits(map, &lo, &hi);
  return std::clamp(r, lo, hi);
}

std::vector<TuneRow> TuneDialogRows(int map, int operation, double v, const TuneSelection& sel, bool all) {
  std::vector<int> maps{map};
  if (all && IsInjectionMap(map)) {
    maps = {kMapInj1};
    if (Cylinders() >= 2) maps.push_back(kMapInj2);
  }
  std::vector<TuneRow> rows;
  for (int m : maps) {
    for (int r = std::max(sel.r0, 0); r <= std::min(sel.r1, kTuneRows - 1); ++r) {
      TuneRow row;
      row.map = m, row.row = r;
      for (int c = 0; c < kTuneCols; ++c) {
        row.values[c] = static_cast<uint16_t>(TuneCell(m, r, c));
        if (c >= sel.c0 && c <= sel.c1)
          row.values[c] = TuneCellRaw(m, TuneResult(m, operation, v, TuneCell(m, r, c) / TuneCellScale(m)));
      }
      rows.push_back(row);
    }
  }
  return rows;
}

namespace {

// The file dialog of the settings files: at the last one, or at "*.mtp".
com::FileDialog SettingsDialog(const std::string& title, bool save) {
  com::FileDialog dialog;
  dialog.save = save;
  dialog.title = title;
  const std::string& last = ecu::cfg.tuneFilePath;
  dialog.directory = com::DirectoryOf(last);
  dialog.proposal = "*." + std::string(kSettingsExt);
  if (!last.empty())
    dialog.proposal = std::filesystem::path(com::SetFileExtension(last, kSettingsExt)).filename();
  dialog.extension = kSettingsExt;
  dialog.allowNewDirectory = save;
  return dialog;
}

}  // namespace

uint8_t StoreMtSettings() {
  const std::string title = "Store map-tuning settings";
  std::string path;
  const com::FileSelect chosen = com::Ui().FileSelectPopup(SettingsDialog(title, true), path);
  if (chosen == com::FileSelect::Cancelled) return 1;
  if ((chosen != com::FileSelect::Existing && chosen != com::FileSelect::New) || path.empty()) {
    com::Ui().MessagePopup(title, shell::szGenericError);
    return 0;
  }
  path = com::SetFileExtension(path, kSettingsExt);
  if (!ecu::WriteFileAtomic(path, mtSettings.data(), mtSettings.size())) {
    com::Ui().MessagePopup(title, shell::szGenericError);
    return 0;
  }
  ecu::cfg.tuneFilePath = path;
  ecu::WriteInitFile();
  return 1;
}

uint8_t LoadMtSettings(bool ask) {
  const std::string title = "Load map-tuning settings";
  std::string path;
  if (ask) {
    const com::FileSelect chosen = com::Ui().FileSelectPopup(SettingsDialog(title, false), path);
    if (chosen == com::FileSelect::Cancelled) return 1;
    if (chosen != com::FileSelect::Existing || path.empty()) {
      com::Ui().MessagePopup(title, shell::szGenericError);
      return 0;
    }
  } else {
    path = ecu::cfg.tuneFilePath;
    if (path.empty()) return 0;
  }
  path = com::SetFileExtension(path, kSettingsExt);
  // Only a file of exactly the record's size is taken: anything else is not a settings file.
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  MtSettings read{};
  if (ec || size != kSettingsSize || !ecu::ReadFilePrefix(path, read.data(), read.size())) {
    if (ask) com::Ui().MessagePopup(title, shell::szGenericError);
    return 0;
  }
  mtSettings = read;
  ecu::cfg.tuneFilePath = path;
  ecu::WriteInitFile();
  return 1;
}

}  // namespace tuning
