// The working point drawn over a table of cells: the cell where the engine runs now in
// the tuning page's marker grey with a dark frame, and the cells of the last two seconds
// in the same grey fading with their age. It is a transparent layer on the table's
// viewport: the table's model, its selection, its active cell and the data block are
// never touched, and clicks go through to the table.
#pragma once
#include <QModelIndex>
#include <QWidget>
#include <functional>
#include <vector>

#include "live/workpoint.h"

class QTableView;

namespace maps {

class WorkMarker : public QWidget {
 public:
  // `indexOf` gives the table index of a map cell (invalid where the table does not show it).
  WorkMarker(QTableView* view, std::function<QModelIndex(const live::WorkCell&)> indexOf);

  // Shows these marks (the first is the current cell); repaints only the cells that change.
  void ShowMarks(const std::vector<live::WorkTrail::Mark>& marks);
  void Clear() { ShowMarks({}); }
  // The cells as shown: table row and column, strength 1..255 (255 the current cell).
  struct Shown {
    int row = 0, col = 0;
    int strength = 0;
  };
  const std::vector<Shown>& ShownMarks() const { return shown_; }

  static QColor MarkColour() { return QColor(0xC0, 0xC0, 0xC0); }
  static QColor FrameColour() { return QColor(0x30, 0x30, 0x30); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Follow();  // covers the viewport again (it scrolls its children with it)
  QRect CellRect(const Shown& s) const;
  QTableView* view_;
  std::function<QModelIndex(const live::WorkCell&)> indexOf_;
  std::vector<Shown> shown_;
};

}  // namespace maps
