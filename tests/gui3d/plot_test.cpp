// The 3D plot on a real OpenGL window: the surface of the current map, its axes,
// the cursor that follows and moves the editor's active cell, and the keys.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineSeries>
#include <QTest>
#include <QtDataVisualization/Q3DSurface>
#include <QtDataVisualization/QCustom3DLabel>
#include <QtDataVisualization/QSurface3DSeries>
#include <QtDataVisualization/QSurfaceDataProxy>
#include <QtDataVisualization/QValue3DAxis>
#include <memory>

#include "../gui/fake_editor.h"
#include "graphs/graph2d.h"
#include "graphs/graphwindows.h"
#include "graphs/plot.h"
#include "ui_plot.h"

namespace {

using graphs::MapCell;
using graphs_test::Cell;
using graphs_test::SetCell;

class PlotTest : public ::testing::Test {
 protected:
  void SetUp() override {
    graphs_test::ResetBlocks();
    windows = std::make_unique<graphs::GraphWindows>(&editor);
    editor.scatter = [this] { return windows->Scatter(); };
    plot().resize(820, 640);
  }
  void TearDown() override {
    windows.reset();
    maps::idCurMap = 1;
  }
  graphs::PlotWindow& plot() { return windows->Plot(); }
  QSurfaceDataProxy* Proxy() { return plot().Series()->dataProxy(); }
  void Key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QKeyEvent e(QEvent::KeyPress, key, mods);
    QApplication::sendEvent(plot().Surface(), &e);
  }

  graphs_test::BlockGuard blocks;  // first made, last undone
  graphs_test::FakeEditor editor;
  graphs_test::RecordingUi popups;
  std::unique_ptr<graphs::GraphWindows> windows;
};

TEST_F(PlotTest, DrawsTheCurrentMapOverItsAxes) {
  maps::idCurMap = 2;
  graphs_test::SetSpeedAxis();
  SetCell(3, 7, -45);
  SetCell(31, 19, 300);
  editor.active = {3, 7};
  ASSERT_EQ(windows->Show3D(true), 1);
  ASSERT_NE(plot().Surface(), nullptr);
  EXPECT_TRUE(popups.popups.empty());
  EXPECT_EQ(plot().windowTitle(), "Plot Panel");
  Q3DSurface* s = plot().Surface();
  EXPECT_EQ(s->axes().size(), 3);
  EXPECT_EQ(s->axisX()->title(), "RPM");
  EXPECT_EQ(s->axisZ()->title(), QString::fromUtf8("Throttle [\u00B0]"));
  EXPECT_EQ(s->axisY()->title(), QString::fromUtf8("TetaBase [\u00B0]"));
  EXPECT_FLOAT_EQ(s->axisX()->min(), 500);
  EXPECT_FLOAT_EQ(s->axisX()->max(), 16000);
  EXPECT_FLOAT_EQ(s->axisZ()->max(), 100);
  EXPECT_FLOAT_EQ(s->axisY()->min(), -5);
  EXPECT_FLOAT_EQ(s->axisY()->max(), 30);
  ASSERT_EQ(Proxy()->rowCount(), 20);
  ASSERT_EQ(Proxy()->columnCount(), 32);
  EXPECT_EQ(Proxy()->itemAt(7, 3)->position(), QVector3D(2000, -4.5f, 15));
  EXPECT_EQ(plot().Series()->selectedPoint(), QPoint(7, 3));
  EXPECT_EQ(plot().Form().TMplotCell->text(),
            QString::fromUtf8("RPM 2000    Throttle [\u00B0] 15.0    TetaBase [\u00B0] -4.5"));

  // An edit elsewhere redraws it.
  SetCell(3, 7, 100);
  ASSERT_EQ(windows->Scatter(), 1);
  EXPECT_FLOAT_EQ(Proxy()->itemAt(7, 3)->y(), 10.0f);
  EXPECT_EQ(plot().Series()->selectedPoint(), QPoint(7, 3));  // the cursor survives the redraw

  // The default map 1 (flat, every X breakpoint 0) draws too.
  maps::idCurMap = 1;
  ASSERT_EQ(windows->Scatter(), 1);
  EXPECT_FLOAT_EQ(s->axisX()->min(), -1);
  EXPECT_FLOAT_EQ(s->axisX()->max(), 1);
  QApplication::processEvents();
  EXPECT_FALSE(s->renderToImage(0, QSize(200, 150)).isNull());
}

TEST_F(PlotTest, CursorFollowsTheEditorAndMovesIt) {
  ASSERT_EQ(windows->Show3D(true), 1);
  ASSERT_EQ(windows->Show2D(true), 1);
  windows->ActiveCellChanged({12, 5});
  EXPECT_EQ(plot().Series()->selectedPoint(), QPoint(5, 12));
  EXPECT_EQ(plot().Cursor(), (MapCell{12, 5}));

  // Picking a point on the surface (as a mouse click selects it) moves the editor's
  // active cell, and the 2D graph follows.
  plot().Series()->setSelectedPoint(QPoint(9, 20));
  EXPECT_EQ(editor.active, (MapCell{20, 9}));
  EXPECT_EQ(windows->Graph2D().Model().current, (MapCell{20, 9}));
  // The cursor's row and column are drawn along the surface; a click on them picks too.
  EXPECT_EQ(plot().Surface()->seriesList().size(), 3);
  EXPECT_EQ(plot().RowStrip()->dataProxy()->rowCount(), 2);
  EXPECT_EQ(plot().RowStrip()->dataProxy()->itemAt(0, 31)->z(), 25.0f);  // throttle of row 9
  EXPECT_EQ(plot().ColumnStrip()->dataProxy()->rowCount(), 20);
  plot().RowStrip()->setSelectedPoint(QPoint(1, 25));
  QApplication::processEvents();
  EXPECT_EQ(editor.active, (MapCell{25, 9}));
  EXPECT_EQ(plot().Series()->selectedPoint(), QPoint(9, 25));
  plot().ColumnStrip()->setSelectedPoint(QPoint(4, 0));
  QApplication::processEvents();
  EXPECT_EQ(editor.active, (MapCell{25, 4}));
  plot().Series()->setSelectedPoint(QPoint(9, 20));
  EXPECT_EQ(editor.active, (MapCell{20, 9}));

  // A click beside the surface leaves the cursor where it was.
  plot().Series()->setSelectedPoint(QSurface3DSeries::invalidSelectionPosition());
  QApplication::processEvents();
  EXPECT_EQ(editor.active, (MapCell{20, 9}));
  EXPECT_EQ(plot().Series()->selectedPoint(), QPoint(9, 20));

  // The X-axis row of the editor puts the cursor on the first map row.
  windows->ActiveCellChanged({4, graphs::kXAxisRow});
  EXPECT_EQ(plot().Cursor(), (MapCell{4, 0}));
}

TEST_F(PlotTest, TheEngineHasASecondCursorThatNeverMovesTheEditCursor) {
  ASSERT_EQ(windows->Show3D(true), 1);
  editor.active = {12, 5};
  windows->ActiveCellChanged({12, 5});
  const int edits = editor.beginEdits + editor.blockChanges;
  plot().SetWorkPoint({7, 9});
  ASSERT_NE(plot().WorkLabel(), nullptr);
  EXPECT_TRUE(plot().WorkLabel()->isVisible());
  const QVector3D at = plot().WorkLabel()->position();
  EXPECT_FLOAT_EQ(at.x(), static_cast<float>(plot().Data().x[7]));
  EXPECT_FLOAT_EQ(at.z(), static_cast<float>(plot().Data().y[9]));
  EXPECT_GT(at.y(), static_cast<float>(plot().Data().z[9 * maps::kMapCols + 7]));  // above the surface
  EXPECT_EQ(plot().Cursor(), (MapCell{12, 5}));
  EXPECT_EQ(plot().Series()->selectedPoint(), QPoint(5, 12));
  EXPECT_EQ(editor.active, (MapCell{12, 5}));
  EXPECT_EQ(editor.beginEdits + editor.blockChanges, edits);
  // Redrawn with the map, hidden when the engine is not in view.
  ASSERT_EQ(plot().Scatter(), 1);
  EXPECT_EQ(plot().WorkLabel()->position(), at);
  plot().SetWorkPoint({-1, 0});
  EXPECT_FALSE(plot().WorkLabel()->isVisible());
}

TEST_F(PlotTest, KeysEditTheActiveCellAndMoveTheCursor) {
  maps::idCurMap = 2;
  SetCell(0, 0, 123);
  editor.active = {0, 0};
  ASSERT_EQ(windows->Show3D(true), 1);
  Key(Qt::Key_Plus, Qt::AltModifier);  // +10.0 degrees
  EXPECT_EQ(Cell(0, 0), 223);
  Key(Qt::Key_Minus, Qt::ControlModifier);
  EXPECT_EQ(Cell(0, 0), 213);
  Key(Qt::Key_Plus);
  EXPECT_EQ(Cell(0, 0), 214);
  EXPECT_EQ(editor.cellChanges, (std::vector<int>{100, -10, 1}));
  EXPECT_FLOAT_EQ(Proxy()->itemAt(0, 0)->y(), 21.4f);

  Key(Qt::Key_Down);  // already on the first row
  Key(Qt::Key_Left);
  EXPECT_EQ(editor.active, (MapCell{0, 0}));
  Key(Qt::Key_Up);
  Key(Qt::Key_Right);
  Key(Qt::Key_Right);
  EXPECT_EQ(editor.active, (MapCell{2, 1}));
  EXPECT_EQ(plot().Series()->selectedPoint(), QPoint(1, 2));
  EXPECT_TRUE(popups.popups.empty());
}

TEST_F(PlotTest, HiddenPlotDrawsNothingAndReleaseDropsTheGraph) {
  ASSERT_EQ(windows->Show3D(true), 1);
  windows->Show3D(false);
  SetCell(1, 1, 5000);
  ASSERT_EQ(windows->Scatter(), 1);
  EXPECT_FLOAT_EQ(Proxy()->itemAt(1, 1)->y(), 0.0f);  // drawn again when shown
  ASSERT_EQ(windows->Show3D(true), 1);
  EXPECT_FLOAT_EQ(Proxy()->itemAt(1, 1)->y(), 5.0f);
  windows->Release();
  EXPECT_EQ(plot().Surface(), nullptr);
  EXPECT_EQ(windows->Scatter(), 1);
}

}  // namespace
