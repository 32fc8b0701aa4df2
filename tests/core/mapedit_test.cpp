// The map editor's editing model: gather rules, keys, the value dialog's operations,
// the edit history and the clipboard text.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

#include "ecudata/image.h"
#include "link/bytes.h"
#include "maps/map1.h"
#include "maps/mapedit.h"

namespace {

using maps::CellRect;
using maps::ValueMode;

class MapEditTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::memset(ecu::ecuMapData, 0, ecu::kMapSize);
    std::memset(ecu::ecuParData, 0, ecu::kParSize);
    for (int id = 1; id <= 5; ++id) maps::InitMp1Data(id);
    std::memcpy(ecu::ecuMapRefData, ecu::ecuMapData, ecu::kMapSize);
    ecu::ecuParData[maps::kCylinderCountOffset] = 2;
    Select(1, 0);
  }
  // Without a baseline every value counts as edited; the tests that need one take it.
  void TearDown() override {
    Select(1, 0);
    maps::DropMapBaseline();
  }
  static void Select(int map, int cyl) {
    maps::idCurMap = static_cast<uint8_t>(map);
    maps::idCurJcyl = static_cast<uint8_t>(cyl);
  }
  // Raw cell (r, c) of map `map` plane `plane` in the working copy.
  static int16_t Raw(int map, int plane, int r, int c) {
    maps::MapPlace p;
    maps::GetMapPlace(map, plane, &p);
    return maps::CellArray{ecu::ecuMapData + p.matrix}.Get(r * maps::kMapCols + c);
  }
  static void SetRaw(int map, int plane, int r, int c, int16_t v) {
    maps::MapPlace p;
    maps::GetMapPlace(map, plane, &p);
    maps::CellArray{ecu::ecuMapData + p.matrix}.Set(r * maps::kMapCols + c, v);
  }
  static maps::CellArray XAxis(int map) {
    maps::MapPlace p;
    maps::GetMapPlace(map, 0, &p);
    return maps::CellArray{ecu::ecuMapData + p.xAxis};
  }
  static maps::CellArray YAxis(int map) {
    maps::MapPlace p;
    maps::GetMapPlace(map, 0, &p);
    return maps::CellArray{ecu::ecuMapData + p.yAxis};
  }
  static void RisingXAxis(int map) {
    for (int c = 0; c < maps::kMapCols; ++c) XAxis(map).Set(c, static_cast<int16_t>(500 * c));
  }
  static std::array<uint8_t, ecu::kMapSize> Block() {
    std::array<uint8_t, ecu::kMapSize> b;
    std::memcpy(b.data(), ecu::ecuMapData, ecu::kMapSize);
    return b;
  }
};

TEST_F(MapEditTest, RoundingOfDisplayValuesIsHalfAwayFromZero) {
  struct Case {
    double display, scale;
    int16_t raw;
  } cases[] = {{1.2345, 1000, 1235}, {-1.2345, 1000, -1235}, {12.35, 10, 124}, {-12.35, 10, -124},
               {0.0004, 1000, 0},    {12.3, 10, 123},        {1e9, 1, 32767},  {-1e9, 1, -32768}};
  for (const Case& c : cases) EXPECT_EQ(maps::RawFromDisplay(c.display, c.scale), c.raw) << c.display;
  EXPECT_DOUBLE_EQ(maps::Quantise(10.04, 10), 10.0);
  EXPECT_DOUBLE_EQ(maps::Quantise(10.05, 10), 10.1);
  EXPECT_DOUBLE_EQ(maps::Quantise(-0.25, 10), -0.3);
}

TEST_F(MapEditTest, AxisRepairOnlyOnACheckedGather) {
  RisingXAxis(1);
  for (int r = 0; r < maps::kMapRows; ++r) {
    SetRaw(1, 0, r, 4, static_cast<int16_t>(100 + r));
    SetRaw(1, 0, r, 5, 7);
  }
  // Column 5's breakpoint typed below its left neighbour: a commit stores it as typed.
  ASSERT_TRUE(maps::StoreTableValue(0, 5, 1000));
  ASSERT_TRUE(maps::GatherMapBlock(false));
  EXPECT_EQ(XAxis(1).Get(5), 1000);
  EXPECT_EQ(Raw(1, 0, 3, 5), 7);

  bool repaired = false;
  ASSERT_TRUE(maps::GatherMapBlock(true, &repaired));
  EXPECT_TRUE(repaired);
  EXPECT_EQ(XAxis(1).Get(5), 2000);
  for (int r = 0; r < maps::kMapRows; ++r) EXPECT_EQ(Raw(1, 0, r, 5), 100 + r);
  ASSERT_TRUE(maps::GatherMapBlock(true, &repaired));
  EXPECT_FALSE(repaired);

  // Map 5 has its own Y axis, repaired the same way with its rows.
  Select(5, 0);
  for (int r = 0; r < maps::kMapRows; ++r) YAxis(5).Set(r, static_cast<int16_t>(100 * r));
  for (int c = 0; c < maps::kMapCols; ++c) SetRaw(5, 0, 7, c, 1234);
  ASSERT_TRUE(maps::StoreYValue(8, 20.0));  // 200 below row 7's 700
  ASSERT_TRUE(maps::GatherMapBlock(true, &repaired));
  EXPECT_TRUE(repaired);
  EXPECT_EQ(YAxis(5).Get(8), 700);
  EXPECT_EQ(Raw(5, 0, 8, 31), 1234);
}

TEST_F(MapEditTest, AxesThatCameFallingAreNotRepairedUntilEdited) {
  // Falling axes as another tool left them: the reference copy holds them too.
  for (int c = 0; c < maps::kMapCols; ++c) XAxis(1).Set(c, static_cast<int16_t>(20000 - 300 * c));
  for (int r = 0; r < maps::kMapRows; ++r) YAxis(5).Set(r, static_cast<int16_t>(900 - 40 * r));
  for (int c = 0; c < maps::kMapCols; ++c) XAxis(5).Set(c, static_cast<int16_t>(9000 - 100 * c));
  SetRaw(1, 0, 0, 0, 32767);  // beyond the map's limit
  maps::TakeMapBaseline();    // as the block came
  const auto before = Block();
  for (int map : {1, 5}) {
    Select(map, 0);
    bool repaired = true;
    ASSERT_TRUE(maps::GatherMapBlock(true, &repaired));
    EXPECT_FALSE(repaired) << map;
  }
  EXPECT_EQ(Block(), before);
  // An edit of one breakpoint makes the axis edited: the page's repair runs on it.
  Select(1, 0);
  ASSERT_TRUE(maps::StoreTableValue(0, 3, 5000));
  bool repaired = false;
  ASSERT_TRUE(maps::GatherMapBlock(true, &repaired));
  EXPECT_TRUE(repaired);
  for (int c = 1; c < maps::kMapCols; ++c) EXPECT_GE(XAxis(1).Get(c), XAxis(1).Get(c - 1)) << c;
}

TEST_F(MapEditTest, ThrottleAxisOfMaps1To4IsFixed) {
  for (int map = 1; map <= 4; ++map) YAxis(map).Set(3, 999);
  Select(2, 0);
  EXPECT_TRUE(maps::StoreYValue(3, 12.5));  // not editable: ignored
  EXPECT_EQ(YAxis(2).Get(3), 999);
  ASSERT_TRUE(maps::GatherMapBlock(false));
  for (int map = 1; map <= 4; ++map)
    for (int r = 0; r < maps::kMapRows; ++r) EXPECT_EQ(YAxis(map).Get(r), maps::bpMapThrottle[r]) << map;
  Select(5, 0);
  EXPECT_TRUE(maps::StoreYValue(3, 12.5));
  EXPECT_EQ(YAxis(5).Get(3), 125);
  EXPECT_TRUE(maps::StoreYValue(4, 999));  // held to the limits, -30 to 250
  EXPECT_EQ(YAxis(5).Get(4), 2500);
}

TEST_F(MapEditTest, SingleMatrixModeCopiesTheEditedCellsOfCylinderOne) {
  // A block that came with one matrix for both and a second matrix of its own keeps it;
  // what is edited on cylinder 1 reaches cylinder 2, and setting the flag aligns all.
  SetRaw(1, 1, 2, 2, 555);
  maps::SetSingleMatrixFlag(true);
  maps::TakeMapBaseline();  // as the block came
  ASSERT_TRUE(maps::GatherMapBlock(true));
  EXPECT_EQ(Raw(1, 1, 2, 2), 555);
  ASSERT_TRUE(maps::StoreTableValue(5, 6, 1.5));
  ASSERT_TRUE(maps::GatherMapBlock(false));
  EXPECT_EQ(Raw(1, 1, 4, 6), 1500);
  EXPECT_EQ(Raw(1, 1, 2, 2), 555);
  maps::AlignMatrixes();
  EXPECT_EQ(Raw(1, 1, 2, 2), 0);
  maps::SetSingleMatrixFlag(false);
  SetRaw(1, 1, 2, 2, 555);
  ASSERT_TRUE(maps::GatherMapBlock(true));
  EXPECT_EQ(Raw(1, 1, 2, 2), 555);
  EXPECT_STREQ(maps::CylinderLabel(0), "Cyl. 1");
  EXPECT_STREQ(maps::CylinderLabel(1), "Cyl. 2");
  EXPECT_STREQ(maps::CylinderLabel(7), "Cyl. 1");
}

TEST_F(MapEditTest, PlusAndMinusKeysStepRawUnits) {
  struct Case {
    int map;
    int16_t before;
    bool ctrl, alt;
    int sign;
    int16_t after;
  } cases[] = {
      {2, 123, false, false, 1, 124},      // 12.3 deg -> 12.4
      {2, 123, true, false, 1, 133},       // Ctrl: 13.3
      {2, 123, false, true, 1, 223},       // Alt: 22.3
      {2, 123, true, true, -1, 23},        // Alt wins over Ctrl
      {2, -7150, false, true, -1, -7200},  // held to -720.0
      {1, 5, false, true, -1, 0},          // injection time not below 0
      {1, 31990, true, false, 1, 32000},   // nor above 32 ms
      {3, 1995, true, false, 1, 2000},     // coefficient not above 2
  };
  for (const Case& c : cases) {
    Select(c.map, 0);
    SetRaw(c.map, 0, 6, 9, c.before);
    ASSERT_TRUE(maps::StepCell(7, 9, c.sign * maps::KeyStep(c.ctrl, c.alt)));
    EXPECT_EQ(Raw(c.map, 0, 6, 9), c.after) << c.map << " " << c.before;
  }
  // The X axis row and cells off the table are left alone.
  Select(2, 0);
  const auto before = Block();
  EXPECT_TRUE(maps::StepCell(0, 3, 1));
  EXPECT_TRUE(maps::StepCell(21, 3, 1));
  EXPECT_EQ(Block(), before);
}

TEST_F(MapEditTest, KeyPressRunsTheCheckedGather) {
  RisingXAxis(2);
  Select(2, 0);
  maps::StoreTableValue(0, 10, 100);  // below its neighbour, not yet repaired
  SetRaw(2, 0, 0, 9, 42);
  ASSERT_TRUE(maps::StepCell(3, 0, 1));
  EXPECT_EQ(XAxis(2).Get(10), 4500);
  EXPECT_EQ(Raw(2, 0, 0, 10), 42);
}

TEST_F(MapEditTest, OpeningSelectionRules) {
  struct Case {
    CellRect selection;
    int activeRow, activeCol;
    CellRect expected;
  } cases[] = {
      {{0, 3, 1, 1}, 0, 3, {}},            // the X axis row alone: nothing to edit
      {{0, 3, 1, 4}, 0, 3, {}},            // a part of the X row
      {{0, 3, 3, 2}, 0, 3, {1, 3, 2, 2}},  // starting on the X row loses it
      {{4, 4, 1, 1}, 6, 7, {6, 7, 1, 1}},  // one cell: the active cell
      {{2, 5, 4, 3}, 3, 6, {2, 5, 4, 3}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(maps::NormaliseSelection(c.selection, c.activeRow, c.activeCol), c.expected);
}

TEST_F(MapEditTest, DialogSetupPerMapAndMode) {
  EXPECT_EQ(maps::DefaultValueMode(1), ValueMode::PercAdd);
  EXPECT_EQ(maps::DefaultValueMode(2), ValueMode::Add);
  EXPECT_EQ(maps::DefaultValueMode(4), ValueMode::Add);
  EXPECT_EQ(maps::DefaultValueMode(5), ValueMode::PercAdd);

  SetRaw(1, 0, 0, 0, 2500);
  auto s = maps::PrepareValueDialog(ValueMode::Set, {1, 0, 2, 3});
  EXPECT_EQ(s.mode, ValueMode::Set);
  EXPECT_DOUBLE_EQ(s.start, 2.5);
  EXPECT_DOUBLE_EQ(s.max, 10.0);
  EXPECT_EQ(s.decimals, 3);
  EXPECT_DOUBLE_EQ(s.step, 0.001);
  EXPECT_EQ(s.label, "[ms]");
  EXPECT_EQ(s.toggleLabel, "All Cylinders");
  EXPECT_TRUE(s.copyAvailable);
  EXPECT_FALSE(s.interpEnabled);
  EXPECT_TRUE(s.interpRowEnabled);
  EXPECT_FALSE(s.interpColEnabled);

  s = maps::PrepareValueDialog(ValueMode::Interp, {1, 0, 3, 3});
  EXPECT_TRUE(s.numberDimmed);
  EXPECT_TRUE(s.interpEnabled);

  // Copy is offered on map 1 only, in multi-matrix mode with two cylinders.
  maps::SetSingleMatrixFlag(true);
  s = maps::PrepareValueDialog(ValueMode::Copy, {1, 0, 1, 1});
  EXPECT_FALSE(s.copyAvailable);
  EXPECT_EQ(s.mode, ValueMode::PercAdd);
  EXPECT_EQ(s.label, "[%]");
  EXPECT_DOUBLE_EQ(s.min, -100.0);
  maps::SetSingleMatrixFlag(false);

  Select(2, 0);
  s = maps::PrepareValueDialog(ValueMode::Add, {1, 0, 1, 1});
  EXPECT_DOUBLE_EQ(s.min, -30.0);
  EXPECT_DOUBLE_EQ(s.max, 30.0);
  EXPECT_EQ(s.decimals, 1);
  EXPECT_DOUBLE_EQ(s.step, 0.1);
  EXPECT_EQ(s.label, "[deg]");
  EXPECT_EQ(s.toggleLabel, "");
  EXPECT_FALSE(s.copyAvailable);
}

TEST_F(MapEditTest, DialogApplyRules) {
  struct Case {
    int map;
    ValueMode mode;
    double v;
    int16_t before, after;
  } cases[] = {
      {1, ValueMode::Set, 1.2345, 0, 1235},        // quantised to 1.235 first
      {1, ValueMode::PercAdd, 10.04, 1000, 1100},  // 10.0 %
      {1, ValueMode::PercAdd, -100, 3000, 0},
      {1, ValueMode::PercAdd, 100, 20000, 32000},  // doubled, held to 32 ms
      {1, ValueMode::Add, -5.0, 3000, 0},
      {2, ValueMode::Add, -30.0, -7000, -7200},
      {2, ValueMode::Set, -12.34, 0, -123},
      {3, ValueMode::PercAdd, 50, 1999, 2000},
  };
  for (const Case& c : cases) {
    Select(c.map, 0);
    SetRaw(c.map, 0, 2, 3, c.before);
    ASSERT_TRUE(maps::ApplyValue(c.mode, c.v, {3, 3, 1, 1}, false));
    EXPECT_EQ(Raw(c.map, 0, 2, 3), c.after) << c.map << " " << c.v;
  }
  // The preview shows the same values, without touching the block.
  Select(1, 0);
  SetRaw(1, 0, 0, 0, 1000);
  SetRaw(1, 0, 0, 1, 2000);
  const auto before = Block();
  const auto preview = maps::PreviewValues(ValueMode::PercAdd, 10.04, {1, 0, 1, 2});
  ASSERT_EQ(preview.size(), 2u);
  EXPECT_DOUBLE_EQ(preview[0], 1.1);
  EXPECT_DOUBLE_EQ(preview[1], 2.2);
  EXPECT_EQ(Block(), before);
  EXPECT_TRUE(maps::PreviewValues(ValueMode::Reset, 1, {1, 0, 1, 2}).empty());
}

TEST_F(MapEditTest, AllCylindersAndCopyReachOnlyExistingPlanesAndSelectedCells) {
  ecu::ecuParData[maps::kCylinderCountOffset] = 4;  // more cylinders than planes
  const auto outside = Block();
  ASSERT_TRUE(maps::ApplyValue(ValueMode::Set, 2.0, {2, 2, 2, 2}, true));
  for (int plane = 0; plane < 2; ++plane) {
    EXPECT_EQ(Raw(1, plane, 1, 2), 2000);
    EXPECT_EQ(Raw(1, plane, 2, 3), 2000);
    EXPECT_EQ(Raw(1, plane, 3, 3), 0);
  }
  // Nothing past map 1's second plane was written.
  maps::MapPlace p1;
  maps::GetMapPlace(1, 1, &p1);
  EXPECT_EQ(std::memcmp(ecu::ecuMapData + p1.matrix + 2 * maps::kMapCells,
                        outside.data() + p1.matrix + 2 * maps::kMapCells, 64),
            0);

  Select(1, 1);
  SetRaw(1, 1, 5, 5, 777);
  SetRaw(1, 1, 6, 6, 888);
  ASSERT_TRUE(maps::CopyToAllCylinders({6, 5, 1, 1}));
  EXPECT_EQ(Raw(1, 0, 5, 5), 777);
  EXPECT_EQ(Raw(1, 0, 6, 6), 0);  // not selected
}

TEST_F(MapEditTest, RestoreSelectionFromTheReferenceCopy) {
  Select(4, 0);
  SetRaw(4, 0, 1, 1, 50);
  SetRaw(4, 0, 1, 2, 60);
  ASSERT_TRUE(maps::RestoreSelection({2, 1, 1, 1}));
  EXPECT_EQ(Raw(4, 0, 1, 1), 0);
  EXPECT_EQ(Raw(4, 0, 1, 2), 60);
}

TEST_F(MapEditTest, InterpolationAndItsFallBacks) {
  RisingXAxis(1);
  // A 5 x 5 corner with values 1.000 ... on the left and 5.000 on the right.
  auto fill = [] {
    for (int r = 0; r < 5; ++r)
      for (int c = 0; c < 5; ++c)
        SetRaw(1, 0, r, c, static_cast<int16_t>(c == 4 ? 5000 + 1000 * r : 1000 * (r + 1)));
  };
  struct Case {
    ValueMode mode;
    CellRect selection;
    int r, c;
    int16_t expected;
  } cases[] = {
      {ValueMode::InterpRow, {1, 0, 1, 5}, 0, 2, 3000},  // 1.000 .. 5.000 along X
      {ValueMode::Interp, {1, 0, 2, 5}, 1, 2, 4000},     // 2 high: row interpolation
      {ValueMode::Interp, {1, 0, 5, 2}, 0, 1, 1000},     // 5 x 2: column, along Y
      {ValueMode::Interp, {1, 0, 2, 2}, 0, 1, 1000},     // 2 x 2: nothing
      {ValueMode::InterpRow, {1, 0, 1, 2}, 0, 1, 1000},  // too narrow: nothing
      {ValueMode::InterpCol, {1, 0, 2, 5}, 0, 2, 1000},  // too low: nothing
  };
  for (const Case& c : cases) {
    fill();
    ASSERT_TRUE(maps::InterpolateSelection(c.mode, c.selection));
    EXPECT_EQ(Raw(1, 0, c.r, c.c), c.expected) << static_cast<int>(c.mode);
  }

  // Column interpolation follows the throttle breakpoints (0, 2, 4, 6, 8 degrees).
  fill();
  SetRaw(1, 0, 0, 0, 0);
  SetRaw(1, 0, 4, 0, 8000);
  ASSERT_TRUE(maps::InterpolateSelection(ValueMode::InterpCol, {1, 0, 5, 1}));
  EXPECT_EQ(Raw(1, 0, 1, 0), 2000);
  EXPECT_EQ(Raw(1, 0, 3, 0), 6000);

  // Full interpolation: the edge columns along Y, then every row along X.
  fill();
  for (int r = 0; r < 5; ++r) {
    SetRaw(1, 0, r, 0, 0);
    SetRaw(1, 0, r, 4, 0);
  }
  SetRaw(1, 0, 4, 0, 8000);
  SetRaw(1, 0, 4, 4, 8000);
  ASSERT_TRUE(maps::InterpolateSelection(ValueMode::Interp, {1, 0, 5, 5}));
  EXPECT_EQ(Raw(1, 0, 2, 0), 4000);
  EXPECT_EQ(Raw(1, 0, 2, 2), 4000);
  EXPECT_EQ(Raw(1, 0, 1, 3), 2000);

  // Equal end breakpoints: every value of the line becomes the mean of its ends.
  fill();
  for (int c = 0; c < 5; ++c) XAxis(1).Set(c, 3000);
  ASSERT_TRUE(maps::InterpolateSelection(ValueMode::InterpRow, {1, 0, 1, 5}));
  for (int c = 0; c < 5; ++c) EXPECT_EQ(Raw(1, 0, 0, c), 3000);
}

TEST_F(MapEditTest, UndoAndRedoGiveBackTheExactBytes) {
  maps::EditHistory history;
  EXPECT_GE(history.Capacity(), 200u);
  Select(2, 0);
  const auto start = Block();

  history.Begin({2, 0, 3, 4});
  ASSERT_TRUE(maps::ApplyValue(ValueMode::Add, 5.0, {1, 0, 4, 4}, false));
  const auto afterApply = Block();
  history.Begin({2, 0, 3, 4});
  ASSERT_TRUE(maps::StepCell(3, 4, 10));
  const auto afterPlus = Block();
  history.Begin({2, 0, 3, 4});  // an edit that changes nothing leaves no step
  history.Flush();
  EXPECT_EQ(history.UndoSteps(), 2u);

  maps::EditHistory::Place where;
  ASSERT_TRUE(history.Undo(&where));
  EXPECT_EQ(Block(), afterApply);
  EXPECT_EQ(where.map, 2);
  ASSERT_TRUE(history.Undo());
  EXPECT_EQ(Block(), start);
  EXPECT_FALSE(history.Undo());
  ASSERT_TRUE(history.Redo());
  ASSERT_TRUE(history.Redo());
  EXPECT_EQ(Block(), afterPlus);
  EXPECT_FALSE(history.Redo());

  // A new edit after an undo drops the redo steps.
  ASSERT_TRUE(history.Undo());
  history.Begin({2, 0, 1, 0});
  ASSERT_TRUE(maps::StepCell(1, 0, 1));
  EXPECT_TRUE(history.CanUndo());
  EXPECT_FALSE(history.CanRedo());

  // The oldest steps go once the capacity is reached.
  maps::EditHistory small(3);
  for (int i = 0; i < 5; ++i) {
    small.Begin({2, 0, 1, 0});
    maps::StepCell(1, 0, 1);
  }
  EXPECT_EQ(small.UndoSteps(), 3u);
  history.Clear();
  EXPECT_FALSE(history.CanUndo());
}

TEST_F(MapEditTest, TwoHundredStepsComeBack) {
  maps::EditHistory history;
  Select(1, 0);
  const auto start = Block();
  for (int i = 0; i < 200; ++i) {
    history.Begin({1, 0, 1 + i % 20, i % 32});
    maps::StepCell(1 + i % 20, i % 32, 7);
  }
  int undone = 0;
  while (history.Undo()) ++undone;
  EXPECT_EQ(undone, 200);
  EXPECT_EQ(Block(), start);
}

TEST_F(MapEditTest, CopyGivesTabSeparatedDisplayText) {
  RisingXAxis(1);
  SetRaw(1, 0, 0, 1, 1234);
  SetRaw(1, 0, 0, 2, 5);
  EXPECT_EQ(maps::CopyTableText({0, 1, 2, 2}), "500\t1000\n1.234\t0.005\n");
  Select(2, 0);
  SetRaw(2, 0, 0, 0, -5);
  EXPECT_EQ(maps::CopyTableText({1, 0, 1, 1}), "-0.5\n");
  EXPECT_EQ(maps::CopyYText(0, 3), "0.0\n2.0\n4.0\n");
  EXPECT_EQ(maps::CopyTableText({}), "");
}

TEST_F(MapEditTest, PasteChecksTheWholeBlockFirst) {
  // A 3 x 4 block from a spreadsheet (CRLF, trailing newline, one decimal comma).
  const std::string block = "1.0\t2.0\t3.0\t4.0\r\n5\t6\t7\t8\r\n0.0004\t0.0005\t1,5\t32\r\n";
  auto r = maps::PasteTableText(block, 2, 30 - 3);
  ASSERT_TRUE(r.ok) << r.message;
  EXPECT_EQ(r.rows, 3);
  EXPECT_EQ(r.cols, 4);
  EXPECT_EQ(r.message, "Pasted 3 rows x 4 columns.");
  EXPECT_EQ(Raw(1, 0, 1, 27), 1000);
  EXPECT_EQ(Raw(1, 0, 2, 30), 8000);
  EXPECT_EQ(Raw(1, 0, 3, 27), 0);
  EXPECT_EQ(Raw(1, 0, 3, 28), 1);  // 0.5 raw: half away from zero
  EXPECT_EQ(Raw(1, 0, 3, 29), 1500);
  EXPECT_EQ(Raw(1, 0, 3, 30), 32000);

  // Refusals leave every byte as it was and say why.
  const auto before = Block();
  struct Case {
    std::string text;
    int row, col;
    std::string message;
  } cases[] = {
      {block, 19, 0,
       "Nothing pasted: a block of 3 rows x 4 columns does not fit here (2 rows x 32 columns fit from this "
       "cell)."},
      {block, 1, 29,
       "Nothing pasted: a block of 3 rows x 4 columns does not fit here (20 rows x 3 columns fit from this "
       "cell)."},
      {"1\t2\n3\t40\n", 1, 0, "Nothing pasted: 40 (row 2, column 2 of the copied block) is outside 0 to 32."},
      {"1\tabc\n", 1, 0, "Nothing pasted: \"abc\" (row 1, column 2 of the copied block) is not a number."},
      {"1\t\t3\n", 1, 0, "Nothing pasted: \"\" (row 1, column 2 of the copied block) is not a number."},
      {"1\t2\n3\n", 1, 0, "Nothing pasted: the rows of the copied block have different lengths."},
      {"\n\n", 1, 0, "Nothing pasted: the clipboard holds no values."},
      {"20001\n", 0, 0,
       "Nothing pasted: 20001 (row 1, column 1 of the copied block) is outside 0 to 20000 (X axis)."},
      {"nan\n", 1, 0, "Nothing pasted: \"nan\" (row 1, column 1 of the copied block) is not a number."},
  };
  for (const Case& c : cases) {
    r = maps::PasteTableText(c.text, c.row, c.col);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.message, c.message);
    EXPECT_EQ(Block(), before);
  }

  // The Y table: fixed on maps 1 to 4, limits of map 5's temperature axis.
  EXPECT_EQ(maps::PasteYText("1\n", 0).message, "Nothing pasted: the throttle axis of this map is fixed.");
  Select(5, 0);
  EXPECT_EQ(maps::PasteYText("-40\n", 0).message,
            "Nothing pasted: -40 (row 1, column 1 of the copied block) is outside -30 to 250.");
  r = maps::PasteYText("-30\n-10.05\n", 18);
  ASSERT_TRUE(r.ok) << r.message;
  EXPECT_EQ(YAxis(5).Get(19), -101);
}

TEST_F(MapEditTest, CopiedBlockPastesBackIntoAnotherMap) {
  for (int c = 0; c < 4; ++c) SetRaw(1, 0, 0, c, static_cast<int16_t>(1111 * (c + 1)));
  const std::string text = maps::CopyTableText({1, 0, 1, 4});
  Select(5, 0);
  ASSERT_TRUE(maps::PasteTableText(text, 5, 10).ok);
  for (int c = 0; c < 4; ++c) EXPECT_EQ(Raw(5, 0, 4, 10 + c), 1111 * (c + 1));
}

TEST_F(MapEditTest, NotesAreWindows1252InTheBlock) {
  EXPECT_TRUE(maps::StoreNotes("Ölkühler 90\u00B0C"));
  EXPECT_EQ(ecu::ecuMapData[maps::kNotesOffset], 0xD6);
  EXPECT_EQ(maps::NotesText(), "Ölkühler 90\u00B0C");
  EXPECT_FALSE(maps::StoreNotes("Ölkühler 90\u00B0C"));
  EXPECT_TRUE(maps::StoreNotes(std::string(500, 'x')));
  EXPECT_EQ(maps::NotesText().size(), 399u);
  EXPECT_EQ(ecu::ecuMapData[maps::kNotesOffset + 399], 0);
}

}  // namespace
