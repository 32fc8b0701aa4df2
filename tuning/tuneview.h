// The tuning map view as data: which map the table shows, the cell-enable codes of the
// two masks with their double-click cycle, the colours, and the working-point marker
// with its tolerances and the scrolling that follows it.
#pragma once
#include <cstdint>

#include "maps/map1.h"
#include "tuning/tunerecords.h"

namespace tuning {

// Where a map of the tuning table (kMapInj1, kMapInj2, kMapAdv) lies in the map block.
bool TuneMapPlace(int map, maps::MapPlace* place);

// ---- Enable codes: bit 1 from mask A, bit 0 from mask B ----

int EnableCode(const MtSettings& s, int row, int col);
void SetEnableCode(MtSettings& s, int row, int col, int code);

// A group of cells: rows r0..r1 and columns c0..c1 (map coordinates from 0).
struct CellGroup {
  int r0 = 0, r1 = kTuneRows - 1, c0 = 0, c1 = kTuneCols - 1;
};
inline constexpr CellGroup kWholeMap{};
inline CellGroup RowGroup(int r) {
  return {r, r, 0, kTuneCols - 1};
}
inline CellGroup ColumnGroup(int c) {
  return {0, kTuneRows - 1, c, c};
}
inline CellGroup CellAt(int r, int c) {
  return {r, r, c, c};
}
// The common code of a group, or -1 when its cells differ.
int GroupCode(const MtSettings& s, const CellGroup& g);
void SetGroupCode(MtSettings& s, const CellGroup& g, int code);

// The double-click cycle: repeated double clicks on one target run through
// 0, c, c+1, c+2, 0, ... (codes 1..3 wrapping).
class EnableCycle {
 public:
  // Position (c, r) counted from 1: (0, 0) the whole map, (0, r) a row, (c, 0) a
  // column, (c, r) a cell. `current` is the group's code, -1 when mixed. Returns the
  // group's new code.
  int Next(int c, int r, int current);

 private:
  int lastC_ = -1, lastR_ = -1;
  int code_ = 1;
  int count_ = 0;
};

// ---- Colours (0xRRGGBB) ----

inline constexpr uint32_t kColourCode1 = 0xC0FFC0;
inline constexpr uint32_t kColourCode2 = 0x00E0FF;
inline constexpr uint32_t kColourCode3 = 0x80A0FF;
inline constexpr uint32_t kColourMarked = 0xC0C0C0;
inline constexpr uint32_t kColourMarkedEnabled = 0xFFCFCF;
inline constexpr uint32_t kColourChanged = 0xFF0000;
inline constexpr uint32_t kColourMatch = 0x00FF00;

// Background of a cell: `normal` for code 0, outside the auto mode or on the advance
// map; the code's colour otherwise; the marker's colours when marked.
uint32_t CellBackground(int code, bool autoMode, bool advanceMap, bool marked, uint32_t normal);

// ---- The working-point marker ----

struct AxisMark {
  int lo = 0, hi = 0;
  bool operator==(const AxisMark&) const = default;
};

// Locates `value` on the axis and narrows the interval by the tolerance when `single`
// is set. False when no marker is to be shown on this axis.
bool MarkAxis(const int16_t* axis, int n, int value, bool single, int tolerance, AxisMark* mark);

// What the marker does on one tick.
struct MarkerStep {
  bool shown = false;          // a marker is shown now
  AxisMark rpm, farf;          // its intervals (when shown)
  bool clearPrevious = false;  // the cells of the previous marker get their normal background
  int scrollToColumn = -1;     // table column (counted from 1) to bring into view, or -1
};

class WorkingPointMarker {
 public:
  // Marks the working point on the axes of the shown map (32 rpm points, 20 throttle
  // points) with the settings' tolerances and selector.
  MarkerStep Mark(const int16_t* rpmAxis, const int16_t* farfAxis, int rpm, int farf, const MtSettings& s,
                  bool autoScroll);
  void Forget() { shown_ = false; }
  bool Shown() const { return shown_; }
  AxisMark Rpm() const { return rpm_; }
  AxisMark Farf() const { return farf_; }

 private:
  bool shown_ = false;
  AxisMark rpm_, farf_;
};

}  // namespace tuning
