// The two graph windows of the map editor.
#include "graphs/graphwindows.h"

#include "graphs/graph2d.h"
#include "graphs/plot.h"
#include "link/userio.h"
#include "shell/connection.h"

namespace graphs {

GraphWindows::GraphWindows(EditorLink* link, QWidget* parent)
    : link_(link),
      graph2d_(std::make_unique<Graph2DWindow>(link, parent)),
      plot_(std::make_unique<PlotWindow>(link, parent)) {
  graph2d_->setPlotCursor = [this](MapCell cell) { plot_->SetCursor(cell); };
  plot_->scatterGraph2d = [this] { graph2d_->Scatter(); };
}

GraphWindows::~GraphWindows() = default;

uint8_t GraphWindows::Show2D(bool show) {
  const uint8_t ok = graph2d_->ShowPanel(show);
  if (!ok) com::Ui().MessagePopup("2D Graph", shell::szGenericError);
  return ok;
}

uint8_t GraphWindows::Show3D(bool show) {
  if (show) plot_->SetCursor(link_->ActiveCell());
  const uint8_t ok = plot_->ShowPanel(show);
  if (!ok) com::Ui().MessagePopup("3D Graph", shell::szGenericError);
  return ok;
}

uint8_t GraphWindows::Toggle2D() {
  return Show2D(!graph2d_->isVisible());
}

uint8_t GraphWindows::Toggle3D() {
  return Show3D(!plot_->isVisible());
}

uint8_t GraphWindows::Scatter() {
  graph2d_->Scatter();
  return plot_->Scatter();
}

void GraphWindows::ActiveCellChanged(MapCell cell) {
  plot_->SetCursor(cell);
  graph2d_->Scatter();
}

uint8_t GraphWindows::Timer() {
  return graph2d_->Timer();
}

void GraphWindows::HideAll() {
  graph2d_->ShowPanel(false);
  plot_->ShowPanel(false);
}

void GraphWindows::Release() {
  plot_->Release();
}

}  // namespace graphs
