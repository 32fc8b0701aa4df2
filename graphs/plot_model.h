// The 3D plot's model: the current map as a surface over its two breakpoint axes in
// display units, with the axes' ranges and captions. Plain C++.
#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "graphs/editorlink.h"
#include "graphs/graph2d_model.h"
#include "maps/map1.h"

namespace graphs {

struct SurfaceData {
  std::array<double, maps::kMapCols> x{};   // X breakpoints
  std::array<double, maps::kMapRows> y{};   // Y breakpoints
  std::array<double, maps::kMapCells> z{};  // cell (row r, column c) at r * 32 + c
  AxisRange xRange, yRange, zRange;
  int precX = 0, precY = 1, precZ = 3;
  std::string xLabel, yLabel, zLabel;  // UTF-8
};

// Reads the current map (map 1: the plane of idCurJcyl). The X and Y ranges run from
// the first to the last breakpoint (in either order; equal ends one raw unit apart),
// the value range over whole display units around the matrix. 0 for an invalid map
// or an empty label.
uint8_t BuildSurface(SurfaceData* out);

// The plot's cursor keys: a cell `dCol` columns and `dRow` rows away, held inside
// the map (the X-axis row counts as row 0).
MapCell StepCell(MapCell cell, int dCol, int dRow);

}  // namespace graphs
