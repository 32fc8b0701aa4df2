// Paste of clipboard text into the injection and advance editors' tables: whatever the
// text, a refused paste leaves the map block as it was, an accepted one leaves every
// value of the table within its limits, and copying the pasted block and pasting it
// again changes nothing.
//
// Input: byte 0 selects the editor (bit 0) and the table (bits 1-3: a curve, or 5 and
// above the user map of cylinder bit 4); bytes 1 and 2 are the row and column of the
// active cell; the rest is the clipboard text.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "ecudata/image.h"
#include "maps/advance.h"
#include "maps/corredit.h"
#include "maps/inject.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

std::vector<uint8_t> Block() {
  return std::vector<uint8_t>(ecu::ecuMapData, ecu::ecuMapData + ecu::kMapSize);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const maps::CorrEditor& ed = (data[0] & 1) ? maps::AdvEditor() : maps::InjEditor();
  std::memset(ecu::ecuMapData, 0, ecu::kMapSize);
  maps::InitCorrData(ed, ecu::ecuMapData);
  const int pick = (data[0] >> 1) & 7;
  const maps::CorrTable table =
      pick < int(ed.curves.size()) ? maps::CorrTable{pick, 0} : maps::CorrTable{-1, (data[0] >> 4) & 1};
  const int row = data[1] % 11, col = data[2] % 34;  // a little beyond the tables too
  const std::string text(reinterpret_cast<const char*>(data + 3), size - 3);

  const auto before = Block();
  const maps::PasteResult r = maps::PasteCorrText(ed, ecu::ecuMapData, table, text, row, col);
  Check(!r.message.empty());
  if (!r.ok) {
    Check(Block() == before);
    return 0;
  }
  Check(r.rows >= 1 && r.cols >= 1);
  Check(row + r.rows <= maps::CorrTableRows(ed, table) && col + r.cols <= maps::CorrTableCols(ed, table));
  maps::CorrShown shown = maps::ShowCorr(ed, ecu::ecuMapData);
  for (int j = 0; j < maps::CorrTableRows(ed, table); ++j)
    for (int k = 0; k < maps::CorrTableCols(ed, table); ++k) {
      double lo, hi;
      int decimals;
      if (!maps::CorrCellInfo(ed, table, j, k, &lo, &hi, &decimals)) continue;
      const double v = *maps::CorrCellRef(ed, shown, table, j, k);
      Check(v >= lo - 1e-9 && v <= hi + 1e-9);
    }
  const std::string copied = maps::CopyCorrText(ed, ecu::ecuMapData, table, {row, col, r.rows, r.cols});
  const auto pasted = Block();
  Check(maps::PasteCorrText(ed, ecu::ecuMapData, table, copied, row, col).ok);
  Check(Block() == pasted);
  return 0;
}
