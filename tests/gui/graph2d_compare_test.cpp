// The 2D graph's comparison line: the same column of the comparison block, dashed in
// the teal of the editor's marks, and nothing without a comparison.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineSeries>
#include <cstring>
#include <memory>
#include <vector>

#include "ecudata/image.h"
#include "fake_editor.h"
#include "graphs/graph2d.h"
#include "graphs/graphwindows.h"
#include "maps/map1.h"

namespace {

TEST(Graph2DCompare, DrawsTheComparisonLineOnlyWhileComparing) {
  graphs_test::BlockGuard blocks;
  graphs_test::FakeEditor editor;
  graphs_test::RecordingUi popups;
  graphs_test::ResetBlocks();
  auto windows = std::make_unique<graphs::GraphWindows>(&editor);
  editor.scatter = [&] { return windows->Scatter(); };
  for (int r = 0; r < maps::kMapRows; ++r) graphs_test::SetCell(3, r, 1000 + 50 * r);
  editor.active = {3, 4};

  std::vector<uint8_t> other(ecu::ecuMapData, ecu::ecuMapData + ecu::kMapSize);
  maps::MapPlace p{};
  ASSERT_TRUE(maps::GetMapPlace(1, 0, &p));
  maps::CellArray{other.data() + p.matrix}.Set(4 * maps::kMapCols + 3, 1700);
  editor.comparison = other.data();

  graphs::Graph2DWindow& g = windows->Graph2D();
  g.resize(820, 560);
  ASSERT_EQ(windows->Show2D(true), 1);
  QApplication::processEvents();
  g.Scatter();
  ASSERT_EQ(g.ComparisonLine()->count(), 20);
  EXPECT_EQ(g.ComparisonLine()->at(4), QPointF(8.0, 1.7));
  EXPECT_EQ(g.ComparisonLine()->at(5).y(), g.CurrentLine()->at(5).y());
  EXPECT_EQ(g.ComparisonLine()->pen().color(), QColor(0x008C8C));
  EXPECT_EQ(g.ComparisonLine()->pen().style(), Qt::DashLine);

  editor.comparison = nullptr;
  g.Scatter();
  EXPECT_EQ(g.ComparisonLine()->count(), 0);
  windows.reset();
  maps::idCurMap = 1;
  maps::idCurJcyl = 0;
}

}  // namespace
