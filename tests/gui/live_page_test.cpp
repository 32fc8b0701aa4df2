// The live data page in the window, against the simulated ECU with its running engine:
// what it shows, the fault colouring, the equipment rules, bench adjustments, output
// tests, the Record toggle and the pace of the main timer.
#include <QAbstractButton>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <algorithm>
#include <fstream>
#include <sstream>

#include "kestra_fixture.h"
#include "logs/ui/logspage.h"
#include "logs/ui/timeplot.h"
#include "logs/ui/trendwindow.h"
#include "link/utils.h"
#include "live/livpage.h"
#include "sim/engine.h"
#include "ui_live.h"

namespace kestra_test {
namespace {

class LivePageTest : public KestraWindowTest {
 protected:
  void SetUp() override {
    KestraWindowTest::SetUp();
    com::SetTimerSource([this] { return now; });
    model.clock = [this] { return now; };
  }
  void TearDown() override {
    KestraWindowTest::TearDown();
    com::SetTimerSource({});
  }
  // Starts the window connected, with the live page in front after its first tick.
  void StartLive() {
    model.Install(device);
    Start();
    ASSERT_TRUE(Connect());
    Click(F().CBlive);
    page = dynamic_cast<live::LivPage*>(window->Pages().Find(shell::PageId::Live));
    ASSERT_NE(page, nullptr);
    ASSERT_EQ(window->Pages().Current(), shell::PageId::Live);
    Tick();  // the first tick on the page reads the configuration
  }
  void Tick(int n = 1) {
    for (int i = 0; i < n; ++i) {
      now += 0.02;
      window->Link().MainTimer();
    }
  }
  template <typename W = QWidget>
  W* Control(const char* name) {
    auto* w = page->Widget()->findChild<W*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  std::string Text(const char* name) { return Control<QLineEdit>(name)->text().toStdString(); }

  double now = 10.0;
  sim::EcuModel model;
  live::LivPage* page = nullptr;
};

TEST_F(LivePageTest, ShowsTheRunningEngineAndItsEquipment) {
  model.equipment.oilTemperature = true;
  StartLive();
  EXPECT_EQ(page->Form().TMecuMap1->text().toStdString(), "SimMapping1");
  EXPECT_EQ(page->Form().TMecuPar->text().toStdString(), "SimConfig");
  EXPECT_EQ(page->Form().STRtypeBike->text().toStdString(), config::BikeText(0x010A07));
  EXPECT_TRUE(page->Form().STRtypeBike->isEnabled());
  EXPECT_EQ(Text("NUMsizeofLiveData"), "144");
  // Oil temperature: its row is shown, the water row hidden.
  EXPECT_FALSE(Control("NUMtoil")->isHidden());
  EXPECT_TRUE(Control("NUMth2o")->isHidden());
  EXPECT_TRUE(Control("NUMth2oAD")->isHidden());
  EXPECT_FALSE(Control("NUMnbego2")->isEnabled());  // one lambda sensor

  Tick(300);  // six seconds: started and running
  EXPECT_TRUE(page->Model().engineRunning);
  EXPECT_GT(std::stod(Text("NUMrpm")), 1000);
  EXPECT_EQ(Text("NUMfase1"), Text("NUMfase2"));
  EXPECT_EQ(Text("NUMmappa"), "1");
  EXPECT_FALSE(page->Form().TMecuMap2->isEnabled());
  EXPECT_TRUE(page->Form().LEDisEngineOn->styleSheet().contains("#3ad03a"));
  EXPECT_EQ(shell::fEcuProtected, 0);
  EXPECT_TRUE(F().TBcom->styleSheet().contains("#00FF00"));
}

TEST_F(LivePageTest, FaultFlagColoursTheCountRedWhileConnected) {
  model.faultySensors = {"farf"};
  StartLive();
  Tick(2);
  EXPECT_EQ(Text("NUMfarfAD"), "4095");
  EXPECT_TRUE(Control("NUMfarfAD")->styleSheet().contains("255, 0, 0"));
  EXPECT_FALSE(Control("NUMtairAD")->styleSheet().contains("255, 0, 0"));

  Click(F().TBcom);  // disconnect: the record is cleared, the colour goes
  ASSERT_FALSE(com::isComOpen);
  Tick();
  EXPECT_EQ(Text("NUMfarfAD"), "0");
  EXPECT_FALSE(Control("NUMfarfAD")->styleSheet().contains("255, 0, 0"));
  Tick();  // with the port closed every tick reads the configuration again
  EXPECT_FALSE(page->Form().TBtestFuelPump->isEnabled());  // dimmed while the port is closed
}

TEST_F(LivePageTest, RunningEngineTurnsTheFanTestOff) {
  StartLive();
  Tick(300);
  ASSERT_TRUE(page->Model().engineRunning);
  auto* fan = Control<QAbstractButton>("TBtestFan");
  ASSERT_TRUE(fan->isEnabled());
  Click(static_cast<QPushButton*>(fan));
  EXPECT_TRUE(model.testFan);  // code 8, value 1 went out
  EXPECT_EQ(model.lastOutputTest, 8);
  EXPECT_TRUE(fan->isChecked());
  Tick();
  EXPECT_FALSE(fan->isChecked());  // the next display turns it off
  EXPECT_TRUE(io.Messages().empty());
}

TEST_F(LivePageTest, BenchAdjustmentGoesOutAndComesBack) {
  StartLive();
  auto* box = Control<QDoubleSpinBox>("NSkInjBanco1");
  box->setValue(1.05);  // as a commit of the control
  Tick();
  EXPECT_EQ(model.kInjBanco1, 1050);
  Tick();
  EXPECT_EQ(box->value(), 1.05);
  EXPECT_EQ(page->Model().pending.code, 0);
}

TEST_F(LivePageTest, RecordWritesEveryRecordAndTheStatusLine) {
  StartLive();
  const std::string path = Path("run.csv");
  page->SetRecording(true, path);
  ASSERT_TRUE(page->Form().TBrecord->isChecked());
  Tick(40);
  EXPECT_EQ(page->Log().Count(), 40u);
  EXPECT_NE(io.lastStatus.find("Recording to " + path), std::string::npos) << io.lastStatus;
  EXPECT_NE(io.lastStatus.find("records/s"), std::string::npos);
  Click(F().CBinfo);  // leaving the page ends the recording
  EXPECT_FALSE(page->Form().TBrecord->isChecked());
  EXPECT_NE(io.lastStatus.find("Recorded 40 records"), std::string::npos) << io.lastStatus;
  // Every row has the header's fields, with decimal points, whatever the desktop's locale.
  std::ifstream in(path);
  std::string line;
  int lines = 0;
  size_t fields = 0;
  while (std::getline(in, line)) {
    const size_t n = static_cast<size_t>(std::count(line.begin(), line.end(), ',')) + 1;
    if (lines++ == 0) fields = n;
    EXPECT_EQ(n, fields) << "line " << lines << ": " << line.substr(0, 80);
  }
  EXPECT_EQ(lines, 41);
  EXPECT_GT(fields, 100u);
  EXPECT_NE(page->Widget()->findChild<QLineEdit*>(QStringLiteral("NUMth2o"))->text().indexOf('.'), -1);

  // The file dialog proposes a name with the moment in it; cancelling records nothing.
  Click(F().CBlive);
  Click(page->Form().TBrecord);
  ASSERT_EQ(io.dialogs.size(), 1u);
  EXPECT_EQ(io.dialogs[0].proposal.rfind("kestra_", 0), 0u);
  EXPECT_EQ(io.dialogs[0].proposal.size(), std::string("kestra_2026-01-01_120000.csv").size());
  EXPECT_FALSE(page->Form().TBrecord->isChecked());
}

// A recording that stopped opens on the Logs page, read as it was written (on a desktop
// with a decimal comma too).
TEST_F(LivePageTest, RecordThenOpenInLogs) {
  StartLive();
  EXPECT_TRUE(page->Form().CBopenInLogs->isHidden());
  page->SetRecording(true, Path("run.csv"));
  Tick(30);
  page->SetRecording(false);
  ASSERT_FALSE(page->Form().CBopenInLogs->isHidden());
  Click(page->Form().CBopenInLogs);
  ASSERT_EQ(window->Pages().Current(), shell::PageId::Logs);
  auto* logsPage = dynamic_cast<logs::LogsPage*>(window->Pages().Find(shell::PageId::Logs));
  ASSERT_NE(logsPage, nullptr);
  ASSERT_TRUE(logsPage->WaitLoaded(10000));
  ASSERT_NE(logsPage->CurrentLog(), nullptr);
  EXPECT_EQ(logsPage->CurrentLog()->Records(), 30u);
  EXPECT_GE(logsPage->CurrentLog()->Find("rpm"), 0);
  EXPECT_EQ(logsPage->CurrentLog()->gapRecords, 0u);
  EXPECT_TRUE(io.Messages().empty());
}

// The trends take every record while shown, open on our channels, follow the newest
// records, and go away with the page.
TEST_F(LivePageTest, TrendsFollowTheRecords) {
  StartLive();
  Click(page->Form().TBtrends);
  logs::TrendWindow* trends = page->Trends();
  ASSERT_NE(trends, nullptr);
  EXPECT_TRUE(trends->isVisible());
  Tick(50);
  EXPECT_EQ(trends->Data().Records(), 50u);
  QTest::qWait(100);  // a frame of the window's own pace
  EXPECT_GE(trends->Frames(), 1u);
  const logs::Log& data = trends->Data();
  EXPECT_EQ(trends->Plot()->Lanes()[0], std::vector<int>{data.Find("rpm")});
  // The view is the last 30 s, ending at the newest record.
  EXPECT_DOUBLE_EQ(trends->Plot()->ViewEnd(), data.time.back());
  EXPECT_DOUBLE_EQ(trends->Plot()->ViewEnd() - trends->Plot()->ViewStart(), 30.0);
  trends->SetSpan(600);
  QTest::qWait(100);
  EXPECT_DOUBLE_EQ(trends->Plot()->ViewEnd() - trends->Plot()->ViewStart(), 600.0);
  // Closing the window turns the toggle off; leaving the page hides the window.
  trends->close();
  EXPECT_FALSE(page->Form().TBtrends->isChecked());
  Click(page->Form().TBtrends);
  Click(F().CBinfo);
  EXPECT_FALSE(trends->isVisible());
  EXPECT_FALSE(page->Form().TBtrends->isChecked());
}

TEST_F(LivePageTest, ALogThatCannotBeWrittenIsRefusedPlainly) {
  StartLive();
  page->SetRecording(true, Path("no/such/folder/run.csv"));
  EXPECT_FALSE(page->Form().TBrecord->isChecked());
  ASSERT_EQ(io.Messages().size(), 1u);
  EXPECT_EQ(io.Messages()[0].title, "Record");
  EXPECT_NE(io.Messages()[0].text.find("No such file or directory"), std::string::npos);
  Tick(3);
  EXPECT_EQ(page->Log().Count(), 0u);
}

TEST_F(LivePageTest, TheLivePagePollsAsFastAsTheLinkAllows) {
  StartLive();
  Tick();
  EXPECT_EQ(window->Link().Timer()->interval(), 0);
  Click(F().CBinfo);
  Tick();
  EXPECT_EQ(window->Link().Timer()->interval(), shell::LinkMonitor::kTickMs);
}

}  // namespace
}  // namespace kestra_test
