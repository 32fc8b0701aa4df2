// "Live Trends": the running engine over the last 30 s, 2 min or 10 min in up to four
// stacked plots (the Logs page's plot and channel list), fed record by record and
// redrawn at most 30 times a second.
#pragma once
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "logs/rolling.h"

class QComboBox;
class QLineEdit;
class QListWidget;
class QTimer;

namespace logs {

class TimePlot;

class TrendWindow : public QWidget {
 public:
  // The spans offered, seconds.
  static constexpr double kSpans[] = {30, 120, 600};
  TrendWindow(std::vector<std::string> names, QWidget* parent);

  // One record (values in the order of the names) at `time` seconds.
  void Append(double time, const std::vector<float>& values);
  void SetSpan(double seconds);
  void Clear();
  TimePlot* Plot() const { return plot_; }
  const Log& Data() const { return log_.Data(); }
  // Frames drawn so far.
  uint64_t Frames() const { return frames_; }
  // The window was closed by the user.
  std::function<void()> onClosed;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void Redraw();

  RollingLog log_;
  TimePlot* plot_;
  QListWidget* list_;
  QLineEdit* search_;
  QComboBox* lane_;
  QComboBox* span_;
  QTimer* frame_;
  bool appended_ = false;
  uint64_t frames_ = 0;
};

}  // namespace logs
