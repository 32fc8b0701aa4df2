// The 2D graph editor's model: one line of the current map (the column or the row
// through the editor's active cell) against its axis, beside the same line of the
// reference copy; the current point, the selection of points along the line, the
// ranges of both graph axes, and the edits (move rule, restore). Plain C++.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "graphs/editorlink.h"
#include "maps/map1.h"

namespace graphs {

// A closed range of one graph axis, in display units.
struct AxisRange {
  double min = 0;
  double max = 1;
  friend bool operator==(const AxisRange&, const AxisRange&) = default;
};

// Raw step of the "+" and "-" keys: 1, 10 with Ctrl, 100 with Alt.
int KeyStep(bool ctrl, bool alt);
// A display value as the nearest raw value, halves away from zero.
int RoundToRaw(double display, double scale);
// Lowest and highest raw value in whole display units that hold [rawMin, rawMax]:
// the maximum raised and the minimum lowered to a multiple of `scale`.
AxisRange WholeUnitRange(int rawMin, int rawMax, double scale);

// Grid step for an axis of `span` display units with at most `maxTicks` steps:
// 1, 2 or 5 times a power of ten. Decimals to print it with go to `decimals`.
double NiceStep(double span, int maxTicks, int* decimals = nullptr);

class Graph2DModel {
 public:
  static constexpr int kMaxPoints = maps::kMapCols;

  // --- the state the window shows ---
  bool rowMode = false;           // TBselectAxis: off = a column against Y, on = a row against X
  bool autoScale = true;          // CBautoScale
  MapCell current{0, 0};          // the current point as a map cell
  std::vector<int> selection{0};  // indices along the curve; the first is the current point
  // The line in display units: horizontal (breakpoints) and value, current and reference.
  int length = 0;  // 0 while the active cell lies on the X-axis row
  std::array<double, kMaxPoints> h{}, v{}, refV{};
  std::array<int16_t, kMaxPoints> raw{}, refRaw{};
  // The same line of a comparison map block (set `comparison` before Build; null: none).
  const uint8_t* comparison = nullptr;
  std::array<double, kMaxPoints> cmpV{};
  double scaleX = 1, scaleY = 10, scaleZ = 1000;
  // Ranges in use: horizontal one per axis mode (0 column, 1 row), value one.
  std::array<AxisRange, 2> hRange{};
  std::array<bool, 2> hRangeSet{false, false};
  AxisRange vRange{};

  // --- scatter steps ---
  // Step 2: a map other than the last one shown requests a rescale.
  void NoteMap(int id);
  // Step 4: follows the editor's active cell; a new cell resets the selection to it.
  // True when the current point changed.
  bool FollowCell(MapCell active);
  // Step 7: reads the line through the current point from the image; 0 for an
  // invalid map. On the X-axis row the line is empty (length 0).
  uint8_t Build();
  // Step 8: computes the ranges when auto-scale is on or a rescale is pending.
  void UpdateRanges();
  // Forces a rescale on the next UpdateRanges (manual: keep the stored ranges, only
  // repair them; else compute them).
  void RequestRescale(bool manual) { (manual ? rescaleManual_ : rescaleMap_) = true; }

  // --- questions of the window ---
  // Index of the current point along the line.
  int CurrentIndex() const { return rowMode ? current.col : current.row; }
  // The map cell of point `index` of the line.
  MapCell CellAt(int index) const;
  std::vector<MapCell> SelectedCells() const;
  // First point of the line inside the box (display units), or -1.
  int PointInBox(double x0, double x1, double y0, double y1) const;
  // Value of the current point minus the reference, and in percent of the reference;
  // no percentage where the reference is 0.
  double Delta() const;
  std::optional<double> Percent() const;
  // X breakpoint, Y breakpoint and value of the current point (zeros on the X-axis row).
  std::array<double, 3> CurrentValues() const;

  // --- selection ---
  // The points inside the rectangle (any corner order) become the selection, in line
  // order, and the first of them the current point; none inside keeps the current
  // point alone. Returns the new current cell.
  MapCell SelectInRect(double x0, double y0, double x1, double y1);
  // The cell one step along the line (Left/Right) or to the neighbouring line
  // (Down/Up), held inside the map.
  MapCell StepAlong(int step) const;
  MapCell StepAcross(int step) const;
  // TBselectAxis: the current point's index along the new line becomes the selection.
  void SetRowMode(bool on);

  // --- edits of the working block (the caller rescatters the editor) ---
  // Move rule: the current point goes from raw `oldRaw` to `newRaw`; every selected
  // point follows: scaled by new/old on maps 1, 3, 5 (added to where either is 0),
  // added to on maps 2, 4.
  uint8_t MoveCursor(int oldRaw, int newRaw) const;
  // The current point moves by `step` raw units ("+" / "-"), held to the map's
  // limits (a point at its limit moves nothing).
  uint8_t StepSelection(int step) const;
  // The current point gets the display value `value` (dragging).
  uint8_t DragTo(double value) const;
  // Restore from the reference copy: the current point, or the whole line.
  uint8_t ResetSingle() const;
  uint8_t ResetAll() const;

  // Manual ranges typed into the scale inputs (display units); the horizontal one for
  // the current axis mode. The next UpdateRanges repairs them.
  void SetManualRange(std::optional<double> hMin, std::optional<double> hMax, std::optional<double> vMin,
                      std::optional<double> vMax);

 private:
  void AutoRanges();
  void RepairRanges();
  void ClampValueRange();
  uint8_t MoveCurrentTo(int target) const;

  int lastMap_ = 0;
  bool rescaleMap_ = true;
  bool rescaleManual_ = false;
  int matrixRawMin_ = 0, matrixRawMax_ = 0;
};

}  // namespace graphs
