// The injection and advance correction editors' model: defaults, gather with the
// axis repair, and the value dialog's three options.
#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "ecudata/image.h"
#include "link/bytes.h"
#include "maps/advance.h"
#include "maps/corredit.h"
#include "maps/inject.h"

namespace {

using maps::CellRect;
using maps::CorrMode;

struct Block {
  std::array<uint8_t, 12344> b{};
  int16_t At(uint32_t offset, int i) const {
    return static_cast<int16_t>(com::Get16LE(b.data() + offset + 2 * i));
  }
  void Set(uint32_t offset, int i, int16_t v) {
    com::Put16LE(b.data() + offset + 2 * i, static_cast<uint16_t>(v));
  }
};

TEST(CorrEdit, DefaultsOfBothEditors) {
  Block k;
  std::memset(k.b.data(), 0x5A, k.b.size());
  maps::InitInjData(k.b.data());
  maps::InitAdvData(k.b.data());
  EXPECT_EQ(k.At(10904, 0), 1000);   // air correction 1.000
  EXPECT_EQ(k.At(11128, 15), 1000);  // barometric axis
  EXPECT_EQ(k.At(10392, 31), 180);   // phase
  EXPECT_EQ(k.At(10456, 31), 0);
  EXPECT_EQ(k.At(8920, 127), 1000);  // injection user map, cylinder 2
  EXPECT_EQ(k.At(9208, 7), 0);
  EXPECT_EQ(k.At(11224, 0), 0);
  EXPECT_EQ(k.At(11448, 0), 1000);
  EXPECT_EQ(k.At(9480, 127), 0);
  EXPECT_EQ(k.b[9784], 0x5A);  // the byte after the advance user map's Y axis stays
}

TEST(CorrEdit, PhaseBreakpointBelowItsNeighbourIsRaisedWithItsValue) {
  Block k;
  maps::InitInjData(k.b.data());
  const auto& ed = maps::InjEditor();
  auto shown = maps::ShowCorr(ed, k.b.data());
  const size_t phase = 4;
  ASSERT_STREQ(ed.curves[phase].control, "TABfase");
  for (int i = 0; i < 32; ++i) {
    shown.axis[phase][i] = 500.0 * i;
    shown.values[phase][i] = 100 + i;
  }
  shown.axis[phase][5] = 1200;  // below 2000 of point 4
  bool repaired = false;
  ASSERT_EQ(maps::GatherCorr(ed, shown, k.b.data(), &repaired), 1);
  EXPECT_TRUE(repaired);
  EXPECT_EQ(k.At(10456, 5), 2000);
  EXPECT_EQ(k.At(10392, 5), 104);
  EXPECT_EQ(k.At(10456, 6), 3000);
  EXPECT_EQ(k.At(10392, 6), 106);
  // A second gather of what is now shown changes nothing.
  ASSERT_EQ(maps::GatherCorr(ed, maps::ShowCorr(ed, k.b.data()), k.b.data(), &repaired), 1);
  EXPECT_FALSE(repaired);
}

TEST(CorrEdit, UserMapAxisRepairMovesColumnsAndRowsOfBothCylinders) {
  Block k;
  maps::InitAdvData(k.b.data());
  const auto& ed = maps::AdvEditor();
  auto shown = maps::ShowCorr(ed, k.b.data());
  for (int i = 0; i < 16; ++i) shown.x[i] = 1000.0 * i;
  for (int j = 0; j < 8; ++j) shown.y[j] = 10.0 * j;
  for (int cyl = 0; cyl < 2; ++cyl)
    for (int i = 0; i < 128; ++i) shown.cells[cyl][i] = (cyl + 1) * 0.1 * i;
  shown.x[3] = 500;  // below 2000
  shown.y[2] = 5;    // below 10
  ASSERT_EQ(maps::GatherCorr(ed, shown, k.b.data()), 1);
  EXPECT_EQ(k.At(9736, 3), 2000);
  EXPECT_EQ(k.At(9768, 2), 100);
  for (int cyl = 0; cyl < 2; ++cyl) {
    const uint32_t m = cyl == 0 ? 9224 : 9480;
    EXPECT_EQ(k.At(m, 0 * 16 + 3), k.At(m, 0 * 16 + 2)) << cyl;  // column 3 took column 2
    EXPECT_EQ(k.At(m, 5 * 16 + 3), k.At(m, 5 * 16 + 2)) << cyl;
    EXPECT_EQ(k.At(m, 2 * 16 + 7), k.At(m, 1 * 16 + 7)) << cyl;  // row 2 took row 1
    EXPECT_EQ(k.At(m, 1 * 16 + 7), (cyl + 1) * (16 + 7)) << cyl;
  }
}

TEST(CorrEdit, GatherRoundsAndKeepsWhatTheBlockHeld) {
  Block k;
  maps::InitInjData(k.b.data());
  const auto& ed = maps::InjEditor();
  k.Set(10392, 7, 800);  // a phase beyond 720 from a file survives every gather
  auto shown = maps::ShowCorr(ed, k.b.data());
  shown.values[0][1] = -0.0005;  // halves away from zero
  shown.values[0][2] = 1.2345;   // 1.235
  ASSERT_EQ(maps::GatherCorr(ed, shown, k.b.data()), 1);
  EXPECT_EQ(k.At(10904, 1), -1);
  EXPECT_EQ(k.At(10904, 2), 1235);
  EXPECT_EQ(k.At(10392, 7), 800);
  shown.values.pop_back();
  EXPECT_EQ(maps::GatherCorr(ed, shown, k.b.data()), 0);
}

TEST(CorrEdit, UneditedTablesKeepTheirBytesWhateverTheyHold) {
  // Falling axes, values beyond the limits and values finer than the tables' decimals:
  // a gather of what the tables show changes nothing; an edit repairs only its own axis.
  for (const maps::CorrEditor* ed : {&maps::InjEditor(), &maps::AdvEditor()}) {
    Block k;
    for (size_t i = 0; i < k.b.size(); ++i) k.b[i] = static_cast<uint8_t>(i * 37 + 11);
    const Block before = k;
    const auto shown = maps::ShowCorr(*ed, k.b.data());
    bool repaired = true;
    ASSERT_EQ(maps::GatherCorr(*ed, shown, k.b.data(), &repaired), 1);
    EXPECT_FALSE(repaired) << ed->title;
    EXPECT_EQ(k.b, before.b) << ed->title;

    auto edited = shown;
    edited.x[3] = edited.x[2] - 1;  // below its left neighbour: the user map's X axis is repaired
    ASSERT_EQ(maps::GatherCorr(*ed, edited, k.b.data(), &repaired), 1);
    EXPECT_TRUE(repaired) << ed->title;
    const auto& u = ed->user;
    for (int i = 1; i < maps::kUserCols; ++i) EXPECT_GE(k.At(u.xAxis, i), k.At(u.xAxis, i - 1)) << i;
    for (int j = 0; j < maps::kUserRows; ++j) EXPECT_EQ(k.At(u.yAxis, j), before.At(u.yAxis, j)) << j;
    for (size_t n = 0; n < ed->curves.size(); ++n)
      for (int i = 0; i < ed->curves[n].points; ++i)
        EXPECT_EQ(k.At(ed->curves[n].axis, i), before.At(ed->curves[n].axis, i)) << n << " " << i;
  }
}

TEST(CorrEdit, SetOnTheWholeTableChangesOnlyThatCylindersCells) {
  Block k;
  maps::InitInjData(k.b.data());
  const auto& ed = maps::InjEditor();
  const Block before = k;
  const CellRect all = maps::NormaliseUserSelection({0, 0, 9, 17}, 0, 0);
  EXPECT_EQ(all, (CellRect{1, 1, 8, 16}));
  ASSERT_EQ(maps::ApplyCorr(ed, k.b.data(), 1, CorrMode::Set, 1.100, all), 1);
  for (size_t i = 0; i < k.b.size(); i += 2) {
    const bool cyl2 = i >= 8920 && i < 8920 + 256;
    EXPECT_EQ(k.At(0, int(i / 2)), cyl2 ? 1100 : before.At(0, int(i / 2))) << i;
  }
}

TEST(CorrEdit, SelectionOnTheAxesAlone) {
  EXPECT_TRUE(maps::NormaliseUserSelection({0, 3, 1, 5}, 0, 3).Empty());  // X axis row
  EXPECT_TRUE(maps::NormaliseUserSelection({2, 0, 4, 1}, 2, 0).Empty());  // Y axis column
  EXPECT_EQ(maps::NormaliseUserSelection({0, 0, 1, 1}, 4, 6), (CellRect{4, 6, 1, 1}));
  EXPECT_EQ(maps::NormaliseUserSelection({0, 2, 3, 2}, 0, 2), (CellRect{1, 2, 2, 2}));
}

TEST(CorrEdit, OptionsQuantiseAndHoldToTheLimits) {
  struct Case {
    bool inject;
    CorrMode mode;
    int16_t cell;
    double v;
    int16_t stored;
  };
  const Case cases[] = {
      {true, CorrMode::Perc, 1500, 100.0, 2000},    // +100 % on 1.500, held at 2.000
      {true, CorrMode::Perc, 1000, 10.04, 1100},    // 10.0 %
      {true, CorrMode::Set, 1000, 1.2345, 1235},    // quantised before it is applied
      {true, CorrMode::Add, 300, -0.5, 0},          // held at 0
      {false, CorrMode::Add, -7000, -30.0, -7200},  // -700.0 - 30.0 gives -720.0
      {false, CorrMode::Perc, -100, -100.0, 0},    {false, CorrMode::Set, 0, -12.34, -123},
  };
  for (const Case& c : cases) {
    const auto& ed = c.inject ? maps::InjEditor() : maps::AdvEditor();
    Block k;
    maps::InitCorrData(ed, k.b.data());
    const uint32_t m = ed.user.matrix[0];
    k.Set(m, 2 * 16 + 3, c.cell);
    const CellRect one{3, 4, 1, 1};
    const auto preview = maps::PreviewCorr(ed, k.b.data(), 0, c.mode, c.v, one);
    ASSERT_EQ(preview.size(), 1u);
    EXPECT_NEAR(preview[0], c.stored / ed.user.valueScale, 1e-9) << c.v;
    EXPECT_EQ(k.At(m, 2 * 16 + 3), c.cell);  // the preview leaves the block alone
    ASSERT_EQ(maps::ApplyCorr(ed, k.b.data(), 0, c.mode, c.v, one), 1);
    EXPECT_EQ(k.At(m, 2 * 16 + 3), c.stored) << c.v;
  }
}

TEST(CorrEdit, DialogSetupPerOption) {
  const auto set = maps::PrepareCorrDialog(maps::InjEditor(), CorrMode::Set, 1.25);
  EXPECT_EQ(set.label, "[k]");
  EXPECT_DOUBLE_EQ(set.step, 0.001);
  EXPECT_DOUBLE_EQ(set.start, 1.25);
  EXPECT_EQ(set.decimals, 3);
  const auto add = maps::PrepareCorrDialog(maps::AdvEditor(), CorrMode::Add, 5);
  EXPECT_DOUBLE_EQ(add.min, -30.0);
  EXPECT_DOUBLE_EQ(add.start, 0);
  EXPECT_DOUBLE_EQ(add.step, 0.1);
  EXPECT_EQ(add.label, "[°]");
  const auto perc = maps::PrepareCorrDialog(maps::AdvEditor(), CorrMode::Perc, 5);
  EXPECT_EQ(perc.label, "[%]");
  EXPECT_DOUBLE_EQ(perc.step, 0.1);
  // The set option starts inside its range even for a cell beyond it.
  EXPECT_DOUBLE_EQ(maps::PrepareCorrDialog(maps::AdvEditor(), CorrMode::Set, -700).start, -90.0);
}

TEST(CorrEdit, WaterAndOilCurvesExcludeEachOther) {
  for (const auto* ed : {&maps::InjEditor(), &maps::AdvEditor()}) {
    int water = 0, oil = 0;
    for (const auto& k : ed->curves) {
      water += maps::CurveShown(k, false) && !maps::CurveShown(k, true);
      oil += maps::CurveShown(k, true) && !maps::CurveShown(k, false);
    }
    EXPECT_EQ(water, 1);
    EXPECT_EQ(oil, 1);
  }
}

}  // namespace

namespace {

// The map editor and a correction editor keep their own histories over the same block:
// undoing in one leaves the other's later edit in place.
TEST(CorrEdit, TwoHistoriesDoNotUndoEachOthersEdits) {
  std::memset(ecu::ecuMapData, 0, ecu::kMapSize);
  maps::InitInjData(ecu::ecuMapData);
  maps::EditHistory mapEditor, injection;
  mapEditor.Begin({});
  ecu::ecuMapData[100] = 7;  // a map cell
  mapEditor.Flush();         // the map editor was left
  injection.Begin({});
  ASSERT_EQ(maps::ApplyCorr(maps::InjEditor(), ecu::ecuMapData, 0, CorrMode::Set, 1.5, {1, 1, 1, 1}), 1);
  injection.Flush();
  ASSERT_TRUE(mapEditor.Undo());
  EXPECT_EQ(ecu::ecuMapData[100], 0);
  EXPECT_EQ(maps::UserCell(maps::InjEditor(), ecu::ecuMapData, 0, 0, 0), 1500);  // kept
  ASSERT_TRUE(injection.Undo());
  EXPECT_EQ(maps::UserCell(maps::InjEditor(), ecu::ecuMapData, 0, 0, 0), 1000);
  ASSERT_TRUE(mapEditor.Redo());
  EXPECT_EQ(ecu::ecuMapData[100], 7);
  EXPECT_EQ(maps::UserCell(maps::InjEditor(), ecu::ecuMapData, 0, 0, 0), 1000);
}

}  // namespace

namespace {

TEST(CorrEdit, CopyAndPasteCheckTheWholeBlockFirst) {
  Block k;
  const auto& ed = maps::AdvEditor();
  maps::InitAdvData(k.b.data());
  k.Set(9224, 0, -125);  // cylinder 1, cell (0, 0)
  k.Set(9224, 1, 300);
  k.Set(9736, 1, 2500);  // X axis
  const maps::CorrTable cyl1{-1, 0}, cyl2{-1, 1};
  EXPECT_EQ(maps::CopyCorrText(ed, k.b.data(), cyl1, {0, 0, 2, 3}), "0\t0\t2500\n0.0\t-12.5\t30.0\n");
  // The cylinder 2 table shows the axes of cylinder 1.
  EXPECT_EQ(maps::CopyCorrText(ed, k.b.data(), cyl2, {0, 1, 1, 2}), "0\t2500\n");

  const Block before = k;
  struct Refusal {
    maps::CorrTable table;
    const char* text;
    int row, col;
  } refusals[] = {
      {cyl2, "1\t2\n", 0, 1},                  // the axes are edited on cylinder 1
      {cyl1, "1\t2\n", 0, 0},                  // the corner
      {cyl1, "1\t800\n", 1, 1},                // outside -720 to 720
      {cyl1, "1\tx\n", 1, 1},                  // not a number
      {cyl1, "1\t2\t3\n", 1, 15},              // does not fit
      {maps::CorrTable{0, 0}, "200\n", 0, 0},  // air temperature axis beyond 150
  };
  for (const Refusal& r : refusals) {
    const auto result = maps::PasteCorrText(ed, k.b.data(), r.table, r.text, r.row, r.col);
    EXPECT_FALSE(result.ok) << r.text;
    EXPECT_FALSE(result.message.empty());
    EXPECT_EQ(k.b, before.b) << r.text;
  }
  const auto ok = maps::PasteCorrText(ed, k.b.data(), cyl2, "-12.5\t30.0\n", 1, 1);
  EXPECT_TRUE(ok.ok) << ok.message;
  EXPECT_EQ(k.At(9480, 0), -125);
  EXPECT_EQ(k.At(9480, 1), 300);

  // A pasted curve axis goes through the axis repair.
  ASSERT_TRUE(maps::PasteCorrText(ed, k.b.data(), maps::CorrTable{0, 0}, "20\t10\n1.5\t2.5\n", 0, 0).ok);
  EXPECT_EQ(k.At(11256, 0), 200);
  EXPECT_EQ(k.At(11256, 1), 200);
  EXPECT_EQ(k.At(11224, 1), 15);
}

}  // namespace
