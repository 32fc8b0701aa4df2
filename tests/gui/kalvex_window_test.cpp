// The Kalvex window on the offscreen platform against the in-process boot loader:
// title and colours while connecting, programming through the Send button with the
// file dialog answered from a script, and the result line.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <deque>
#include <functional>
#include <memory>

#include "link/bytes.h"
#include "link/com.h"
#include "link/frame.h"
#include "link/pipeport.h"
#include "loader/file.h"
#include "loader/info.h"
#include "loader/init.h"
#include "loader/live.h"
#include "loader/mainpanel.h"
#include "loader/program.h"
#include "sim/bootsim.h"
#include "test_support.h"
#include "ui_kalvex_main.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes SecondGenFile(const char* tag, size_t imageSize, bool goodChecksum = true) {
  return test_support::SecondGenFile(tag, test_support::Pattern(imageSize), goodChecksum);
}

// File dialogs answered from a queue; what the window looked like at each event pump
// is recorded by `probe`.
class ScriptedIo : public com::HeadlessUserIo {
 public:
  com::FileSelect FileSelectPopup(const com::FileDialog& dialog, std::string& path) override {
    dialogs.push_back(dialog);
    if (files.empty()) return com::FileSelect::Cancelled;
    path = files.front();
    files.pop_front();
    return com::FileSelect::Existing;
  }
  void ProcessEvents(bool) override {
    if (probe) probe();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
  }
  std::deque<std::string> files;
  std::vector<com::FileDialog> dialogs;
  std::function<void()> probe;
};

class KalvexWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    com::frameLayout = com::BootFrame;
    com::CloseComPort();
    com::comPort = -1;
    com::SetPortFactory([this](const com::PortItem&, std::string* error) -> std::unique_ptr<com::Port> {
      if (!present) {
        if (error) *error = "no adapter";
        return nullptr;
      }
      auto p = std::make_unique<com::PipePort>();
      sim::AttachToPipe(engine, *p);
      return p;
    });
    loader::ResetSession();
    loader::SetSettingsDirectory(dir.path().toStdString());
    loader::SetCopyDirectory(dir.path().toStdString());
    com::InitPortList({}, false);
    panel = std::make_unique<loader::MainPanel>();
    loader::SetView(panel.get());
    com::SetUi(&io);
    panel->LoadPortList();
    loader::SetMainTitle();
    panel->Timer()->setInterval(5);
    panel->show();
  }
  void TearDown() override {
    panel->Timer()->stop();
    com::CloseComPort();
    com::SetPortFactory({});
    com::SetUi(nullptr);
    loader::SetView(nullptr);
    panel.reset();
    loader::SetSettingsDirectory("");
    loader::SetCopyDirectory("");
    loader::ResetSession();
    com::frameLayout = com::ApplicationFrame;
  }
  // Runs the event loop (and so the timer) until `done` holds or 5 s have passed.
  bool WaitFor(const std::function<bool()>& done) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
      if (t.elapsed() > 5000) return false;
      QTest::qWait(2);
    }
    return true;
  }
  Ui::KalvexMain& F() { return *panel->Form(); }
  QString Title() const { return panel->windowTitle(); }

  QTemporaryDir dir;
  sim::BootDevice device;
  sim::Engine engine{device};
  bool present = true;
  ScriptedIo io;
  std::unique_ptr<loader::MainPanel> panel;
};

TEST_F(KalvexWindow, ConnectsAndShowsIdentity) {
  EXPECT_EQ(Title(), "Kalvex v3.0");
  EXPECT_EQ(panel->PortColour(), loader::kColourClosed);
  EXPECT_EQ(F().RINGport->count(), 1);
  EXPECT_EQ(F().RINGport->itemText(0), "USB");
  panel->Start();
  ASSERT_TRUE(WaitFor([&] { return F().TBOXufwVersion->toPlainText() != ""; }));
  EXPECT_EQ(Title(), "Kalvex v3.0    <Q740 Boot v2.1>");
  EXPECT_EQ(F().TBOXufwVersion->toPlainText(), "Q740 v1.3\n(MLF 740 - 2009-04-16)");
  ASSERT_TRUE(WaitFor([&] { return panel->PortColour() == loader::kColourOpen; }));  // extended form: cyan
  EXPECT_TRUE(F().RINGport->styleSheet().contains("#00ffff"));

  // The boot loader goes away: the port closes, grey, "disconnected", empty box.
  engine.MutableFaults().dropAfterFrames = engine.FramesSeen();
  present = false;
  ASSERT_TRUE(WaitFor([&] { return panel->PortColour() == loader::kColourClosed; }));
  EXPECT_EQ(Title(), "Kalvex v3.0    <disconnected>");
  EXPECT_EQ(F().TBOXufwVersion->toPlainText(), "");
}

// The manual's picture of Kalvex, half-way through a run (written by `make pictures`).
TEST_F(KalvexWindow, ManualPicture) {
  const QString pictures = qEnvironmentVariable("KESTRA_MANUAL_PICTURES");
  if (pictures.isEmpty()) GTEST_SKIP() << "KESTRA_MANUAL_PICTURES not set";
  const std::string path = (dir.path() + "/fw.mlf").toStdString();
  const Bytes file = SecondGenFile("TrvcoCrv", 253 * 200);
  FILE* f = std::fopen(path.c_str(), "wb");
  std::fwrite(file.data(), 1, file.size(), f);
  std::fclose(f);
  panel->show();
  panel->Start();
  ASSERT_TRUE(WaitFor([&] { return loader::fBloadFound && !loader::fUpdUfwVersion; }));
  bool saved = false;
  io.probe = [&] {
    if (saved || F().NUMfwKbyte->value() * 2 < F().NUMfwKbyte->maximum()) return;
    QApplication::processEvents();
    saved = panel->grab().save(pictures + QStringLiteral("/kalvex.png"));
  };
  io.files.push_back(path);
  QTest::mouseClick(F().CBsend, Qt::LeftButton);
  io.probe = nullptr;
  EXPECT_TRUE(saved);
}

TEST_F(KalvexWindow, PlainFormBootLoaderIsGreen) {
  device.Options().hello = sim::BootOptions::Hello::Plain;
  device.Options().hasApplication = false;
  panel->Start();
  ASSERT_TRUE(WaitFor([&] { return F().TBOXufwVersion->toPlainText() == "_  _  _"; }));
  ASSERT_TRUE(WaitFor([&] { return panel->PortColour() == loader::kColourOldBload; }));
  EXPECT_TRUE(F().RINGport->styleSheet().contains("#00ff00"));
}

TEST_F(KalvexWindow, SendProgramsTheFileAndShowsTheResult) {
  const std::string path = (dir.path() + "/fw.mlf").toStdString();
  const Bytes file = SecondGenFile("TrvcoCrv", 253 * 40);
  FILE* f = std::fopen(path.c_str(), "wb");
  std::fwrite(file.data(), 1, file.size(), f);
  std::fclose(f);
  panel->Start();
  ASSERT_TRUE(WaitFor([&] { return loader::fBloadFound && !loader::fUpdUfwVersion; }));

  // During the run: controls dimmed, "Programming...", the gauge moving.
  int pumps = 0;
  bool alwaysDimmed = true;
  std::vector<int> gauge;
  bool timeLeftShown = false;
  io.probe = [&] {
    ++pumps;
    alwaysDimmed = alwaysDimmed && !F().CBsend->isEnabled() && !F().CBexit->isEnabled() &&
                   !F().RINGport->isEnabled() && F().TMmain->text() == "Programming...";
    gauge.push_back(F().NUMfwKbyte->value());
    timeLeftShown = timeLeftShown || F().NUMfwKbyte->format().contains(QStringLiteral(" s left"));
  };
  io.files.push_back(path);
  QTest::mouseClick(F().CBsend, Qt::LeftButton);
  io.probe = nullptr;

  EXPECT_GT(pumps, 40);
  EXPECT_TRUE(alwaysDimmed);
  EXPECT_TRUE(std::is_sorted(gauge.begin(), gauge.end()));
  EXPECT_LT(gauge.front(), gauge.back());
  ASSERT_EQ(io.dialogs.size(), 1u);
  EXPECT_EQ(io.dialogs[0].title, "Firmware File");
  EXPECT_TRUE(F().CBsend->isEnabled());
  EXPECT_TRUE(F().CBexit->isEnabled());
  EXPECT_TRUE(F().RINGport->isEnabled());
  EXPECT_EQ(F().NUMfwKbyte->value(), F().NUMfwKbyte->maximum());
  EXPECT_EQ(F().NUMfwKbyteLabel->text(), "");
  // The percentage and time left while programming; the time it took at the end.
  EXPECT_TRUE(timeLeftShown);
  EXPECT_TRUE(F().NUMfwKbyte->format().startsWith(QStringLiteral("9.9 / 9.9 KB   took ")))
      << F().NUMfwKbyte->format().toStdString();
  ASSERT_TRUE(WaitFor([&] { return F().TMmain->text() == "Done!"; }));
  EXPECT_EQ(device.Stream().size(), 253u * 40 + 8);
  EXPECT_TRUE(device.EndFrameSeen());
  EXPECT_EQ(loader::cfg.lastFwDir, dir.path().toStdString());
}

TEST_F(KalvexWindow, InvalidFileResultStays) {
  const std::string path = (dir.path() + "/bad.mlf").toStdString();
  const Bytes file = SecondGenFile("TrvcoCrv", 100, false);
  FILE* f = std::fopen(path.c_str(), "wb");
  std::fwrite(file.data(), 1, file.size(), f);
  std::fclose(f);
  panel->Start();
  ASSERT_TRUE(WaitFor([&] { return loader::fBloadFound; }));
  io.files.push_back(path);
  QTest::mouseClick(F().CBsend, Qt::LeftButton);
  ASSERT_TRUE(WaitFor([&] { return F().TMmain->text() == "Invalid firmware file..."; }));
  loader::MainTimer(false);  // later ticks leave the text
  loader::MainTimer(false);
  EXPECT_EQ(F().TMmain->text(), "Invalid firmware file...");
  EXPECT_TRUE(device.ErasedAreas().empty());
}

TEST_F(KalvexWindow, SendWithoutConnectionShowsPopup) {
  present = false;
  QTest::mouseClick(F().CBsend, Qt::LeftButton);
  EXPECT_EQ(io.lastTitle, "Firmware Programming");
  EXPECT_EQ(io.lastMessage, "Connection error...");
  EXPECT_TRUE(io.dialogs.empty());
}

TEST_F(KalvexWindow, ExitQuitsOnTheNextTick) {
  QSignalSpy quit(panel.get(), &loader::MainPanel::quitRequested);
  QTest::mouseClick(F().CBexit, Qt::LeftButton);
  EXPECT_EQ(quit.count(), 0);
  panel->Start();
  ASSERT_TRUE(WaitFor([&] { return quit.count() == 1; }));
}

}  // namespace
