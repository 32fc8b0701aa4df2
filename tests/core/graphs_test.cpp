// The graphs' model: the 2D graph's line, ranges, selection and edits, and the 3D
// plot's surface.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "ecudata/image.h"
#include "graphs/graph2d_model.h"
#include "graphs/plot_model.h"
#include "maps/map1.h"

namespace {

using graphs::AxisRange;
using graphs::Graph2DModel;
using graphs::MapCell;

class GraphsModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::memcpy(savedMap_, ecu::ecuMapData, ecu::kMapSize);
    std::memcpy(savedRef_, ecu::ecuMapRefData, ecu::kMapSize);
    std::memset(ecu::ecuMapData, 0, ecu::kMapSize);
    for (int id = 1; id <= maps::kMapCount; ++id) maps::InitMp1Data(id);
    std::memcpy(ecu::ecuMapRefData, ecu::ecuMapData, ecu::kMapSize);
    Select(1);
  }
  void TearDown() override {
    std::memcpy(ecu::ecuMapData, savedMap_, ecu::kMapSize);
    std::memcpy(ecu::ecuMapRefData, savedRef_, ecu::kMapSize);
    maps::idCurMap = 1;
    maps::idCurJcyl = 0;
  }
  uint8_t savedMap_[ecu::kMapSize], savedRef_[ecu::kMapSize];
  static void Select(int map) {
    maps::idCurMap = static_cast<uint8_t>(map);
    maps::idCurJcyl = 0;
  }
  static maps::CellArray Z() {
    maps::CellArray z;
    maps::GetCurMapInfo(nullptr, nullptr, &z, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    return z;
  }
  static maps::CellArray X() {
    maps::CellArray x;
    maps::GetCurMapInfo(&x, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    return x;
  }
  static void Fill(int16_t value) {
    for (int i = 0; i < maps::kMapCells; ++i) Z().Set(i, value);
  }
  static int16_t Cell(int col, int row) { return Z().Get(row * maps::kMapCols + col); }
  static void SetCell(int col, int row, int16_t v) { Z().Set(row * maps::kMapCols + col, v); }
  static void SetRef(int col, int row, int16_t v) {
    maps::CellArray rz;
    maps::GetCurMapInfo(nullptr, nullptr, nullptr, nullptr, nullptr, &rz, nullptr, nullptr, nullptr);
    rz.Set(row * maps::kMapCols + col, v);
  }
  // A model on column `col` with the current point at `row` and the points `rows`
  // of the same column selected (the current one first).
  static Graph2DModel ColumnModel(int col, int row, std::vector<int> rows = {}) {
    Graph2DModel m;
    m.FollowCell({col, row});
    EXPECT_EQ(m.Build(), 1);
    m.selection.insert(m.selection.end(), rows.begin(), rows.end());
    return m;
  }
};

TEST_F(GraphsModelTest, KeyStepsAndRounding) {
  EXPECT_EQ(graphs::KeyStep(false, false), 1);
  EXPECT_EQ(graphs::KeyStep(true, false), 10);
  EXPECT_EQ(graphs::KeyStep(false, true), 100);
  EXPECT_EQ(graphs::RoundToRaw(1.2345, 1000), 1235);  // halves away from zero
  EXPECT_EQ(graphs::RoundToRaw(-12.35, 10), -124);
  EXPECT_EQ(graphs::RoundToRaw(0.0004, 1000), 0);
}

TEST_F(GraphsModelTest, NiceGridSteps) {
  struct Case {
    double span;
    int ticks;
    double step;
    int decimals;
  } const cases[] = {{11, 8, 2, 0}, {100, 8, 20, 0}, {0.002, 8, 0.0005, 4}, {15500, 10, 2000, 0},
                     {32, 8, 5, 0}, {1, 8, 0.2, 1},  {0, 8, 1, 0}};
  for (const Case& c : cases) {
    int decimals = -1;
    EXPECT_NEAR(graphs::NiceStep(c.span, c.ticks, &decimals), c.step, 1e-12) << c.span;
    EXPECT_EQ(decimals, c.decimals) << c.span;
  }
}

TEST_F(GraphsModelTest, MoveRuleScalesOnInjectionMapsAndAddsOnAdvanceMaps) {
  // Three points of column 4, rows 2 (current), 5 and 9; "+" with the step given.
  struct Case {
    int map;
    int16_t cur, a, b;
    int step;
    int16_t wantCur, wantA, wantB;
  } const cases[] = {
      {1, 1000, 500, 2000, 1, 1001, 500, 2002},      // ratio 1.001: 500.4999... + 0.5 truncates to 500
      {1, 1000, 500, 2000, 100, 1100, 550, 2200},    // Alt: ratio 1.1
      {1, 0, 500, 2000, 1, 1, 501, 2001},            // zero current value: the add path
      {3, 1000, 1500, 2000, 10, 1010, 1515, 2000},   // held to map 3's limit 2000
      {5, 2000, 1000, 3, -10, 1990, 995, 3},         // 2.985 + 0.5 truncates to 3
      {2, 123, -50, 7199, 1, 124, -49, 7200},        // advance: 0.1 degree each
      {4, 123, -50, 7199, 10, 133, -40, 7200},       // held to 7200
      {1, 32000, 500, 2000, 100, 32000, 502, 2006},  // the current point held at its limit, the others move
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "map " << c.map << " cur " << c.cur << " step " << c.step);
    Select(c.map);
    SetCell(4, 2, c.cur);
    SetCell(4, 5, c.a);
    SetCell(4, 9, c.b);
    SetCell(4, 3, 777);  // not selected
    Graph2DModel m = ColumnModel(4, 2, {5, 9});
    ASSERT_EQ(m.StepSelection(c.step), 1);
    EXPECT_EQ(Cell(4, 2), c.wantCur);
    EXPECT_EQ(Cell(4, 5), c.wantA);
    EXPECT_EQ(Cell(4, 9), c.wantB);
    EXPECT_EQ(Cell(4, 3), 777);
  }
}

TEST_F(GraphsModelTest, DragGivesTheCurrentPointTheMouseValue) {
  SetCell(0, 3, 1000);
  SetCell(0, 4, 400);
  Graph2DModel m = ColumnModel(0, 3, {4});
  ASSERT_EQ(m.DragTo(1.5004), 1);  // 1500 raw: ratio 1.5
  EXPECT_EQ(Cell(0, 3), 1500);
  EXPECT_EQ(Cell(0, 4), 600);
  m.Build();
  ASSERT_EQ(m.DragTo(99.0), 1);  // beyond the limit: held to 32 ms
  EXPECT_EQ(Cell(0, 3), 32000);
  m.Build();
  ASSERT_EQ(m.DragTo(-5.0), 1);  // below 0: 0, and the others by the add path
  EXPECT_EQ(Cell(0, 3), 0);
}

TEST_F(GraphsModelTest, ColumnAndRowLines) {
  for (int c = 0; c < maps::kMapCols; ++c) X().Set(c, static_cast<int16_t>(500 + 500 * c));
  SetCell(7, 3, 2500);
  SetRef(7, 3, 2000);
  Graph2DModel m = ColumnModel(7, 3);
  EXPECT_EQ(m.length, 20);
  EXPECT_DOUBLE_EQ(m.h[3], 6.0);  // throttle 60 tenths
  EXPECT_DOUBLE_EQ(m.v[3], 2.5);
  EXPECT_DOUBLE_EQ(m.refV[3], 2.0);
  EXPECT_DOUBLE_EQ(m.Delta(), 0.5);
  ASSERT_TRUE(m.Percent());
  EXPECT_DOUBLE_EQ(*m.Percent(), 25.0);
  const auto values = m.CurrentValues();
  EXPECT_DOUBLE_EQ(values[0], 4000);
  EXPECT_DOUBLE_EQ(values[1], 6.0);
  EXPECT_DOUBLE_EQ(values[2], 2.5);

  m.SetRowMode(true);
  ASSERT_EQ(m.Build(), 1);
  EXPECT_EQ(m.length, 32);
  EXPECT_EQ(m.CurrentIndex(), 7);
  EXPECT_EQ(m.selection, std::vector<int>{7});
  EXPECT_DOUBLE_EQ(m.h[7], 4000);
  EXPECT_EQ(m.CellAt(9), (MapCell{9, 3}));

  // No percentage where the reference is 0.
  SetRef(7, 3, 0);
  m.Build();
  EXPECT_FALSE(m.Percent());
}

TEST_F(GraphsModelTest, XAxisRowLeavesTheGraphEmpty) {
  Graph2DModel m;
  m.FollowCell({5, graphs::kXAxisRow});
  ASSERT_EQ(m.Build(), 1);
  EXPECT_EQ(m.length, 0);
  EXPECT_TRUE(m.SelectedCells().empty());
  EXPECT_EQ(m.CurrentValues(), (std::array<double, 3>{0, 0, 0}));
  EXPECT_EQ(m.StepSelection(1), 1);  // nothing to move
  EXPECT_EQ(m.StepAlong(1), (MapCell{5, 1}));
}

TEST_F(GraphsModelTest, AutomaticRanges) {
  struct Case {
    const char* what;
    int map;
    int16_t lo, hi, cur;  // matrix minimum, maximum, current point (column 0, row 5)
    AxisRange want;
  } const cases[] = {
      {"flat zero map, held to the limit 0", 1, 0, 0, 0, {0, 1}},
      {"whole units around the matrix", 1, 1234, 2345, 1500, {1, 3}},
      {"current point on the maximum", 1, 1234, 3000, 3000, {1, 4}},
      {"current point on the minimum", 1, 1000, 2345, 1000, {0, 3}},
      {"flat map of 1.000", 3, 1000, 1000, 1000, {0, 2}},
      {"negative minimum rounds down", 2, -123, 250, 0, {-13, 25}},
      {"negative maximum rounds up", 2, -250, -123, -200, {-25, -12}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Select(c.map);
    Fill(c.lo);
    SetCell(31, 19, c.hi);
    SetCell(0, 5, c.cur);
    Graph2DModel m = ColumnModel(0, 5);
    m.UpdateRanges();
    EXPECT_EQ(m.vRange, c.want);
    EXPECT_EQ(m.hRange[0], (AxisRange{0, 100}));  // the throttle axis
  }
  // A flat horizontal axis (every X breakpoint 0) gets one raw unit either side.
  Select(1);
  Graph2DModel m = ColumnModel(0, 0);
  m.SetRowMode(true);
  m.Build();
  m.UpdateRanges();
  EXPECT_EQ(m.hRange[1], (AxisRange{-1, 1}));
}

TEST_F(GraphsModelTest, ManualRangesAreRepairedAndKeptPerAxisMode) {
  Fill(1500);
  Graph2DModel m = ColumnModel(0, 0);
  m.UpdateRanges();
  const AxisRange autoV = m.vRange;
  m.autoScale = false;
  m.SetManualRange(50.0, 20.0, 2.0, 2.0);  // maximum below minimum, equal value ends
  m.UpdateRanges();
  EXPECT_EQ(m.hRange[0], (AxisRange{49.9, 50.1}));
  EXPECT_EQ(m.vRange, (AxisRange{1.999, 2.001}));

  m.SetManualRange(10.0, 60.0, 1.0, 40.0);  // beyond the value limit 32
  m.UpdateRanges();
  EXPECT_EQ(m.hRange[0], (AxisRange{10, 60}));
  EXPECT_EQ(m.vRange, (AxisRange{1, 32}));

  // The row mode's horizontal range is its own; the column mode's comes back.
  m.SetRowMode(true);
  m.Build();
  m.UpdateRanges();
  EXPECT_EQ(m.hRange[1], (AxisRange{-1, 1}));
  m.SetRowMode(false);
  m.Build();
  m.UpdateRanges();
  EXPECT_EQ(m.hRange[0], (AxisRange{10, 60}));

  // With auto-scale on, typed ranges give way to the computed ones.
  m.autoScale = true;
  m.SetManualRange(10.0, 60.0, 1.0, 20.0);
  m.UpdateRanges();
  EXPECT_EQ(m.vRange, autoV);
  EXPECT_EQ(m.hRange[0], (AxisRange{0, 100}));

  // A new map is rescaled even with auto-scale off.
  m.autoScale = false;
  m.SetManualRange(10.0, 60.0, 1.0, 20.0);
  m.UpdateRanges();
  Select(2);
  m.NoteMap(2);
  m.Build();
  m.UpdateRanges();
  EXPECT_EQ(m.hRange[0], (AxisRange{0, 100}));
  EXPECT_EQ(m.vRange, (AxisRange{-1, 1}));
}

TEST_F(GraphsModelTest, PickingAndRubberBand) {
  for (int r = 0; r < maps::kMapRows; ++r) SetCell(2, r, static_cast<int16_t>(1000 + 100 * r));
  Graph2DModel m = ColumnModel(2, 0);
  // Points at throttle (0, 2, 4, 6, 8, 10, 12.5, ...), values 1.0, 1.1, 1.2, ...
  EXPECT_EQ(m.PointInBox(3.5, 4.5, 1.1, 1.3), 2);
  EXPECT_EQ(m.PointInBox(4.5, 3.5, 1.3, 1.1), 2);  // any corner order
  EXPECT_EQ(m.PointInBox(4.5, 5.5, 0, 9), -1);

  // Caught: every point inside, in line order; the first becomes the current point.
  EXPECT_EQ(m.SelectInRect(13, 2.0, 1, 1.05), (MapCell{2, 1}));
  EXPECT_EQ(m.selection, (std::vector<int>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(m.SelectedCells().size(), 6u);
  EXPECT_EQ(m.SelectedCells()[5], (MapCell{2, 6}));

  // Nothing caught: the current point alone stays selected.
  EXPECT_EQ(m.SelectInRect(50, 5, 60, 6), (MapCell{2, 1}));
  EXPECT_EQ(m.selection, std::vector<int>{1});

  // A new active cell resets the selection to it; the same cell keeps it.
  m.SelectInRect(0, 0, 100, 10);
  EXPECT_FALSE(m.FollowCell(m.current));
  EXPECT_EQ(m.selection.size(), 20u);
  EXPECT_TRUE(m.FollowCell({2, 7}));
  EXPECT_EQ(m.selection, std::vector<int>{7});
  // A cell beyond the matrix is held to its edge.
  m.FollowCell({40, 25});
  EXPECT_EQ(m.current, (MapCell{31, 19}));
  m.FollowCell({-3, -7});
  EXPECT_EQ(m.current, (MapCell{0, graphs::kXAxisRow}));
}

TEST_F(GraphsModelTest, StepsAreHeldInsideTheMap) {
  Graph2DModel m;
  m.FollowCell({0, 0});
  EXPECT_EQ(m.StepAlong(-1), (MapCell{0, 0}));
  EXPECT_EQ(m.StepAlong(1), (MapCell{0, 1}));
  EXPECT_EQ(m.StepAcross(-1), (MapCell{0, 0}));
  EXPECT_EQ(m.StepAcross(1), (MapCell{1, 0}));
  m.FollowCell({31, 19});
  EXPECT_EQ(m.StepAlong(1), (MapCell{31, 19}));
  EXPECT_EQ(m.StepAcross(1), (MapCell{31, 19}));
  m.SetRowMode(true);
  EXPECT_EQ(m.StepAlong(-1), (MapCell{30, 19}));
  EXPECT_EQ(m.StepAcross(-1), (MapCell{31, 18}));
  EXPECT_EQ(graphs::StepCell({31, 19}, 1, 1), (MapCell{31, 19}));
  EXPECT_EQ(graphs::StepCell({0, graphs::kXAxisRow}, -1, 1), (MapCell{0, 1}));
}

TEST_F(GraphsModelTest, RestoreThePointOrTheLine) {
  for (int r = 0; r < maps::kMapRows; ++r) SetCell(6, r, 5);
  SetCell(7, 4, 5);
  Graph2DModel m = ColumnModel(6, 4);
  ASSERT_EQ(m.ResetSingle(), 1);
  EXPECT_EQ(Cell(6, 4), 0);
  EXPECT_EQ(Cell(6, 5), 5);
  ASSERT_EQ(m.ResetAll(), 1);
  for (int r = 0; r < maps::kMapRows; ++r) EXPECT_EQ(Cell(6, r), 0);
  EXPECT_EQ(Cell(7, 4), 5);  // another column
  m.SetRowMode(true);
  m.Build();
  ASSERT_EQ(m.ResetAll(), 1);
  EXPECT_EQ(Cell(7, 4), 0);
}

TEST_F(GraphsModelTest, InvalidMapFails) {
  maps::idCurMap = 9;
  Graph2DModel m;
  EXPECT_EQ(m.Build(), 0);
  graphs::SurfaceData d;
  EXPECT_EQ(graphs::BuildSurface(&d), 0);
}

TEST_F(GraphsModelTest, SurfaceOfTheCurrentMap) {
  Select(2);
  for (int c = 0; c < maps::kMapCols; ++c) X().Set(c, static_cast<int16_t>(800 + 400 * c));
  Fill(150);
  SetCell(3, 7, -45);
  graphs::SurfaceData d;
  ASSERT_EQ(graphs::BuildSurface(&d), 1);
  EXPECT_DOUBLE_EQ(d.x[3], 2000);
  EXPECT_DOUBLE_EQ(d.y[7], 15.0);
  EXPECT_DOUBLE_EQ(d.z[7 * 32 + 3], -4.5);
  EXPECT_DOUBLE_EQ(d.z[0], 15.0);
  EXPECT_EQ(d.xRange, (AxisRange{800, 13200}));
  EXPECT_EQ(d.yRange, (AxisRange{0, 100}));
  EXPECT_EQ(d.zRange, (AxisRange{-5, 15}));
  EXPECT_EQ(d.xLabel, " RPM");
  EXPECT_EQ(d.zLabel, "TetaBase [\u00B0]");
  EXPECT_EQ(d.precZ, 1);

  // Map 1 of cylinder 2, defaults: a flat X axis and a flat matrix still give ranges.
  Select(1);
  maps::idCurJcyl = 1;
  ASSERT_EQ(graphs::BuildSurface(&d), 1);
  EXPECT_EQ(d.xRange, (AxisRange{-1, 1}));
  EXPECT_EQ(d.zRange, (AxisRange{-1, 1}));
  EXPECT_EQ(d.zLabel, "TerogBase(2) [ms]");
}

}  // namespace
