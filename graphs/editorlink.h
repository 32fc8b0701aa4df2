// What the graph windows (the 2D graph editor and the 3D plot) need of the map
// editor, and nothing more. The editor page implements it; the widget tests use a
// fake. Plain C++: no Qt in here.
//
// Cells are named in map terms: column 0..31 (X axis), row 0..19 (Y axis). The
// editor's matrix also shows the X axis in its first table row; an active cell on
// that row is reported as row kXAxisRow.
#pragma once
#include <cstdint>
#include <vector>

namespace graphs {

inline constexpr int kXAxisRow = -1;

struct MapCell {
  int col = 0;  // 0..31
  int row = 0;  // 0..19, or kXAxisRow
  friend bool operator==(const MapCell&, const MapCell&) = default;
};

class EditorLink {
 public:
  virtual ~EditorLink() = default;

  // The active cell of the editor's matrix.
  virtual MapCell ActiveCell() const = 0;
  // Makes `cell` the editor's active cell (col 0..31, row 0..19 or kXAxisRow). The
  // editor does not call back into the graph windows from here: whoever moves the
  // cell redraws what it has to.
  virtual void SetActiveCell(MapCell cell) = 0;
  // Clears the grey shading of every matrix cell, then shades these cells grey
  // (0xC0C0C0). An empty list only clears.
  virtual void ShadeCells(const std::vector<MapCell>& cells) = 0;
  // The working map block is about to be changed by a graph window: one edit
  // follows (the editor keeps its undo snapshot here).
  virtual void BeginEdit() = 0;
  // The working map block (or idCurJcyl) was changed by a graph window: the editor
  // scatters itself, which redraws the graph windows too. 1 on success.
  virtual uint8_t BlockChanged() = 0;
  // Adds `delta` raw units to the active matrix cell, as the editor's own "+" and
  // "-" keys do (gather with the axis check, one edit, scatter). 1 on success.
  virtual uint8_t CellValChange(int delta) = 0;
  // The map block the editor compares with, or null when it compares with nothing.
  virtual const uint8_t* ComparisonBlock() const { return nullptr; }
};

}  // namespace graphs
