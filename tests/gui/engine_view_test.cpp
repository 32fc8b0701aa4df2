// The running engine on the editors: the working point and its trail on the map editor
// and on the user maps of the correction editors, the 2D graph's mark, the gauge strip,
// and the link's rhythm (the identity check still runs, nothing is polled while a
// command runs), against the in-process simulator answering a scripted live record.
#include <QApplication>
#include <QLabel>
#include <QScatterSeries>
#include <QTableView>
#include <QTableWidget>
#include <array>
#include <cmath>
#include <cstring>

#include "ecudata/ecudata.h"
#include "graphs/graph2d.h"
#include "kestra_fixture.h"
#include "link/bytes.h"
#include "link/commands.h"
#include "live/liverecord.h"
#include "maps/inject.h"
#include "maps/map1.h"
#include "maps/ui/corrpage.h"
#include "maps/ui/engineview.h"
#include "maps/ui/gaugestrip.h"
#include "maps/ui/mp1page.h"
#include "maps/ui/workmarker.h"
#include "ui_mp1panel.h"

namespace kestra_test {
namespace {

class EngineViewTest : public KestraWindowTest {
 protected:
  void SetUp() override {
    KestraWindowTest::SetUp();
    maps::idCurMap = 1;
    maps::idCurJcyl = 0;
    // The ECU answers the record the test sets.
    device.handlers[com::ReadLive] = [this](const uint8_t*, uint8_t) {
      sim::Device::Reply r;
      r.payload.assign(record.begin(), record.end());
      return r;
    };
    Start();
    // Rising axes on map 1 (rpm 500, 1000, ... and the fixed throttle axis) and on the
    // injection user map (rpm 1000, 2000, ...; throttle 0, 10, ... %).
    maps::MapPlace p;
    maps::GetMapPlace(1, 0, &p);
    for (int c = 0; c < maps::kMapCols; ++c)
      maps::CellArray{ecu::ecuMapData + p.xAxis}.Set(c, static_cast<int16_t>(500 * (c + 1)));
    const maps::CorrUserMap& user = maps::InjEditor().user;
    for (int c = 0; c < maps::kUserCols; ++c)
      maps::CellArray{ecu::ecuMapData + user.xAxis}.Set(c, static_cast<int16_t>(1000 * (c + 1)));
    for (int r = 0; r < maps::kUserRows; ++r)
      maps::CellArray{ecu::ecuMapData + user.yAxis}.Set(r, static_cast<int16_t>(100 * r));
    ecu::InitEcuRefData();
    window->Pages().ScatterAllPanels();
    Poll().clock = [this] { return now; };
    SetPoint(3000, 20.0);  // column 5 (3000 rpm); throttle row of 20 %
  }
  void TearDown() override {
    shell::fSending = 0;
    maps::idCurMap = 1;
    KestraWindowTest::TearDown();
  }

  maps::Mp1Page* Editor() {
    return static_cast<maps::Mp1Page*>(window->Pages().Find(shell::PageId::MapEditor));
  }
  live::EnginePoll& Poll() { return Editor()->Engine()->Poll(); }
  void SetPoint(int rpm, double farf) {
    com::Put16BE(record.data() + live::FindLiveField("NUMrpm")->offset, static_cast<uint16_t>(rpm));
    com::Put16BE(record.data() + live::FindLiveField("NUMfarf")->offset,
                 static_cast<uint16_t>(std::lround(farf * 10)));
  }
  void Tick(int n = 1) {
    for (int i = 0; i < n; ++i) {
      now += 0.01;
      window->Link().MainTimer();
    }
  }
  // The throttle row nearest to a throttle on map 1's axis.
  static int ThrottleRow(double farf) {
    maps::MapPlace p;
    maps::GetMapPlace(1, 0, &p);
    int best = 0;
    for (int r = 1; r < maps::kMapRows; ++r) {
      const double d = std::fabs(maps::CellArray{ecu::ecuMapData + p.yAxis}.Get(r) / 10.0 - farf);
      const double bestD = std::fabs(maps::CellArray{ecu::ecuMapData + p.yAxis}.Get(best) / 10.0 - farf);
      if (d < bestD) best = r;
    }
    return best;
  }
  static std::array<uint8_t, ecu::kMapSize> Block() {
    std::array<uint8_t, ecu::kMapSize> b;
    std::memcpy(b.data(), ecu::ecuMapData, ecu::kMapSize);
    return b;
  }

  double now = 100;
  live::LiveData record{};
};

TEST_F(EngineViewTest, MarkerAndTrailFollowTheEngineAndTouchNothing) {
  ASSERT_TRUE(Connect());
  Click(F().CBmaps);
  ASSERT_EQ(window->Pages().Current(), shell::PageId::MapEditor);
  QTableView* matrix = Editor()->Form().TABmatrix;
  auto* marker = matrix->viewport()->findChild<maps::WorkMarker*>();
  ASSERT_NE(marker, nullptr);
  // A selection and an active cell of the user's.
  Editor()->SetActiveCell(7, 9);
  matrix->selectionModel()->select(
      QItemSelection(matrix->model()->index(6, 8), matrix->model()->index(8, 12)),
      QItemSelectionModel::ClearAndSelect);
  const auto selected = matrix->selectionModel()->selectedIndexes();
  const auto block = Block();
  const bool couldUndo = Editor()->History().CanUndo();

  Tick(10);
  ASSERT_FALSE(marker->ShownMarks().empty());
  const int row = ThrottleRow(20.0);
  EXPECT_EQ(marker->ShownMarks().front().row, row + 1);  // table row 0 is the X axis
  EXPECT_EQ(marker->ShownMarks().front().col, 5);
  EXPECT_EQ(marker->ShownMarks().front().strength, 255);

  // The engine moves on: the old cell stays in the trail, fading, then goes.
  SetPoint(4000, 20.0);
  Tick(5);
  ASSERT_EQ(marker->ShownMarks().size(), 2u);
  EXPECT_EQ(marker->ShownMarks()[0].col, 7);
  EXPECT_EQ(marker->ShownMarks()[1].col, 5);
  EXPECT_LT(marker->ShownMarks()[1].strength, 255);
  Tick(210);  // more than the trail's two seconds
  ASSERT_EQ(marker->ShownMarks().size(), 1u);
  EXPECT_EQ(marker->ShownMarks()[0].col, 7);

  EXPECT_EQ(Editor()->ActiveCell(), (maps::Mp1Page::Cell{7, 9}));
  EXPECT_EQ(matrix->selectionModel()->selectedIndexes(), selected);
  EXPECT_EQ(Block(), block);
  EXPECT_EQ(Editor()->History().CanUndo(), couldUndo);
  EXPECT_EQ(com::isComOpen, 1);
  EXPECT_EQ(shell::pollFailures, 0);

  // The gauge strip shows the record; a fault flag of the throttle reading warns.
  maps::GaugeStrip* strip = Editor()->Engine()->Strip();
  EXPECT_TRUE(strip->isVisibleTo(Editor()->Widget()));
  auto gauges = strip->Gauges();
  ASSERT_GE(gauges.size(), 7u);
  EXPECT_EQ(gauges[0].value.toStdString(), "4000");
  EXPECT_EQ(gauges[1].value.toStdString(), "20.0");
  EXPECT_FALSE(gauges[1].warn);
  com::Put16BE(record.data() + live::FindLiveField("NUMfarfAD")->offset, 0x8123);
  record[live::kStatusOffset + 1] = 0x80;  // over-injection, cylinder 1
  Tick(3);
  gauges = strip->Gauges();
  EXPECT_TRUE(gauges[1].warn);
  EXPECT_TRUE(gauges[5].warn);
  EXPECT_FALSE(gauges[0].warn);

  // Closing the link clears the marks and hides the strip.
  Click(F().TBcom);
  ASSERT_EQ(com::isComOpen, 0);
  Tick();
  EXPECT_TRUE(marker->ShownMarks().empty());
  EXPECT_FALSE(strip->isVisibleTo(Editor()->Widget()));
}

TEST_F(EngineViewTest, TheGraphMarksThePointOnItsLine) {
  ASSERT_TRUE(Connect());
  Click(F().CBmaps);
  Editor()->SetActiveCell(3, 5);  // the 2D graph shows column 5 against the throttle
  Click(Editor()->Form().CBgraph2D);
  graphs::Graph2DWindow* graph = nullptr;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* g = dynamic_cast<graphs::Graph2DWindow*>(w)) graph = g;
  ASSERT_NE(graph, nullptr);
  ASSERT_TRUE(graph->isVisible());
  Tick(5);
  const int row = ThrottleRow(20.0);
  ASSERT_EQ(graph->WorkPoint()->count(), 1);
  EXPECT_DOUBLE_EQ(graph->WorkPoint()->at(0).x(), graph->Model().h[row]);
  EXPECT_DOUBLE_EQ(graph->WorkPoint()->at(0).y(), graph->Model().v[row]);
  EXPECT_EQ(Editor()->ActiveCell(), (maps::Mp1Page::Cell{3, 5}));
  EXPECT_EQ(graph->Model().current, (graphs::MapCell{5, 2}));
}

TEST_F(EngineViewTest, UserMapsOfTheCorrectionEditorsAreMarked) {
  ASSERT_TRUE(Connect());
  Click(F().CBinj);
  auto* page = dynamic_cast<maps::CorrPage*>(window->Pages().Find(shell::PageId::Injection));
  ASSERT_NE(page, nullptr);
  QTableWidget* table = page->User(0);
  table->setCurrentCell(4, 4);
  const auto block = Block();
  Tick(5);
  auto* marker = table->viewport()->findChild<maps::WorkMarker*>();
  ASSERT_NE(marker, nullptr);
  ASSERT_FALSE(marker->ShownMarks().empty());
  // 3000 rpm: X breakpoint 2 (from 0); 20 %: Y breakpoint 2; table cell (3, 3).
  EXPECT_EQ(marker->ShownMarks().front().row, 3);
  EXPECT_EQ(marker->ShownMarks().front().col, 3);
  EXPECT_EQ(table->currentRow(), 4);
  EXPECT_EQ(table->currentColumn(), 4);
  EXPECT_EQ(Block(), block);
  EXPECT_TRUE(page->Engine()->Strip()->isVisibleTo(page->Widget()));
}

TEST_F(EngineViewTest, ALockedEcuIsNoticedWithinASecondOnTheMapEditor) {
  ASSERT_TRUE(Connect());
  Click(F().CBmaps);
  Tick(20);
  const int live = device.received[com::ReadLive];
  EXPECT_GT(live, 10);  // the editor reads the engine
  device.identity.isProtected = true;
  double noticed = -1;
  for (const double start = now; now < start + 1.0;) {
    Tick();
    if (shell::fEcuProtected) {
      noticed = now - start;
      break;
    }
  }
  EXPECT_GE(noticed, 0) << "not noticed within a second";
  EXPECT_TRUE(F().TBcom->text().contains("locked"));
}

TEST_F(EngineViewTest, NoLiveRecordIsReadWhileACommandRuns) {
  ASSERT_TRUE(Connect());
  Click(F().CBmaps);
  Tick(3);
  const int live = device.received[com::ReadLive];
  const int pings = device.received[com::Identify];
  shell::fSending = 1;  // a Send runs (it pumps the events; the timer may tick)
  Tick(50);
  EXPECT_EQ(device.received[com::ReadLive], live);
  EXPECT_EQ(device.received[com::Identify], pings + 50);  // as on any page
  auto* marker = Editor()->Form().TABmatrix->viewport()->findChild<maps::WorkMarker*>();
  EXPECT_TRUE(marker->ShownMarks().empty());  // no stale point while nothing is read
  shell::fSending = 0;
  shell::fBusy = 1;  // the event pump of a transfer: the ticks do nothing at all
  Tick(50);
  shell::fBusy = 0;
  EXPECT_EQ(device.received[com::ReadLive], live);
  EXPECT_EQ(device.received[com::Identify], pings + 50);
  Tick(3);
  EXPECT_GT(device.received[com::ReadLive], live);
}

}  // namespace
}  // namespace kestra_test
