#include "shell/linkmonitor.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "ecudata/init.h"
#include "link/com.h"
#include "link/doctor.h"
#include "link/userio.h"
#include "shell/connection.h"

namespace shell {

LinkMonitor::LinkMonitor(const LinkControls& controls, PageRegistry& pages, QObject* parent)
    : QObject(parent), c_(controls), pages_(pages), timer_(new QTimer(this)) {
  timer_->setObjectName(QStringLiteral("TIMglobal"));
  timer_->setInterval(kTickMs);
  connect(timer_, &QTimer::timeout, this, &LinkMonitor::MainTimer);
  connect(c_.TBcom, &QPushButton::clicked, this, &LinkMonitor::CommOnOff);
  connect(c_.RINGport, &QComboBox::activated, this, &LinkMonitor::SetComPort);
  if (c_.CBcheckLink) connect(c_.CBcheckLink, &QPushButton::clicked, this, &LinkMonitor::CheckConnection);
  systemFacts = com::RealSystemFacts;
}

void LinkMonitor::Start() {
  UpdateIndicators();
  timer_->start();
}

void LinkMonitor::FillPortSelector() {
  QSignalBlocker block(c_.RINGport);
  c_.RINGport->clear();
  for (const com::PortItem& item : com::PortItems())
    c_.RINGport->addItem(QString::fromStdString(item.label), static_cast<int>(item.value));
  c_.RINGport->setCurrentIndex(com::PortIndex());
}

void LinkMonitor::ShowVersion(const std::string& text) {
  c_.TMversion->setText(QString::fromStdString(text));
}

void LinkMonitor::CommOnOff() {
  if (CheckfBusy()) {
    UpdateIndicators();  // the toggle keeps showing the link's real state
    return;
  }
  ConnectHooks hooks;
  hooks.gatherAllPanels = [this] { return pages_.GatherAllPanels(); };
  hooks.showVersion = [this](const std::string& text) { ShowVersion(text); };
  ConnectResult result = ConnectResult::NoFirmwareName;
  if (com::isComOpen) {
    DisconnectEcu(hooks);
  } else if ((result = ConnectEcu(hooks)) == ConnectResult::Connected) {
    UpdateIndicators();
    if (onConnected) onConnected();
  } else if (result == ConnectResult::NoFirmwareName && systemFacts) {
    // Say why, when the connection check can tell: the port did not open, or something
    // on this computer stands between it and the ECU.
    const std::string portError = com::LastPortError();
    const auto& items = com::PortItems();
    const int index = com::PortIndex();
    const std::string label =
        index >= 0 && index < static_cast<int>(items.size()) ? items[index].label : std::string("the port");
    const std::string text = com::FailedConnectText(label, portError, com::CheckSelectedPort(*systemFacts()));
    UpdateIndicators();
    if (!text.empty()) com::Ui().MessagePopup("Failure ECU connect", text);
  }
  UpdateIndicators();
}

void LinkMonitor::CheckConnection() {
  if (!systemFacts) return;
  com::Ui().MessagePopup("Check connection", com::ReportText(com::CheckSelectedPort(*systemFacts())));
}

void LinkMonitor::SetComPort(int index) {
  if (CheckfBusy()) return;
  bool ok = false;
  const int value = c_.RINGport->itemData(index).toInt(&ok);
  com::comPort = ok ? static_cast<int16_t>(value) : 0;
  ecu::WriteInitFile();
  const int shown = com::FindPortValue(com::comPort);
  com::PortIndex() = shown < 0 ? 0 : shown;
  QSignalBlocker block(c_.RINGport);
  c_.RINGport->setCurrentIndex(com::PortIndex());
}

void LinkMonitor::MainTimer() {
  if (CheckfBusy()) return;
  const PageId front = pages_.Current();
  if (front != lastTickPanel_) {
    lastTickPanel_ = front;
    fRefresh = 1;
  }
  uint8_t result;
  Page* page = pages_.Find(front);
  if (front == PageId::Live && page) {
    if (fEcuProtected != lastProtected_) {
      lastProtected_ = fEcuProtected;
      fRefresh = 1;
    }
    result = page->Timer();
    fRefresh = com::isComOpen ? 0 : 1;
  } else {
    result = page ? page->Timer() : Ping();
  }
  CountTickResult(result);
  UpdateIndicators();
  // The page in front sets the pace of the next tick (the live page polls as fast as
  // the link allows); every other page keeps the shell's.
  const Page* next = pages_.Find(pages_.Current());
  const int wanted = next && next->TimerInterval() >= 0 ? next->TimerInterval() : kTickMs;
  if (timer_->interval() != wanted) timer_->setInterval(wanted);
}

void LinkMonitor::SetHeld(QPushButton* button, bool held) {
  held_[button] = held;
  button->setEnabled(!held);
  UpdateIndicators();
}

void LinkMonitor::SetEnabled(QPushButton* button, bool enabled) {
  auto it = held_.find(button);
  if (it != held_.end() && it->second) enabled = false;
  if (button->isEnabled() != enabled) button->setEnabled(enabled);
}

void LinkMonitor::UpdateIndicators() {
  const Indicators ind = CurrentIndicators();
  if (c_.TBcom->isChecked() != ind.comOn) c_.TBcom->setChecked(ind.comOn);
  if (shownColor_ != ind.comOnColor) {
    shownColor_ = ind.comOnColor;
    if (ind.comOn) {
      const char* color = ind.comOnColor == 0xFF0000u ? "#FF0000" : "#00FF00";
      c_.TBcom->setStyleSheet(
          QStringLiteral("QPushButton#TBcom:checked { background-color: %1; color: black;"
                         " font-weight: bold; border: 1px solid #404040; border-radius: 3px; }")
              .arg(QLatin1String(color)));
      c_.TBcom->setText(ind.comOnColor == 0xFF0000u ? QStringLiteral("Connected (locked)")
                                                    : QStringLiteral("Connected"));
    } else {
      c_.TBcom->setStyleSheet(QString());
      c_.TBcom->setText(QStringLiteral("Connect"));
    }
  }
  if (c_.RINGport->isEnabled() == ind.portDimmed) c_.RINGport->setEnabled(!ind.portDimmed);
  SetEnabled(c_.CBload, !ind.loadStoreDimmed);
  if (c_.CBimport) SetEnabled(c_.CBimport, !ind.loadStoreDimmed);
  SetEnabled(c_.CBstore, !ind.loadStoreDimmed);
  SetEnabled(c_.CBsend, !ind.sendDimmed);
  SetEnabled(c_.CBreceive, !ind.receiveDimmed);
}

}  // namespace shell
