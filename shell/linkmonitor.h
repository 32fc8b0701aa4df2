// The connection toggle, the port selector and the main timer with its indicators.
#pragma once
#include <QObject>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "shell/pages.h"

class QComboBox;
class QLabel;
class QPushButton;
class QTimer;

namespace com {
class SystemFacts;
}

namespace shell {

// The main panel controls this module drives.
struct LinkControls {
  QPushButton* TBcom = nullptr;
  QComboBox* RINGport = nullptr;
  QPushButton* CBcheckLink = nullptr;  // "Check connection..."
  QLabel* TMversion = nullptr;
  QPushButton* CBload = nullptr;
  QPushButton* CBimport = nullptr;
  QPushButton* CBstore = nullptr;
  QPushButton* CBsend = nullptr;
  QPushButton* CBreceive = nullptr;
};

class LinkMonitor : public QObject {
 public:
  // Tick of TIMglobal: fast enough for the live panel's redraw, long enough that a
  // tick's exchange (one Identify at 38400 baud, about 15 ms) leaves the window free.
  static constexpr int kTickMs = 50;

  LinkMonitor(const LinkControls& controls, PageRegistry& pages, QObject* parent);

  QTimer* Timer() const { return timer_; }
  void Start();

  // Fills RINGport from the port list (after com::InitPortList).
  void FillPortSelector();
  // TBcom: connect or disconnect.
  void CommOnOff();
  // "Check connection...": the connection check's lines for the selected port.
  void CheckConnection();
  // What the connection check reads (the running system); none: a failed connect
  // shows no check.
  std::function<std::unique_ptr<com::SystemFacts>()> systemFacts;
  // After the link opened on the user's Connect.
  std::function<void()> onConnected;

  // RINGport: remember the chosen port and write the settings file.
  void SetComPort(int index);
  // TIMglobal: the duty of the page in front, failure counting, indicators.
  void MainTimer();
  void UpdateIndicators();

  // Buttons that are dimmed for a reason of their own (a command runs, or its page or
  // command is not there): the indicators keep them dimmed.
  void SetHeld(QPushButton* button, bool held);

 private:
  void ShowVersion(const std::string& text);
  void SetEnabled(QPushButton* button, bool enabled);

  LinkControls c_;
  PageRegistry& pages_;
  QTimer* timer_;
  PageId lastTickPanel_ = PageId::Main;
  uint8_t lastProtected_ = 0;
  std::map<QPushButton*, bool> held_;
  uint32_t shownColor_ = 1;  // forces the first style update
};

}  // namespace shell
