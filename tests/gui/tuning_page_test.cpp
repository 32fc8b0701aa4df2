// The map tuning page in the window: reaching it from the map editor in both modes,
// what a tick shows (status, lamps, readings, enable colours, the working-point
// marker), the double clicks, the keys and the pop-ups, against an ECU whose tuning
// answers from a record the test holds.
#include <QDoubleSpinBox>
#include <cmath>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QStackedWidget>
#include <QTableWidget>

#include "kestra_fixture.h"
#include "link/bytes.h"
#include "link/commands.h"
#include "live/enginepoll.h"
#include "maps/map1.h"
#include "maps/ui/engineview.h"
#include "maps/ui/mp1page.h"
#include "tuning/map2.h"
#include "tuning/tunerecords.h"
#include "tuning/tuneview.h"
#include "tuning/ui/mp2page.h"
#include "ui_mp1panel.h"
#include "ui_mp2panel.h"

namespace {

using namespace tuning;

class TuningPageTest : public kestra_test::KestraWindowTest {
 protected:
  void SetUp() override {
    KestraWindowTest::SetUp();
    ResetSession();
    ResetInfo(ecuInfo);
    device.handlers[com::TuneExchange] = [this](const uint8_t* payload, uint8_t n) {
      sim::Device::Reply reply;
      if (n == kRequestSize && payload[0] == kRequestSettings) {
        reply.payload.resize(kSettingsSize);
        SettingsToWire(ecuSettings, reply.payload.data());
        return reply;
      }
      if (n == kSettingsSize) ecuInfo.SetState(kStateAuto);
      if (n == kManualSize) ecuInfo.SetState(kStateManual);
      if (n == kRequestSize && payload[0] == kRequestStop) ecuInfo.SetState(kStateOff);
      reply.payload.resize(kInfoSize);
      InfoToWire(ecuInfo, reply.payload.data());
      return reply;
    };
    DefaultSettings(ecuSettings, 65536, 524, 100);
  }
  void TearDown() override {
    KestraWindowTest::TearDown();
    ResetSession();
  }
  Mp2Page& Page() { return *static_cast<Mp2Page*>(window->Pages().Find(shell::PageId::MapTuning)); }
  Ui::Mp2Panel& P() { return Page().Form(); }
  QPushButton* EditorButton(const char* name) {
    return window->Pages().Find(shell::PageId::MapEditor)->Widget()->findChild<QPushButton*>(name);
  }
  // Ticks half a second apart: on the map editor each one is then an identity check
  // (between two checks it reads the live record).
  void Tick() {
    if (auto* editor = dynamic_cast<maps::Mp1Page*>(window->Pages().Find(shell::PageId::MapEditor)))
      editor->Engine()->Poll().clock = [this] { return now_; };
    now_ += live::EnginePoll::kPingPeriod;
    window->Link().MainTimer();
  }
  double now_ = 100;
  QColor Background(int tableRow, int col) {
    return P().TABmatrix->item(tableRow, col)->background().color();
  }

  MtSettings ecuSettings{};
  Info ecuInfo;
};

QColor Rgb(uint32_t rgb) {
  return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

TEST_F(TuningPageTest, FitsTheWindowInBothModes) {
  Start();
  for (bool manual : {false, true}) {
    isTuningManual = manual;
    isTuningAuto = !manual;
    Page().ScatterMp2Panel();
    const QSize min = Page().Widget()->minimumSizeHint();
    EXPECT_LE(min.width(), 1240) << manual;
    EXPECT_LE(min.height(), 780) << manual;
  }
}

TEST_F(TuningPageTest, ReachedFromTheMapEditorInEitherMode) {
  Start();
  Click(F().CBmaps);
  Click(EditorButton("CBautoMap"));
  EXPECT_EQ(window->Pages().Current(), shell::PageId::MapTuning);
  EXPECT_TRUE(isTuningAuto);
  EXPECT_FALSE(P().GRPcorrections->isVisibleTo(Page().Widget()));
  EXPECT_TRUE(P().NSlambdaMode->isVisibleTo(Page().Widget()));
  ASSERT_TRUE(P().CBmanualMap->isVisibleTo(Page().Widget())) << "visible";
  ASSERT_TRUE(P().CBmanualMap->isEnabled()) << "enabled";
  P().CBmanualMap->click();
  EXPECT_TRUE(isTuningManual);
  EXPECT_FALSE(isTuningAuto);
  EXPECT_TRUE(P().GRPcorrections->isVisibleTo(Page().Widget()));
  EXPECT_FALSE(P().NSlambdaMode->isVisibleTo(Page().Widget()));
  Click(F().CBmaps);
  EXPECT_EQ(window->Pages().Current(), shell::PageId::MapEditor);
  EXPECT_FALSE(isTuningManual);
}

TEST_F(TuningPageTest, AnAutoSessionShowsItsStateColoursAndWorkingPoint) {
  Start();
  // Cells 2..4 of rows 5..6 enabled with code 1, one with code 3.
  SetGroupCode(ecuSettings, {5, 6, 2, 4}, 1);
  SetEnableCode(ecuSettings, 6, 4, 3);
  ecuInfo.SetState(kStateAuto);
  ecuInfo.flagsA = kFlagLambda1Match | kFlagLambda2Match;
  ecuInfo.flagsB |= kFlagMatchEnabled;
  ecuInfo.setpoint = -1;
  ecuInfo.lambda1 = 126;
  maps::MapPlace place;
  ASSERT_TRUE(maps::GetMapPlace(1, 0, &place));
  ASSERT_TRUE(Connect());
  Click(F().CBmaps);
  Click(EditorButton("CBautoMap"));
  Tick();  // adopts the session, reads its settings, loads the blocks
  // The working point: on the fifth rpm and the sixth throttle breakpoint of the map.
  const int16_t rpm = static_cast<int16_t>(com::Get16LE(ecu::ecuMapData + place.xAxis + 2 * 3));
  const int16_t farf = static_cast<int16_t>(com::Get16LE(ecu::ecuMapData + place.yAxis + 2 * 5));
  ecuInfo.rpm = rpm;
  ecuInfo.farf = farf;
  ecuInfo.cells[0] = {kMapInj1, 7, 12, 4321};
  Tick();
  EXPECT_EQ(P().TMstatus->text(), "Lambda 1 & lambda 2 match!");
  EXPECT_EQ(P().NUMistLambda1->value(), 12.6);
  EXPECT_NE(P().NUMistLambda1->styleSheet().indexOf("rgb(0, 255, 0)"), -1);
  EXPECT_FALSE(P().NUMsetpoint->isEnabled());
  EXPECT_EQ(P().NUMsetpoint->value(), 0.0);
  EXPECT_EQ(P().TABmatrix->item(13, 7)->text(), "4.321");
  EXPECT_TRUE(P().TABmatrix->item(13, 7)->font().bold());  // differs from the reference copy
  EXPECT_EQ(Background(6, 2), Rgb(kColourCode1));
  EXPECT_EQ(Background(7, 4), Rgb(kColourCode3));
  EXPECT_EQ(Background(1, 2), Rgb(Page().NormalBackground()));
  // The marker on the working point's cell (single selector off: the breakpoint itself).
  EXPECT_EQ(Background(6, 3), Rgb(kColourMarkedEnabled));
  EXPECT_FALSE(P().CBtuneAuto->isEnabled());
  EXPECT_TRUE(P().CBtuneOff->isEnabled());
}

TEST_F(TuningPageTest, AManualSessionDimsAutoOnTheEditorAndNeverTrapsExit) {
  Start();
  ASSERT_TRUE(Connect());
  Click(F().CBmaps);
  Tick();
  EXPECT_TRUE(EditorButton("CBautoMap")->isEnabled());
  EXPECT_TRUE(EditorButton("CBmanualMap")->isEnabled());
  // The ECU reports a manual session (identity bit 6 without bit 5), then an automatic one.
  device.identity.flag6 = true;
  Tick();
  EXPECT_FALSE(EditorButton("CBautoMap")->isEnabled());
  EXPECT_TRUE(EditorButton("CBmanualMap")->isEnabled());
  device.identity.flag5 = true;
  Tick();
  EXPECT_TRUE(EditorButton("CBautoMap")->isEnabled());
  EXPECT_FALSE(EditorButton("CBmanualMap")->isEnabled());
  device.identity.flag5 = false;
  Tick();
  ASSERT_EQ(tuneInfo.State(), kStateManual);

  // The ignition goes off: the link closes with the manual state still held. Commands and
  // Exit go ahead without asking to abort what cannot be reached.
  com::CloseComPort();
  io.log.clear();
  Click(F().CBinfo);
  EXPECT_EQ(window->Pages().Current(), shell::PageId::Main);
  EXPECT_EQ(window->Exit(), 0);
  EXPECT_EQ(quits, 1);
  for (const auto& e : io.log) EXPECT_NE(e.text, "Abort?") << e.title;
}

TEST_F(TuningPageTest, ACorrectionBoxShowsTheEcusAnswerUnlessTextIsBeingTyped) {
  Start();
  window->show();
  QApplication::setActiveWindow(window.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  Click(F().CBmaps);
  Click(EditorButton("CBmanualMap"));
  ASSERT_EQ(window->Pages().Current(), shell::PageId::MapTuning);
  QDoubleSpinBox* box = P().NSj1TuneCor;
  box->setEnabled(true);
  box->setFocus();
  ASSERT_TRUE(box->hasFocus());
  tuneInfo.j1Cor = 1030;
  Page().ScatterMp2Panel();
  EXPECT_DOUBLE_EQ(box->value(), 1.03);  // the focus alone keeps nothing
  box->selectAll();
  QTest::keyClicks(box, "1.05");  // typed, not committed
  tuneInfo.j1Cor = 1040;
  Page().ScatterMp2Panel();
  EXPECT_EQ(box->cleanText(), "1.05");
  QTest::keyClick(box, Qt::Key_Return);  // committed: the next answer shows
  tuneInfo.j1Cor = 1060;
  Page().ScatterMp2Panel();
  EXPECT_DOUBLE_EQ(box->value(), 1.06);
}

TEST_F(TuningPageTest, DoubleClicksKeysAndPopups) {
  Start();
  Click(F().CBmaps);
  Click(EditorButton("CBautoMap"));
  for (int i = 0; i < 4; ++i) Page().EnableDoubleClick(3, 4);
  EXPECT_EQ(EnableCode(mtSettings, 3, 2), 0);
  Page().EnableDoubleClick(3, 4);
  EXPECT_EQ(EnableCode(mtSettings, 3, 2), 1);
  EXPECT_EQ(Background(4, 2), Rgb(kColourCode1));
  EXPECT_TRUE(session.settingsChanged);
  // A row from the throttle table, the whole map from its caption.
  emit P().TABbpy->cellDoubleClicked(9, 0);
  EXPECT_EQ(GroupCode(mtSettings, RowGroup(9)), 1);
  // Nothing on the advance map.
  Page().Key(TuneKey::PageUp);
  Page().Key(TuneKey::PageUp);
  EXPECT_EQ(session.shownMap, kMapAdv);
  EXPECT_FALSE(P().CBcyl->isVisibleTo(Page().Widget()));
  Page().EnableDoubleClick(5, 5);
  EXPECT_EQ(EnableCode(mtSettings, 4, 4), 0);

  Page().Key(TuneKey::F1);
  ASSERT_FALSE(io.Messages().empty());
  EXPECT_EQ(io.Messages().back().title, "Map Tuning - Help");
  EXPECT_NE(io.Messages().back().text.find("F12"), std::string::npos);
  P().NSlambdaMode->setValue(0);
  Page().ShowGains();
  EXPECT_EQ(io.Messages().back().title, "Lambda Tracking Settings");
  EXPECT_EQ(io.Messages().back().text, "Step = 0.100\nKp = 6.55360\nKi = 0.05240\n");
}

TEST_F(TuningPageTest, TheValueDialogWritesTheSelectedRowsIntoTheEcu) {
  Start();
  ecuInfo.SetState(kStateManual);
  ASSERT_TRUE(Connect());
  Click(F().CBmaps);
  Click(EditorButton("CBmanualMap"));
  Tick();  // adopts the manual session and loads the ECU's blocks
  ASSERT_TRUE(isTuningManual);
  maps::MapPlace place;
  ASSERT_TRUE(TuneMapPlace(kMapInj1, &place));
  auto ecuCell = [&](int row, int col) {
    return com::Get16LE(device.ActiveMap().data() + place.matrix + 2 * (row * kTuneCols + col));
  };
  const uint16_t before = ecuCell(3, 2), beside = ecuCell(3, 4);
  QTableWidget* m = P().TABmatrix;
  m->setCurrentCell(4, 2);
  m->setRangeSelected(QTableWidgetSelectionRange(4, 2, 5, 3), true);
  // Percent 10 on the four cells, then Apply.
  auto* poll = new QTimer;
  poll->setInterval(5);
  QObject::connect(poll, &QTimer::timeout, poll, [poll] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!dialog) return;
    poll->stop();
    poll->deleteLater();
    auto* value = dialog->findChild<QDoubleSpinBox*>("NSval");
    ASSERT_NE(value, nullptr);
    value->setValue(10.0);
    dialog->findChild<QPushButton*>("CBapply")->click();
  });
  poll->start();
  Page().OpenValueDialog();
  EXPECT_EQ(ecuCell(3, 2), static_cast<uint16_t>(std::lround(before * 1.1)));
  EXPECT_EQ(ecuCell(3, 4), beside);  // outside the selection
  EXPECT_TRUE(io.Messages().empty());
}

TEST_F(TuningPageTest, AFailedGatherKeepsThePageInFront) {
  kestra_test::FakePage* stand = AddPage(shell::PageId::Param2);
  Start();
  Click(F().CBmaps);
  stand->gatherOk = 0;
  Click(EditorButton("CBautoMap"));
  EXPECT_EQ(window->Pages().Current(), shell::PageId::MapEditor);
  EXPECT_FALSE(isTuningAuto);
  ASSERT_FALSE(io.Messages().empty());
  EXPECT_EQ(io.Messages().back().title, "Panel Change");
  EXPECT_EQ(io.Messages().back().text, "Some error occurred...");
  stand->gatherOk = 1;
  Click(EditorButton("CBmanualMap"));
  EXPECT_EQ(window->Pages().Current(), shell::PageId::MapTuning);
  EXPECT_TRUE(isTuningManual);
}

}  // namespace
