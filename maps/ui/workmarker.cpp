#include "maps/ui/workmarker.h"

#include <QEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTableView>
#include <algorithm>

namespace maps {

WorkMarker::WorkMarker(QTableView* view, std::function<QModelIndex(const live::WorkCell&)> indexOf)
    : QWidget(view->viewport()), view_(view), indexOf_(std::move(indexOf)) {
  setObjectName(QStringLiteral("workMarker"));
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setAttribute(Qt::WA_NoSystemBackground);
  setFocusPolicy(Qt::NoFocus);
  view->viewport()->installEventFilter(this);
  connect(view->horizontalScrollBar(), &QScrollBar::valueChanged, this, &WorkMarker::Follow);
  connect(view->verticalScrollBar(), &QScrollBar::valueChanged, this, &WorkMarker::Follow);
  Follow();
  show();
}

void WorkMarker::Follow() {
  const QRect area = view_->viewport()->rect();
  if (geometry() != area) setGeometry(area);
  update();
}

bool WorkMarker::eventFilter(QObject* watched, QEvent* event) {
  if (watched == view_->viewport() && event->type() == QEvent::Resize) Follow();
  return QWidget::eventFilter(watched, event);
}

void WorkMarker::ShowMarks(const std::vector<live::WorkTrail::Mark>& marks) {
  std::vector<Shown> next;
  next.reserve(marks.size());
  for (size_t i = 0; i < marks.size(); ++i) {
    const QModelIndex index = indexOf_(marks[i].cell);
    if (!index.isValid()) continue;
    // The trail fades from 3/4 of the marker's strength to nothing over its two seconds.
    const double left = std::clamp(1.0 - marks[i].age / live::WorkTrail::kSeconds, 0.0, 1.0);
    const int strength = i == 0 ? 255 : static_cast<int>(190 * left);
    if (strength > 0) next.push_back({index.row(), index.column(), strength});
  }
  // Repaint the cells whose look changes: gone, new, or of another strength.
  auto find = [](const std::vector<Shown>& list, const Shown& cell) -> const Shown* {
    for (const Shown& s : list)
      if (s.row == cell.row && s.col == cell.col) return &s;
    return nullptr;
  };
  QRegion dirty;
  for (const Shown& s : shown_) {
    const Shown* now = find(next, s);
    if (!now || now->strength != s.strength) dirty += CellRect(s);
  }
  for (const Shown& s : next)
    if (!find(shown_, s)) dirty += CellRect(s);
  shown_ = std::move(next);
  if (!dirty.isEmpty()) update(dirty);
}

QRect WorkMarker::CellRect(const Shown& s) const {
  return view_->model() ? view_->visualRect(view_->model()->index(s.row, s.col)) : QRect();
}

void WorkMarker::paintEvent(QPaintEvent*) {
  if (shown_.empty()) return;
  QPainter painter(this);
  // Oldest first, so that the current cell lies on top.
  for (auto it = shown_.rbegin(); it != shown_.rend(); ++it) {
    const QRect rect = CellRect(*it);
    if (rect.isEmpty()) continue;
    QColor fill = MarkColour();
    // The fill lets the cell's text and marks show through it.
    fill.setAlpha(it->strength == 255 ? 170 : it->strength * 150 / 255);
    painter.fillRect(rect, fill);
    if (it->strength == 255) {
      painter.setPen(QPen(FrameColour(), 2, Qt::DotLine));
      painter.setBrush(Qt::NoBrush);
      painter.drawRect(rect.adjusted(2, 2, -2, -2));
    }
  }
}

}  // namespace maps
