#include "params/param2.h"

#include <array>
#include <initializer_list>
#include <utility>

#include "ecudata/image.h"
#include "ecudata/fieldkeep.h"
#include "ecudata/fieldmake.h"

namespace params {

// The field-table builders.
using ecu::Byte;
using ecu::Cells;
using ecu::Field;
using ecu::FieldKind;
using ecu::FieldType;
using ecu::Hidden;
using ecu::Num;

namespace {

using FT = FieldType;
constexpr FT S = FT::S16;

// Curves of eight steps are eight consecutive values, one control per step (_1 .. _8).
Field Curve(const char* control, uint32_t offset, int32_t divisor, double max, int decimals) {
  return Num(control, offset, S, divisor, 0, max, decimals, 0, 0, kCurveSteps);
}

// Tables over engine speed (3 x 32) and engine temperature (3 x 16): row 1 the axis,
// rows 2 and 3 the correction factors.
Field Row(const char* table, uint32_t offset, int points, int row, int32_t divisor, double min, double max,
          int decimals) {
  return Cells(table, offset, S, divisor, min, max, decimals, 0, 1, static_cast<uint16_t>(points),
               static_cast<int16_t>(row), 0);
}

const auto kPr2Fields = std::to_array<Field>({
    Num("NUMstepAtrans", 11696, S, 1, 1, 32000, 0, 1),
    Num("NUMfltDepthAtrans", 11698, S, 1, 1, 128, 0, 1),
    Num("NUMnoiseAtrans", 11700, S, 10, 0, 10.0, 1, 0),
    Num("NUMclipAtransP", 11702, S, 10, 0, 720.0, 1, 0),
    Num("NUMclipAtransN", 11704, S, 10, 0, 720.0, 1, 0),
    Curve("NUMthrAtransP", 11706, 10, 100.0, 1),
    Curve("NUMthrAtransN", 11722, 10, 100.0, 1),
    Curve("NUMgainAtransP", 11738, 100, 30.0, 2),
    Curve("NUMgainAtransN", 11754, 100, 30.0, 2),
    Curve("NUMdecayAtransP", 11770, 1000, 32.767, 3),
    Curve("NUMdecayAtransN", 11786, 1000, 32.767, 3),
    Row("TABkAtransRPM", 10840, kSpeedPoints, 0, 1, 0, 20000, 0),
    Row("TABkAtransRPM", 10712, kSpeedPoints, 1, 1000, 0, 32.767, 3),
    Row("TABkAtransRPM", 10776, kSpeedPoints, 2, 1000, 0, 32.767, 3),
    Num("NUMstepJtrans", 11590, S, 1, 1, 32000, 0, 1),
    Num("NUMfltDepthJtrans", 11592, S, 1, 1, 128, 0, 1),
    Num("NUMnoiseJtrans", 11594, S, 10, 0, 10.0, 1, 0),
    Num("NUMclipJtransP", 11596, S, 1000, 0, 32.0, 3, 0),
    Num("NUMclipJtransN", 11598, S, 1000, 0, 32.0, 3, 0),
    Curve("NUMthrJtransP", 11600, 10, 100.0, 1),
    Curve("NUMthrJtransN", 11616, 10, 100.0, 1),
    Curve("NUMgainJtransP", 11632, 100, 30.0, 2),
    Curve("NUMgainJtransN", 11648, 100, 30.0, 2),
    Curve("NUMdecayJtransP", 11664, 1000, 32.767, 3),
    Curve("NUMdecayJtransN", 11680, 1000, 32.767, 3),
    Row("TABkJtransRPM", 10648, kSpeedPoints, 0, 1, 0, 20000, 0),
    Row("TABkJtransRPM", 10520, kSpeedPoints, 1, 1000, 0, 32.767, 3),
    Row("TABkJtransRPM", 10584, kSpeedPoints, 2, 1000, 0, 32.767, 3),
    Row("TABkJtransTH2O_oil", 11544, kTempPoints, 0, 10, -30.0, 250.0, 1),
    Row("TABkJtransTH2O_oil", 11480, kTempPoints, 1, 1000, 0, 32.767, 3),
    Row("TABkJtransTH2O_oil", 11512, kTempPoints, 2, 1000, 0, 32.767, 3),
});

const Field& At(uint32_t offset) {
  for (const Field& f : kPr2Fields)
    if (f.offset == offset) return f;
  return kPr2Fields.front();
}

// Axis `axis` of `count` points must not decrease; a lower point takes the whole
// column (the point and the values of `columns`) of its predecessor.
uint8_t RepairColumns(const uint8_t* before, uint32_t axis, std::initializer_list<uint32_t> columns,
                      int count) {
  uint8_t changed = 0;
  uint8_t* b = ecu::ecuMapData;
  const Field& a = At(axis);
  if (!ecu::FieldEdited(before, b, a)) return 0;  // an axis that came so stays as it came
  for (int i = 1; i < count; ++i) {
    if (ecu::GetRaw(b, a, 0, i) >= ecu::GetRaw(b, a, 0, i - 1)) continue;
    ecu::SetRaw(b, a, ecu::GetRaw(b, a, 0, i - 1), 0, i);
    for (uint32_t offset : columns) {
      const Field& f = At(offset);
      ecu::SetRaw(b, f, ecu::GetRaw(b, f, 0, i - 1), 0, i);
    }
    changed = 1;
  }
  return changed;
}

}  // namespace

std::span<const ecu::Field> Pr2Fields() {
  return kPr2Fields;
}

void InitPr2Data() {
  ecu::WriteDefaults(ecu::ecuMapData, Pr2Fields());
}

uint8_t CheckPr2Values(const uint8_t* before) {
  uint8_t changed = 0;
  // Advance: positive and negative curves, then the speed table.
  changed |= RepairColumns(before, 11706, {11738, 11770}, kCurveSteps);
  changed |= RepairColumns(before, 11722, {11754, 11786}, kCurveSteps);
  changed |= RepairColumns(before, 10840, {10712, 10776}, kSpeedPoints);
  // Injection: the curves, the speed table, the temperature table.
  changed |= RepairColumns(before, 11600, {11632, 11664}, kCurveSteps);
  changed |= RepairColumns(before, 11616, {11648, 11680}, kCurveSteps);
  changed |= RepairColumns(before, 10648, {10520, 10584}, kSpeedPoints);
  changed |= RepairColumns(before, 11544, {11480, 11512}, kTempPoints);
  return changed;
}

}  // namespace params
