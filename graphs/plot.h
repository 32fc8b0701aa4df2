// The 3D plot, window "Plot Panel": the current map as a surface over its two
// breakpoint axes (Q3DSurface), with a cursor on one cell that follows the map
// editor's active cell and moves it when the user picks a point.
//
// The 3D graph needs OpenGL. It is built the first time the window is shown, so a
// program without OpenGL (Qt's offscreen platform, a display without GLX) starts and
// edits as usual and only the plot reports "Some error occurred...".
#pragma once
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>

#include "graphs/editorlink.h"
#include "graphs/plot_model.h"

class QKeyEvent;
class QPoint;
class Q3DSurface;
class QCustom3DLabel;
class QSurface3DSeries;
class QValue3DAxis;

namespace Ui {
class PlotPanel;
}

namespace graphs {

class BreakpointFormatter;

class PlotWindow : public QWidget {
 public:
  explicit PlotWindow(EditorLink* link, QWidget* parent = nullptr);
  ~PlotWindow() override;

  // ShowPltPanel: shows (building the 3D graph the first time, then drawing) or
  // hides. 0, after the message "Some error occurred..." titled "Plot Panel", when
  // the graph cannot be built.
  uint8_t ShowPanel(bool show);
  // ScatterPltPanel: draws the current map while the window is shown; 1 while hidden.
  uint8_t Scatter();
  // SetPltCursor: the cursor goes to the map cell (the X-axis row counts as row 0).
  uint8_t SetCursor(MapCell cell);
  MapCell Cursor() const { return cursor_; }
  // The second cursor: the engine's working point (col -1: none). It never moves the
  // edit cursor.
  void SetWorkPoint(MapCell cell);
  QCustom3DLabel* WorkLabel() const { return workLabel_; }
  // ReleasePltPanel: drops the 3D graph.
  void Release();

  // Redraws the 2D graph after the cursor moved (installed by GraphWindows).
  std::function<void()> scatterGraph2d;

  // The 3D graph, null until it was built.
  Q3DSurface* Surface() const { return surface_; }
  QSurface3DSeries* Series() const { return series_; }
  // The cursor's row and column drawn along the surface.
  QSurface3DSeries* RowStrip() const { return rowStrip_; }
  QSurface3DSeries* ColumnStrip() const { return colStrip_; }
  const SurfaceData& Data() const { return data_; }
  Ui::PlotPanel& Form() { return *ui_; }
  // MapGraph: the keys of the plot. True when handled.
  bool Key(QKeyEvent* e);
  // CursorChange: the user picked the point (map row, map column) on the surface.
  void CursorChange(const QPoint& position);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  uint8_t BuildGraph();
  void ShowCursorText();
  void DrawCursorStrips();
  void Fail();

  EditorLink* link_;
  std::unique_ptr<Ui::PlotPanel> ui_;
  Q3DSurface* surface_ = nullptr;
  QWidget* container_ = nullptr;
  QSurface3DSeries* series_ = nullptr;
  QSurface3DSeries* rowStrip_ = nullptr;  // the cursor's map row
  QSurface3DSeries* colStrip_ = nullptr;  // the cursor's map column
  QValue3DAxis* axisX_ = nullptr;         // map X axis (horizontal)
  QValue3DAxis* axisV_ = nullptr;         // values (vertical)
  QValue3DAxis* axisZ_ = nullptr;         // map Y axis (depth)
  BreakpointFormatter* formatX_ = nullptr;
  BreakpointFormatter* formatZ_ = nullptr;
  BreakpointFormatter* formatV_ = nullptr;  // round values
  SurfaceData data_;
  MapCell cursor_{0, 0};
  MapCell workCell_{-1, 0};
  QCustom3DLabel* workLabel_ = nullptr;  // owned by the surface
  bool buildFailed_ = false;
  bool settingCursor_ = false;
};

}  // namespace graphs
