// The graph windows plugged into the real map editor page of the Kestra window.
#include <QApplication>
#include <QLineEdit>
#include <QLineSeries>
#include <QTableView>

#include "ecudata/ecudata.h"
#include "graphs/chartview.h"
#include "graphs/graph2d.h"
#include "kestra_fixture.h"
#include "maps/map1.h"
#include "maps/ui/mp1page.h"
#include "ui_graph2d.h"
#include "ui_mp1panel.h"

namespace kestra_test {
namespace {

class GraphsInEditorTest : public KestraWindowTest {
 protected:
  void SetUp() override {
    KestraWindowTest::SetUp();
    maps::idCurMap = 2;
    maps::idCurJcyl = 0;
    Start();
    SetRaw(3, 5, 123);  // map 2, row 3, column 5: 12.3 degrees
    SetRaw(4, 5, 200);
    ecu::InitEcuRefData();
    window->show();
    Click(F().CBmaps);
    ASSERT_EQ(window->Pages().Current(), shell::PageId::MapEditor);
  }
  void TearDown() override {
    maps::idCurMap = 1;
    KestraWindowTest::TearDown();
  }
  maps::Mp1Page* Editor() {
    return static_cast<maps::Mp1Page*>(window->Pages().Find(shell::PageId::MapEditor));
  }
  static graphs::Graph2DWindow* Graph() {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* g = dynamic_cast<graphs::Graph2DWindow*>(w)) return g;
    return nullptr;
  }
  static int16_t Raw(int r, int c) {
    maps::MapPlace p;
    maps::GetMapPlace(2, 0, &p);
    return maps::CellArray{ecu::ecuMapData + p.matrix}.Get(r * maps::kMapCols + c);
  }
  static void SetRaw(int r, int c, int16_t v) {
    maps::MapPlace p;
    maps::GetMapPlace(2, 0, &p);
    maps::CellArray{ecu::ecuMapData + p.matrix}.Set(r * maps::kMapCols + c, v);
  }
  QString Text(int row, int col) {
    return Editor()->Form().TABmatrix->model()->index(row, col).data(Qt::DisplayRole).toString();
  }
};

TEST_F(GraphsInEditorTest, TheGraphFollowsTheEditorAndItsEditsAreUndone) {
  ASSERT_TRUE(Editor()->Form().CBgraph2D->isEnabled());
  ASSERT_TRUE(Editor()->Form().CBgraph3D->isEnabled());
  Click(Editor()->Form().CBgraph2D);
  graphs::Graph2DWindow* g = Graph();
  ASSERT_NE(g, nullptr);
  ASSERT_TRUE(g->isVisible());

  // The editor's active cell (table row 4 = map row 3) is the graph's current point.
  Editor()->SetActiveCell(4, 5);
  EXPECT_EQ(g->Model().current, (graphs::MapCell{5, 3}));
  EXPECT_EQ(g->Form().NUMvalZ->text(), "12.3");
  EXPECT_EQ(Editor()->Form().TABmatrix->model()->index(4, 5).data(Qt::BackgroundRole).value<QColor>(),
            QColor(0xC0, 0xC0, 0xC0));

  // "+" in the graph: the editor shows it in red; the editor's undo takes it back.
  QTest::keyClick(g->View(), Qt::Key_Plus, Qt::ControlModifier);
  EXPECT_EQ(Raw(3, 5), 133);
  EXPECT_EQ(Text(4, 5), "13.3");
  EXPECT_EQ(Editor()->Form().TABmatrix->model()->index(4, 5).data(Qt::ForegroundRole).value<QColor>(),
            QColor(0xFF, 0, 0));
  ASSERT_TRUE(Editor()->Undo());
  EXPECT_EQ(Raw(3, 5), 123);
  EXPECT_EQ(g->Form().NUMvalZ->text(), "12.3");

  // Keys of the graph move the editor's cell.
  QTest::keyClick(g->View(), Qt::Key_Right);
  EXPECT_EQ(Editor()->ActiveCell(), (maps::Mp1Page::Cell{5, 5}));
  EXPECT_EQ(g->Form().NUMvalZ->text(), "20.0");

  // The X-axis row: empty graph until the editor's timer duty moves the cell down.
  Editor()->SetActiveCell(0, 7);
  EXPECT_EQ(g->CurrentLine()->count(), 0);
  Editor()->Timer();
  EXPECT_EQ(Editor()->ActiveCell(), (maps::Mp1Page::Cell{1, 7}));
  EXPECT_EQ(g->CurrentLine()->count(), 20);

  // Leaving the editor hides the graph and clears the shading.
  Click(F().CBinfo);
  EXPECT_FALSE(g->isVisible());
  EXPECT_NE(Editor()->Form().TABmatrix->model()->index(1, 7).data(Qt::BackgroundRole).value<QColor>(),
            QColor(0xC0, 0xC0, 0xC0));
}

TEST_F(GraphsInEditorTest, PlotWithoutOpenGlSaysSo) {
  if (QGuiApplication::platformName() != QLatin1String("offscreen")) GTEST_SKIP() << "OpenGL is there";
  Click(Editor()->Form().CBgraph3D);
  const std::vector<Event> m = io.Messages();
  ASSERT_EQ(m.size(), 1u);  // the plot says it once; the editor adds nothing
  EXPECT_EQ(m[0].title, "Plot Panel");
  EXPECT_EQ(m[0].text, "Some error occurred...");
}

}  // namespace
}  // namespace kestra_test
