// The live data page: shows the live record in its controls, sends the bench
// adjustments and output tests, and records the records into a CSV file while
// "Record" is on. The model (LiveModel) does every exchange; the page shows.
#pragma once
#include <QString>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "live/datalog.h"
#include "live/live.h"
#include "shell/pages.h"

class QAbstractButton;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;

namespace Ui {
class LivePanel;
}

namespace logs {
class TrendWindow;
}

namespace live {

class LivPage : public shell::Page {
 public:
  explicit LivPage(QWidget* parent);
  ~LivPage() override;

  shell::PageId Id() const override { return shell::PageId::Live; }
  QWidget* Widget() override { return widget_; }
  uint8_t Init() override;
  uint8_t Timer() override;
  void Leave() override;
  // As fast as the link allows while it is open (each tick is one exchange that
  // blocks for its reply); the shell's own pace while it is closed.
  int TimerInterval() const override;

  LiveModel& Model() { return model_; }
  Ui::LivePanel& Form() { return *form_; }
  Datalog& Log() { return log_; }
  uint32_t Draws() const { return draws_; }  // redraws of the controls so far

  // Shows the held record now (the timer does it at most at the screen's rate).
  void ShowLiveData();
  // Applies the dims, visibility, names and bike text of the last configuration.
  void ShowLiveConfig();
  // The Record toggle; `path` given skips the file dialog (tests).
  void SetRecording(bool on, const std::string& path = {});
  // Proposal for the log file's name at this moment: kestra_YYYY-MM-DD_HHMMSS.csv.
  static std::string ProposedLogName();
  // Opens a stopped recording on the Logs page ("Open in Logs"); the shell sets it.
  std::function<void(const std::string& path)> openInLogs;
  // The file of the last recording that stopped; empty before one.
  const std::string& LastRecording() const { return lastRecording_; }
  // The "Live Trends" window (created when first shown) and its toggle.
  void ShowTrends(bool on);
  logs::TrendWindow* Trends() const { return trends_; }

  // Minimum time between two redraws of the controls, seconds.
  static constexpr double kRedrawPeriod = 1.0 / 60.0;

 private:
  void OnBenchChanged(QDoubleSpinBox* box);
  void OnOutputTest(QAbstractButton* button);
  void OnRecord(const LiveData& record);
  void UpdateRecordStatus(bool force);
  void SetText(QLineEdit* edit, const QString& text);

  QWidget* widget_;
  std::unique_ptr<Ui::LivePanel> form_;
  LiveModel model_;
  Datalog log_;
  struct Shown {
    const LiveField* field;
    QLineEdit* edit = nullptr;
    QLineEdit* edit2 = nullptr;
    QDoubleSpinBox* bench = nullptr;
  };
  std::vector<Shown> shownFields_;
  std::vector<std::pair<const LiveLed*, QLabel*>> leds_;
  std::map<QLabel*, int> ledState_;  // -1 unknown, 0 off, 1 on
  std::map<QLineEdit*, int> faultState_;
  std::vector<QAbstractButton*> testToggles_;  // turned off while the engine runs
  QString normalBackground_;
  std::string lastRecording_;
  logs::TrendWindow* trends_ = nullptr;
  std::vector<float> trendRow_;
  uint32_t drawnGeneration_ = 0;
  double lastDraw_ = -1;
  double lastStatus_ = -1;
  bool drawing_ = false;
  uint32_t draws_ = 0;
};

}  // namespace live
