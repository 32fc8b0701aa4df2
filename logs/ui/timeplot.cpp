#include "logs/ui/timeplot.h"

#include <QElapsedTimer>
#include <QKeyEvent>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "link/numberformat.h"

namespace logs {

namespace {

constexpr int kLeft = 64;  // room for the first channel's scale
constexpr int kRight = 8;
constexpr int kTop = 4;
constexpr int kBottom = 24;  // the time axis
constexpr int kLaneGap = 6;
constexpr double kMinSpan = 0.02;  // seconds: the closest zoom

// Decimals that tell apart values a `step` apart.
int DecimalsFor(double step) {
  if (!(step > 0)) return 0;
  return std::clamp(static_cast<int>(std::ceil(-std::log10(step))), 0, 4);
}

// A step of 1, 2 or 5 times a power of ten giving about `target` ticks over `span`.
double NiceStep(double span, int target) {
  if (!(span > 0)) return 1;
  const double raw = span / std::max(target, 1);
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (double m : {1.0, 2.0, 5.0, 10.0})
    if (raw <= m * power) return m * power;
  return 10 * power;
}

QString TimeText(double t, double step) {
  const int decimals = DecimalsFor(step);
  if (std::fabs(t) < 60) return com::FixedQText(t, decimals) + " s";
  const double whole = std::floor(t / 60.0);
  const double rest = t - whole * 60.0;
  const QString seconds = com::FixedQText(rest, decimals);
  return QString("%1:%2").arg(static_cast<long long>(whole)).arg(rest < 10 ? "0" + seconds : seconds);
}

}  // namespace

TimePlot::TimePlot(QWidget* parent) : QWidget(parent) {
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(false);
  setAttribute(Qt::WA_OpaquePaintEvent);
  lanes_.resize(1);
}

QColor TimePlot::ChannelColour(int k) {
  static const QColor colours[] = {
      QColor(0x1F, 0x5F, 0xBF), QColor(0xD0, 0x40, 0x10), QColor(0x20, 0x90, 0x30), QColor(0x90, 0x30, 0xA0),
      QColor(0x00, 0x90, 0x90), QColor(0xA0, 0x70, 0x00), QColor(0x60, 0x60, 0x60), QColor(0xC0, 0x20, 0x60)};
  return colours[static_cast<size_t>(k) % std::size(colours)];
}

std::vector<std::vector<int>> TimePlot::DefaultLanes(const Log& log) {
  const std::vector<std::vector<std::string>> ours = {
      {"rpm"}, {"farf"}, {"lambdaCan1", "lambdaCan2"}, {"terog1A", "terog2A"}};
  std::vector<std::vector<int>> lanes(kMaxLanes);
  bool any = false;
  for (size_t l = 0; l < ours.size(); ++l)
    for (const std::string& name : ours[l])
      if (const int c = log.Find(name); c >= 0) {
        lanes[l].push_back(c);
        any = true;
      }
  if (!any)
    for (size_t c = 0; c < std::min<size_t>(kMaxLanes, log.names.size()); ++c)
      lanes[c].push_back(static_cast<int>(c));
  return lanes;
}

void TimePlot::FillChannelList(QListWidget* list, const Log& log) {
  list->clear();
  for (size_t c = 0; c < log.names.size(); ++c) {
    const QString name = QString::fromStdString(log.names[c]);
    auto* item = new QListWidgetItem(name, list);
    item->setData(Qt::UserRole, static_cast<int>(c));
    const ChannelStats& s = c < log.stats.size() ? log.stats[c] : ChannelStats{};
    if (s.count > 0)
      item->setToolTip(
          QString("%1: min %2, mean %3, max %4")
              .arg(name, com::FixedQText(s.min, 3), com::FixedQText(s.mean, 3), com::FixedQText(s.max, 3)));
  }
}

void TimePlot::FilterChannelList(QListWidget* list, const QString& text) {
  for (int i = 0; i < list->count(); ++i) {
    QListWidgetItem* item = list->item(i);
    item->setHidden(!text.isEmpty() && !item->text().contains(text, Qt::CaseInsensitive));
  }
}

void TimePlot::SetLog(std::shared_ptr<const Log> log) {
  std::vector<std::vector<std::string>> names(lanes_.size());
  if (log_)
    for (size_t l = 0; l < lanes_.size(); ++l)
      for (int c : lanes_[l])
        if (c >= 0 && static_cast<size_t>(c) < log_->names.size())
          names[l].push_back(log_->names[static_cast<size_t>(c)]);
  log_ = std::move(log);
  for (size_t l = 0; l < lanes_.size(); ++l) {
    lanes_[l].clear();
    if (log_)
      for (const std::string& n : names[l])
        if (const int c = log_->Find(n); c >= 0) lanes_[l].push_back(c);
  }
  marks_.clear();
  summaries_.clear();
  span0_ = span1_ = 0;
  cursor_ = 0;
  WholeLog();
}

void TimePlot::DataAppended() {
  if (!log_ || log_->time.empty()) return;
  if (follow_ > 0) {
    const double last = log_->time.back();
    t0_ = last - follow_;
    t1_ = last;
    cursor_ = log_->Records() - 1;
  }
  update();
}

void TimePlot::SetLanes(const std::vector<std::vector<int>>& lanes) {
  lanes_ = lanes;
  if (lanes_.empty()) lanes_.resize(1);
  if (lanes_.size() > kMaxLanes) lanes_.resize(kMaxLanes);
  update();
}

void TimePlot::AddChannel(int lane, int channel) {
  if (lane < 0 || lane >= kMaxLanes || !log_ || channel < 0 ||
      static_cast<size_t>(channel) >= log_->names.size())
    return;
  if (static_cast<size_t>(lane) >= lanes_.size()) lanes_.resize(static_cast<size_t>(lane) + 1);
  auto& l = lanes_[static_cast<size_t>(lane)];
  if (std::find(l.begin(), l.end(), channel) == l.end()) l.push_back(channel);
  update();
}

void TimePlot::RemoveChannel(int lane, int channel) {
  if (lane < 0 || static_cast<size_t>(lane) >= lanes_.size()) return;
  auto& l = lanes_[static_cast<size_t>(lane)];
  l.erase(std::remove(l.begin(), l.end(), channel), l.end());
  update();
}

void TimePlot::ClearLane(int lane) {
  if (lane < 0 || static_cast<size_t>(lane) >= lanes_.size()) return;
  lanes_[static_cast<size_t>(lane)].clear();
  update();
}

QRect TimePlot::PlotArea() const {
  return QRect(kLeft, kTop, std::max(1, width() - kLeft - kRight), std::max(1, height() - kTop - kBottom));
}

QRect TimePlot::LaneRect(int lane) const {
  const QRect a = PlotArea();
  const int n = static_cast<int>(lanes_.size());
  const int h = (a.height() - (n - 1) * kLaneGap) / n;
  return QRect(a.left(), a.top() + lane * (h + kLaneGap), a.width(), std::max(h, 1));
}

int TimePlot::LaneAt(int y) const {
  for (int l = 0; l < static_cast<int>(lanes_.size()); ++l) {
    const QRect r = LaneRect(l);
    if (y >= r.top() && y <= r.bottom() + kLaneGap) return l;
  }
  return -1;
}

double TimePlot::TimeAt(double x) const {
  const QRect a = PlotArea();
  return t0_ + (x - a.left()) * (t1_ - t0_) / a.width();
}

double TimePlot::XAt(double t) const {
  const QRect a = PlotArea();
  return a.left() + (t - t0_) * a.width() / (t1_ - t0_);
}

void TimePlot::ClampView() {
  if (!log_ || log_->time.empty()) {
    t0_ = 0;
    t1_ = 1;
    return;
  }
  const double first = log_->time.front(), last = log_->time.back();
  const double whole = std::max(last - first, kMinSpan);
  double span = std::clamp(t1_ - t0_, kMinSpan, whole);
  if (!std::isfinite(span)) span = whole;
  t0_ = std::clamp(t0_, first, std::max(first, last - span));
  t1_ = t0_ + span;
}

void TimePlot::Changed() {
  update();
  if (onViewChanged) onViewChanged();
}

void TimePlot::SetView(double t0, double t1) {
  t0_ = std::min(t0, t1);
  t1_ = std::max(t0, t1);
  ClampView();
  Changed();
}

void TimePlot::WholeLog() {
  if (log_ && !log_->time.empty()) {
    t0_ = log_->time.front();
    t1_ = std::max(log_->time.back(), t0_ + kMinSpan);
  } else {
    t0_ = 0;
    t1_ = 1;
  }
  Changed();
}

void TimePlot::Zoom(double factor, double around) {
  const double a = std::clamp((around - t0_) / (t1_ - t0_), 0.0, 1.0);
  const double span = (t1_ - t0_) * factor;
  t0_ = around - a * span;
  t1_ = t0_ + span;
  ClampView();
  Changed();
}

void TimePlot::Pan(double seconds) {
  t0_ += seconds;
  t1_ += seconds;
  ClampView();
  Changed();
}

void TimePlot::SetCursorRecord(size_t record) {
  if (!log_ || log_->time.empty()) return;
  cursor_ = std::min(record, log_->Records() - 1);
  // The cursor stays in view: the view follows it by whole spans' tenths.
  const double t = log_->time[cursor_];
  if (t < t0_ || t > t1_) {
    const double span = t1_ - t0_;
    t0_ = t - span / 2;
    t1_ = t0_ + span;
    ClampView();
    if (onViewChanged) onViewChanged();
  }
  update();
  if (onCursor) onCursor(cursor_);
}

void TimePlot::SetSpan(double t0, double t1) {
  span0_ = std::min(t0, t1);
  span1_ = std::max(t0, t1);
  update();
  if (onSpan) onSpan(span0_, span1_);
}

void TimePlot::ZoomToSpan() {
  if (span1_ > span0_) SetView(span0_, span1_);
}

void TimePlot::SetMarks(std::vector<uint8_t> marks) {
  marks_ = std::move(marks);
  update();
}

const BlockSummary* TimePlot::SummaryOf(int channel) {
  // A growing log (the live trends) shows a few minutes: it is scanned whole.
  if (follow_ > 0 || !log_ || channel < 0 || static_cast<size_t>(channel) >= log_->channels.size())
    return nullptr;
  if (summaries_.size() != log_->channels.size()) summaries_.assign(log_->channels.size(), BlockSummary());
  BlockSummary& s = summaries_[static_cast<size_t>(channel)];
  const Column& values = log_->channels[static_cast<size_t>(channel)];
  if (s.min.empty() && values.size() >= 4 * BlockSummary::kBlock)
    SummariseBlocks(values.data(), values.size(), &s);
  return s.min.empty() ? nullptr : &s;
}

QString TimePlot::Readout(int channel) const {
  const Column& values = log_->channels[static_cast<size_t>(channel)];
  const float v = cursor_ < values.size() ? values[cursor_] : NAN;
  const QString name = QString::fromStdString(log_->names[static_cast<size_t>(channel)]);
  if (std::isnan(v)) return name + " = (gap)";
  const ChannelStats s = static_cast<size_t>(channel) < log_->stats.size()
                             ? log_->stats[static_cast<size_t>(channel)]
                             : ChannelStats{};
  const int decimals =
      s.count == 0 ? 2 : DecimalsFor(NiceStep(std::max(1e-6, double(s.max) - double(s.min)), 200));
  return name + " = " + com::FixedQText(v, decimals);
}

void TimePlot::paintEvent(QPaintEvent*) {
  QElapsedTimer clock;
  clock.start();
  QPainter p(this);
  p.fillRect(rect(), palette().color(QPalette::Window));
  const QRect area = PlotArea();
  if (!log_ || log_->time.empty()) {
    p.fillRect(area, Qt::white);
    p.setPen(QColor(0x70, 0x70, 0x70));
    p.drawText(area, Qt::AlignCenter, emptyText_);
    lastPaintMs_ = clock.nsecsElapsed() / 1e6;
    return;
  }
  for (int l = 0; l < static_cast<int>(lanes_.size()); ++l) DrawLane(p, l, LaneRect(l));
  DrawTimeAxis(p, area);
  lastPaintMs_ = clock.nsecsElapsed() / 1e6;
}

void TimePlot::DrawLane(QPainter& p, int lane, const QRect& r) {
  p.fillRect(r, Qt::white);
  const Log& log = *log_;
  const RecordSpan span = VisibleRecords(log.time.data(), log.Records(), t0_, t1_);
  // The span marked with the right button, and the records marked from the map view.
  if (span1_ > span0_) {
    const double x0 = std::max<double>(r.left(), XAt(span0_)), x1 = std::min<double>(r.right(), XAt(span1_));
    if (x1 >= x0)
      p.fillRect(QRectF(x0, r.top(), std::max(1.0, x1 - x0), r.height()), QColor(0xFF, 0xE8, 0xA0));
  }
  if (!marks_.empty()) {
    p.setPen(QColor(0xF0, 0x90, 0x20));
    int lastX = -1;
    for (size_t i = span.begin; i < span.end && i < marks_.size(); ++i) {
      if (!marks_[i]) continue;
      const int x = static_cast<int>(XAt(log.time[i]));
      if (x == lastX || x < r.left() || x > r.right()) continue;
      lastX = x;
      p.drawLine(x, r.bottom() - 6, x, r.bottom());
    }
  }
  // Grid lines of the time axis.
  const double step = NiceStep(t1_ - t0_, std::max(2, r.width() / 110));
  p.setPen(QColor(0xE6, 0xE6, 0xE6));
  for (double t = std::ceil(t0_ / step) * step; t <= t1_; t += step) {
    const int x = static_cast<int>(std::lround(XAt(t)));
    p.drawLine(x, r.top(), x, r.bottom());
  }
  p.setPen(QColor(0xA0, 0xA0, 0xA0));
  p.drawRect(r.adjusted(0, 0, -1, -1));

  const auto& channels = lanes_[static_cast<size_t>(lane)];
  if (channels.empty()) {
    p.setPen(QColor(0x90, 0x90, 0x90));
    p.drawText(r, Qt::AlignCenter,
               QString("Plot %1: double-click a channel in the list to add it here").arg(lane + 1));
    return;
  }
  QFontMetrics fm(font());
  int legendX = r.left() + 6;
  const int legendY = r.top() + fm.ascent() + 3;
  p.setClipRect(r.adjusted(1, 1, -1, -1));
  for (size_t k = 0; k < channels.size(); ++k) {
    const int c = channels[k];
    if (c < 0 || static_cast<size_t>(c) >= log.channels.size()) continue;
    const QColor colour = ChannelColour(static_cast<int>(k) + lane * 2);
    ReduceToColumns(log.time.data(), log.channels[static_cast<size_t>(c)].data(), span, t0_, t1_, r.width(),
                    &columns_, SummaryOf(c));
    // The channel's own scale: what is in view, with a little room.
    float lo = INFINITY, hi = -INFINITY;
    for (const PixelColumn& col : columns_)
      if (!col.empty()) {
        lo = std::min(lo, col.min);
        hi = std::max(hi, col.max);
      }
    if (!(hi >= lo)) lo = hi = 0;
    double pad = (double(hi) - double(lo)) * 0.06;
    if (pad <= 0) pad = std::max(1.0, std::fabs(double(hi)) * 0.05);
    const double vlo = lo - pad, vhi = hi + pad;
    const double ky = (r.height() - 2) / (vhi - vlo);
    auto y = [&](float v) { return r.bottom() - 1 - (double(v) - vlo) * ky; };
    p.setPen(QPen(colour, 1));
    QPolygonF line;
    line.reserve(static_cast<int>(columns_.size()) * 4);
    auto flush = [&] {
      if (line.size() > 1)
        p.drawPolyline(line);
      else if (line.size() == 1)
        p.drawPoint(line.front());
      line.clear();
    };
    for (size_t x = 0; x < columns_.size(); ++x) {
      const PixelColumn& col = columns_[x];
      if (col.empty()) {
        flush();
        continue;
      }
      const double px = r.left() + double(x) + 0.5;
      line << QPointF(px, y(col.first));
      if (col.max > col.min) line << QPointF(px, y(col.min)) << QPointF(px, y(col.max));
      line << QPointF(px, y(col.last));
    }
    flush();
    // The first channel's scale at the left edge.
    if (k == 0) {
      p.setClipping(false);
      p.setPen(colour);
      const int decimals = DecimalsFor(NiceStep(vhi - vlo, 4));
      p.drawText(QRect(0, r.top(), kLeft - 4, fm.height()), Qt::AlignRight, com::FixedQText(hi, decimals));
      p.drawText(QRect(0, r.bottom() - fm.height(), kLeft - 4, fm.height()), Qt::AlignRight,
                 com::FixedQText(lo, decimals));
      p.setClipRect(r.adjusted(1, 1, -1, -1));
    }
    // The legend: the channel's value at the cursor.
    const QString text = Readout(c);
    const int w = fm.horizontalAdvance(text) + 10;
    p.fillRect(QRect(legendX - 3, legendY - fm.ascent() - 1, w, fm.height() + 2), QColor(255, 255, 255, 220));
    p.setPen(colour);
    p.drawText(legendX, legendY, text);
    legendX += w + 6;
  }
  // The cursor.
  const double cx = XAt(log.time[cursor_]);
  if (cx >= r.left() && cx <= r.right()) {
    p.setPen(QPen(QColor(0x20, 0x20, 0x20), 1, Qt::DashLine));
    p.drawLine(QPointF(cx, r.top()), QPointF(cx, r.bottom()));
  }
  p.setClipping(false);
}

void TimePlot::DrawTimeAxis(QPainter& p, const QRect& area) {
  QFontMetrics fm(font());
  const double step = NiceStep(t1_ - t0_, std::max(2, area.width() / 110));
  p.setPen(palette().color(QPalette::WindowText));
  const int y = area.bottom() + 4;
  p.drawText(QRect(0, y, kLeft - 6, fm.height()), Qt::AlignRight,
             t1_ >= 60 ? QStringLiteral("min:s") : QStringLiteral("time"));
  for (double t = std::ceil(t0_ / step) * step; t <= t1_; t += step) {
    const int x = static_cast<int>(std::lround(XAt(t)));
    p.drawLine(x, area.bottom(), x, y);
    const QString text = TimeText(t, step);
    const int w = fm.horizontalAdvance(text);
    p.drawText(std::clamp(x - w / 2, 0, width() - w), y + fm.ascent(), text);
  }
}

void TimePlot::mousePressEvent(QMouseEvent* e) {
  setFocus(Qt::MouseFocusReason);
  pressAt_ = e->position().toPoint();
  pressT0_ = t0_;
  pressT1_ = t1_;
  moved_ = false;
  if (e->button() == Qt::RightButton ||
      (e->button() == Qt::LeftButton && (e->modifiers() & Qt::ShiftModifier)))
    drag_ = Drag::Span;
  else if (e->button() == Qt::LeftButton)
    drag_ = Drag::Pan;
}

void TimePlot::mouseMoveEvent(QMouseEvent* e) {
  if (drag_ == Drag::None) return;
  const QPoint at = e->position().toPoint();
  if ((at - pressAt_).manhattanLength() >= 3) moved_ = true;
  if (!moved_) return;
  const QRect a = PlotArea();
  if (drag_ == Drag::Pan) {
    const double dt = (pressAt_.x() - at.x()) * (pressT1_ - pressT0_) / a.width();
    t0_ = pressT0_ + dt;
    t1_ = pressT1_ + dt;
    ClampView();
    Changed();
  } else {
    span0_ = std::min(TimeAt(pressAt_.x()), TimeAt(at.x()));
    span1_ = std::max(TimeAt(pressAt_.x()), TimeAt(at.x()));
    update();
  }
}

void TimePlot::mouseReleaseEvent(QMouseEvent* e) {
  const Drag was = drag_;
  drag_ = Drag::None;
  if (!log_ || log_->time.empty()) return;
  if (!moved_) {
    if (e->button() == Qt::LeftButton && !(e->modifiers() & Qt::ShiftModifier))
      SetCursorRecord(NearestRecord(log_->time.data(), log_->Records(), TimeAt(e->position().x())));
    return;
  }
  if (was == Drag::Span) SetSpan(span0_, span1_);
}

void TimePlot::wheelEvent(QWheelEvent* e) {
  const double steps = e->angleDelta().y() / 120.0;
  if (steps == 0) return;
  Zoom(std::pow(0.8, steps), TimeAt(e->position().x()));
  e->accept();
}

void TimePlot::keyPressEvent(QKeyEvent* e) {
  if (!log_ || log_->time.empty()) return QWidget::keyPressEvent(e);
  const size_t n = (e->modifiers() & Qt::ShiftModifier) ? 10 : 1;
  switch (e->key()) {
    case Qt::Key_Left:
      SetCursorRecord(cursor_ > n ? cursor_ - n : 0);
      return;
    case Qt::Key_Right:
      SetCursorRecord(cursor_ + n);
      return;
    case Qt::Key_Plus:
      Zoom(0.5, log_->time[cursor_]);
      return;
    case Qt::Key_Minus:
      Zoom(2.0, log_->time[cursor_]);
      return;
    case Qt::Key_Home:
      WholeLog();
      return;
    default:
      QWidget::keyPressEvent(e);
  }
}

}  // namespace logs
