// Stacked time plots over a log: up to four lanes sharing one time axis, each holding
// any number of channels, each channel on its own value scale (fitted to what is in
// view) and in its own colour. A channel is drawn reduced to the pixel columns it
// covers (first, lowest, highest, last value per column), so an hour of records costs
// no more than a screenful.
//
// Mouse and keys: a click sets the cursor, Left/Right move it one record (Shift: ten),
// the wheel zooms on time around the pointer, a left drag pans, a right drag (or a left
// drag with Shift) marks a span. The legend of each lane reads the value of each of its
// channels at the cursor.
#pragma once
#include <QColor>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "logs/logcsv.h"
#include "logs/plotreduce.h"

class QListWidget;

namespace logs {

class TimePlot : public QWidget {
 public:
  static constexpr int kMaxLanes = 4;
  explicit TimePlot(QWidget* parent = nullptr);

  // The log shown (shared, never copied); the view becomes the whole log and the cursor
  // its first record. Lanes keep their channels by name where the new log has them.
  void SetLog(std::shared_ptr<const Log> log);
  const Log* CurrentLog() const { return log_.get(); }
  // The records of the shown log grew (a live log): redraws, and in follow mode keeps
  // the newest `follow` seconds in view.
  void DataAppended();
  void SetFollow(double seconds) { follow_ = seconds; }
  // What an empty plot says.
  void SetEmptyText(const QString& text) { emptyText_ = text; }

  // Channels per lane (indices into the log's channels).
  void SetLanes(const std::vector<std::vector<int>>& lanes);
  const std::vector<std::vector<int>>& Lanes() const { return lanes_; }
  void AddChannel(int lane, int channel);
  void RemoveChannel(int lane, int channel);
  void ClearLane(int lane);
  int LaneAt(int y) const;  // -1 outside every lane

  // The span of time in view.
  void SetView(double t0, double t1);
  double ViewStart() const { return t0_; }
  double ViewEnd() const { return t1_; }
  void WholeLog();
  void Zoom(double factor, double around);  // factor < 1 zooms in
  void Pan(double seconds);

  // The cursor: a record of the log.
  void SetCursorRecord(size_t record);
  size_t CursorRecord() const { return cursor_; }
  // A span marked with the right button (empty when t1 <= t0).
  void SetSpan(double t0, double t1);
  double SpanStart() const { return span0_; }
  double SpanEnd() const { return span1_; }
  void ZoomToSpan();
  // Records marked from elsewhere (a cell of the map view): one flag per record.
  void SetMarks(std::vector<uint8_t> marks);

  static QColor ChannelColour(int k);
  // The lanes our own logs open on: engine speed; throttle; both wideband readings; the
  // injection time of both cylinders. Another log: its first four channels, one a lane.
  static std::vector<std::vector<int>> DefaultLanes(const Log& log);
  // The channel list beside a plot: every channel of `log` (its index as user data, its
  // minimum, mean and maximum as tooltip), and the search that hides the others.
  static void FillChannelList(QListWidget* list, const Log& log);
  static void FilterChannelList(QListWidget* list, const QString& text);
  // Milliseconds the last repaint took.
  double LastPaintMs() const { return lastPaintMs_; }

  std::function<void(size_t record)> onCursor;
  std::function<void(double t0, double t1)> onSpan;
  std::function<void()> onViewChanged;

  QSize sizeHint() const override { return {700, 480}; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QRect PlotArea() const;  // all lanes, without the axis labels
  QRect LaneRect(int lane) const;
  double TimeAt(double x) const;
  double XAt(double t) const;
  void ClampView();
  void Changed();
  void DrawLane(class QPainter& p, int lane, const QRect& r);
  void DrawTimeAxis(class QPainter& p, const QRect& area);
  QString Readout(int channel) const;

  std::shared_ptr<const Log> log_;
  std::vector<std::vector<int>> lanes_;
  double t0_ = 0, t1_ = 1;
  size_t cursor_ = 0;
  double span0_ = 0, span1_ = 0;
  std::vector<uint8_t> marks_;
  double follow_ = 0;
  // Dragging.
  enum class Drag { None, Pan, Span } drag_ = Drag::None;
  QPoint pressAt_;
  double pressT0_ = 0, pressT1_ = 0;
  bool moved_ = false;
  std::vector<PixelColumn> columns_;  // scratch of the reduction
  // Block summaries of the channels of a log that does not grow, made when first drawn.
  std::vector<BlockSummary> summaries_;
  const BlockSummary* SummaryOf(int channel);
  double lastPaintMs_ = 0;
  QString emptyText_ = QStringLiteral("No log open: \"Open Log...\" reads a datalog (CSV)");
};

}  // namespace logs
