// The 2D graph editor, window "2D Graph": the line of the current map through the
// map editor's active cell (red) beside the same line of the reference copy
// (green), with cursors on the selected points. Moves, drags, keyboard steps and
// restores edit the working block; the map editor is told through EditorLink.
#pragma once
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>

#include "graphs/editorlink.h"
#include "graphs/graph2d_model.h"

class QChart;
class QLineSeries;
class QScatterSeries;
class QValueAxis;
class QGraphicsRectItem;
class QMouseEvent;
class QKeyEvent;

namespace Ui {
class Graph2DPanel;
}

namespace graphs {

class ChartView;

// The help text of F1.
extern const char szGraph2dHelp[];

class Graph2DWindow : public QWidget {
 public:
  explicit Graph2DWindow(EditorLink* link, QWidget* parent = nullptr);
  ~Graph2DWindow() override;

  // ShowGrpPanel: show and scatter, or clear the editor's shading and hide.
  uint8_t ShowPanel(bool show);
  // ScatterGrpPanel: redraw from the image and the editor's active cell.
  uint8_t Scatter();
  // GrpTimer: an active cell on the X-axis row moves to the first matrix row.
  uint8_t Timer();
  // DeleteMapSelection: the editor's cells lose their shading.
  void DeleteMapSelection();

  // The engine's working point (a map cell; col -1: none), marked grey on the line at
  // its place along the line's axis. A mark of its own: the selection stays.
  void SetWorkPoint(MapCell cell);
  QScatterSeries* WorkPoint() const { return workPoint_; }

  // Moves the 3D plot's cursor (installed by GraphWindows).
  std::function<void(MapCell)> setPlotCursor;

  Graph2DModel& Model() { return model_; }
  Ui::Graph2DPanel& Form() { return *ui_; }
  ChartView* View() const;
  QChart* Chart() const { return chart_; }
  QLineSeries* CurrentLine() const { return current_; }
  QLineSeries* ReferenceLine() const { return reference_; }
  // The comparison tune's line (empty without a comparison).
  QLineSeries* ComparisonLine() const { return comparison_; }
  QScatterSeries* CursorOne() const { return cursorOne_; }
  QScatterSeries* OtherCursors() const { return cursors_; }
  bool Dragging() const { return dragging_; }
  bool RubberBandActive() const { return banding_; }
  // A point of the graph (display units) as a position in the chart view.
  QPoint ViewPosition(double h, double v) const;

 protected:
  void hideEvent(QHideEvent* e) override;

 private:
  void BuildChart();
  void Press(QMouseEvent* e);
  void Move(QMouseEvent* e);
  void Release(QMouseEvent* e);
  bool Key(QKeyEvent* e);
  QPointF ToValue(QPointF viewPos, bool holdInPlot) const;
  void GoTo(MapCell cell);
  void SetCurrentFromSelection();
  void PlaceCursors();
  void ShowRanges();
  void ShowLabels();
  void SelectScale();
  uint8_t Edit(uint8_t (Graph2DModel::*edit)() const);
  void Fail();

  EditorLink* link_;
  std::unique_ptr<Ui::Graph2DPanel> ui_;
  Graph2DModel model_;
  QChart* chart_ = nullptr;
  QValueAxis* axisH_ = nullptr;
  QValueAxis* axisV_ = nullptr;
  QLineSeries* current_ = nullptr;
  QLineSeries* reference_ = nullptr;
  QLineSeries* comparison_ = nullptr;
  QScatterSeries* cursors_ = nullptr;    // selected points other than the current one
  QScatterSeries* cursorOne_ = nullptr;  // the current point
  QLineSeries* cursorLine_ = nullptr;    // vertical line through the current point
  QScatterSeries* workPoint_ = nullptr;  // the engine's working point
  MapCell workCell_{-1, 0};
  QGraphicsRectItem* band_ = nullptr;
  bool dragging_ = false;
  bool dragEdited_ = false;
  bool banding_ = false;
  QPointF bandFrom_, bandTo_;  // graph coordinates
  bool inScatter_ = false;
  bool shaded_ = false;  // editor cells are shaded
};

}  // namespace graphs
