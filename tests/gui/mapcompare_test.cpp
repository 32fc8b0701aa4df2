// The comparison tune on the map editor: corner marks and the status line, taking
// cells as one exact undo step, the ECU's mapping read into a copy, and the
// Differences window with the names of `kestra-cli diff`.
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QTableView>
#include <QTableWidget>
#include <array>
#include <cstring>
#include <vector>

#include "cli/fieldnames.h"
#include "ecudata/ecudata.h"
#include "ecudata/files.h"
#include "kestra_fixture.h"
#include "test_support.h"
#include "maps/map1.h"
#include "maps/mapedit.h"
#include "maps/ui/mapcompare.h"
#include "maps/ui/maptablemodel.h"
#include "maps/ui/mp1page.h"
#include "shell/diffwindow.h"
#include "ui_mp1panel.h"

namespace kestra_test {
namespace {

using Bytes = std::vector<uint8_t>;

class MapCompareTest : public KestraWindowTest {
 protected:
  void SetUp() override {
    KestraWindowTest::SetUp();
    maps::idCurMap = 1;
    maps::idCurJcyl = 0;
    Start();
    std::copy(device.mapping[0].begin(), device.mapping[0].end(), ecu::ecuMapData);
    ecu::ecuParData[maps::kCylinderCountOffset] = 2;
    ecu::InitEcuRefData();
    window->show();
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    Click(F().CBmaps);
    ASSERT_EQ(window->Pages().Current(), shell::PageId::MapEditor);
  }
  void TearDown() override {
    maps::idCurMap = 1;
    maps::idCurJcyl = 0;
    KestraWindowTest::TearDown();
  }

  maps::Mp1Page* Editor() {
    return static_cast<maps::Mp1Page*>(window->Pages().Find(shell::PageId::MapEditor));
  }
  maps::MapCompareUi* Compare() { return Editor()->Comparing(); }
  static Bytes Working() { return Bytes(ecu::ecuMapData, ecu::ecuMapData + ecu::kMapSize); }
  static void Bump(Bytes& block, int map, int plane, int r, int c, int16_t by) {
    maps::MapPlace p{};
    maps::GetMapPlace(map, plane, &p);
    const maps::CellArray cells{block.data() + p.matrix};
    cells.Set(r * maps::kMapCols + c, static_cast<int16_t>(cells.Get(r * maps::kMapCols + c) + by));
  }
  std::vector<std::pair<int, int>> Marked() {
    std::vector<std::pair<int, int>> out;
    for (int row = 0; row < maps::kTableRows; ++row)
      for (int col = 0; col < maps::kMapCols; ++col)
        if (Editor()->MatrixModel()->CellLook(row, col).compared) out.emplace_back(row, col);
    return out;
  }
  void Select(int top, int left, int bottom, int right) {
    QTableView* m = Editor()->Form().TABmatrix;
    m->setCurrentIndex(m->model()->index(top, left));
    m->selectionModel()->select(
        QItemSelection(m->model()->index(top, left), m->model()->index(bottom, right)),
        QItemSelectionModel::ClearAndSelect);
  }
};

TEST_F(MapCompareTest, FileComparisonMarksCellsAndTakesThemAsOneUndoStep) {
  Bytes other = Working();
  Bump(other, 1, 0, 2, 3, 40);
  Bump(other, 1, 0, 2, 4, -40);
  Bump(other, 1, 0, 10, 10, 7);
  Bump(other, 3, 0, 0, 0, 5);  // another map
  const std::string path = Path("track.emd");
  ASSERT_TRUE(ecu::WriteFileAtomic(path, other.data(), other.size()));

  io.files.push_back({com::FileSelect::Existing, path});
  AnswerDialog("CBcompareFile");
  Compare()->Compare();
  ASSERT_TRUE(Compare()->Current().Active());
  EXPECT_EQ(Compare()->Current().Label(), "track.emd");
  EXPECT_EQ(Marked(), (std::vector<std::pair<int, int>>{{3, 3}, {3, 4}, {11, 10}}));
  EXPECT_EQ(Editor()->Form().TMstatus->text().toStdString(),
            "Comparing with track.emd: 3 cells of this map differ.");

  // The status line follows the active cell with both values and the difference.
  Select(3, 3, 3, 3);
  EXPECT_EQ(Editor()->Form().TMstatus->text().toStdString(), Compare()->Current().StatusText(3, 3));
  EXPECT_NE(Editor()->Form().TMstatus->text().indexOf("difference -"), -1)
      << Editor()->Form().TMstatus->text().toStdString();

  // Take the two cells of row 3: one undo step that undoes exactly.
  const Bytes before = Working();
  const size_t steps = Editor()->History().UndoSteps();
  Select(3, 3, 3, 4);
  Compare()->Take();
  EXPECT_EQ(Marked(), (std::vector<std::pair<int, int>>{{11, 10}}));
  EXPECT_EQ(Editor()->History().UndoSteps(), steps + 1);
  ASSERT_TRUE(Editor()->Undo());
  EXPECT_EQ(Working(), before);
  EXPECT_EQ(Marked().size(), 3u);

  // The whole map (map 3 keeps its own difference).
  Compare()->TakeWholeMap();
  EXPECT_TRUE(Marked().empty());
  maps::MapPlace p3{};
  maps::GetMapPlace(3, 0, &p3);
  EXPECT_NE(ecu::ecuMapData[p3.matrix], other[p3.matrix]);
  ASSERT_TRUE(Editor()->Undo());
  EXPECT_EQ(Working(), before);

  Compare()->CompareOff();
  EXPECT_TRUE(Marked().empty());
  EXPECT_FALSE(Compare()->Current().Active());
}

TEST_F(MapCompareTest, TheEcuMappingIsReadIntoACopy) {
  EXPECT_FALSE(Compare()->CompareWithEcu());  // no link: a message, nothing read
  ASSERT_EQ(io.Messages().size(), 1u);
  ASSERT_TRUE(Connect());
  const Bytes ecuMap = device.ActiveMap();
  Bytes working = ecuMap;
  Bump(working, 2, 0, 4, 6, 3);
  std::copy(working.begin(), working.end(), ecu::ecuMapData);
  ecu::InitEcuRefData();
  Editor()->Rescatter();
  const std::string name = io.GetConfigName(2);

  ASSERT_TRUE(Compare()->CompareWithEcu());
  EXPECT_EQ(Working(), working);  // the working block is not touched
  EXPECT_EQ(io.GetConfigName(2), name);
  EXPECT_FALSE(ecu::IsEcuDataChanged(2));
  EXPECT_EQ(Bytes(Compare()->Current().Block(), Compare()->Current().Block() + ecu::kMapSize), ecuMap);
  EXPECT_FALSE(F().NSprogressBar->isVisible());
}

TEST_F(MapCompareTest, DifferencesWindowNamesAsTheCommandLineAndSavesCsv) {
  Bytes other = Working();
  Bump(other, 2, 0, 4, 6, 11);
  other[maps::kNotesOffset] = 'Z';
  ASSERT_TRUE(ecu::WriteFileAtomic(Path("other.emd"), other.data(), other.size()));
  ASSERT_TRUE(Compare()->CompareWithFile(Path("other.emd")));

  shell::DiffWindow window(ecu::kMapType, other.data(), ecu::ecuMapData, "Comparison", "Working", nullptr);
  std::string want;
  for (const auto& d : cli::DiffNamedBlocks(ecu::kMapType, other.data(), ecu::ecuMapData))
    want += ecu::DiffLine(d) + "\n";
  EXPECT_EQ(window.List().Text(), want);
  EXPECT_EQ(window.Table()->rowCount(), 2);
  window.CopyAsText();
  EXPECT_EQ(QApplication::clipboard()->text().toStdString(), want);

  // A double click on the map's line brings its map and cell into view; the notes have none.
  EXPECT_TRUE(Compare()->ShowPlace(other.data(), 0));
  EXPECT_EQ(maps::idCurMap, 2);
  EXPECT_EQ(Editor()->ActiveCell(), (maps::Mp1Page::Cell{5, 6}));
  EXPECT_FALSE(Compare()->ShowPlace(other.data(), 1));

  io.files.push_back({com::FileSelect::New, Path("diff")});
  ASSERT_TRUE(window.SaveAsCsv());
  EXPECT_EQ(test_support::ReadText(Path("diff.csv")), window.List().Csv());
  EXPECT_EQ(window.List().Csv().substr(0, ecu::DiffCsvHeader().size()), ecu::DiffCsvHeader());
}

}  // namespace
}  // namespace kestra_test
