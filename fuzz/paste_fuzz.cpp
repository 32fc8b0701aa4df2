// Paste of clipboard text into the map editor's tables: whatever the text, a refused
// paste leaves the map block as it was, an accepted one leaves every value within its
// limits, and copying the pasted block and pasting it again changes nothing.
//
// Input: byte 0 selects the map (bits 0-2, 1 to 5) and the Y table (bit 3); bytes 1
// and 2 are the row and column of the active cell; the rest is the clipboard text.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "ecudata/image.h"
#include "maps/map1.h"
#include "maps/mapedit.h"

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
  std::memset(ecu::ecuMapData, 0, ecu::kMapSize);
  for (int id = 1; id <= maps::kMapCount; ++id) maps::InitMp1Data(id);
  maps::idCurMap = static_cast<uint8_t>(1 + (data[0] & 7) % 5);
  maps::idCurJcyl = 0;
  const bool yTable = data[0] & 8;
  const int row = data[1] % 24, col = data[2] % 34;  // a little beyond the tables too
  const std::string text(reinterpret_cast<const char*>(data + 3), size - 3);

  const auto before = Block();
  const maps::PasteResult r = yTable ? maps::PasteYText(text, row) : maps::PasteTableText(text, row, col);
  Check(!r.message.empty());
  if (!r.ok) {
    Check(Block() == before);
    return 0;
  }
  Check(r.rows >= 1 && r.cols >= 1);
  maps::MapShape s;
  Check(maps::CurrentShape(&s));
  if (yTable) {
    Check(s.yEditable && r.cols == 1 && row + r.rows <= maps::kMapRows);
    for (int j = 0; j < r.rows; ++j) {
      const double v = maps::YValue(row + j);
      Check(v >= s.minY - 1e-9 && v <= s.maxY + 1e-9);
    }
    return 0;
  }
  Check(row + r.rows <= maps::kTableRows && col + r.cols <= maps::kMapCols);
  for (int j = 0; j < r.rows; ++j)
    for (int k = 0; k < r.cols; ++k) {
      double lo, hi;
      maps::TableLimits(row + j, &lo, &hi);
      const double v = maps::TableValue(row + j, col + k);
      Check(v >= lo - 1e-9 && v <= hi + 1e-9);
    }
  // The block as the editor copies it pastes back onto itself unchanged.
  const maps::CellRect rect{row, col, r.rows, r.cols};
  const std::string copied = maps::CopyTableText(rect);
  const auto pasted = Block();
  Check(maps::PasteTableText(copied, row, col).ok);
  Check(Block() == pasted);
  return 0;
}
