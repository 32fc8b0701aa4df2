// The History window (entries in any shape, restore all and restore selected, each one
// undo step that keeps the replaced block) and the notice on connect.
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <cstdlib>
#include <vector>

#include "ecudata/ecudata.h"
#include "ecudata/files.h"
#include "ecudata/history.h"
#include "ecudata/restore.h"
#include "kestra_fixture.h"
#include "maps/map1.h"
#include "maps/ui/mapcompare.h"
#include "maps/ui/mp1page.h"
#include "shell/connectnotice.h"
#include "shell/historywindow.h"
#include "test_support.h"
#include "ui_mp1panel.h"

namespace kestra_test {
namespace {

using Bytes = std::vector<uint8_t>;

class HistoryWindowTest : public KestraWindowTest {
 protected:
  void SetUp() override {
    KestraWindowTest::SetUp();
    previous_ = qEnvironmentVariable("XDG_DATA_HOME").toStdString();
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(Path("data")));
    restoreDir_ = Path("data") + "/kestra/restore";
    ASSERT_TRUE(ecu::MakeDirectories(restoreDir_));
    maps::idCurMap = 1;
    maps::idCurJcyl = 0;
    Start();
    std::copy(device.mapping[0].begin(), device.mapping[0].end(), ecu::ecuMapData);
    ecu::ecuParData[maps::kCylinderCountOffset] = 2;
    ecu::InitEcuRefData();
    window->Pages().ScatterAllPanels();
  }
  void TearDown() override {
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(previous_));
    KestraWindowTest::TearDown();
  }
  static Bytes Working() { return Bytes(ecu::ecuMapData, ecu::ecuMapData + ecu::kMapSize); }
  maps::Mp1Page* Editor() {
    return static_cast<maps::Mp1Page*>(window->Pages().Find(shell::PageId::MapEditor));
  }
  shell::HistoryWindow* Open() {
    Click(F().CBhistory);
    return static_cast<shell::HistoryWindow*>(window->findChild<QDialog*>("DLGhistory"));
  }
  int RowOf(shell::HistoryWindow* w, const std::string& entry) {
    for (int r = 0; r < static_cast<int>(w->Entries().size()); ++r)
      if (w->Entries()[static_cast<size_t>(r)].entry == entry) return r;
    return -1;
  }
  std::string previous_, restoreDir_;
};

TEST_F(HistoryWindowTest, ListsBadFilesAsSuchAndRestoresAsOneUndoStep) {
  // A good restore point with map 3 and the notes changed, a truncated one, a foreign file,
  // and a recorded file that is gone.
  Bytes entry = Working();
  maps::MapPlace p3{};
  maps::GetMapPlace(3, 0, &p3);
  entry[p3.matrix + 2] ^= 0x05;
  entry[maps::kNotesOffset] = 'Q';
  const std::string good = "2026-01-02_030405_mapping_Track.emd";
  ASSERT_TRUE(test_support::WriteAll(restoreDir_ + "/" + good, entry));
  ASSERT_TRUE(test_support::WriteAll(restoreDir_ + "/2026-01-01_030405_mapping_Cut.emd", Bytes(50, 1)));
  ASSERT_TRUE(test_support::WriteAll(restoreDir_ + "/readme.txt", std::string("hello")));
  ASSERT_TRUE(ecu::RecordHistory({100, ecu::HistoryKind::Loaded, ecu::kMapType, Path("gone.emd"), "gone"}));

  shell::HistoryWindow* w = Open();
  ASSERT_NE(w, nullptr);
  EXPECT_TRUE(io.Messages().empty());  // never an error box for a bad entry
  ASSERT_EQ(w->Entries().size(), 4u);
  const int row = RowOf(w, good);
  ASSERT_GE(row, 0);
  EXPECT_TRUE(w->CountsPending() || w->EntryTable()->item(row, 5)->text() == "2");
  w->CountSome(-1);  // what the window does on its own, a slice at a time
  EXPECT_FALSE(w->CountsPending());
  EXPECT_EQ(w->EntryTable()->item(row, 5)->text(), "2");
  EXPECT_EQ(w->EntryTable()->item(RowOf(w, "2026-01-01_030405_mapping_Cut.emd"), 4)->text(), "truncated");
  EXPECT_EQ(w->EntryTable()->item(RowOf(w, "readme.txt"), 4)->text(), "foreign file");
  EXPECT_EQ(w->EntryTable()->item(RowOf(w, Path("gone.emd")), 4)->text(), "missing");
  w->EntryTable()->selectRow(RowOf(w, "readme.txt"));
  EXPECT_FALSE(w->findChild<QPushButton*>("CBrestore")->isEnabled());

  // Restore selected: only map 3 is ticked; the notes stay.
  w->EntryTable()->selectRow(row);
  EXPECT_EQ(w->Differences().Differences().size(), 2u);
  const Bytes before = Working();
  ASSERT_EQ(w->PartList()->item(2)->text().toStdString(), maps::MapName(3));
  w->PartList()->item(2)->setCheckState(Qt::Checked);
  ASSERT_TRUE(w->RestoreSelected());
  EXPECT_EQ(ecu::ecuMapData[p3.matrix + 2], entry[p3.matrix + 2]);
  EXPECT_EQ(ecu::ecuMapData[maps::kNotesOffset], before[maps::kNotesOffset]);
  // The block it replaced is a new restore point, listed first; nothing was removed.
  ASSERT_EQ(w->Entries().size(), 5u);
  const ecu::HistoryEntry* point = nullptr;
  for (const auto& e : w->Entries())
    if (e.state == ecu::HistoryState::Ready && e.entry != good) point = &e;
  ASSERT_NE(point, nullptr);
  EXPECT_EQ(point->kind, ecu::HistoryKind::RestorePoint);
  Bytes kept;
  ASSERT_TRUE(ecu::ReadHistoryBlock(*point, &kept, nullptr));
  EXPECT_TRUE(std::equal(kept.begin() + 64, kept.end(), before.begin() + 64));
  EXPECT_EQ(Editor()->History().UndoSteps(), 1u);
  ASSERT_TRUE(Editor()->Undo());
  EXPECT_EQ(Working(), before);

  // Restore: the whole entry (but the stamps), again one step.
  w->EntryTable()->selectRow(RowOf(w, good));
  ASSERT_TRUE(w->Restore());
  EXPECT_TRUE(std::equal(entry.begin() + 64, entry.end(), ecu::ecuMapData + 64));
  EXPECT_EQ(w->Entries().size(), 6u);
  ASSERT_TRUE(Editor()->Undo());
  EXPECT_EQ(Working(), before);

  // A mapping entry becomes the map editor's comparison.
  w->EntryTable()->selectRow(RowOf(w, good));
  Click(w->findChild<QPushButton*>("CBcompare"));
  EXPECT_EQ(window->Pages().Current(), shell::PageId::MapEditor);
  ASSERT_TRUE(Editor()->Comparing()->Current().Active());
  EXPECT_EQ(Editor()->Comparing()->Current().DifferingCells(), 0);  // map 1 is the same
  EXPECT_EQ(Working(), before);
  w->close();
}

TEST_F(HistoryWindowTest, ConnectNoticeOnlyWhenTheNamesDiffer) {
  auto* notice = static_cast<shell::ConnectNotice*>(window->findChild<QObject*>("connectNotice"));
  ASSERT_NE(notice, nullptr);
  device.dataNames = {{0, "Road"}, {1, "Track"}, {2, "Rain"}};
  io.ShowConfigName("Road", 1);
  io.ShowConfigName("Rain", 2);
  ASSERT_TRUE(Connect());
  EXPECT_TRUE(notice->Button()->isHidden());
  Click(F().TBcom);  // disconnect

  io.ShowConfigName("Track v2", 2);
  const Bytes before = Working();
  ASSERT_TRUE(Connect());
  EXPECT_FALSE(notice->Button()->isHidden());
  EXPECT_EQ(F().TMstatus->text().toStdString(),
            "The ECU holds other data sets: mappings \"Track\" and \"Rain\" (working: \"Track v2\").");
  EXPECT_EQ(Working(), before);  // nothing read but the names

  Click(notice->Button());
  EXPECT_EQ(window->Pages().Current(), shell::PageId::MapEditor);
  ASSERT_TRUE(Editor()->Comparing()->Current().Active());
  EXPECT_EQ(Working(), before);
  EXPECT_EQ(io.GetConfigName(2), "Track v2");

  EXPECT_EQ(shell::DataNameNotice({"A", "B", "C"}, "", ""), "");
  EXPECT_EQ(shell::DataNameNotice({"A", "B", "C"}, "X", "C"),
            "The ECU holds other data sets: configuration \"A\" (working: \"X\").");
}

// Pictures of the comparison, the difference list and the History window, when
// KESTRA_SHOT_DIR names a folder (run under a real display server for real fonts).
TEST_F(HistoryWindowTest, Pictures) {
  const QString dir = qEnvironmentVariable("KESTRA_SHOT_DIR");
  if (dir.isEmpty()) GTEST_SKIP() << "KESTRA_SHOT_DIR not set";
  Bytes other = Working();
  maps::MapPlace p1{};
  maps::GetMapPlace(1, 0, &p1);
  for (int i : {40, 41, 42, 73, 74, 75, 106, 300})
    maps::CellArray{other.data() + p1.matrix}.Set(
        i, static_cast<int16_t>(maps::CellArray{other.data() + p1.matrix}.Get(i) + 30));
  ASSERT_TRUE(test_support::WriteAll(restoreDir_ + "/2026-11-30_181500_mapping_Track day.emd", other));
  ASSERT_TRUE(test_support::WriteAll(restoreDir_ + "/2026-11-29_101500_mapping_Cut.emd", Bytes(300, 0)));
  ASSERT_TRUE(
      ecu::RecordHistory({1'790'000'000, ecu::HistoryKind::Stored, ecu::kMapType, Path("gone.emd"), "gone"}));
  ASSERT_TRUE(ecu::WriteFileAtomic(Path("track.emd"), other.data(), other.size()));

  window->resize(1500, 950);
  window->show();
  Click(F().CBmaps);
  ASSERT_TRUE(Editor()->Comparing()->CompareWithFile(Path("track.emd")));
  QTableView* m = Editor()->Form().TABmatrix;
  m->setCurrentIndex(m->model()->index(2, 9));
  QApplication::processEvents();
  window->grab().save(dir + "/compare-map-editor.png");

  Editor()->Comparing()->ShowDifferences();
  QApplication::processEvents();
  auto* diff = window->findChild<QDialog*>("DLGdifferences");
  ASSERT_NE(diff, nullptr);
  diff->grab().save(dir + "/compare-differences.png");
  diff->close();

  shell::HistoryWindow* w = Open();
  ASSERT_NE(w, nullptr);
  QApplication::processEvents();
  w->grab().save(dir + "/history-window.png");
  w->close();
}

}  // namespace
}  // namespace kestra_test
