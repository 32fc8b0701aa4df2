// A window that draws the current map beside the map editor (the 2D graph editor, the
// 3D plot). The editor owns its two views, shows and hides them, redraws them on every
// scatter and tells them when its active cell moves; a view reaches back to the editor
// through the editor's public calls (active cell, selection, shading, rescatter,
// BeginEdit before it changes the block).
#pragma once
#include <cstdint>

namespace maps {

class MapGraphView {
 public:
  virtual ~MapGraphView() = default;
  // Brings the window up; 0 on failure.
  virtual uint8_t ShowView() = 0;
  virtual void HideView() = 0;
  virtual bool IsViewShown() const = 0;
  // Redraws from the block and the editor's active cell; 1 on success.
  virtual uint8_t ScatterView() = 0;
  // The editor's active cell has moved (the 3D cursor follows, the 2D graph redraws).
  virtual void ActiveCellChanged() {}
  // The engine's working point moved to this matrix cell (the editor's table
  // coordinates); row -1: none. A mark of its own, never the edit cursor.
  virtual void WorkPointChanged(int row, int col) {
    (void)row;
    (void)col;
  }
  // Each main-timer tick while the editor is in front and the window is shown.
  virtual uint8_t TimerView() { return 1; }
};

}  // namespace maps
