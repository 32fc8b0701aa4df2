#include "tuning/tunerecords.h"

#include <cmath>

#include "ecudata/fieldmake.h"
#include "link/bytes.h"

namespace tuning {

namespace {

using ecu::FieldKind;
using ecu::FieldType;

const ecu::Field kSettingsFields[] = {
    ecu::Num("NUMrpmMargin", kRpmMarginOffset, FieldType::U16, 1, 0, 5000, 0, 150),
    ecu::Num("NUMminTh2o_oil", kMinTempOffset, FieldType::S16, 10, -40, 200, 1, 600),
    ecu::Num("NUMmaxTh2o_oil", kMaxTempOffset, FieldType::S16, 10, -40, 200, 1, 900),
    ecu::Num("NUMtolRpm", kRpmTolOffset, FieldType::U16, 1, 0, 5000, 0, 200),
    ecu::Num("NUMtolFarf", kFarfTolOffset, FieldType::U16, 10, 0, 100, 1, 50),
    ecu::Byte("TBselectSingleMul", kSingleMulOffset, FieldKind::Toggle, 0, 0),
    ecu::Num("NUMsollLambda1", kLambdaTargetOffset, FieldType::S16, 10, 0, 30, 1, 125),
    ecu::Num("NUMsollLambda2", kLambdaTargetOffset + 2, FieldType::S16, 10, 0, 30, 1, 125),
    ecu::Num("NUMsollLambda3", kLambdaTargetOffset + 4, FieldType::S16, 10, 0, 30, 1, 125),
    ecu::Num("NUMtolLambda", kLambdaTolOffset, FieldType::S16, 10, 0, 10, 1, 5),
    ecu::Num("NUMminTJ", kMinTjOffset, FieldType::S16, 1000, 0, 32.767, 3, 1000),
    ecu::Num("NUMmaxTJ", kMaxTjOffset, FieldType::S16, 1000, 0, 32.767, 3, 32000),
    ecu::Num("NUMmsCellHold", kCellHoldOffset, FieldType::S16, 1, 0, 32767, 0, 0),
    ecu::Byte("RINGmtjType", kTrackModeOffset, FieldKind::Ring, 0, 0),
};

// Multi-byte fields of the settings, for the wire conversion: offset, width.
struct Wide {
  uint32_t offset;
  uint8_t width;
};
constexpr Wide kSettingsScalars[] = {
    {kRpmMarginOffset, 2},
    {kMinTempOffset, 2},
    {kMaxTempOffset, 2},
    {kLambdaTargetOffset, 2},
    {168, 2},
    {170, 2},
    {kLambdaTolOffset, 2},
    {kMinTjOffset, 2},
    {kMaxTjOffset, 2},
    {kKpOffset, 4},
    {kKiOffset, 4},
    {kStepOffset, 2},
    {kRpmTolOffset, 2},
    {kFarfTolOffset, 2},
    {kCellHoldOffset, 2},
};

const ecu::Field kKpField = ecu::Hidden("Kp", kKpOffset, FieldType::S32, 0);
const ecu::Field kKiField = ecu::Hidden("Ki", kKiOffset, FieldType::S32, 0);
const ecu::Field kStepField = ecu::Hidden("step", kStepOffset, FieldType::U16, 0);

void SwapSettings(const uint8_t* from, uint8_t* to) {
  for (size_t i = 0; i < kSettingsSize; ++i) to[i] = from[i];
  for (int i = 0; i < 2 * kTuneRows; ++i) com::Put32BE(to + 4 * i, com::Get32LE(from + 4 * i));
  for (const Wide& w : kSettingsScalars) {
    if (w.width == 2)
      com::Put16BE(to + w.offset, com::Get16LE(from + w.offset));
    else
      com::Put32BE(to + w.offset, com::Get32LE(from + w.offset));
  }
}

const ecu::Field* FieldAt(uint32_t offset) {
  for (const ecu::Field& f : kSettingsFields)
    if (f.offset == offset) return &f;
  if (offset == kKpOffset) return &kKpField;
  if (offset == kKiOffset) return &kKiField;
  if (offset == kStepOffset) return &kStepField;
  return nullptr;
}

}  // namespace

std::span<const ecu::Field> SettingsFields() {
  return kSettingsFields;
}

int64_t SettingsValue(const MtSettings& s, uint32_t offset) {
  const ecu::Field* f = FieldAt(offset);
  return f ? ecu::GetRaw(s.data(), *f) : 0;
}

void SetSettingsValue(MtSettings& s, uint32_t offset, int64_t raw) {
  if (const ecu::Field* f = FieldAt(offset)) ecu::SetRaw(s.data(), *f, raw);
}

uint32_t MaskWord(const MtSettings& s, int mask, int row) {
  if (row < 0 || row >= kTuneRows || mask < 0 || mask > 1) return 0;
  return com::Get32LE(s.data() + (mask ? kMaskBOffset : kMaskAOffset) + 4 * row);
}

void SetMaskWord(MtSettings& s, int mask, int row, uint32_t word) {
  if (row < 0 || row >= kTuneRows || mask < 0 || mask > 1) return;
  com::Put32LE(s.data() + (mask ? kMaskBOffset : kMaskAOffset) + 4 * row, word);
}

void DefaultSettings(MtSettings& s, int32_t kp, int32_t ki, uint16_t step) {
  s.fill(0);
  ecu::WriteDefaults(s.data(), kSettingsFields);
  SetSettingsValue(s, kKpOffset, kp);
  SetSettingsValue(s, kKiOffset, ki);
  SetSettingsValue(s, kStepOffset, step);
}

void SettingsToWire(const MtSettings& s, uint8_t* wire) {
  SwapSettings(s.data(), wire);
}

void SettingsFromWire(const uint8_t* wire, MtSettings& s) {
  MtSettings host{};
  // Reading big-endian and writing little-endian is the same byte reversal.
  for (size_t i = 0; i < kSettingsSize; ++i) host[i] = wire[i];
  for (int i = 0; i < 2 * kTuneRows; ++i) com::Put32LE(host.data() + 4 * i, com::Get32BE(wire + 4 * i));
  for (const Wide& w : kSettingsScalars) {
    if (w.width == 2)
      com::Put16LE(host.data() + w.offset, com::Get16BE(wire + w.offset));
    else
      com::Put32LE(host.data() + w.offset, com::Get32BE(wire + w.offset));
  }
  s = host;
}

void ResetInfo(Info& info) {
  const uint8_t keep = info.flagsB & 0x04;
  info = Info{};
  info.flagsA = 0;
  info.flagsB = static_cast<uint8_t>(kStateOff | keep);
  info.flagsC = 0;
  for (CellUpdate& c : info.cells) c = CellUpdate{};
}

uint16_t PackCellId(uint8_t type, uint8_t col, uint8_t row) {
  return static_cast<uint16_t>(((type & 0x3F) << 10) | ((col & 0x1F) << 5) | (row & 0x1F));
}

CellUpdate UnpackCell(uint16_t id, uint16_t value) {
  CellUpdate c;
  c.type = static_cast<uint8_t>(id >> 10);
  c.col = static_cast<uint8_t>((id >> 5) & 0x1F);
  c.row = static_cast<uint8_t>(id & 0x1F);
  c.value = value;
  return c;
}

void InfoFromWire(const uint8_t* w, Info& info) {
  auto s16 = [w](int at) { return static_cast<int16_t>(com::Get16BE(w + at)); };
  info.rpm = s16(0);
  info.farf = s16(2);
  info.lambda1 = s16(4);
  info.lambda2 = s16(6);
  info.setpoint = s16(8);
  info.temp = s16(10);
  info.j1Org = com::Get16BE(w + 12);
  info.j2Org = com::Get16BE(w + 14);
  info.j1Cor = com::Get16BE(w + 16);
  info.j2Cor = com::Get16BE(w + 18);
  info.aOrg = s16(20);
  info.aCor = s16(22);
  info.flagsA = w[24];
  info.flagsB = w[25];
  info.flagsC = w[26];
  info.spare = w[27];
  for (int i = 0; i < kCellEntries; ++i)
    info.cells[i] = UnpackCell(com::Get16BE(w + 28 + 4 * i), com::Get16BE(w + 30 + 4 * i));
}

void InfoToWire(const Info& info, uint8_t* w) {
  auto put = [w](int at, int v) { com::Put16BE(w + at, static_cast<uint16_t>(v)); };
  put(0, info.rpm);
  put(2, info.farf);
  put(4, info.lambda1);
  put(6, info.lambda2);
  put(8, info.setpoint);
  put(10, info.temp);
  put(12, info.j1Org);
  put(14, info.j2Org);
  put(16, info.j1Cor);
  put(18, info.j2Cor);
  put(20, info.aOrg);
  put(22, info.aCor);
  w[24] = info.flagsA;
  w[25] = info.flagsB;
  w[26] = info.flagsC;
  w[27] = info.spare;
  for (int i = 0; i < kCellEntries; ++i) {
    const CellUpdate& c = info.cells[i];
    put(28 + 4 * i, PackCellId(c.type, c.col, c.row));
    put(30 + 4 * i, c.value);
  }
}

void AdjustToWire(const Adjust& a, uint8_t* w) {
  com::Put16BE(w, a.value);
  w[2] = a.target;
  w[3] = a.pause;
}

void FreezeToWire(const Freeze& f, uint8_t* w) {
  com::Put16BE(w, f.value);
  w[2] = f.target;
  w[3] = w[4] = w[5] = 0;
}

void ManualToWire(const MtSettings& s, uint8_t trackMode, uint8_t* w) {
  w[0] = s[kSingleMulOffset];
  w[1] = 0;
  com::Put16BE(w + 2, com::Get16LE(s.data() + kRpmTolOffset));
  com::Put16BE(w + 4, com::Get16LE(s.data() + kFarfTolOffset));
  com::Put16BE(w + 6, com::Get16LE(s.data() + kCellHoldOffset));
  w[8] = trackMode;
  w[9] = 0;
}

int64_t RoundHalfAway(double v) {
  if (std::isnan(v)) return 0;
  // Snapped to a millionth first, so that 1.2345 * 1000 counts as the half it stands for.
  const double x = std::fabs(v) < 1e12 ? std::round(v * 1e6) / 1e6 : v;
  return static_cast<int64_t>(x > 0 ? std::trunc(x + 0.5) : std::trunc(x - 0.5));
}

}  // namespace tuning
