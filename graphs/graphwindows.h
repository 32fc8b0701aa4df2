// The two graph windows of the map editor, wired to each other and to the editor.
//
// The editor page owns one GraphWindows and calls it from its own steps:
//   - page Init (InitMp1Panel):     GraphWindows(link, mainWindow)
//   - CBgraph2D / CBgraph3D:        Toggle2D() / Toggle3D() (Map2DgraphOnOff, Map3DgraphOnOff)
//   - end of ScatterMp1Panel:       Scatter() (its result is the scatter's result)
//   - active cell of TABmatrix moved by the user: ActiveCellChanged(cell)
//   - Mp1Timer (or the main tick):  Timer() (GrpTimer)
//   - page Leave:                   HideAll()
//   - program exit:                 Release() (ReleasePltPanel)
#pragma once
#include <cstdint>
#include <memory>

#include "graphs/editorlink.h"

class QWidget;

namespace graphs {

class Graph2DWindow;
class PlotWindow;

class GraphWindows {
 public:
  // InitGrpPanel and InitPltPanel: both windows, top-level over `parent`, hidden.
  explicit GraphWindows(EditorLink* link, QWidget* parent = nullptr);
  ~GraphWindows();

  Graph2DWindow& Graph2D() { return *graph2d_; }
  PlotWindow& Plot() { return *plot_; }

  // ShowGrpPanel / ShowPltPanel. The 2D graph reports a failure titled "2D Graph",
  // the plot titled "Plot Panel" (its own message) and "3D Graph".
  uint8_t Show2D(bool show);
  uint8_t Show3D(bool show);
  // The graph buttons: show a hidden window, hide a shown one.
  uint8_t Toggle2D();
  uint8_t Toggle3D();
  // Redraws both from the image (the 2D graph, then the plot); the plot's result.
  uint8_t Scatter();
  // The editor's active cell changed: the plot's cursor goes there, the 2D graph
  // follows.
  void ActiveCellChanged(MapCell cell);
  // GrpTimer while the 2D graph is shown.
  uint8_t Timer();
  void HideAll();
  void Release();

 private:
  EditorLink* link_;
  std::unique_ptr<Graph2DWindow> graph2d_;
  std::unique_ptr<PlotWindow> plot_;
};

}  // namespace graphs
