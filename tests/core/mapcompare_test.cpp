// The comparison tune of the map editor: which cells differ on every map, the status
// text, and taking cells from the comparison as one exact undo step.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ecudata/blockdiff.h"
#include "ecudata/image.h"
#include "maps/map1.h"
#include "maps/mapcompare.h"
#include "maps/mapedit.h"

namespace {

using Bytes = std::vector<uint8_t>;
using maps::CellRect;

class MapCompareTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::memset(ecu::ecuMapData, 0, ecu::kMapSize);
    std::memset(ecu::ecuParData, 0, ecu::kParSize);
    for (int id = 1; id <= 5; ++id) maps::InitMp1Data(id);
    std::memcpy(ecu::ecuMapRefData, ecu::ecuMapData, ecu::kMapSize);
    ecu::ecuParData[maps::kCylinderCountOffset] = 2;
    Select(1, 0);
    maps::TakeMapBaseline();
  }
  void TearDown() override {
    Select(1, 0);
    maps::DropMapBaseline();
  }
  static void Select(int map, int cyl) {
    maps::idCurMap = static_cast<uint8_t>(map);
    maps::idCurJcyl = static_cast<uint8_t>(cyl);
  }
  static Bytes Working() { return Bytes(ecu::ecuMapData, ecu::ecuMapData + ecu::kMapSize); }
  // A cell of map `map`, plane `plane`, in `block`.
  static maps::CellArray Cells(uint8_t* block, int map, int plane) {
    maps::MapPlace p{};
    maps::GetMapPlace(map, plane, &p);
    return maps::CellArray{block + p.matrix};
  }
};

TEST_F(MapCompareTest, MarksAndStatusOnEveryMap) {
  for (int map = 1; map <= maps::kMapCount; ++map) {
    Bytes other = Working();
    // Cell (row 3, column 4) of the current plane bigger by 25 raw units.
    const maps::CellArray cells = Cells(other.data(), map, 0);
    cells.Set(2 * maps::kMapCols + 4, static_cast<int16_t>(cells.Get(2 * maps::kMapCols + 4) + 25));
    maps::Comparison cmp;
    ASSERT_TRUE(cmp.Set(other, "track.emd"));
    Select(map, 0);
    maps::MapShape shape;
    ASSERT_TRUE(maps::CurrentShape(&shape));

    int marked = 0;
    for (int row = 0; row < maps::kTableRows; ++row)
      for (int col = 0; col < maps::kMapCols; ++col) marked += cmp.Differs(row, col);
    EXPECT_EQ(marked, 1) << "map " << map;
    EXPECT_TRUE(cmp.Differs(3, 4)) << "map " << map;
    EXPECT_EQ(cmp.DifferingCells(), 1);
    EXPECT_DOUBLE_EQ(cmp.Value(3, 4), maps::TableValue(3, 4) + 25 / shape.scaleZ);

    const std::string working = maps::FormatValue(maps::TableValue(3, 4), shape.precZ);
    const std::string compared = maps::FormatValue(cmp.Value(3, 4), shape.precZ);
    const std::string change = maps::FormatValue(-25 / shape.scaleZ, shape.precZ, true);
    EXPECT_EQ(cmp.StatusText(3, 4),
              "Working " + working + ", comparison " + compared + " (track.emd), difference " + change)
        << "map " << map;
    const std::string same = cmp.StatusText(3, 5);
    const std::string zero = "difference " + maps::FormatValue(0, shape.precZ);
    EXPECT_EQ(same.substr(same.size() - zero.size()), zero) << same;
  }
  // The other plane of map 1 is a difference of that plane only.
  Bytes other = Working();
  Cells(other.data(), 1, 1).Set(0, 999);
  maps::Comparison cmp;
  ASSERT_TRUE(cmp.Set(other, "x"));
  Select(1, 0);
  EXPECT_FALSE(cmp.Differs(1, 0));
  Select(1, 1);
  EXPECT_TRUE(cmp.Differs(1, 0));
  EXPECT_FALSE(cmp.Set(Bytes(100), "short"));
}

TEST_F(MapCompareTest, NumbersHaveAPointAndASign) {
  EXPECT_EQ(maps::FormatValue(12.25, 1), "12.2");  // as printf rounds the binary value
  EXPECT_EQ(maps::FormatValue(-0.04, 1, true), "0.0");
  EXPECT_EQ(maps::FormatValue(0.5, 2, true), "+0.50");
  EXPECT_EQ(maps::FormatValue(-3, 0, true), "-3");
}

TEST_F(MapCompareTest, TakeIsOneStepThatUndoesExactly) {
  Select(3, 0);
  Bytes other = Working();
  for (int i = 0; i < maps::kMapCells; ++i) Cells(other.data(), 3, 0).Set(i, static_cast<int16_t>(i % 97));
  Bytes otherMap2 = other;
  Cells(other.data(), 2, 0).Set(0, 1234);  // another map: never taken with map 3
  maps::Comparison cmp;
  ASSERT_TRUE(cmp.Set(other, "restore point"));

  const Bytes before = Working();
  maps::EditHistory history;
  history.Begin({});
  const CellRect sel{2, 3, 2, 4};  // rows 2..3, columns 3..6
  ASSERT_EQ(cmp.Take(sel), 1);
  history.Flush();
  for (int row = 1; row < maps::kTableRows; ++row)
    for (int col = 0; col < maps::kMapCols; ++col)
      EXPECT_EQ(cmp.Differs(row, col),
                !sel.Contains(row, col) && cmp.Value(row, col) != maps::TableValue(row, col))
          << row << "," << col;
  for (int row = 2; row <= 3; ++row)
    for (int col = 3; col <= 6; ++col) EXPECT_FALSE(cmp.Differs(row, col));
  EXPECT_EQ(history.UndoSteps(), 1u);
  ASSERT_TRUE(history.Undo());
  EXPECT_EQ(Working(), before);

  history.Begin({});
  ASSERT_EQ(cmp.TakeWholeMap(), 1);
  history.Flush();
  EXPECT_EQ(cmp.DifferingCells(), 0);
  EXPECT_NE(Cells(ecu::ecuMapData, 2, 0).Get(0), 1234);
  ASSERT_TRUE(history.Undo());
  EXPECT_EQ(Working(), before);

  EXPECT_EQ(cmp.Take({0, 0, 0, 0}), 0);
  EXPECT_EQ(cmp.Take({20, 0, 2, 1}), 0);  // beyond the last row
  maps::Comparison none;
  EXPECT_EQ(none.Take(sel), 0);
  EXPECT_EQ(Working(), before);
}

TEST_F(MapCompareTest, EveryMapDifferenceIsLocatedWhereTheEngineNamesIt) {
  Bytes a = Working();
  Bytes b = a;
  maps::MapPlace p{};
  ASSERT_TRUE(maps::GetMapPlace(1, 1, &p));
  b[p.matrix + 2 * 70] ^= 0x01;  // map 1, cylinder 2, row 3 (table row 3), column 6
  ASSERT_TRUE(maps::GetMapPlace(5, 0, &p));
  b[p.yAxis + 2 * 4] ^= 0x01;     // map 5, Y axis point 5
  b[p.xAxis + 2 * 7] ^= 0x01;     // map 5, X axis point 8
  b[p.matrix + 2 * 639] ^= 0x01;  // map 5, the last cell
  b[maps::kNotesOffset] ^= 0x01;
  const auto list = ecu::DiffBlocks(ecu::kMapType, a.data(), b.data());
  ASSERT_EQ(list.size(), 5u);
  const maps::CellPlace want[] = {{1, 1, 3, 6}, {5, 0, 0, 7}, {5, 0, 5, -1}, {5, 0, 20, 31}};
  for (size_t i = 0; i < 4; ++i) {
    maps::CellPlace at;
    ASSERT_TRUE(maps::LocateMapDifference(a.data(), b.data(), i, &at)) << i;
    EXPECT_EQ(list[i].item, maps::MapName(at.map)) << i;
    EXPECT_EQ(at.map, want[i].map) << i;
    EXPECT_EQ(at.plane, want[i].plane) << i;
    EXPECT_EQ(at.row, want[i].row) << i;
    EXPECT_EQ(at.col, want[i].col) << i;
  }
  maps::CellPlace at;
  EXPECT_FALSE(maps::LocateMapDifference(a.data(), b.data(), 4, &at));  // the notes
}

}  // namespace
