// Field tables: typed little-endian access, placement of grids, raw <-> shown with
// halves away from zero, saturation and clamping, element control names.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "ecudata/fields.h"

namespace {

using ecu::Field;
using ecu::FieldKind;
using ecu::FieldType;

Field Make(FieldType type, int32_t divisor, double min = 0, double max = 0) {
  Field f{};
  f.control = "NUMx";
  f.offset = 4;
  f.type = type;
  f.divisor = divisor;
  f.min = min;
  f.max = max;
  return f;
}

TEST(Fields, ShownToRawRoundsHalvesAwayFromZero) {
  const struct {
    FieldType type;
    int32_t divisor;
    double shown;
    int64_t raw;
  } cases[] = {
      {FieldType::S16, 1000, 0.0005, 1},   {FieldType::S16, 1000, -0.0005, -1},
      {FieldType::S16, 1, 2.5, 3},         {FieldType::S16, 1, -2.5, -3},
      {FieldType::S16, 10, 0.04, 0},       {FieldType::S16, 10, -0.04, 0},
      {FieldType::S16, 100, 12.125, 1213}, {FieldType::U16, 1000, 0.1, 100},
      {FieldType::S16, 10, -30.0, -300},   {FieldType::U16, 1000, 70.0, 65535},  // saturates to the type
      {FieldType::U16, 1, -5.0, 0},        {FieldType::S16, 1, -40000.0, -32768},
      {FieldType::U8, 1, 300.0, 255},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.shown);
    EXPECT_EQ(ecu::ToRaw(Make(c.type, c.divisor), c.shown), c.raw);
  }
}

TEST(Fields, TypedLittleEndianAccessAndSignedness) {
  std::vector<uint8_t> block(16, 0);
  const Field s16 = Make(FieldType::S16, 10);
  ecu::SetShown(block.data(), s16, -12.5);
  EXPECT_EQ(block[4], 0x83);  // -125 = 0xFF83, low byte first
  EXPECT_EQ(block[5], 0xFF);
  EXPECT_DOUBLE_EQ(ecu::GetShown(block.data(), s16), -12.5);
  // The same bytes read as unsigned are the two's complement.
  EXPECT_EQ(ecu::GetRaw(block.data(), Make(FieldType::U16, 1)), 0xFF83);
  const Field u32 = Make(FieldType::U32, 1);
  ecu::SetRaw(block.data(), u32, 0x12345678);
  EXPECT_EQ((std::array<uint8_t, 4>{block[4], block[5], block[6], block[7]}),
            (std::array<uint8_t, 4>{0x78, 0x56, 0x34, 0x12}));
  EXPECT_EQ(ecu::GetRaw(block.data(), Make(FieldType::S8, 1)), 0x78);
}

TEST(Fields, GridsAndRecordsArePlacedByTheirStrides) {
  // Four bytes at record offset 4 of three records of 14 bytes.
  Field f = Make(FieldType::U8, 1, 0, 20);
  f.offset = 100 + 4;
  f.rows = 3;
  f.cols = 4;
  f.rowStride = 14;
  f.colStride = 1;
  EXPECT_EQ(ecu::ElementOffset(f, 2, 3), 100u + 2 * 14 + 4 + 3);
  // A packed 8 x 16 grid of 16-bit values: rows follow each other.
  Field g = Make(FieldType::S16, 1);
  g.offset = 0;
  g.rows = 8;
  g.cols = 16;
  EXPECT_EQ(ecu::ElementOffset(g, 1, 0), 32u);
  EXPECT_EQ(ecu::ElementOffset(g, 7, 15), 2u * 127);

  std::vector<uint8_t> block(200, 0xEE);
  f.defaultRaw = 7;
  ecu::WriteDefaults(block.data(), std::span<const Field>(&f, 1));
  int written = 0;
  for (uint8_t b : block) written += b == 7;
  EXPECT_EQ(written, 12);
  EXPECT_EQ(block[100 + 14 + 3], 0xEE);  // record offset 3 is not part of the field
}

TEST(Fields, ClampToTheShownRange) {
  const Field temp = Make(FieldType::S16, 10, -30.0, 250.0);
  EXPECT_DOUBLE_EQ(ecu::ClampShown(temp, -40.0), -30.0);
  EXPECT_DOUBLE_EQ(ecu::ClampShown(temp, 300.0), 250.0);
  EXPECT_DOUBLE_EQ(ecu::ClampShown(temp, 12.3), 12.3);
  std::vector<uint8_t> block(8, 0);
  ecu::SetShown(block.data(), temp, 999.0);
  EXPECT_EQ(ecu::GetRaw(block.data(), temp), 2500);
  Field ring = Make(FieldType::U8, 1);
  ring.kind = FieldKind::Ring;
  EXPECT_DOUBLE_EQ(ecu::ClampShown(ring, 300), 255);
  Field factor = Make(FieldType::S16, 1000, 0, 2);
  factor.decimals = 3;
  EXPECT_EQ(ecu::FormatShown(factor, -0.2), "-0.200");
}

TEST(Fields, ElementControlsAreFoundByName) {
  Field curve = Make(FieldType::S16, 10);
  curve.control = "NUMthrAtransP";
  curve.cols = 8;
  Field table = Make(FieldType::S16, 1);
  table.control = "TABx";
  table.cols = 16;
  table.row = 0;
  table.col = 0;
  const Field fields[] = {curve, table};
  EXPECT_EQ(ecu::ElementControl(curve, 2), "NUMthrAtransP_3");
  EXPECT_EQ(ecu::FindField(fields, "NUMthrAtransP_8"), &fields[0]);
  for (const char* absent : {"NUMthrAtransP_9", "NUMthrAtransP_0", "NUMthrAtransP_",
                             "NUMthrAtransP_99999999999", "TABx_1", "NUMthr"})
    EXPECT_EQ(ecu::FindField(fields, absent), nullptr) << absent;
  EXPECT_EQ(ecu::FindField(fields, "TABx"), &fields[1]);
}

}  // namespace
