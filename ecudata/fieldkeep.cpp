#include "ecudata/fieldkeep.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "link/utils.h"

namespace ecu {

namespace {

std::string Text(double v, int decimals) {
  return com::FixedTextUnsignedZero(v, decimals);  // "-0.0" and "0.0" read alike in a control
}

}  // namespace

bool ShownUnedited(const Field& field, int64_t raw, double gathered) {
  if (field.kind != FieldKind::Numeric) return ToShown(field, raw) == gathered;
  const int decimals = std::clamp(field.decimals, 0, 9);
  return Text(ClampShown(field, ToShown(field, raw)), decimals) == Text(gathered, decimals);
}

bool ShownUnedited(double before, double gathered, int decimals, double lo, double hi) {
  if (std::isnan(before) || std::isnan(gathered)) return false;
  return Text(std::clamp(before, lo, hi), decimals) == Text(gathered, decimals);
}

bool OutsideRange(const Field& field, int64_t raw) {
  if (field.kind != FieldKind::Numeric) return false;
  const double shown = ToShown(field, raw);
  return shown < field.min || shown > field.max;
}

std::string OutsideRangeText(const std::string& shownValue) {
  return "outside the range this page sets: " + shownValue + " kept";
}

bool RunEdited(const uint8_t* before, const uint8_t* after, uint32_t offset, uint32_t size) {
  return std::memcmp(before + offset, after + offset, size) != 0;
}

bool FieldEdited(const uint8_t* before, const uint8_t* after, const Field& field) {
  if (!before) return true;
  for (int r = 0; r < field.rows; ++r)
    for (int c = 0; c < field.cols; ++c)
      if (GetRaw(before, field, r, c) != GetRaw(after, field, r, c)) return true;
  return false;
}

void KeepUneditedValues(const uint8_t* before, uint8_t* after, std::span<const Field> fields) {
  for (const Field& f : fields) {
    if (f.kind != FieldKind::Numeric) continue;
    for (int r = 0; r < f.rows; ++r) {
      for (int c = 0; c < f.cols; ++c) {
        const int64_t old = GetRaw(before, f, r, c);
        const int64_t now = GetRaw(after, f, r, c);
        if (old != now && ShownUnedited(f, old, ToShown(f, now))) SetRaw(after, f, old, r, c);
      }
    }
  }
}

}  // namespace ecu
