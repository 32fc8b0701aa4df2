// Kalvex's one window (panel MAIN): shows what the loader model tells it and hands
// the user's commands to the model. It never talks to the port itself.
#pragma once
#include <QTimer>
#include <QWidget>
#include <memory>

#include "link/userio.h"
#include "loader/view.h"

namespace Ui {
class KalvexMain;
}

namespace loader {

// Interval of the timer that drives the connection: a keep-alive every 0.4 s, and a
// closed port retried every third tick (1.2 s), so a plugged-in boot loader is found
// within about a second without keeping the user-interface thread busy with failed
// reads (each one waits up to the 0.5 s port time-out).
inline constexpr int kTimerIntervalMs = 400;

class MainPanel : public QWidget, public LoaderView {
  Q_OBJECT

 public:
  explicit MainPanel(QWidget* parent = nullptr);
  ~MainPanel() override;

  // Fills RINGport from the port list and selects the current item.
  void LoadPortList();
  // Starts the timer (the state machine runs from its ticks).
  void Start();
  QTimer* Timer() { return &timer_; }
  Ui::KalvexMain* Form() { return ui_.get(); }

  // LoaderView
  void SetTitle(const std::string& title) override;
  void SetStatusText(const std::string& text) override;
  void SetPortColour(uint32_t rgb) override;
  void SelectPort(int index) override;
  void SetApplicationText(const std::string& text) override;
  void SetGaugeMaximum(double kbytes) override;
  void SetGaugeValue(double kbytes) override;
  void SetGaugeLabel(const std::string& label) override;
  void SetRunTime(const RunTime& time) override;
  void DimControls(bool dimmed) override;
  void Beep() override;
  void Quit() override;

  uint32_t PortColour() const { return portColour_; }

 signals:
  void quitRequested();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void UpdateGaugeText();

  std::unique_ptr<Ui::KalvexMain> ui_;
  QTimer timer_;
  uint32_t portColour_ = 0;
  double gaugeMaximum_ = 0.0, gaugeValue_ = 0.0;
  std::string runTimeText_;
  bool quitting_ = false;
};

// com::UserIo for the window: message boxes, the file dialog, the wait cursor and
// the event pump.
class KalvexUserIo : public com::HeadlessUserIo {
 public:
  explicit KalvexUserIo(QWidget* parent = nullptr) : parent_(parent) {}
  void SetParent(QWidget* parent) { parent_ = parent; }
  void MessagePopup(const std::string& title, const std::string& text) override;
  bool ConfirmPopup(const std::string& title, const std::string& text) override;
  com::FileSelect FileSelectPopup(const com::FileDialog& dialog, std::string& path) override;
  void SetMouseCursor(int cursor) override;
  void ProcessEvents(bool force) override;

 private:
  QWidget* parent_;
};

}  // namespace loader
