// The Kestra window on the offscreen platform, linked to the in-process ECU
// simulator, with pop-ups answered from a script and recorded in one event log
// (together with the selection dialogs that the tests answer by clicking).
#pragma once
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "config/bike.h"
#include "ecudata/image.h"
#include "ecudata/init.h"
#include "link/com.h"
#include "link/pipeport.h"
#include "shell/connection.h"
#include "shell/linkmonitor.h"
#include "shell/mainwindow.h"
#include "shell/qtuserio.h"
#include "sim/appsim.h"
#include "sim/simcore.h"
#include "ui_kestra_main.h"

namespace kestra_test {

struct Event {
  std::string kind;  // "message", "confirm", "buttons", "file", "dialog"
  std::string title;
  std::string text;
  std::string context = {};  // what `probe` said when the pop-up came
};

class ScriptedIo : public shell::QtUserIo {
 public:
  void MessagePopup(const std::string& title, const std::string& text) override {
    log.push_back({"message", title, text, probe ? probe() : std::string()});
  }
  bool ConfirmPopup(const std::string& title, const std::string& text) override {
    log.push_back({"confirm", title, text});
    if (confirms.empty()) return false;
    const bool answer = confirms.front();
    confirms.pop_front();
    return answer;
  }
  int ButtonPopup(const std::string& title, const std::string& text, const std::string&, const std::string&,
                  const std::string&) override {
    log.push_back({"buttons", title, text});
    return 0;
  }
  com::FileSelect FileSelectPopup(const com::FileDialog& dialog, std::string& path) override {
    log.push_back({"file", dialog.title, dialog.proposal});
    dialogs.push_back(dialog);
    if (files.empty()) return com::FileSelect::Cancelled;
    auto answer = files.front();
    files.pop_front();
    path = answer.second;
    return answer.first;
  }

  std::vector<Event> Messages() const {
    std::vector<Event> out;
    for (const Event& e : log)
      if (e.kind == "message") out.push_back(e);
    return out;
  }

  std::vector<Event> log;
  std::function<std::string()> probe;
  std::deque<bool> confirms;
  std::deque<std::pair<com::FileSelect, std::string>> files;
  std::vector<com::FileDialog> dialogs;
};

// A page standing in for an editor panel: counts the protocol calls and can fail.
class FakePage : public shell::Page {
 public:
  FakePage(shell::PageId id, std::vector<std::string>* trace)
      : id_(id), trace_(trace), widget_(new QWidget) {}
  shell::PageId Id() const override { return id_; }
  QWidget* Widget() override { return widget_; }
  uint8_t Scatter() override {
    ++scatters;
    if (trace_) trace_->push_back("S" + std::to_string(static_cast<int>(id_)));
    return scatterOk;
  }
  uint8_t Gather() override {
    ++gathers;
    if (trace_) trace_->push_back("G" + std::to_string(static_cast<int>(id_)));
    return gatherOk;
  }
  int scatters = 0, gathers = 0;
  uint8_t scatterOk = 1, gatherOk = 1;

 private:
  shell::PageId id_;
  std::vector<std::string>* trace_;
  QWidget* widget_;  // owned by the stack once added
};

class KestraWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    ecu::SetInitFilePath(Path("tarvenco.ini"));
    com::comPort = 0;
    com::CloseComPort();
    shell::fEcuProtected = shell::fOldHwConfig = 0;
    shell::fBusy = shell::fSending = shell::fReceiving = 0;
    shell::pollFailures = 0;
    config::fFuelControl = config::fFuelReserve = 0;
    engine_ = std::make_unique<sim::Engine>(device);
    com::SetPortFactory([this](const com::PortItem&, std::string*) -> std::unique_ptr<com::Port> {
      auto pipe = std::make_unique<com::PipePort>();
      sim::AttachToPipe(*engine_, *pipe);
      return pipe;
    });
    window = std::make_unique<shell::MainWindow>(&io);
    window->onQuit = [this] { ++quits; };
    // The connection check would read the test machine; tests that want it give their own.
    window->Link().systemFacts = nullptr;
  }

  // Start-up as the program does it; pages added first stand in for editor panels.
  void Start() {
    ASSERT_TRUE(window->LoadPanels());
    window->Startup({"/dev/simulated"}, false);
    window->Link().Timer()->stop();  // ticks are driven by the tests
  }

  void TearDown() override {
    window.reset();
    com::CloseComPort();
    com::SetPortFactory(nullptr);
    ecu::SetInitFilePath("");
  }

  std::string Path(const char* name) const { return QDir(dir_.path()).filePath(name).toStdString(); }
  Ui::KestraMain& F() { return window->Form(); }
  void Click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

  FakePage* AddPage(shell::PageId id) {
    auto page = std::make_unique<FakePage>(id, &trace);
    FakePage* raw = page.get();
    EXPECT_TRUE(window->Pages().Add(std::move(page)));
    return raw;
  }

  // Answers the next modal dialog by clicking its button `objectName`, or closes it
  // ("close") or presses Esc ("esc"). The dialog is logged as an event.
  void AnswerDialog(const std::string& objectName) {
    auto* poll = new QTimer;
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, poll, [this, poll, objectName] {
      auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      if (!dialog || !dialog->isVisible()) return;
      poll->stop();
      poll->deleteLater();
      io.log.push_back({"dialog", dialog->objectName().toStdString(), objectName});
      if (objectName == "close") {
        dialog->close();
      } else if (objectName == "esc") {
        QTest::keyClick(dialog, Qt::Key_Escape);
      } else if (objectName.rfind("text:", 0) == 0) {
        const QString caption = QString::fromStdString(objectName.substr(5));
        QPushButton* found = nullptr;
        for (auto* button : dialog->findChildren<QPushButton*>())
          if (button->text() == caption) found = button;
        ASSERT_NE(found, nullptr) << objectName;
        found->click();
      } else {
        auto* button = dialog->findChild<QPushButton*>(QString::fromStdString(objectName));
        ASSERT_NE(button, nullptr) << objectName;
        button->click();
      }
    });
    poll->start();
  }

  bool Connect() {
    Click(F().TBcom);
    return com::isComOpen != 0;
  }

  QTemporaryDir dir_;
  sim::AppDevice device;
  std::unique_ptr<sim::Engine> engine_;
  ScriptedIo io;
  std::unique_ptr<shell::MainWindow> window;
  std::vector<std::string> trace;
  int quits = 0;
};

}  // namespace kestra_test
