// The map catalogue: places, labels, the arithmetic edit and the defaults.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "ecudata/image.h"
#include "link/bytes.h"
#include "maps/map1.h"

namespace {

class Map1Test : public ::testing::Test {
 protected:
  void SetUp() override {
    std::memset(ecu::ecuMapData, 0, ecu::kMapSize);
    std::memset(ecu::ecuMapRefData, 0, ecu::kMapSize);
    maps::idCurMap = 1;
    maps::idCurJcyl = 0;
    maps::SetMp1ScatterHook({});
  }
  void TearDown() override {
    maps::idCurMap = 1;
    maps::idCurJcyl = 0;
    maps::SetMp1ScatterHook({});
  }
  static int16_t Cell(uint32_t matrix, int row, int col) {
    return static_cast<int16_t>(com::Get16LE(ecu::ecuMapData + matrix + 2 * (row * 32 + col)));
  }
  static void FillMatrix(uint8_t* block, uint32_t matrix, int16_t value) {
    for (int i = 0; i < maps::kMapCells; ++i)
      com::Put16LE(block + matrix + 2 * i, static_cast<uint16_t>(value));
  }
};

TEST_F(Map1Test, InfoGivesPlacesOfEveryMapAndPlane) {
  struct Case {
    uint8_t map, cyl;
    uint32_t matrix, x, y;
    double scaleZ;
  } const cases[] = {
      {1, 0, 464, 3024, 3088, 1000},  {1, 1, 1744, 3024, 3088, 1000}, {2, 0, 3128, 4408, 4472, 10},
      {3, 0, 5896, 7176, 7240, 1000}, {4, 0, 4512, 5792, 5856, 10},   {5, 0, 7280, 8560, 8624, 1000},
      {5, 1, 7280, 8560, 8624, 1000},  // maps with one plane ignore the cylinder
  };
  for (const Case& c : cases) {
    maps::idCurMap = c.map;
    maps::idCurJcyl = c.cyl;
    maps::CellArray x, y, z, rx, ry, rz;
    double sx = 0, sy = 0, sz = 0;
    ASSERT_EQ(maps::GetCurMapInfo(&x, &y, &z, &rx, &ry, &rz, &sx, &sy, &sz), 1);
    EXPECT_EQ(z.base, ecu::ecuMapData + c.matrix) << int(c.map);
    EXPECT_EQ(x.base, ecu::ecuMapData + c.x);
    EXPECT_EQ(y.base, ecu::ecuMapData + c.y);
    EXPECT_EQ(rz.base, ecu::ecuMapRefData + c.matrix);
    EXPECT_EQ(rx.base, ecu::ecuMapRefData + c.x);
    EXPECT_EQ(ry.base, ecu::ecuMapRefData + c.y);
    EXPECT_EQ(sx, 1);
    EXPECT_EQ(sy, 10);
    EXPECT_EQ(sz, c.scaleZ);
  }
}

TEST_F(Map1Test, InvalidSelectorsFailEverywhere) {
  struct Sel {
    uint8_t map, cyl;
  } const cases[] = {{0, 0}, {6, 0}, {255, 0}, {1, 2}};
  for (const Sel& s : cases) {
    maps::idCurMap = s.map;
    maps::idCurJcyl = s.cyl;
    maps::CellArray z;
    int p = 0;
    EXPECT_EQ(maps::GetCurMapInfo(nullptr, nullptr, &z, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
              0);
    EXPECT_EQ(
        maps::GetCurMapAttribute(&p, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
        0);
    EXPECT_STREQ(maps::GetCurMapXlabel(), "");
    EXPECT_STREQ(maps::GetCurMapYlabel(), "");
    EXPECT_STREQ(maps::GetCurMapZlabel(), "");
    EXPECT_EQ(maps::GetCurMapVerticalYCaption(), "");
    EXPECT_EQ(maps::SetCurMap(-1, -1, 0, 0, 0, 0, 0, 0), 0);
  }
  uint8_t before[ecu::kMapSize];
  std::memcpy(before, ecu::ecuMapData, sizeof before);
  maps::idCurMap = 0;
  maps::SetCurMap(-1, -1, 100, 0, 0, 0, 0, 0);
  EXPECT_EQ(std::memcmp(before, ecu::ecuMapData, sizeof before), 0);
}

TEST_F(Map1Test, AttributesAndLabels) {
  maps::idCurMap = 5;
  int px, py, pz;
  double minX, minY, minZ, maxX, maxY, maxZ;
  ASSERT_EQ(maps::GetCurMapAttribute(&px, &py, &pz, &minX, &minY, &minZ, &maxX, &maxY, &maxZ), 1);
  EXPECT_EQ(px, 0);
  EXPECT_EQ(py, 1);
  EXPECT_EQ(pz, 3);
  EXPECT_EQ(minY, -30);
  EXPECT_EQ(maxY, 250);
  EXPECT_EQ(maxX, 32767);
  EXPECT_EQ(maxZ, 32);
  EXPECT_STREQ(maps::GetCurMapYlabel(), "Water Temperature [\u00B0C]");
  EXPECT_EQ(maps::ToWindows1252(maps::GetCurMapYlabel()),
            "Water Temperature [\xB0"
            "C]");
  EXPECT_EQ(maps::GetCurMapVerticalYCaption().substr(0, 6), "W\ra\rt\r");
  EXPECT_EQ(maps::GetCurMapVerticalYCaption().size(), 2 * std::strlen("Water/Oil Temperature"));
  EXPECT_EQ(maps::GetCurMapUnitCaption(), "K");

  maps::idCurMap = 2;
  EXPECT_STREQ(maps::GetCurMapZlabel(), "TetaBase [\u00B0]");
  EXPECT_EQ(maps::GetCurMapMatrixCaption(), " RPM");
  EXPECT_EQ(maps::GetCurMapUnitCaption(), "[deg]");
  EXPECT_EQ(maps::GetCurMapVerticalYCaption(), "T\rh\rr\ro\rt\rt\rl\re\r");

  maps::idCurMap = 1;
  maps::idCurJcyl = 1;
  EXPECT_STREQ(maps::GetCurMapZlabel(), "TerogBase(2) [ms]");
  maps::idCurJcyl = 0;
  EXPECT_STREQ(maps::GetCurMapZlabel(), "TerogBase(1) [ms]");
  EXPECT_STREQ(maps::MapName(0), "<none>");
  EXPECT_STREQ(maps::MapName(4), "Advance Correction by Velocity");
}

struct EditCase {
  const char* what;
  uint8_t map;
  int col, row;
  double add, mul;
  int16_t before, after;
  uint8_t result;
};

// A cell of (0,0) and its fate; cells outside the addressed ones must not change.
const EditCase kEdits[] = {
    {"mul 0 add 0 clears", 1, -1, -1, 0, 0, 1234, 0, 1},
    {"mul 1.1", 1, 0, 0, 0, 1.1, 100, 110, 1},
    {"mul 0.5 rounds half up", 1, 0, 0, 0, 0.5, 3, 2, 1},
    {"mul 0 adds", 1, 0, 0, 250, 0, 100, 350, 1},
    {"add is ignored when mul is set", 1, 0, 0, 250, 2, 100, 200, 1},
    {"above the limit", 1, 0, 0, 0, 10, 5000, 32000, 1},
    {"negative result", 1, 0, 0, 0, -1, 5000, 0, 1},
    {"negative add", 1, 0, 0, -200, 0, 100, 0, 1},
    {"map 3 limit", 3, -1, 0, 0, 3, 1000, 2000, 1},
    {"map 5 limit", 5, 0, -1, 0, 100, 1000, 32000, 1},
    {"map 2 add below -7200", 2, 0, 0, -8000, 0, 100, -7200, 1},
    {"map 2 ignores mul", 2, 0, 0, 5, 3, 100, 105, 1},
    {"map 4 above 7200", 4, 0, 0, 9000, 0, 100, 7200, 1},
    {"map 4 truncates toward zero", 4, 0, 0, -0.7, 0, 0, 0, 1},
    {"column out of range", 1, 32, 0, 0, 2, 100, 100, 0},
    {"row out of range", 1, 0, -2, 0, 2, 100, 100, 0},
    {"column below -1", 1, -2, 0, 0, 2, 100, 100, 0},
    {"row 20", 1, 0, 20, 0, 2, 100, 100, 0},
    {"not a number", 1, 0, 0, 0, std::nan(""), 100, 100, 1},
};

TEST_F(Map1Test, ArithmeticEdits) {
  for (const EditCase& c : kEdits) {
    SetUp();
    maps::idCurMap = c.map;
    maps::CellArray z;
    ASSERT_EQ(maps::GetCurMapInfo(nullptr, nullptr, &z, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
              1);
    for (int i = 0; i < maps::kMapCells; ++i) z.Set(i, c.before);
    EXPECT_EQ(maps::SetCurMap(c.col, c.row, c.add, c.mul, 0, 0, 0, 0), c.result) << c.what;
    EXPECT_EQ(z.Get(0), c.after) << c.what;
    // Addressed cells follow the first one; the others keep their value.
    for (int r = 0; r < maps::kMapRows; ++r)
      for (int col = 0; col < maps::kMapCols; ++col) {
        const bool addressed = c.result == 1 && (c.col == -1 || c.col == col) && (c.row == -1 || c.row == r);
        ASSERT_EQ(z.Get(r * 32 + col), addressed ? c.after : c.before)
            << c.what << " r " << r << " c " << col;
      }
  }
}

TEST_F(Map1Test, EditsTouchOnlyTheCurrentPlane) {
  FillMatrix(ecu::ecuMapData, 464, 100);
  FillMatrix(ecu::ecuMapData, 1744, 100);
  maps::idCurJcyl = 1;
  ASSERT_EQ(maps::SetCurMap(5, -1, 0, 2, 0, 0, 0, 0), 1);
  for (int r = 0; r < 20; ++r) {
    EXPECT_EQ(Cell(1744, r, 5), 200);
    EXPECT_EQ(Cell(1744, r, 4), 100);
    EXPECT_EQ(Cell(464, r, 5), 100);
  }
}

TEST_F(Map1Test, RestoreFromReference) {
  maps::idCurMap = 4;
  FillMatrix(ecu::ecuMapData, 4512, 1);
  FillMatrix(ecu::ecuMapRefData, 4512, 7);
  for (int i = 0; i < 32; ++i) com::Put16LE(ecu::ecuMapRefData + 5792 + 2 * i, static_cast<uint16_t>(i * 10));
  for (int i = 0; i < 20; ++i) com::Put16LE(ecu::ecuMapRefData + 5856 + 2 * i, static_cast<uint16_t>(i + 1));

  // restoreX wins over everything else and touches only the X axis.
  ASSERT_EQ(maps::SetCurMap(-1, -1, 50, 0, 1, 1, 1, 0), 1);
  EXPECT_EQ(std::memcmp(ecu::ecuMapData + 5792, ecu::ecuMapRefData + 5792, 64), 0);
  EXPECT_EQ(com::Get16LE(ecu::ecuMapData + 5856), 0);
  EXPECT_EQ(Cell(4512, 0, 0), 1);
  // restoreY next.
  ASSERT_EQ(maps::SetCurMap(-1, -1, 50, 0, 1, 0, 1, 0), 1);
  EXPECT_EQ(std::memcmp(ecu::ecuMapData + 5856, ecu::ecuMapRefData + 5856, 40), 0);
  EXPECT_EQ(Cell(4512, 0, 0), 1);
  // restore of one row.
  ASSERT_EQ(maps::SetCurMap(-1, 3, 50, 0, 1, 0, 0, 0), 1);
  EXPECT_EQ(Cell(4512, 3, 17), 7);
  EXPECT_EQ(Cell(4512, 2, 17), 1);
}

TEST_F(Map1Test, RescatterRunsTheEditorHook) {
  EXPECT_EQ(maps::SetCurMap(0, 0, 0, 1, 0, 0, 0, 1), 1);  // no editor yet
  int calls = 0;
  maps::SetMp1ScatterHook([&calls]() -> uint8_t {
    ++calls;
    return 0;
  });
  EXPECT_EQ(maps::SetCurMap(0, 0, 0, 1, 0, 0, 0, 1), 0);
  EXPECT_EQ(maps::SetCurMap(0, 0, 0, 1, 0, 0, 0, 0), 1);
  EXPECT_EQ(maps::SetCurMap(40, 0, 0, 1, 0, 0, 0, 1), 0);
  EXPECT_EQ(calls, 1);
}

TEST_F(Map1Test, DefaultsOfMap3) {
  std::memset(ecu::ecuMapData, 0x5A, ecu::kMapSize);
  maps::InitMp1Data(3);
  maps::idCurMap = 3;
  maps::CellArray x, y, z;
  double sz = 0;
  ASSERT_EQ(maps::GetCurMapInfo(&x, &y, &z, nullptr, nullptr, nullptr, nullptr, nullptr, &sz), 1);
  for (int i = 0; i < maps::kMapCells; ++i) ASSERT_EQ(z.Get(i), 1000);
  EXPECT_EQ(z.Get(0) / sz, 1.0);
  for (int i = 0; i < 32; ++i) EXPECT_EQ(x.Get(i), 0);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(y.Get(i), maps::bpMapThrottle[i]);
  EXPECT_EQ(ecu::ecuMapData[maps::kSingleMatrixOffset], 0x5A & 0xFE);
  EXPECT_EQ(ecu::ecuMapData[maps::kNotesOffset], 0);
  EXPECT_EQ(com::Get32LE(ecu::ecuMapData + ecu::kMapBikeOffset), 0xFF0000u);
  // Map 4, lying before map 3, and the map block beyond map 5 are untouched.
  EXPECT_EQ(ecu::ecuMapData[4512], 0x5A);
  EXPECT_EQ(ecu::ecuMapData[7280], 0x5A);
}

TEST_F(Map1Test, DefaultsOfEveryMap) {
  struct Case {
    int id;
    uint32_t from, to;  // bytes written
    int16_t cell;
  } const cases[] = {{1, 464, 3128, 0}, {2, 3128, 4512, 0}, {4, 4512, 5896, 0}, {5, 7280, 8664, 1000}};
  for (const Case& c : cases) {
    std::memset(ecu::ecuMapData, 0x5A, ecu::kMapSize);
    maps::InitMp1Data(c.id);
    if (c.from - 1 >= maps::kNotesOffset + maps::kNotesSize) {  // map 1 follows the notes
      EXPECT_EQ(ecu::ecuMapData[c.from - 1], 0x5A) << c.id;
    }
    EXPECT_EQ(ecu::ecuMapData[c.to], 0x5A) << c.id;
    EXPECT_EQ(static_cast<int16_t>(com::Get16LE(ecu::ecuMapData + c.from)), c.cell) << c.id;
    EXPECT_EQ(static_cast<int16_t>(com::Get16LE(ecu::ecuMapData + c.to - 42)), 0) << c.id;  // last X point
    const int16_t lastY = c.id == 5 ? 0 : 1000;
    EXPECT_EQ(static_cast<int16_t>(com::Get16LE(ecu::ecuMapData + c.to - 2)), lastY) << c.id;
  }
  // Another id resets only the shared fields.
  std::memset(ecu::ecuMapData, 0x5A, ecu::kMapSize);
  maps::InitMp1Data(9);
  EXPECT_EQ(com::Get32LE(ecu::ecuMapData + ecu::kMapBikeOffset), 0xFF0000u);
  EXPECT_EQ(ecu::ecuMapData[464], 0x5A);
}

}  // namespace
