// Differences between two map blocks or two configuration blocks, as lines and as CSV.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ecudata/blockdiff.h"
#include "ecudata/image.h"
#include "link/bytes.h"
#include "maps/map1.h"

namespace {

using Block = std::vector<uint8_t>;

void Put(Block& b, uint32_t offset, int i, int16_t v) {
  com::Put16LE(b.data() + offset + 2 * i, static_cast<uint16_t>(v));
}

const int16_t kThrottle[20] = {0,   20,  40,  60,  80,  100, 125, 150, 200, 250,
                               300, 350, 400, 450, 500, 600, 700, 800, 900, 1000};

// A map block with rising X axes (500 rpm steps on maps 1 and 2) and the throttle axis.
Block MakeMapBlock() {
  Block b(ecu::kMapSize, 0);
  std::memcpy(b.data() + 32, "Q740_MAP_DATA_v1.00", 19);
  com::Put32LE(b.data() + 11876, 0xFF0000);  // bike not set
  for (uint32_t x : {3024u, 4408u})
    for (int c = 0; c < 32; ++c) Put(b, x, c, static_cast<int16_t>(500 * c));
  for (uint32_t y : {3088u, 4472u, 5856u, 7240u})
    for (int r = 0; r < 20; ++r) Put(b, y, r, kThrottle[r]);
  return b;
}

std::vector<std::string> Lines(const Block& a, const Block& b, int type = ecu::kMapType) {
  std::vector<std::string> lines;
  for (const ecu::BlockDifference& d : ecu::DiffBlocks(type, a.data(), b.data()))
    lines.push_back(ecu::DiffLine(d));
  return lines;
}

TEST(BlockDiff, EqualContentWithOtherStampsHasNoDifference) {
  const Block a = MakeMapBlock();
  Block b = a;
  std::memcpy(b.data(), "Other v9.9", 10);
  b[40] ^= 0x20;  // inside the data-version stamp
  EXPECT_TRUE(ecu::DiffBlocks(ecu::kMapType, a.data(), b.data()).empty());
  Block pa(ecu::kParSize, 0), pb(ecu::kParSize, 0);
  pb[5] = 'x';
  EXPECT_TRUE(ecu::DiffBlocks(ecu::kParType, pa.data(), pb.data()).empty());
  EXPECT_TRUE(ecu::DiffBlocks(3, a.data(), b.data()).empty());
}

TEST(BlockDiff, CellsAndBreakpointsInDisplayUnits) {
  const Block a = MakeMapBlock();
  Block b = a;
  Put(b, 3128, 8 * 32 + 11, 128);  // Advance, 5500 rpm, 20.0: 12.3 -> 12.8
  Put(b, 3128, 2 * 32 + 0, -5);    // a negative change
  Put(b, 464 + 1280, 0, 2500);     // Injection, cylinder 2
  Put(b, 464, 19 * 32 + 31, 1);    // Injection, cylinder 1
  Put(b, 4408, 4, 2100);           // Advance X axis point 5 (2000 -> 2100)
  Put(b, 8624, 0, -300);           // Cranking Y axis point 1
  Block a2 = a;
  Put(a2, 3128, 8 * 32 + 11, 123);
  const std::vector<std::string> lines = Lines(a2, b);
  const std::vector<std::string> expected = {
      "Injection cyl 1  15500 RPM  100.0: 0.000 -> 0.001 (+0.001)",
      "Injection cyl 2  0 RPM  0.0: 0.000 -> 2.500 (+2.500)",
      "Advance  X axis point 5: 2000 -> 2100 (+100)",
      "Advance  0 RPM  4.0: 0.0 -> -0.5 (-0.5)",
      "Advance  5500 RPM  20.0: 12.3 -> 12.8 (+0.5)",
      "Cranking Correction  Y axis point 1: 0.0 -> -30.0 (-30.0)",
  };
  EXPECT_EQ(lines, expected);
}

TEST(BlockDiff, APlaceNamesBothBreakpointsWhenTheyDifferAndThePointWhenNotUnique) {
  const Block a = MakeMapBlock();
  Block b = a;
  Put(b, 4408, 1, 600);            // X point 2: 500 -> 600
  Put(b, 3128, 0 * 32 + 1, 10);    // a cell in that column
  Put(b, 7280, 3 * 32 + 2, 1500);  // map 5: every X breakpoint is 0
  const std::vector<std::string> lines = Lines(a, b);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "Advance  X axis point 2: 500 -> 600 (+100)");
  EXPECT_EQ(lines[1], "Advance  500->600 RPM  0.0: 0.0 -> 1.0 (+1.0)");
  EXPECT_EQ(lines[2], "Cranking Correction  0 rev (point 3)  0.0 \u00B0C (point 4): 0.000 -> 1.500 (+1.500)");
}

TEST(BlockDiff, NotesFlagBikeAndTheOtherWords) {
  const Block a = MakeMapBlock();
  Block b = a;
  // Notes in Windows-1252: degree sign and euro sign, a line break, an escape byte, a
  // C1 control; bytes after the terminator are not part of the text.
  const char notes[] = "80\xB0 \x80 5\r\nnew\x1B[2J\x9D";
  std::memcpy(b.data() + 64, notes, sizeof notes);
  b[64 + sizeof notes + 3] = 'z';
  Block a2 = a;
  a2[64 + sizeof notes + 3] = 'y';
  b[11880] |= 1;                             // single matrix
  com::Put32LE(b.data() + 11876, 0x060508);  // a catalogued bike
  Put(b, 9000, 0, 1234);                     // correction tables beyond the maps
  const std::vector<std::string> lines = Lines(a2, b);
  const std::vector<std::string> expected = {
      "Notes: \"\" -> \"80\u00B0 \u20AC 5\\r\\nnew\\x1B[2J\\u009D\"",
      "Single matrix: off -> on",
      "Bike: not set (0xFF0000) -> Superbike 1098R (2008) (code 0x060508)",
      "Offset 9000: 0 -> 1234 (+1234)",
  };
  EXPECT_EQ(lines, expected);

  // The other bits of the flag byte are words like any other.
  Block c = a;
  c[11880] = 0x02;
  EXPECT_EQ(Lines(a, c), std::vector<std::string>{"Offset 11880: 0 -> 2 (+2)"});
}

TEST(BlockDiff, ConfigurationWordsByOffset) {
  Block a(ecu::kParSize, 0), b(ecu::kParSize, 0);
  com::Put16LE(a.data() + 600, 4660);
  com::Put16LE(b.data() + 600, 4661);
  b[1275] = 0x80;  // the high byte of the last word
  com::Put16LE(a.data() + 64, 10);
  const std::vector<std::string> expected = {
      "Offset 64: 10 -> 0 (-10)",
      "Offset 600: 4660 -> 4661 (+1)",
      "Offset 1274: 0 -> 32768 (+32768)",
  };
  EXPECT_EQ(Lines(a, b, ecu::kParType), expected);
}

TEST(BlockDiff, CsvRowsQuoteWhatASpreadsheetWouldMisread) {
  const Block a = MakeMapBlock();
  Block b = a;
  Put(b, 3128, 8 * 32 + 11, 5);
  const char notes[] = "=SUM(A1), \"quoted\"\nnext";
  std::memcpy(b.data() + 64, notes, sizeof notes);
  const std::vector<ecu::BlockDifference> d = ecu::DiffBlocks(ecu::kMapType, a.data(), b.data());
  ASSERT_EQ(d.size(), 2u);
  EXPECT_EQ(ecu::DiffCsvHeader(), "item,plane,x,y,a,b,change");
  EXPECT_EQ(ecu::DiffCsvRow(d[0]), "Advance,,5500 RPM,20.0,0.0,0.5,+0.5");
  EXPECT_EQ(ecu::DiffCsvRow(d[1]), "Notes,,,,,\"'=SUM(A1), \"\"quoted\"\"\nnext\",");
}

}  // namespace
