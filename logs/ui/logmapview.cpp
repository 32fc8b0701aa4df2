#include "logs/ui/logmapview.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QToolTip>
#include <QPainter>
#include <algorithm>

#include "link/numberformat.h"

namespace logs {

namespace {
constexpr int kHeaderW = 46, kHeaderH = 20;
}  // namespace

LogMapView::LogMapView(QWidget* parent) : QWidget(parent) {
  values_.fill(NAN);
  setMinimumSize(minimumSizeHint());
}

void LogMapView::SetGrid(const MapAxes& axes, int xDecimals, int yDecimals,
                         const std::array<double, maps::kMapCells>& values, int decimals) {
  axes_ = axes;
  xDecimals_ = xDecimals;
  yDecimals_ = yDecimals;
  values_ = values;
  decimals_ = decimals;
  hasGrid_ = true;
  update();
}

void LogMapView::SetOutline(std::vector<int> cells) {
  outline_.assign(maps::kMapCells, 0);
  for (int c : cells)
    if (c >= 0 && c < maps::kMapCells) outline_[static_cast<size_t>(c)] = 1;
  update();
}

void LogMapView::SetSelected(int cell) {
  selected_ = cell;
  update();
}

QRectF LogMapView::CellRect(int row, int col) const {
  const double w = (width() - kHeaderW - 1) / double(maps::kMapCols);
  const double h = (height() - kHeaderH - 1) / double(maps::kMapRows);
  return QRectF(kHeaderW + col * w, kHeaderH + row * h, w, h);
}

int LogMapView::CellAt(QPoint at) const {
  const double w = (width() - kHeaderW - 1) / double(maps::kMapCols);
  const double h = (height() - kHeaderH - 1) / double(maps::kMapRows);
  if (at.x() < kHeaderW || at.y() < kHeaderH) return -1;
  const int col = static_cast<int>((at.x() - kHeaderW) / w), row = static_cast<int>((at.y() - kHeaderH) / h);
  if (col < 0 || col >= maps::kMapCols || row < 0 || row >= maps::kMapRows) return -1;
  return row * maps::kMapCols + col;
}

QColor LogMapView::Heat(double v, double lo, double hi) {
  const double a = hi > lo ? std::clamp((v - lo) / (hi - lo), 0.0, 1.0) : 0.5;
  // Light blue through green and yellow to red: light enough to read black text on.
  static const QColor stops[] = {QColor(0xB8, 0xD4, 0xF8), QColor(0xA8, 0xE8, 0xA8), QColor(0xF8, 0xF0, 0x90),
                                 QColor(0xF8, 0xB0, 0x70), QColor(0xF0, 0x78, 0x70)};
  const double x = a * 4;
  const int i = std::min(3, static_cast<int>(x));
  const double f = x - i;
  const QColor& c0 = stops[i];
  const QColor& c1 = stops[i + 1];
  return QColor::fromRgbF(float(c0.redF() + f * (c1.redF() - c0.redF())),
                          float(c0.greenF() + f * (c1.greenF() - c0.greenF())),
                          float(c0.blueF() + f * (c1.blueF() - c0.blueF())));
}

void LogMapView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), palette().color(QPalette::Window));
  if (!hasGrid_) {
    p.drawText(rect(), Qt::AlignCenter, QStringLiteral("Open a log to see it on a map"));
    return;
  }
  double lo = INFINITY, hi = -INFINITY;
  for (double v : values_)
    if (!std::isnan(v)) {
      lo = std::min(lo, v);
      hi = std::max(hi, v);
    }
  QFont small = font();
  small.setPointSizeF(std::max(6.0, small.pointSizeF() - 2.0));
  p.setFont(small);
  const QFontMetrics fm(small);
  const QColor axis(0xE4, 0xE9, 0xF0);
  p.fillRect(QRectF(kHeaderW, 0, width() - kHeaderW, kHeaderH), axis);
  // The X breakpoints where they fit: every column, or every second, fourth ... one,
  // always starting at the first.
  int every = 1;
  double widest = 0;
  for (double v : axes_.x)
    widest = std::max<double>(widest, fm.horizontalAdvance(com::FixedQText(v, xDecimals_)));
  while (every < maps::kMapCols && CellRect(0, 0).width() * every < widest + 4) every *= 2;
  for (int col = 0; col < maps::kMapCols; col += every) {
    const QRectF r = CellRect(0, col);
    const QRectF head(r.left() - r.width() * (every - 1) / 2.0, 0, r.width() * every, kHeaderH);
    p.drawText(head, Qt::AlignCenter, com::FixedQText(axes_.x[static_cast<size_t>(col)], xDecimals_));
    p.drawLine(QPointF(r.center().x(), kHeaderH - 3), QPointF(r.center().x(), kHeaderH));
  }
  // The corner names the quantities: rows down the side, columns across.
  p.fillRect(QRectF(0, 0, kHeaderW, kHeaderH), axis.darker(108));
  p.drawText(QRectF(2, 0, kHeaderW - 4, kHeaderH), Qt::AlignCenter,
             xName_.isEmpty() ? QString() : yName_ + "\\" + xName_);
  for (int row = 0; row < maps::kMapRows; ++row) {
    const QRectF r = CellRect(row, 0);
    const QRectF head(0, r.top(), kHeaderW, r.height());
    p.fillRect(head, axis);
    p.drawText(head.adjusted(0, 0, -3, 0), Qt::AlignRight | Qt::AlignVCenter,
               com::FixedQText(axes_.y[static_cast<size_t>(row)], yDecimals_));
  }
  p.setPen(QColor(0xD0, 0xD0, 0xD0));
  for (int c = 0; c < maps::kMapCells; ++c) {
    const QRectF r = CellRect(c / maps::kMapCols, c % maps::kMapCols);
    const double v = values_[static_cast<size_t>(c)];
    p.fillRect(r, std::isnan(v) ? QColor(Qt::white) : Heat(v, lo, hi));
    p.setPen(QColor(0xD0, 0xD0, 0xD0));
    p.drawRect(r);
    if (!std::isnan(v)) {
      const QString t = com::FixedQText(v, decimals_);
      if (fm.horizontalAdvance(t) < r.width() - 1) {
        p.setPen(Qt::black);
        p.drawText(r, Qt::AlignCenter, t);
      }
    }
  }
  // Outlined cells, then the selected one on top.
  p.setBrush(Qt::NoBrush);
  if (!outline_.empty()) {
    p.setPen(QPen(QColor(0x20, 0x40, 0xC0), 2));
    for (int c = 0; c < maps::kMapCells; ++c)
      if (outline_[static_cast<size_t>(c)])
        p.drawRect(CellRect(c / maps::kMapCols, c % maps::kMapCols).adjusted(1, 1, -1, -1));
  }
  if (selected_ >= 0) {
    p.setPen(QPen(QColor(0xE0, 0x70, 0x00), 3));
    p.drawRect(CellRect(selected_ / maps::kMapCols, selected_ % maps::kMapCols).adjusted(1, 1, -1, -1));
  }
}

bool LogMapView::event(QEvent* e) {
  if (e->type() != QEvent::ToolTip || !hasGrid_) return QWidget::event(e);
  auto* help = static_cast<QHelpEvent*>(e);
  const int cell = CellAt(help->pos());
  if (cell < 0) {
    QToolTip::hideText();
    return true;
  }
  const double v = values_[static_cast<size_t>(cell)];
  QToolTip::showText(
      help->globalPos(),
      QString("%1 %2, %3 %4: %5")
          .arg(xName_, com::FixedQText(axes_.x[static_cast<size_t>(cell % maps::kMapCols)], xDecimals_),
               yName_, com::FixedQText(axes_.y[static_cast<size_t>(cell / maps::kMapCols)], yDecimals_),
               std::isnan(v) ? QStringLiteral("no record") : com::FixedQText(v, decimals_)),
      this);
  return true;
}

void LogMapView::mousePressEvent(QMouseEvent* e) {
  const int cell = CellAt(e->position().toPoint());
  if (cell < 0) return;
  selected_ = cell;
  update();
  if (onCellClicked) onCellClicked(cell);
}

}  // namespace logs
