// Differences named by the pages' field tables: scalars, curve elements, table cells,
// signed values, toggles, values finer than their decimals, and the bytes that no table
// describes, as lines and as CSV.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "cli/fieldnames.h"
#include "ecudata/blockdiff.h"
#include "ecudata/image.h"
#include "link/bytes.h"

namespace {

using Block = std::vector<uint8_t>;

void Put(Block& b, uint32_t offset, int bytes, int64_t raw) {
  if (bytes == 1) b[offset] = static_cast<uint8_t>(raw);
  if (bytes == 2) com::Put16LE(b.data() + offset, static_cast<uint16_t>(raw));
  if (bytes == 4) com::Put32LE(b.data() + offset, static_cast<uint32_t>(raw));
}

Block Empty(int type) {
  Block b(ecu::BlockSize(type), 0);
  if (type == ecu::kMapType) com::Put32LE(b.data() + 11876, 0xFF0000);  // bike not set
  return b;
}

TEST(FieldDiff, EachDifferingElementByItsNameInDisplayUnits) {
  const int M = ecu::kMapType, P = ecu::kParType;
  const struct {
    int type;
    uint32_t offset;
    int bytes;
    int64_t a, b;
    const char* line;
  } cases[] = {
      {M, 11586, 2, 1950, 1985, "NUMwheelCirc: 1950 -> 1985 (+35)"},
      {M, 11706 + 2 * 2, 2, 100, 250, "NUMthrAtransP_3: 10.0 -> 25.0 (+15.0)"},
      {M, 11160 + 2 * 4, 2, 0, 1205, "TABpreInj  column 5  row 2: 0.0 -> 120.5 (+120.5)"},
      // A cell of a map table: rows and columns 2.. of its table control.
      {M, 9784 + 2 * (2 * 16 + 3), 2, 1000, 875, "TABmapKjDtc  column 5  row 4: 1.000 -> 0.875 (-0.125)"},
      // A field of a 14-byte level record, element 3 of its four bytes in columns 8..11 of the table.
      {M, 11892 + 14 * 5 + 8 + 2, 1, 3, 7, "TABlevelDtc  column 10  row 6: 3 -> 7 (+4)"},
      {M, 11808, 2, 15, -25, "NUMddgAdvCutOff1: 1.5 -> -2.5 (-4.0)"},
      {M, 11840, 2, 250, 300, "map11840: 250 -> 300 (+50)"},
      {M, 11888, 1, 1, 2, "RINGtypeDTC: 1 -> 2"},
      {M, 9000, 2, 0, 1234, "Offset 9000: 0 -> 1234 (+1234)"},
      {P, 600, 2, 0, 256, "TABth2o  column 5  row 2: 0.0 -> 25.6 (+25.6)"},
      {P, 528 + 2 * 15, 2, 1000, 990, "TABfarf  column 16  row 3: 100.0 -> 99.0 (-1.0)"},
      {P, 1136, 4, 65536 * 3, 65536 * 3 + 1, "NUMidlKp: 3.00 (raw 196608) -> 3.00 (raw 196609) (+0.00)"},
      {P, 1136, 4, 0, -1, "NUMidlKp: 0.00 (raw 0) -> 0.00 (raw -1) (-0.00)"},
      {P, 1211, 1, 0, 1, "TBdropSwitchOn: 0 -> 1"},
      {P, 1206, 1, 0, 9, "constant1205_2: 0 -> 9 (+9)"},
      {P, 1202, 2, 150, 100, "NUMpercFuelReserve: 15.0 -> 10.0 (-5.0)"},
      {P, 1232, 2, 0x3200, 0x3204, "Offset 1232: 12800 -> 12804 (+4)"},  // CAN frame 1
      {P, 1274, 2, 0, -1, "Offset 1274: 0 -> 65535 (+65535)"},
  };
  for (const auto& c : cases) {
    Block a = Empty(c.type), b = Empty(c.type);
    Put(a, c.offset, c.bytes, c.a);
    Put(b, c.offset, c.bytes, c.b);
    const std::vector<ecu::BlockDifference> d = cli::DiffNamedBlocks(c.type, a.data(), b.data());
    ASSERT_EQ(d.size(), 1u) << c.line;
    EXPECT_EQ(ecu::DiffLine(d[0]), c.line);
  }
}

TEST(FieldDiff, MapsComeFirstAndEveryDifferenceOnceInCsv) {
  Block a = Empty(ecu::kMapType), b = a;
  Put(b, 3128, 2, 5);          // an advance cell of map 2
  Put(b, 11586, 2, 2000);      // NUMwheelCirc
  Put(b, 11706 + 14, 2, -10);  // NUMthrAtransP_8, below its range
  Put(b, 11161, 1, 1);         // high byte of a cell of TABpreInj
  Put(b, 12342, 1, 7);         // a byte no table owns
  const std::vector<ecu::BlockDifference> d = cli::DiffNamedBlocks(ecu::kMapType, a.data(), b.data());
  std::vector<std::string> rows;
  for (const ecu::BlockDifference& x : d) rows.push_back(ecu::DiffCsvRow(x));
  const std::vector<std::string> expected = {
      "Advance,,0 RPM (point 1),0.0 (point 1),0.0,0.5,+0.5",
      "TABpreInj,,column 1,row 2,0.0,25.6,+25.6",
      "NUMwheelCirc,,,,0,2000,+2000",
      "NUMthrAtransP_8,,,,0.0,-1.0,-1.0",
      "Offset 12342,,,,0,7,+7",
  };
  EXPECT_EQ(rows, expected);

  // Without tables the same bytes are words by their offsets.
  EXPECT_EQ(ecu::DiffLine(ecu::DiffBlocks(ecu::kMapType, a.data(), b.data())[1]),
            "Offset 11160: 0 -> 256 (+256)");
  EXPECT_TRUE(cli::FieldTablesOf(3).empty());
}

}  // namespace

namespace {

// Every named element of every table, changed alone, is listed once under its own name:
// no table reaches outside its block or lies under a map or another table's field.
TEST(FieldDiff, EveryNamedElementIsListedUnderItsName) {
  for (int type : {ecu::kParType, ecu::kMapType}) {
    const Block a = Empty(type);
    for (std::span<const ecu::Field> table : cli::FieldTablesOf(type)) {
      for (const ecu::Field& f : table) {
        if (f.control[0] == '\0') continue;
        for (int r = 0; r < f.rows; ++r) {
          for (int c = 0; c < f.cols; ++c) {
            Block b = a;
            ecu::SetRaw(b.data(), f, ecu::GetRaw(a.data(), f, r, c) + 1, r, c);
            const std::vector<ecu::BlockDifference> d = cli::DiffNamedBlocks(type, a.data(), b.data());
            ASSERT_EQ(d.size(), 1u) << f.control << " " << r << "," << c;
            EXPECT_EQ(d[0].item.rfind(f.control, 0), 0u) << ecu::DiffLine(d[0]);
          }
        }
      }
    }
  }
}

}  // namespace
