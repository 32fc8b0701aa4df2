#include "ecudata/fieldkeep.h"

namespace ecu {

void KeepUneditedValues(const uint8_t* before, uint8_t* after, std::span<const Field> fields) {
  for (const Field& f : fields) {
    if (f.kind != FieldKind::Numeric) continue;
    for (int r = 0; r < f.rows; ++r) {
      for (int c = 0; c < f.cols; ++c) {
        const int64_t old = GetRaw(before, f, r, c);
        const int64_t now = GetRaw(after, f, r, c);
        if (old == now) continue;
        const std::string shownBefore = FormatShown(f, ClampShown(f, ToShown(f, old)));
        if (shownBefore == FormatShown(f, ToShown(f, now))) SetRaw(after, f, old, r, c);
      }
    }
  }
}

}  // namespace ecu
