// The Logs page in the window: a log read in the background and shown whole, the
// cursor, the map view's cells and marks, and the injection proposal that reaches the
// map editor as a preview and is written only by Apply, as one step of the history.
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QListWidget>
#include <QSpinBox>
#include <QTableView>
#include <array>
#include <cmath>
#include <cstring>
#include <fstream>

#include "kestra_fixture.h"
#include "logs/logmap.h"
#include "logs/ui/logmapview.h"
#include "logs/ui/logspage.h"
#include "logs/ui/timeplot.h"
#include "maps/map1.h"
#include "maps/ui/mp1page.h"
#include "maps/ui/proposalbar.h"
#include "shell/app.h"
#include "shell/panelswitch.h"
#include "ui_logs.h"
#include "ui_mp1panel.h"

using kestra_test::KestraWindowTest;
using shell::PageId;

namespace {

class LogsPageTest : public KestraWindowTest {
 protected:
  // The window started with the simulator's mapping as its working block (real axes).
  void StartLogs() {
    Start();
    std::memcpy(ecu::ecuMapData, device.mapping[0].data(), ecu::kMapSize);
    std::memcpy(ecu::ecuMapRefData, device.mapping[0].data(), ecu::kMapSize);
    window->Pages().BlocksReplaced(ecu::kMapType);
    Click(F().CBlogs);
    page = dynamic_cast<logs::LogsPage*>(window->Pages().Find(PageId::Logs));
    ASSERT_NE(page, nullptr);
    ASSERT_EQ(window->Pages().Current(), PageId::Logs);
  }
  // Map 1's axes of the working mapping.
  logs::MapAxes Axes() {
    logs::MapAxes axes;
    EXPECT_TRUE(logs::ReadMapAxes(ecu::ecuMapData, 1, &axes));
    return axes;
  }
  // A warm engine held at map 1's breakpoints (col, row) for `records` records at 100 a
  // second, the wideband reading `lambda` on cylinder 1.
  std::string WriteLog(const char* name, int col, int row, int records, double lambda) {
    const logs::MapAxes axes = Axes();
    std::ofstream out(Path(name));
    out << "time_s,rpm,farf,th2o,toil,isEngineOn,isCranking,isCutOff,lambdaCan1,lambdaCan2,terog1A\n";
    for (int i = 0; i < records; ++i)
      out << i * 0.01 << ',' << axes.x[static_cast<size_t>(col)] << ',' << axes.y[static_cast<size_t>(row)]
          << ",85,85,1,0,0," << lambda << ",0," << 3.0 + (i % 7) * 0.1 << '\n';
    return Path(name);
  }
  void Open(const std::string& path) {
    page->OpenLog(QString::fromStdString(path));
    ASSERT_TRUE(page->WaitLoaded(10000));
  }

  logs::LogsPage* page = nullptr;
};

TEST_F(LogsPageTest, ALogOpensOnOurChannelsWithTheCursorAndItsCells) {
  StartLogs();
  Open(WriteLog("run.csv", 5, 3, 300, 14.52));
  const logs::Log* log = page->CurrentLog();
  ASSERT_NE(log, nullptr);
  EXPECT_EQ(log->Records(), 300u);
  EXPECT_EQ(page->Form().LISTchannels->count(), static_cast<int>(log->names.size()));
  // Our own logs open on engine speed, throttle, the wideband pair and the injection time.
  const auto& lanes = page->Plot()->Lanes();
  ASSERT_EQ(lanes.size(), 4u);
  EXPECT_EQ(lanes[0], std::vector<int>{log->Find("rpm")});
  EXPECT_EQ(lanes[1], std::vector<int>{log->Find("farf")});
  EXPECT_EQ(lanes[2], (std::vector<int>{log->Find("lambdaCan1"), log->Find("lambdaCan2")}));
  EXPECT_EQ(lanes[3], std::vector<int>{log->Find("terog1A")});

  // The cursor: one record a key, ten with Shift, never beyond the log.
  page->Plot()->setFocus();
  QTest::keyClick(page->Plot(), Qt::Key_Right);
  EXPECT_EQ(page->Plot()->CursorRecord(), 1u);
  QTest::keyClick(page->Plot(), Qt::Key_Right, Qt::ShiftModifier);
  EXPECT_EQ(page->Plot()->CursorRecord(), 11u);
  QTest::keyClick(page->Plot(), Qt::Key_Left, Qt::ShiftModifier);
  QTest::keyClick(page->Plot(), Qt::Key_Left, Qt::ShiftModifier);
  EXPECT_EQ(page->Plot()->CursorRecord(), 0u);
  EXPECT_NE(page->Form().TMlogStatus->text().indexOf("cursor: record 1 at 0.000 s"), -1)
      << page->Form().TMlogStatus->text().toStdString();

  // Every record passes the filters except the first 0.1 s (not steady yet) and sits in
  // one cell; a click on it marks its records.
  const int cell = 3 * maps::kMapCols + 5;
  const uint32_t counted = page->CurrentBinning().count[static_cast<size_t>(cell)];
  EXPECT_EQ(counted, 290u);
  EXPECT_EQ(page->MapView()->Values()[static_cast<size_t>(cell)], 290.0);
  page->Form().TBsteady->setChecked(false);
  EXPECT_EQ(page->CurrentBinning().count[static_cast<size_t>(cell)], 300u);
  page->Form().TBrpmRange->setChecked(true);
  page->Form().SPrpmMin->setValue(static_cast<int>(Axes().x[5]) + 1);
  EXPECT_EQ(page->CurrentBinning().count[static_cast<size_t>(cell)], 0u);
  page->Form().TBrpmRange->setChecked(false);
  page->MapView()->onCellClicked(cell);
  EXPECT_NE(page->Form().TMmapStatus->text().indexOf("300 records"), -1)
      << page->Form().TMmapStatus->text().toStdString();
  // A channel's mean per cell instead of the count.
  page->Form().RINGshow->setCurrentText("Mean of terog1A");
  EXPECT_NEAR(page->MapView()->Values()[static_cast<size_t>(cell)], 3.3, 0.01);

  // A marked span outlines the cells it passed through.
  page->Plot()->SetSpan(0.5, 1.0);
  EXPECT_NE(page->Form().TMmapStatus->text().indexOf("1 cell"), -1);
}

TEST_F(LogsPageTest, AFileThatIsNoLogIsRefusedAndTheShownLogStays) {
  StartLogs();
  Open(WriteLog("run.csv", 2, 2, 50, 13.2));
  {
    std::ofstream out(Path("firmware.bin"), std::ios::binary);
    const char bytes[] = {0x7F, 'E', 'L', 'F', 0, 1, 2, 3, 0, 0, 0, 5};
    for (int i = 0; i < 200; ++i) out.write(bytes, sizeof bytes);
  }
  Open(Path("firmware.bin"));
  ASSERT_EQ(io.Messages().size(), 1u);
  EXPECT_EQ(io.Messages()[0].title, "Logs");
  EXPECT_NE(io.Messages()[0].text.find("firmware.bin"), std::string::npos) << io.Messages()[0].text;
  ASSERT_NE(page->CurrentLog(), nullptr);
  EXPECT_EQ(page->CurrentLog()->Records(), 50u);
}

TEST_F(LogsPageTest, TheProposalIsAPreviewUntilApplyAndOneUndoStep) {
  StartLogs();
  // Reading 10 % leaner than the target: the cell gets 10 % more fuel.
  Open(WriteLog("lean.csv", 6, 4, 400, 13.2 * 1.1));
  const std::vector<uint8_t> before(ecu::ecuMapData, ecu::ecuMapData + ecu::kMapSize);
  maps::MapPlace place;
  maps::GetMapPlace(1, 0, &place);
  const int cell = 4 * maps::kMapCols + 6;
  const int16_t old = maps::CellArray{ecu::ecuMapData + place.matrix}.Get(cell);

  ASSERT_TRUE(page->Propose());
  ASSERT_EQ(window->Pages().Current(), PageId::MapEditor);
  auto* editor = dynamic_cast<maps::Mp1Page*>(window->Pages().Find(PageId::MapEditor));
  ASSERT_NE(editor, nullptr);
  ASSERT_TRUE(editor->Proposal()->Pending());
  EXPECT_TRUE(editor->Proposal()->isVisibleTo(editor->Widget()));
  // Shown, not written.
  EXPECT_EQ(std::memcmp(before.data(), ecu::ecuMapData, before.size()), 0);
  const int16_t proposed = static_cast<int16_t>(std::lround(old * (double(float(13.2 * 1.1)) / 13.2)));
  const QModelIndex shown = editor->Matrix()->model()->index(4 + 1, 6);
  EXPECT_EQ(shown.data(Qt::DisplayRole).toString(), QString::number(proposed / 1000.0, 'f', 3));
  EXPECT_TRUE(shown.data(Qt::FontRole).value<QFont>().bold());
  EXPECT_TRUE(shown.data(Qt::ToolTipRole).toString().startsWith("Proposal: "))
      << shown.data(Qt::ToolTipRole).toString().toStdString();
  EXPECT_EQ(editor->Matrix()->currentIndex(), shown);
  EXPECT_NE(editor->Form().TMstatus->text().indexOf("records"), -1)
      << editor->Form().TMstatus->text().toStdString();
  // Leaving and coming back keeps it waiting.
  window->Switcher().SwitchTo(PageId::Logs);
  window->Switcher().SwitchTo(PageId::MapEditor);
  EXPECT_EQ(std::memcmp(before.data(), ecu::ecuMapData, before.size()), 0);
  ASSERT_TRUE(editor->Proposal()->Pending());

  const size_t steps = editor->History().UndoSteps();
  Click(editor->Proposal()->ApplyButton());
  EXPECT_FALSE(editor->Proposal()->Pending());
  EXPECT_EQ(maps::CellArray{ecu::ecuMapData + place.matrix}.Get(cell), proposed);
  EXPECT_EQ(editor->History().UndoSteps(), steps + 1);
  // Only the proposed cell changed.
  int changed = 0;
  for (size_t i = 0; i < before.size(); ++i) changed += before[i] != ecu::ecuMapData[i] ? 1 : 0;
  EXPECT_LE(changed, 2);
  EXPECT_GE(changed, 1);
  ASSERT_TRUE(editor->Undo());
  EXPECT_EQ(std::memcmp(before.data(), ecu::ecuMapData, before.size()), 0);
}

TEST_F(LogsPageTest, ADiscardedProposalLeavesTheMapAndAnEditMadeSinceIsKept) {
  StartLogs();
  Open(WriteLog("lean.csv", 6, 4, 400, 13.2 * 1.1));
  const std::vector<uint8_t> before(ecu::ecuMapData, ecu::ecuMapData + ecu::kMapSize);
  ASSERT_TRUE(page->Propose());
  auto* editor = dynamic_cast<maps::Mp1Page*>(window->Pages().Find(PageId::MapEditor));
  ASSERT_NE(editor, nullptr);
  Click(editor->Proposal()->DiscardButton());
  EXPECT_FALSE(editor->Proposal()->Pending());
  EXPECT_EQ(std::memcmp(before.data(), ecu::ecuMapData, before.size()), 0);
  EXPECT_FALSE(editor->Matrix()->model()->index(5, 6).data(Qt::FontRole).value<QFont>().bold());

  // Proposed again, then the cell edited by hand before Apply: the edit stays.
  window->Switcher().SwitchTo(PageId::Logs);
  ASSERT_TRUE(page->Propose());
  editor->SetActiveCell(5, 6);
  ASSERT_TRUE(editor->CellValChange(7));
  maps::MapPlace place;
  maps::GetMapPlace(1, 0, &place);
  const int16_t edited = maps::CellArray{ecu::ecuMapData + place.matrix}.Get(4 * maps::kMapCols + 6);
  ASSERT_TRUE(editor->ApplyProposal());
  EXPECT_EQ(maps::CellArray{ecu::ecuMapData + place.matrix}.Get(4 * maps::kMapCols + 6), edited);
  EXPECT_NE(editor->Form().TMstatus->text().indexOf("kept the edit"), -1)
      << editor->Form().TMstatus->text().toStdString();
}

TEST_F(LogsPageTest, AProposalWithoutEnoughRecordsSaysSo) {
  StartLogs();
  Open(WriteLog("short.csv", 6, 4, 25, 13.2 * 1.1));  // 15 records after the first 0.1 s
  EXPECT_FALSE(page->Propose());
  ASSERT_EQ(io.Messages().size(), 1u);
  EXPECT_NE(io.Messages()[0].text.find("no change"), std::string::npos) << io.Messages()[0].text;
  EXPECT_EQ(window->Pages().Current(), PageId::Logs);
}

}  // namespace

namespace {

// Pictures of the page over a long log, when KESTRA_SHOT_DIR names a folder and
// KESTRA_SHOT_LOG a datalog (the benchmark's hour, for instance).
TEST_F(LogsPageTest, Pictures) {
  const QString dir = qEnvironmentVariable("KESTRA_SHOT_DIR"), log = qEnvironmentVariable("KESTRA_SHOT_LOG");
  if (dir.isEmpty() || log.isEmpty()) GTEST_SKIP() << "KESTRA_SHOT_DIR and KESTRA_SHOT_LOG not set";
  StartLogs();
  window->resize(1600, 1000);
  window->show();
  Open(log.toStdString());
  page->Plot()->SetView(600, 660);
  page->Plot()->SetCursorRecord(
      logs::NearestRecord(page->CurrentLog()->time.data(), page->CurrentLog()->Records(), 630));
  page->Plot()->SetSpan(640, 650);
  QApplication::processEvents();
  window->grab().save(dir + "/kestra-logs.png");
  page->MapView()->onCellClicked(page->CurrentBinning().cell[page->Plot()->CursorRecord()] >= 0
                                     ? page->CurrentBinning().cell[page->Plot()->CursorRecord()]
                                     : 0);
  page->Form().RINGshow->setCurrentText("Mean of lambdaCan1");
  if (page->Propose()) {
    QApplication::processEvents();
    window->grab().save(dir + "/kestra-logs-proposal.png");
  }
}

}  // namespace

namespace {

// kestra --log FILE: the option, and the window opening the Logs page on the file.
TEST_F(LogsPageTest, TheLogOptionOpensTheLogsPage) {
  const shell::Options given = shell::ParseOptions({"kestra", "--log", "ride.csv"});
  EXPECT_EQ(given.log, "ride.csv");
  EXPECT_TRUE(given.error.empty());
  EXPECT_NE(shell::ParseOptions({"kestra", "--log"}).error.find("--log needs a datalog"), std::string::npos);
  Start();
  std::memcpy(ecu::ecuMapData, device.mapping[0].data(), ecu::kMapSize);
  page = dynamic_cast<logs::LogsPage*>(window->Pages().Find(PageId::Logs));
  ASSERT_NE(page, nullptr);
  window->OpenLog(WriteLog("ride.csv", 3, 3, 120, 13.2));
  EXPECT_EQ(window->Pages().Current(), PageId::Logs);
  ASSERT_TRUE(page->WaitLoaded(10000));
  ASSERT_NE(page->CurrentLog(), nullptr);
  EXPECT_EQ(page->CurrentLog()->Records(), 120u);
}

}  // namespace
