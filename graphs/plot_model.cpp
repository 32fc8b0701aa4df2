// The 3D plot's model.
#include "graphs/plot_model.h"

#include <algorithm>

namespace graphs {

namespace {

AxisRange BreakpointRange(double first, double last, double scale) {
  AxisRange r{std::min(first, last), std::max(first, last)};
  if (r.min == r.max) {
    r.min -= 1 / scale;
    r.max += 1 / scale;
  }
  return r;
}

}  // namespace

uint8_t BuildSurface(SurfaceData* out) {
  maps::CellArray x, y, z;
  double scaleX = 1, scaleY = 1, scaleZ = 1;
  if (!maps::GetCurMapInfo(&x, &y, &z, nullptr, nullptr, nullptr, &scaleX, &scaleY, &scaleZ)) return 0;
  if (!maps::GetCurMapAttribute(&out->precX, &out->precY, &out->precZ, nullptr, nullptr, nullptr, nullptr,
                                nullptr, nullptr))
    return 0;
  out->xLabel = maps::GetCurMapXlabel();
  out->yLabel = maps::GetCurMapYlabel();
  out->zLabel = maps::GetCurMapZlabel();
  if (out->xLabel.empty() || out->yLabel.empty() || out->zLabel.empty()) return 0;

  for (int c = 0; c < maps::kMapCols; ++c) out->x[c] = x.Get(c) / scaleX;
  for (int r = 0; r < maps::kMapRows; ++r) out->y[r] = y.Get(r) / scaleY;
  int lo = z.Get(0), hi = z.Get(0);
  for (int i = 0; i < maps::kMapCells; ++i) {
    const int v = z.Get(i);
    lo = std::min(lo, v);
    hi = std::max(hi, v);
    out->z[i] = v / scaleZ;
  }
  out->xRange = BreakpointRange(out->x.front(), out->x.back(), scaleX);
  out->yRange = BreakpointRange(out->y.front(), out->y.back(), scaleY);
  // A flat map gets the whole display units either side of its value.
  out->zRange = WholeUnitRange(lo == hi ? lo - 1 : lo, lo == hi ? hi + 1 : hi, scaleZ);
  return 1;
}

MapCell StepCell(MapCell cell, int dCol, int dRow) {
  if (cell.row == kXAxisRow) cell.row = 0;
  return {std::clamp(cell.col + dCol, 0, maps::kMapCols - 1),
          std::clamp(cell.row + dRow, 0, maps::kMapRows - 1)};
}

}  // namespace graphs
