// The chart of the 2D graph editor: a QChartView that hands its mouse and key
// events to the window.
#pragma once
#include <QChartView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <functional>

namespace graphs {

class ChartView : public QChartView {
 public:
  explicit ChartView(QWidget* parent = nullptr) : QChartView(parent) {
    setRenderHint(QPainter::Antialiasing);
    setRubberBand(QChartView::NoRubberBand);
  }

  std::function<void(QMouseEvent*)> onPress, onMove, onRelease;
  std::function<bool(QKeyEvent*)> onKey;  // true: handled

 protected:
  void mousePressEvent(QMouseEvent* e) override {
    if (onPress) onPress(e);
    e->accept();
  }
  void mouseMoveEvent(QMouseEvent* e) override {
    if (onMove) onMove(e);
    e->accept();
  }
  void mouseReleaseEvent(QMouseEvent* e) override {
    if (onRelease) onRelease(e);
    e->accept();
  }
  void keyPressEvent(QKeyEvent* e) override {
    if (onKey && onKey(e)) {
      e->accept();
      return;
    }
    QChartView::keyPressEvent(e);
  }
};

}  // namespace graphs
