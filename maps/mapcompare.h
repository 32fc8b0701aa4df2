// The comparison tune of the map editor: a second map block (another data file, a
// restore point, or the ECU's block) shown beside the working one. The working block
// is only written by Take, which copies cells of the current map from the comparison.
// Table coordinates are the editor's (row 0 the X axis, rows 1..20 the map rows).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "maps/mapedit.h"

namespace maps {

class Comparison {
 public:
  bool Active() const { return !block_.empty(); }
  // A whole map block (ecu::kMapSize bytes; anything else is refused) and what it is
  // ("track.emd", "restore point 2026-05-01 10:20", "ECU").
  bool Set(std::vector<uint8_t> block, std::string label);
  void Clear();
  const std::string& Label() const { return label_; }
  const uint8_t* Block() const { return block_.empty() ? nullptr : block_.data(); }

  // The current map's value in the comparison (display units) and whether its raw value
  // differs from the working block's. Out-of-range cells or no comparison: 0 / false.
  double Value(int row, int col) const;
  bool Differs(int row, int col) const;
  double YValue(int row) const;
  bool YDiffers(int row) const;
  // Cells of the current map (both planes of map 1 count) that differ.
  int DifferingCells() const;

  // The status line for a cell: "Working 12.3, comparison 12.8 (track.emd), difference -0.5".
  std::string StatusText(int row, int col) const;

  // Copies the selected cells (and X-axis breakpoints on row 0) of the current map and
  // plane from the comparison into the working block, then the block-side gather
  // rules. 0 without a comparison or for a selection outside the table.
  uint8_t Take(const CellRect& selection) const;
  // The whole current map: every plane, both axes.
  uint8_t TakeWholeMap() const;

 private:
  std::vector<uint8_t> block_;
  std::string label_;
};

// Where the difference number `index` of the list DiffBlocks gives for the map blocks
// `a` and `b` lies, when it is a map's: the map, the plane, and the editor's table
// cell (an X-axis point on row 0; a Y-axis point as row 1 + point, column -1).
// False for the notes, fields and words that follow the maps.
struct CellPlace {
  int map = 0, plane = 0, row = 0, col = 0;
};
bool LocateMapDifference(const uint8_t* a, const uint8_t* b, size_t index, CellPlace* place);

// A display value with `decimals` decimals and a decimal point, whatever the locale.
std::string FormatValue(double value, int decimals, bool sign = false);

}  // namespace maps
