// The map view of a log: a map's grid with its own axes (X breakpoints across, Y down
// the side, as the map editor shows them), each cell coloured as a heat map of what it
// holds (the records that fell into it, or the mean of a channel over them). A click
// selects a cell; cells can be outlined (those a span of the time plots passed through).
#pragma once
#include <QString>
#include <QWidget>
#include <array>
#include <cmath>
#include <functional>
#include <vector>

#include "logs/logmap.h"

namespace logs {

class LogMapView : public QWidget {
 public:
  explicit LogMapView(QWidget* parent = nullptr);

  // The grid: the axes in display units with their decimals, the value of each cell (NaN:
  // no record), and the decimals of the values.
  void SetGrid(const MapAxes& axes, int xDecimals, int yDecimals,
               const std::array<double, maps::kMapCells>& values, int decimals);
  // The quantities of the rows and the columns, for the corner of the grid.
  void SetAxisNames(const QString& y, const QString& x) {
    yName_ = y;
    xName_ = x;
    update();
  }
  void SetOutline(std::vector<int> cells);
  void SetSelected(int cell);
  int Selected() const { return selected_; }
  const std::array<double, maps::kMapCells>& Values() const { return values_; }
  // The cell at a point of the widget; -1 outside the cells.
  int CellAt(QPoint at) const;
  // The heat colour of a value between lo and hi.
  static QColor Heat(double v, double lo, double hi);

  std::function<void(int cell)> onCellClicked;

  QSize sizeHint() const override { return {560, 420}; }
  QSize minimumSizeHint() const override { return {300, 220}; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  bool event(QEvent* event) override;  // the tooltip: a cell's breakpoints and value

 private:
  QRectF CellRect(int row, int col) const;
  MapAxes axes_;
  int xDecimals_ = 0, yDecimals_ = 0, decimals_ = 0;
  std::array<double, maps::kMapCells> values_{};
  std::vector<uint8_t> outline_;
  int selected_ = -1;
  bool hasGrid_ = false;
  QString yName_, xName_;
};

}  // namespace logs
