// The 2D graph editor window against a stand-in editor: drawing, picking,
// dragging, the rubber band, the keys, the scale inputs and the shading.
#include <gtest/gtest.h>

#include <QApplication>
#include <QChart>
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QLineSeries>
#include <QPushButton>
#include <QScatterSeries>
#include <QTest>
#include <QValueAxis>
#include <memory>

#include "fake_editor.h"
#include "graphs/chartview.h"
#include "graphs/graph2d.h"
#include "graphs/graphwindows.h"
#include "graphs/plot.h"
#include "shell/connection.h"
#include "ui_graph2d.h"

namespace {

using graphs::MapCell;
using graphs_test::Cell;
using graphs_test::SetCell;

class Graph2DTest : public ::testing::Test {
 protected:
  void SetUp() override {
    graphs_test::ResetBlocks();
    windows = std::make_unique<graphs::GraphWindows>(&editor);
    editor.scatter = [this] { return windows->Scatter(); };
    g().resize(820, 560);
  }
  void TearDown() override {
    windows.reset();
    maps::idCurMap = 1;
    maps::idCurJcyl = 0;
  }
  graphs::Graph2DWindow& g() { return windows->Graph2D(); }
  Ui::Graph2DPanel& ui() { return g().Form(); }
  void Show() {
    ASSERT_EQ(windows->Show2D(true), 1);
    QApplication::processEvents();
    g().Scatter();  // with the chart laid out
  }
  QWidget* Viewport() { return g().View()->viewport(); }
  QPoint At(int index) { return g().ViewPosition(g().Model().h[index], g().Model().v[index]); }
  void Mouse(QEvent::Type type, Qt::MouseButton button, QPoint pos) {
    const Qt::MouseButtons held =
        type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent e(type, QPointF(pos), Viewport()->mapToGlobal(QPointF(pos)),
                  type == QEvent::MouseMove ? Qt::NoButton : button, held, Qt::NoModifier);
    QApplication::sendEvent(Viewport(), &e);
  }
  void Key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QTest::keyClick(g().View(), Qt::Key(key), mods);
  }

  graphs_test::BlockGuard blocks;  // first made, last undone
  graphs_test::FakeEditor editor;
  graphs_test::RecordingUi popups;
  std::unique_ptr<graphs::GraphWindows> windows;
};

TEST_F(Graph2DTest, DrawsTheColumnThroughTheActiveCellBesideTheReference) {
  for (int r = 0; r < maps::kMapRows; ++r) SetCell(3, r, 1000 + 50 * r);
  SetCell(3, 4, 1500);  // changed against the reference (0) ...
  editor.active = {3, 4};
  Show();
  EXPECT_EQ(g().windowTitle(), "2D Graph");
  ASSERT_EQ(g().CurrentLine()->count(), 20);
  EXPECT_EQ(g().ReferenceLine()->count(), 20);
  EXPECT_EQ(g().CurrentLine()->at(4), QPointF(8.0, 1.5));
  EXPECT_EQ(g().ReferenceLine()->at(4), QPointF(8.0, 0.0));
  EXPECT_EQ(g().CurrentLine()->pen().color(), QColor(0xFF0000));
  EXPECT_EQ(g().ReferenceLine()->pen().color(), QColor(0x00FF00));
  EXPECT_EQ(g().CursorOne()->color(), QColor(0xFFFF00));
  EXPECT_EQ(ui().NUMvalY->text(), "8.0");
  EXPECT_EQ(ui().NUMvalZ->text(), "1.500");
  EXPECT_EQ(ui().NUMdeltaVar->text(), "1.500");
  EXPECT_EQ(ui().NUMpercVar->text(), "");  // reference 0: no percentage
  EXPECT_EQ(ui().CBmapType->text(), "Injection");
  EXPECT_EQ(ui().TBselectAxis->text(), QString::fromUtf8("Throttle [\u00B0]"));
  EXPECT_EQ(editor.shaded, (std::vector<MapCell>{{3, 4}}));

  // Row mode: the row against the X axis.
  graphs_test::SetSpeedAxis();
  ui().TBselectAxis->click();
  EXPECT_EQ(g().CurrentLine()->count(), 32);
  EXPECT_EQ(g().CurrentLine()->at(3), QPointF(2000, 1.5));
  EXPECT_EQ(ui().TBselectAxis->text(), "RPM");
  EXPECT_EQ(ui().NUMvalX->text(), "2000");

  // Percentages where the reference has a value.
  maps::CellArray rz;
  maps::GetCurMapInfo(nullptr, nullptr, nullptr, nullptr, nullptr, &rz, nullptr, nullptr, nullptr);
  rz.Set(4 * 32 + 3, 1200);
  g().Scatter();
  EXPECT_EQ(ui().NUMpercVar->text(), "25.0");
  EXPECT_EQ(ui().NUMdeltaVar->text(), "0.300");

  // Hiding clears the shading, once: the editor's scatters while hidden leave it alone.
  windows->Show2D(false);
  EXPECT_TRUE(editor.shaded.empty());
  const int calls = editor.shadeCalls;
  windows->Scatter();
  windows->Scatter();
  EXPECT_EQ(editor.shadeCalls, calls);
}

TEST_F(Graph2DTest, XAxisRowLeavesTheGraphEmptyUntilTheTimerMovesTheCell) {
  SetCell(6, 0, 2000);
  editor.active = {6, graphs::kXAxisRow};
  Show();
  EXPECT_EQ(g().CurrentLine()->count(), 0);
  EXPECT_EQ(g().CursorOne()->count(), 0);
  EXPECT_EQ(ui().NUMvalZ->text(), "0.000");
  EXPECT_TRUE(editor.shaded.empty());
  ASSERT_EQ(windows->Timer(), 1);
  EXPECT_EQ(editor.active, (MapCell{6, 0}));
  EXPECT_EQ(windows->Plot().Cursor(), (MapCell{6, 0}));
  EXPECT_EQ(g().CurrentLine()->count(), 20);
  EXPECT_EQ(ui().NUMvalZ->text(), "2.000");
}

TEST_F(Graph2DTest, ClickPicksAPointAndDraggingMovesTheSelection) {
  for (int r = 0; r < maps::kMapRows; ++r) SetCell(0, r, 1000);
  editor.active = {0, 2};
  Show();
  // A click on another point makes it the current point: editor cell and 3D cursor follow.
  Mouse(QEvent::MouseButtonPress, Qt::LeftButton, At(7));
  Mouse(QEvent::MouseButtonRelease, Qt::LeftButton, At(7));
  EXPECT_EQ(editor.active, (MapCell{0, 7}));
  EXPECT_EQ(windows->Plot().Cursor(), (MapCell{0, 7}));
  EXPECT_EQ(g().Model().selection, std::vector<int>{7});
  EXPECT_FALSE(g().Dragging());

  // A click on the current point starts a drag; the move sets its value, one edit.
  Mouse(QEvent::MouseButtonPress, Qt::LeftButton, At(7));
  EXPECT_TRUE(g().Dragging());
  EXPECT_EQ(g().CursorOne()->color(), QColor(0x00FFFF));
  const QPoint target = g().ViewPosition(g().Model().h[7], 1.6);
  Mouse(QEvent::MouseMove, Qt::LeftButton, target + QPoint(0, 1));
  Mouse(QEvent::MouseMove, Qt::LeftButton, target);
  EXPECT_NEAR(Cell(0, 7), 1600, 40);  // a pixel is a few raw units
  EXPECT_EQ(Cell(0, 6), 1000);
  EXPECT_EQ(editor.beginEdits, 1);
  Mouse(QEvent::MouseButtonRelease, Qt::LeftButton, target);
  EXPECT_FALSE(g().Dragging());
  EXPECT_EQ(g().CursorOne()->color(), QColor(0xFFFF00));
}

TEST_F(Graph2DTest, RubberBandSelectsPointsAndKeysMoveThemAll) {
  struct Case {
    int map;
    int cur, other;  // raw values of rows 3 (current) and 4, 5
    int wantCur, wantOther;
  } const cases[] = {
      {1, 1000, 2000, 1001, 2002},  // ratio path
      {2, 100, 200, 101, 201},      // add path: 0.1 degree each
      {1, 0, 2000, 1, 2001},        // zero current value: add path
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.map);
    graphs_test::ResetBlocks();
    maps::idCurMap = static_cast<uint8_t>(c.map);
    SetCell(1, 3, c.cur);
    SetCell(1, 4, c.other);
    SetCell(1, 5, c.other);
    editor.active = {1, 0};
    Show();
    // Rows 3, 4, 5 lie at throttle 6, 8, 10: a band from 5 to 11 over all values.
    const graphs::AxisRange v = g().Model().vRange;
    const QPoint from = g().ViewPosition(5.0, v.max), to = g().ViewPosition(11.0, v.min);
    Mouse(QEvent::MouseButtonPress, Qt::RightButton, from);
    EXPECT_TRUE(g().RubberBandActive());
    Mouse(QEvent::MouseMove, Qt::RightButton, to);
    Mouse(QEvent::MouseButtonRelease, Qt::RightButton, to);
    EXPECT_FALSE(g().RubberBandActive());
    EXPECT_EQ(g().Model().selection, (std::vector<int>{3, 4, 5}));
    EXPECT_EQ(editor.active, (MapCell{1, 3}));
    EXPECT_EQ(editor.shaded, (std::vector<MapCell>{{1, 3}, {1, 4}, {1, 5}}));
    EXPECT_EQ(g().OtherCursors()->count(), 2);
    EXPECT_EQ(g().OtherCursors()->color(), QColor(255, 220, 130));

    const int edits = editor.beginEdits;
    Key(Qt::Key_Plus);
    EXPECT_EQ(Cell(1, 3), c.wantCur);
    EXPECT_EQ(Cell(1, 4), c.wantOther);
    EXPECT_EQ(Cell(1, 5), c.wantOther);
    EXPECT_EQ(Cell(1, 6), 0);
    EXPECT_EQ(editor.beginEdits, edits + 1);
    EXPECT_EQ(g().Model().selection.size(), 3u);  // the selection stays after the edit
    windows->Show2D(false);
  }
}

TEST_F(Graph2DTest, RubberBandCatchingNothingKeepsTheCurrentPoint) {
  SetCell(0, 3, 1000);
  editor.active = {0, 3};
  Show();
  g().Model().selection = {3, 4, 5};
  const graphs::AxisRange v = g().Model().vRange;
  // Between throttle 12.5 and 15 lies no point.
  const QPoint from = g().ViewPosition(13.0, v.max), to = g().ViewPosition(14.0, v.min);
  Mouse(QEvent::MouseButtonPress, Qt::RightButton, from);
  Mouse(QEvent::MouseButtonRelease, Qt::RightButton, to);
  EXPECT_EQ(g().Model().selection, std::vector<int>{3});
  EXPECT_EQ(editor.active, (MapCell{0, 3}));
  EXPECT_EQ(editor.shaded, (std::vector<MapCell>{{0, 3}}));
}

TEST_F(Graph2DTest, KeysStepRestoreMoveAndHelp) {
  maps::idCurMap = 2;
  SetCell(4, 4, 123);
  editor.active = {4, 4};
  Show();
  Key(Qt::Key_Plus, Qt::ControlModifier);
  EXPECT_EQ(Cell(4, 4), 133);
  Key(Qt::Key_Minus, Qt::AltModifier);
  EXPECT_EQ(Cell(4, 4), 33);
  Key(Qt::Key_Z, Qt::ControlModifier);  // back to the reference
  EXPECT_EQ(Cell(4, 4), 0);
  EXPECT_EQ(editor.beginEdits, 3);

  Key(Qt::Key_Right);
  EXPECT_EQ(editor.active, (MapCell{4, 5}));
  Key(Qt::Key_Up);
  EXPECT_EQ(editor.active, (MapCell{5, 5}));
  EXPECT_EQ(windows->Plot().Cursor(), (MapCell{5, 5}));
  Key(Qt::Key_Down);
  Key(Qt::Key_Down);
  Key(Qt::Key_Left);
  EXPECT_EQ(editor.active, (MapCell{3, 4}));

  Key(Qt::Key_F1);
  ASSERT_EQ(popups.popups.size(), 1u);
  EXPECT_EQ(popups.popups[0].first, "Graph 2D - Help");
  EXPECT_EQ(popups.popups[0].second, graphs::szGraph2dHelp);
  EXPECT_EQ(std::string(graphs::szGraph2dHelp).substr(0, 44),
            "LEFT MOUSE CLICK     - Select/mouve cursor\nR");

  // Reset buttons: the point, then the whole column.
  SetCell(3, 4, 50);
  SetCell(3, 9, 60);
  g().Scatter();
  ui().CBresetSingle->click();
  EXPECT_EQ(Cell(3, 4), 0);
  EXPECT_EQ(Cell(3, 9), 60);
  ui().CBresetAll->click();
  EXPECT_EQ(Cell(3, 9), 0);
}

TEST_F(Graph2DTest, ScaleInputsFollowAutoScale) {
  SetCell(0, 0, 1500);
  Show();
  EXPECT_TRUE(ui().CBautoScale->isChecked());
  EXPECT_DOUBLE_EQ(ui().NUMminScaleY->value(), 0.0);
  EXPECT_DOUBLE_EQ(ui().NUMmaxScaleY->value(), 2.0);
  // With auto-scale on, typing puts the automatic value back.
  ui().NUMmaxScaleY->setValue(9.0);
  emit ui().NUMmaxScaleY->editingFinished();
  EXPECT_DOUBLE_EQ(ui().NUMmaxScaleY->value(), 2.0);

  ui().CBautoScale->click();
  EXPECT_FALSE(g().Model().autoScale);
  ui().NUMmaxScaleY->setValue(9.0);
  emit ui().NUMmaxScaleY->editingFinished();
  EXPECT_DOUBLE_EQ(ui().NUMmaxScaleY->value(), 9.0);
  auto* axis = qobject_cast<QValueAxis*>(g().Chart()->axes(Qt::Vertical).front());
  EXPECT_DOUBLE_EQ(axis->max(), 9.0);
  ui().NUMminScaleX->setValue(40.0);
  ui().NUMmaxScaleX->setValue(20.0);  // below the minimum: raised to it, then apart
  emit ui().NUMmaxScaleX->editingFinished();
  EXPECT_DOUBLE_EQ(ui().NUMminScaleX->value(), 39.9);
  EXPECT_DOUBLE_EQ(ui().NUMmaxScaleX->value(), 40.1);
}

TEST_F(Graph2DTest, CylinderButtonOnlyWhereThePlanesAreEditedApart) {
  ecu::ecuParData[maps::kCylinderCountOffset] = 2;
  Show();
  EXPECT_TRUE(ui().CBcylCur->isEnabled());
  EXPECT_EQ(ui().CBcylCur->text(), "Cyl. 1");
  ui().CBcylCur->click();
  EXPECT_EQ(maps::idCurJcyl, 1);
  EXPECT_EQ(ui().CBcylCur->text(), "Cyl. 2");
  EXPECT_EQ(editor.blockChanges, 1);
  maps::idCurJcyl = 0;

  ecu::ecuMapData[maps::kSingleMatrixOffset] |= 1;  // one matrix for both cylinders
  g().Scatter();
  EXPECT_FALSE(ui().CBcylCur->isEnabled());
  maps::idCurMap = 4;
  g().Scatter();
  EXPECT_EQ(ui().CBcylCur->text(), "");
  EXPECT_FALSE(ui().CBcylCur->isEnabled());
  EXPECT_EQ(ui().CBmapType->text(), "Advance Correction by Velocity");
}

TEST_F(Graph2DTest, EditorThatCallsBackWhenItsCellMoves) {
  editor.onActiveCellChanged = [this](MapCell cell) { windows->ActiveCellChanged(cell); };
  for (int r = 0; r < maps::kMapRows; ++r) SetCell(2, r, 1000);
  editor.active = {2, 1};
  Show();
  Mouse(QEvent::MouseButtonPress, Qt::LeftButton, At(6));
  Mouse(QEvent::MouseButtonRelease, Qt::LeftButton, At(6));
  EXPECT_EQ(editor.active, (MapCell{2, 6}));
  EXPECT_EQ(g().Model().current, (MapCell{2, 6}));
  EXPECT_EQ(windows->Plot().Cursor(), (MapCell{2, 6}));
  const graphs::AxisRange v = g().Model().vRange;
  Mouse(QEvent::MouseButtonPress, Qt::RightButton, g().ViewPosition(7.0, v.max));
  Mouse(QEvent::MouseButtonRelease, Qt::RightButton, g().ViewPosition(16.0, v.min));
  EXPECT_EQ(g().Model().selection, (std::vector<int>{4, 5, 6, 7}));
  EXPECT_EQ(editor.active, (MapCell{2, 4}));
  Key(Qt::Key_Plus, Qt::ControlModifier);
  for (int r = 4; r <= 7; ++r) EXPECT_EQ(Cell(2, r), 1010) << r;
  EXPECT_EQ(Cell(2, 3), 1000);
  Key(Qt::Key_Right);
  EXPECT_EQ(editor.active, (MapCell{2, 5}));
  EXPECT_EQ(g().Model().selection, std::vector<int>{5});
}

TEST_F(Graph2DTest, BusyTransferIgnoresKeys) {
  SetCell(0, 0, 1000);
  Show();
  shell::fBusy = 1;
  Key(Qt::Key_Plus);
  shell::fBusy = 0;
  EXPECT_EQ(Cell(0, 0), 1000);
  EXPECT_EQ(editor.beginEdits, 0);
}

TEST_F(Graph2DTest, PlotWithoutOpenGlReportsAndTheEditorGoesOn) {
  // The offscreen platform has no OpenGL window: the plot says so once it is asked for.
  if (QGuiApplication::platformName() != QLatin1String("offscreen")) GTEST_SKIP() << "OpenGL is there";
  EXPECT_EQ(windows->Show3D(true), 0);
  ASSERT_EQ(popups.popups.size(), 2u);
  EXPECT_EQ(popups.popups[0], (std::pair<std::string, std::string>{"Plot Panel", "Some error occurred..."}));
  EXPECT_EQ(popups.popups[1], (std::pair<std::string, std::string>{"3D Graph", "Some error occurred..."}));
  EXPECT_EQ(windows->Plot().Surface(), nullptr);
  EXPECT_EQ(windows->Scatter(), 1);  // a hidden plot draws nothing and fails nothing
}

}  // namespace
