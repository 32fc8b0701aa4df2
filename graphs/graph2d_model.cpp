// The 2D graph editor's model.
#include "graphs/graph2d_model.h"

#include <algorithm>
#include <cmath>

namespace graphs {

int KeyStep(bool ctrl, bool alt) {
  if (alt) return 100;
  if (ctrl) return 10;
  return 1;
}

int RoundToRaw(double display, double scale) {
  const double d = display * scale;
  return static_cast<int>(std::trunc(d > 0 ? d + 0.5 : d - 0.5));
}

AxisRange WholeUnitRange(int rawMin, int rawMax, double scale) {
  const int unit = std::max(1, static_cast<int>(std::lround(scale)));
  const auto floorDiv = [unit](int v) { return v >= 0 ? v / unit : -((-v + unit - 1) / unit); };
  const int lo = floorDiv(rawMin) * unit;
  const int hi = -floorDiv(-rawMax) * unit;
  return {lo / scale, hi / scale};
}

double NiceStep(double span, int maxTicks, int* decimals) {
  if (!(span > 0) || maxTicks < 1) {
    if (decimals) *decimals = 0;
    return 1;
  }
  const double rough = span / maxTicks;
  double power = std::pow(10.0, std::floor(std::log10(rough)));
  double step = power;
  for (double m : {1.0, 2.0, 5.0, 10.0}) {
    step = m * power;
    if (step >= rough * (1 - 1e-9)) break;
  }
  if (step >= 10 * power * (1 - 1e-9)) power *= 10;
  if (decimals) *decimals = std::max(0, -static_cast<int>(std::floor(std::log10(power) + 1e-9)));
  return step;
}

void Graph2DModel::NoteMap(int id) {
  if (id != lastMap_) {
    lastMap_ = id;
    rescaleMap_ = true;
  }
}

bool Graph2DModel::FollowCell(MapCell active) {
  // Held inside the matrix, whatever the editor reports.
  active.col = std::clamp(active.col, 0, maps::kMapCols - 1);
  active.row = std::clamp(active.row, kXAxisRow, maps::kMapRows - 1);
  if (active == current) return false;
  current = active;
  selection.assign(1, CurrentIndex());
  return true;
}

uint8_t Graph2DModel::Build() {
  maps::CellArray x, y, z, refX, refY, refZ;
  if (!maps::GetCurMapInfo(&x, &y, &z, &refX, &refY, &refZ, &scaleX, &scaleY, &scaleZ)) return 0;
  matrixRawMin_ = matrixRawMax_ = z.Get(0);
  for (int i = 1; i < maps::kMapCells; ++i) {
    matrixRawMin_ = std::min<int>(matrixRawMin_, z.Get(i));
    matrixRawMax_ = std::max<int>(matrixRawMax_, z.Get(i));
  }
  if (current.row == kXAxisRow) {
    length = 0;
    return 1;
  }
  length = rowMode ? maps::kMapCols : maps::kMapRows;
  maps::MapPlace cmpPlace{};
  const bool compared =
      comparison &&
      maps::GetMapPlace(maps::idCurMap, maps::MapPlanes(maps::idCurMap) > 1 ? maps::idCurJcyl : 0, &cmpPlace);
  // Read-only view of the comparison block.
  const maps::CellArray cmpZ{compared ? const_cast<uint8_t*>(comparison) + cmpPlace.matrix : nullptr};
  for (int i = 0; i < length; ++i) {
    const MapCell cell = CellAt(i);
    const int k = cell.row * maps::kMapCols + cell.col;
    h[i] = rowMode ? x.Get(i) / scaleX : y.Get(i) / scaleY;
    raw[i] = z.Get(k);
    refRaw[i] = refZ.Get(k);
    v[i] = raw[i] / scaleZ;
    refV[i] = refRaw[i] / scaleZ;
    cmpV[i] = compared ? cmpZ.Get(k) / scaleZ : 0;
  }
  // The selection lives along the line: indices beyond it (after an axis change) go.
  std::erase_if(selection, [this](int i) { return i < 0 || i >= length; });
  if (selection.empty() || selection.front() != CurrentIndex()) {
    std::erase(selection, CurrentIndex());
    selection.insert(selection.begin(), CurrentIndex());
  }
  return 1;
}

void Graph2DModel::AutoRanges() {
  const int mode = rowMode ? 1 : 0;
  const double hScale = rowMode ? scaleX : scaleY;
  AxisRange hr{h[0], h[0]};
  for (int i = 1; i < length; ++i) {
    hr.min = std::min(hr.min, h[i]);
    hr.max = std::max(hr.max, h[i]);
  }
  if (hr.min == hr.max) {
    hr.min -= 1 / hScale;
    hr.max += 1 / hScale;
  }
  hRange[mode] = hr;
  hRangeSet[mode] = true;

  // Value: whole display units around the whole matrix; the current point is kept
  // off the edges, so its cursor never sits on the frame.
  const AxisRange whole = WholeUnitRange(matrixRawMin_, matrixRawMax_, scaleZ);
  int lo = RoundToRaw(whole.min, scaleZ), hi = RoundToRaw(whole.max, scaleZ);
  const int cur = raw[CurrentIndex()];
  if (cur == hi) hi = RoundToRaw(WholeUnitRange(hi + 1, hi + 1, scaleZ).max, scaleZ);
  if (cur == lo) lo = RoundToRaw(WholeUnitRange(lo - 1, lo - 1, scaleZ).min, scaleZ);
  if (lo == hi) {
    --lo;
    ++hi;
  }
  vRange = {lo / scaleZ, hi / scaleZ};
}

void Graph2DModel::RepairRanges() {
  const auto repair = [](AxisRange& r, double rawUnit) {
    if (r.max < r.min) r.max = r.min;
    if (r.max == r.min) {
      r.min -= rawUnit;
      r.max += rawUnit;
    }
  };
  repair(hRange[rowMode ? 1 : 0], 1 / (rowMode ? scaleX : scaleY));
  repair(vRange, 1 / scaleZ);
}

void Graph2DModel::ClampValueRange() {
  double minZ = 0, maxZ = 0;
  if (!maps::GetCurMapAttribute(nullptr, nullptr, nullptr, nullptr, nullptr, &minZ, nullptr, nullptr, &maxZ))
    return;
  vRange.min = std::clamp(vRange.min, minZ, maxZ);
  vRange.max = std::clamp(vRange.max, minZ, maxZ);
  if (vRange.max <= vRange.min) {
    // Only when the range lay wholly beyond a limit: one raw unit inside it.
    if (vRange.min >= maxZ)
      vRange.min = maxZ - 1 / scaleZ;
    else
      vRange.max = vRange.min + 1 / scaleZ;
  }
}

void Graph2DModel::UpdateRanges() {
  if (length == 0) return;
  if (autoScale || rescaleMap_) {
    AutoRanges();
  } else {
    if (!hRangeSet[rowMode ? 1 : 0]) {
      const AxisRange keep = vRange;
      AutoRanges();
      vRange = keep;
    }
    if (rescaleManual_) RepairRanges();
  }
  ClampValueRange();
  rescaleMap_ = rescaleManual_ = false;
}

MapCell Graph2DModel::CellAt(int index) const {
  return rowMode ? MapCell{index, current.row} : MapCell{current.col, index};
}

std::vector<MapCell> Graph2DModel::SelectedCells() const {
  std::vector<MapCell> cells;
  if (length == 0) return cells;
  cells.reserve(selection.size());
  for (int i : selection) cells.push_back(CellAt(i));
  return cells;
}

int Graph2DModel::PointInBox(double x0, double x1, double y0, double y1) const {
  if (x1 < x0) std::swap(x0, x1);
  if (y1 < y0) std::swap(y0, y1);
  for (int i = 0; i < length; ++i)
    if (h[i] >= x0 && h[i] <= x1 && v[i] >= y0 && v[i] <= y1) return i;
  return -1;
}

double Graph2DModel::Delta() const {
  if (length == 0) return 0;
  return v[CurrentIndex()] - refV[CurrentIndex()];
}

std::optional<double> Graph2DModel::Percent() const {
  if (length == 0) return 0.0;
  const int i = CurrentIndex();
  if (refRaw[i] == 0) return std::nullopt;
  return (v[i] / refV[i] - 1) * 100;
}

std::array<double, 3> Graph2DModel::CurrentValues() const {
  if (length == 0) return {0, 0, 0};
  maps::CellArray x, y;
  if (!maps::GetCurMapInfo(&x, &y, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr))
    return {0, 0, 0};
  return {x.Get(current.col) / scaleX, y.Get(current.row) / scaleY, v[CurrentIndex()]};
}

MapCell Graph2DModel::SelectInRect(double x0, double y0, double x1, double y1) {
  if (x1 < x0) std::swap(x0, x1);
  if (y1 < y0) std::swap(y0, y1);
  std::vector<int> inside;
  for (int i = 0; i < length; ++i)
    if (h[i] >= x0 && h[i] <= x1 && v[i] >= y0 && v[i] <= y1) inside.push_back(i);
  if (inside.empty()) {
    selection.assign(1, CurrentIndex());
    return current;
  }
  selection = std::move(inside);
  current = CellAt(selection.front());
  return current;
}

MapCell Graph2DModel::StepAlong(int step) const {
  MapCell c = current;
  if (c.row == kXAxisRow) c.row = 0;
  if (rowMode)
    c.col = std::clamp(c.col + step, 0, maps::kMapCols - 1);
  else
    c.row = std::clamp(c.row + step, 0, maps::kMapRows - 1);
  return c;
}

MapCell Graph2DModel::StepAcross(int step) const {
  MapCell c = current;
  if (c.row == kXAxisRow) c.row = 0;
  if (rowMode)
    c.row = std::clamp(c.row + step, 0, maps::kMapRows - 1);
  else
    c.col = std::clamp(c.col + step, 0, maps::kMapCols - 1);
  return c;
}

void Graph2DModel::SetRowMode(bool on) {
  if (on == rowMode) return;
  rowMode = on;
  selection.assign(1, CurrentIndex());
  RequestRescale(true);
}

uint8_t Graph2DModel::MoveCursor(int oldRaw, int newRaw) const {
  const double ratio = (oldRaw == 0 || newRaw == 0) ? 0.0 : static_cast<double>(newRaw) / oldRaw;
  for (const MapCell& cell : SelectedCells())
    if (!maps::SetCurMap(cell.col, cell.row, newRaw - oldRaw, ratio, 0, 0, 0, 0)) return 0;
  return 1;
}

uint8_t Graph2DModel::MoveCurrentTo(int target) const {
  if (length == 0) return 1;
  const int old = raw[CurrentIndex()];
  // Every point, the current one too, is held at the map's limits by the edit itself: a
  // current point that stops at a limit does not stop the other selected points.
  if (target == old) return 1;
  return MoveCursor(old, target);
}

uint8_t Graph2DModel::StepSelection(int step) const {
  if (length == 0) return 1;
  return MoveCurrentTo(raw[CurrentIndex()] + step);
}

uint8_t Graph2DModel::DragTo(double value) const {
  if (length == 0) return 1;
  const double d = std::clamp(value * scaleZ, -40000.0, 40000.0);
  return MoveCurrentTo(RoundToRaw(d / scaleZ, scaleZ));
}

uint8_t Graph2DModel::ResetSingle() const {
  if (length == 0) return 1;
  return maps::SetCurMap(current.col, current.row, 0, 0, 1, 0, 0, 0);
}

uint8_t Graph2DModel::ResetAll() const {
  if (length == 0) return 1;
  return rowMode ? maps::SetCurMap(-1, current.row, 0, 0, 1, 0, 0, 0)
                 : maps::SetCurMap(current.col, -1, 0, 0, 1, 0, 0, 0);
}

void Graph2DModel::SetManualRange(std::optional<double> hMin, std::optional<double> hMax,
                                  std::optional<double> vMin, std::optional<double> vMax) {
  AxisRange& hr = hRange[rowMode ? 1 : 0];
  if (hMin) hr.min = *hMin;
  if (hMax) hr.max = *hMax;
  if (hMin || hMax) hRangeSet[rowMode ? 1 : 0] = true;
  if (vMin) vRange.min = *vMin;
  if (vMax) vRange.max = *vMax;
  RequestRescale(true);
}

}  // namespace graphs
