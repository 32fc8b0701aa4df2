// One map as CSV text and back: formatting in display units, the strict reader, the
// checks that refuse a text whole, and what an import writes.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "ecudata/image.h"
#include "link/bytes.h"
#include "maps/map1.h"
#include "maps/mapcsv.h"

namespace {

using Block = std::vector<uint8_t>;

// Places written out here rather than taken from the catalogue, so a wrong place shows.
struct Place {
  uint32_t matrix, x, y;
};
const Place kPlaces[] = {
    {464, 3024, 3088}, {3128, 4408, 4472}, {5896, 7176, 7240}, {4512, 5792, 5856}, {7280, 8560, 8624}};
constexpr uint32_t kMap1Plane2 = 464 + 1280;
const int16_t kThrottle[20] = {0,   20,  40,  60,  80,  100, 125, 150, 200, 250,
                               300, 350, 400, 450, 500, 600, 700, 800, 900, 1000};

void Put(Block& b, uint32_t offset, int i, int16_t v) {
  com::Put16LE(b.data() + offset + 2 * i, static_cast<uint16_t>(v));
}
int16_t Get(const Block& b, uint32_t offset, int i) {
  return static_cast<int16_t>(com::Get16LE(b.data() + offset + 2 * i));
}

// A map block whose every byte is set (so a stray write shows), with valid axes on
// every map: X = 10 * c, Y = the throttle axis (map 5: -300 + 20 * r), cells 0.
Block MakeBlock() {
  Block b(ecu::kMapSize);
  for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<uint8_t>(i * 7 + 3);
  b[maps::kSingleMatrixOffset] = 0xFE;  // single-matrix flag clear, the other bits set
  for (int id = 1; id <= 5; ++id) {
    const Place& p = kPlaces[id - 1];
    for (int c = 0; c < 32; ++c) Put(b, p.x, c, static_cast<int16_t>(10 * c));
    for (int r = 0; r < 20; ++r) Put(b, p.y, r, id == 5 ? static_cast<int16_t>(-300 + 20 * r) : kThrottle[r]);
    for (int i = 0; i < 640; ++i) Put(b, p.matrix, i, 0);
    if (id == 1)
      for (int i = 0; i < 640; ++i) Put(b, kMap1Plane2, i, 0);
  }
  return b;
}

std::vector<std::vector<std::string>> Fields(const std::string& csv) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream in(csv);
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> row;
    std::string field;
    std::istringstream fields(line);
    while (std::getline(fields, field, ',')) row.push_back(field);
    if (!line.empty() && line.back() == ',') row.push_back("");
    rows.push_back(row);
  }
  return rows;
}

// Replaces field `field` (1-based) of line `line` (1-based) of a CSV text.
std::string WithField(const std::string& csv, int line, int field, const std::string& value) {
  std::vector<std::string> lines;
  std::istringstream in(csv);
  std::string l;
  while (std::getline(in, l)) lines.push_back(l);
  std::string& target = lines.at(static_cast<size_t>(line - 1));
  size_t start = 0;
  for (int f = 1; f < field; ++f) start = target.find(',', start) + 1;
  const size_t end = target.find(',', start);
  target.replace(start, end == std::string::npos ? std::string::npos : end - start, value);
  std::string out;
  for (const std::string& s : lines) out += s + "\n";
  return out;
}

// Line `n` (1-based) of a text, without its line end.
std::string Line(const std::string& csv, int n) {
  std::istringstream in(csv);
  std::string l;
  for (int i = 0; i < n; ++i) std::getline(in, l);
  return l;
}

// The text with the last field of line `n` removed.
std::string DropLastField(const std::string& csv, int n) {
  size_t start = 0;
  for (int i = 1; i < n; ++i) start = csv.find('\n', start) + 1;
  const size_t end = csv.find('\n', start);
  const size_t comma = csv.rfind(',', end);
  return csv.substr(0, comma) + csv.substr(end);
}

TEST(MapCsv, ExportsEveryMapInDisplayUnitsWithItsPrecision) {
  struct Case {
    int id, plane;
    uint32_t matrix;
    int row, col;
    int16_t raw;
    const char* cell;   // the cell as exported
    const char* x1;     // X breakpoint of column 1 (raw 10)
    const char* yLast;  // Y breakpoint of row 19
  } const cases[] = {
      {1, 0, 464, 3, 4, 12345, "12.345", "10", "100.0"},
      {1, 1, kMap1Plane2, 19, 31, 7, "0.007", "10", "100.0"},
      {2, 0, 3128, 0, 0, -1, "-0.1", "10", "100.0"},
      {2, 0, 3128, 10, 5, 7200, "720.0", "10", "100.0"},
      {3, 0, 5896, 2, 2, 1000, "1.000", "10", "100.0"},
      {4, 0, 4512, 7, 30, -7200, "-720.0", "10", "100.0"},
      {5, 0, 7280, 1, 1, 32000, "32.000", "10", "8.0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "map " << c.id << " plane " << c.plane);
    Block b = MakeBlock();
    Put(b, c.matrix, c.row * 32 + c.col, c.raw);
    const std::string csv = maps::ExportMapCsv(b.data(), c.id, c.plane);
    const auto rows = Fields(csv);
    ASSERT_EQ(rows.size(), 21u);
    for (const auto& row : rows) ASSERT_EQ(row.size(), 33u);
    EXPECT_EQ(rows[0][0], "");
    EXPECT_EQ(rows[0][1], "0");
    EXPECT_EQ(rows[0][2], c.x1);
    EXPECT_EQ(rows[20][0], c.yLast);
    EXPECT_EQ(rows[1 + c.row][1 + c.col], c.cell);
    // A zero cell with the value's decimals.
    const int other = c.col == 0 ? 2 : 1;
    EXPECT_EQ(rows[1 + c.row][other], c.id == 2 || c.id == 4 ? "0.0" : "0.000");
    EXPECT_EQ(csv.back(), '\n');
  }
  // Map 5's own Y axis, negative temperatures included; the second plane of map 1 is its own.
  const Block b = MakeBlock();
  EXPECT_EQ(Fields(maps::ExportMapCsv(b.data(), 5, 0))[1][0], "-30.0");
  EXPECT_EQ(maps::ExportMapCsv(b.data(), 2, 1), "");
  EXPECT_EQ(maps::ExportMapCsv(b.data(), 6, 0), "");
}

TEST(MapCsv, DisplayTextAndRounding) {
  struct Format {
    int32_t raw;
    double scale;
    int decimals;
    const char* text;
  } const formats[] = {
      {0, 1, 0, "0"},          {-32768, 1, 0, "-32768"},   {5, 10, 1, "0.5"},         {-5, 10, 1, "-0.5"},
      {-1, 1000, 3, "-0.001"}, {32000, 1000, 3, "32.000"}, {12, 10, 2, "1.20"},       {12, 1, 1, "12.0"},
      {1, 65536, 4, "0.0000"}, {-1, 65536, 4, "0.0000"},   {32768, 65536, 2, "0.50"},
  };
  for (const Format& f : formats) EXPECT_EQ(maps::FormatDisplay(f.raw, f.scale, f.decimals), f.text) << f.raw;

  struct Round {
    double display, scale, raw;
  } const rounds[] = {
      {12.345, 1000, 12345}, {0.0005, 1000, 1}, {-0.0005, 1000, -1}, {0.0004, 1000, 0}, {-0.05, 10, -1},
      {0.04, 10, 0},         {2.5, 1, 3},       {-2.5, 1, -3},       {0, 10, 0},        {-720, 10, -7200},
  };
  for (const Round& r : rounds) EXPECT_EQ(maps::DisplayToRaw(r.display, r.scale), r.raw) << r.display;
}

TEST(MapCsv, MapNames) {
  const std::pair<const char*, int> names[] = {
      {"1", 1}, {"injection", 1}, {"advance", 2}, {"injvel", 3},  {"4", 4}, {"advvel", 4},    {"cranking", 5},
      {"5", 5}, {"0", 0},         {"6", 0},       {"Advance", 0}, {"", 0},  {"injection ", 0}};
  for (const auto& [word, id] : names) EXPECT_EQ(maps::ParseMapId(word), id) << word;
}

TEST(MapCsv, ImportRoundTripChangesOnlyTheEditedCell) {
  for (int id = 1; id <= 5; ++id) {
    SCOPED_TRACE(id);
    Block b = MakeBlock();
    const Place& p = kPlaces[id - 1];
    for (int i = 0; i < 640; ++i) Put(b, p.matrix, i, static_cast<int16_t>(id == 2 || id == 4 ? i - 320 : i));
    const std::string csv = maps::ExportMapCsv(b.data(), id, 0);

    // Reading the export back changes nothing.
    Block same = b;
    std::string error;
    ASSERT_TRUE(maps::ImportMapCsv(csv, same.data(), id, 0, &error)) << error;
    EXPECT_EQ(same, b);

    // Edit row 4, column 9 (line 6, field 11): only its two bytes change.
    const std::string edited = WithField(csv, 6, 11, id == 2 || id == 4 ? "-12.3" : "1.234");
    Block after = b;
    ASSERT_TRUE(maps::ImportMapCsv(edited, after.data(), id, 0, &error)) << error;
    const uint32_t cell = p.matrix + 2 * (4 * 32 + 9);
    for (uint32_t i = 0; i < after.size(); ++i)
      if (i != cell && i != cell + 1) {
        ASSERT_EQ(after[i], b[i]) << "byte " << i;
      }
    EXPECT_EQ(Get(after, p.matrix, 4 * 32 + 9), id == 2 || id == 4 ? -123 : 1234);
  }
}

TEST(MapCsv, ImportWritesTheAxesAndThePlaneOfTheCylinder) {
  Block b = MakeBlock();
  std::string csv = maps::ExportMapCsv(b.data(), 1, 0);
  csv = WithField(csv, 1, 2, "5");         // X point 1
  csv = WithField(csv, 2, 2, "0.5");       // row 0, column 0
  csv = WithField(csv, 21, 33, "31.999");  // row 19, column 31
  std::string error;
  Block plane2 = b;
  ASSERT_TRUE(maps::ImportMapCsv(csv, plane2.data(), 1, 1, &error)) << error;
  EXPECT_EQ(Get(plane2, 3024, 0), 5);
  EXPECT_EQ(Get(plane2, kMap1Plane2, 0), 500);
  EXPECT_EQ(Get(plane2, kMap1Plane2, 639), 31999);
  EXPECT_EQ(Get(plane2, 464, 0), 0);  // cylinder 1 keeps its cells

  // With the single-matrix flag set one import writes both planes; plane 2 alone is refused.
  b[maps::kSingleMatrixOffset] |= 1;
  Block both = b;
  ASSERT_TRUE(maps::ImportMapCsv(csv, both.data(), 1, 0, &error)) << error;
  EXPECT_EQ(Get(both, 464, 0), 500);
  EXPECT_EQ(Get(both, kMap1Plane2, 0), 500);
  EXPECT_EQ(Get(both, kMap1Plane2, 639), 31999);
  Block refused = b;
  EXPECT_FALSE(maps::ImportMapCsv(csv, refused.data(), 1, 1, &error));
  EXPECT_NE(error.find("single-matrix"), std::string::npos) << error;
  EXPECT_EQ(refused, b);
  EXPECT_FALSE(maps::ImportMapCsv(csv, refused.data(), 2, 1, &error));  // one plane only
  EXPECT_EQ(refused, b);
}

TEST(MapCsv, ImportAcceptsSpreadsheetHabits) {
  const Block b = MakeBlock();
  std::string csv = maps::ExportMapCsv(b.data(), 2, 0);
  std::string crlf;
  for (char c : csv) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  const std::vector<std::string> variants = {
      crlf,                                                  // Windows line ends
      "\xEF\xBB\xBF" + csv,                                  // byte-order mark
      csv.substr(0, csv.size() - 1),                         // no final line end
      WithField(csv, 1, 1, "RPM"),                           // a label in the corner
      WithField(csv, 3, 5, " \"0.0\" "),                     // blanks and quotes around a number
      WithField(WithField(csv, 3, 6, "+0"), 3, 7, "-0.00"),  // signs, more decimals
      WithField(csv, 3, 8, "1e1"),                           // exponent: 10.0
  };
  for (const std::string& text : variants) {
    Block into = b;
    std::string error;
    EXPECT_TRUE(maps::ImportMapCsv(text, into.data(), 2, 0, &error)) << error;
  }
  Block into = b;
  ASSERT_TRUE(maps::ImportMapCsv(WithField(csv, 3, 8, "1e1"), into.data(), 2, 0, nullptr));
  EXPECT_EQ(Get(into, 3128, 32 + 6), 100);
}

TEST(MapCsv, RefusedTextsNameLineAndFieldAndLeaveTheBlock) {
  const Block b = MakeBlock();
  const std::string adv = maps::ExportMapCsv(b.data(), 2, 0);
  const std::string inj = maps::ExportMapCsv(b.data(), 1, 0);
  const std::string vel = maps::ExportMapCsv(b.data(), 3, 0);
  const std::string crank = maps::ExportMapCsv(b.data(), 5, 0);
  const std::string lines20 = adv.substr(0, adv.rfind('\n', adv.size() - 2) + 1);
  struct Case {
    const char* what;
    int id;
    std::string text;
    const char* error;
  } const cases[] = {
      {"empty", 2, "", "line 1: missing"},
      {"20 lines", 2, lines20, "line 21: missing"},
      {"22 lines", 2, adv + Line(adv, 2) + "\n", "line 22: one line too many"},
      {"blank line at the end", 2, adv + "\n", "line 22"},
      {"32 fields", 2, DropLastField(adv, 2), "line 2: 32 fields, expected 33"},
      {"34 fields", 2, WithField(adv, 5, 3, "1.0,2.0"), "line 5: 34 fields, expected 33"},
      {"semicolons", 2, WithField(adv, 4, 2, "1;2"), "line 4, field 2: '1;2' is not a number"},
      {"word", 2, WithField(adv, 7, 9, "abc"), "line 7, field 9: 'abc' is not a number"},
      {"escape bytes", 2, WithField(adv, 7, 9, "1\x1B[2J\xB0"), "line 7, field 9: '1?[2J?' is not a number"},
      {"empty field", 2, WithField(adv, 7, 10, " "), "line 7, field 10: empty field"},
      {"decimal comma", 2, WithField(adv, 7, 10, "\"1,5\""), "line 7: 34 fields"},
      {"nan", 2, WithField(adv, 8, 4, "nan"), "line 8, field 4: 'nan' is not a number"},
      {"inf", 2, WithField(adv, 8, 4, "-inf"), "line 8, field 4: '-inf' is not a number"},
      {"hex", 2, WithField(adv, 8, 4, "0x10"), "line 8, field 4: '0x10' is not a number"},
      {"huge", 2, WithField(adv, 8, 4, "1e400"), "line 8, field 4: '1e400' is not a number"},
      {"two points", 2, WithField(adv, 8, 4, "1.2.3"), "line 8, field 4"},
      {"advance above 720", 2, WithField(adv, 9, 4, "720.1"),
       "line 9, field 4: value 720.1 is outside the limits -720.0 to 720.0"},
      {"advance below -720", 2, WithField(adv, 9, 4, "-720.06"), "line 9, field 4: value -720.06 is outside"},
      {"injection above 32", 1, WithField(inj, 2, 2, "32.001"),
       "line 2, field 2: value 32.001 is outside the limits 0.000 to 32.000"},
      {"negative injection", 1, WithField(inj, 2, 2, "-0.001"), "line 2, field 2: value -0.001 is outside"},
      {"coefficient above 2", 3, WithField(vel, 21, 33, "2.001"),
       "line 21, field 33: value 2.001 is outside"},
      {"X above 20000", 2, WithField(adv, 1, 33, "20001"),
       "line 1, field 33: X breakpoint 20001 is outside the limits 0 to 20000"},
      {"X above 500", 3, WithField(vel, 1, 33, "501"),
       "line 1, field 33: X breakpoint 501 is outside the limits 0 to 500"},
      {"X decreasing", 2, WithField(adv, 1, 10, "95"),
       "line 1, field 11: X breakpoint 90 is lower than the one before (95)"},
      {"X decreasing map 5", 5, WithField(crank, 1, 3, "25"),
       "line 1, field 4: X breakpoint 20 is lower than the one before (25)"},
      {"not the throttle axis", 2, WithField(adv, 5, 1, "6.5"),
       "line 5, field 1: Y breakpoint 6.5 is not the fixed throttle axis, which has 6.0 here"},
      {"map 5 Y below -30", 5, WithField(crank, 2, 1, "-30.1"),
       "line 2, field 1: Y breakpoint -30.1 is outside the limits -30.0 to 250.0"},
      {"map 5 Y decreasing", 5, WithField(crank, 4, 1, "-30"),
       "line 4, field 1: Y breakpoint -30.0 is lower than the one before (-28.0)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Block into = b;
    std::string error;
    EXPECT_FALSE(maps::ImportMapCsv(c.text, into.data(), c.id, 0, &error));
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
    EXPECT_EQ(into, b);
  }
  // Equal neighbours are allowed, and a value a hair above the limit rounds onto it.
  Block into = b;
  std::string error;
  EXPECT_TRUE(
      maps::ImportMapCsv(WithField(WithField(inj, 1, 3, "0"), 2, 2, "32.0004"), into.data(), 1, 0, &error))
      << error;
  EXPECT_EQ(Get(into, 464, 0), 32000);
}

TEST(MapCsv, ADamagedThrottleAxisIsExportedAsStoredAndRefusedUntilFixed) {
  Block b = MakeBlock();
  Put(b, 4472, 3, 61);
  const std::string csv = maps::ExportMapCsv(b.data(), 2, 0);
  EXPECT_EQ(Fields(csv)[4][0], "6.1");
  Block into = b;
  std::string error;
  EXPECT_FALSE(maps::ImportMapCsv(csv, into.data(), 2, 0, &error));
  EXPECT_NE(error.find("line 5, field 1"), std::string::npos) << error;
  ASSERT_TRUE(maps::ImportMapCsv(WithField(csv, 5, 1, "6.0"), into.data(), 2, 0, &error)) << error;
  EXPECT_EQ(Get(into, 4472, 3), 60);
}

TEST(MapCsv, TheCatalogueSelectorsStayAsTheyWere) {
  maps::idCurMap = 3;
  maps::idCurJcyl = 1;
  maps::MapUnits u;
  ASSERT_TRUE(maps::GetMapUnits(2, &u));
  EXPECT_EQ(u.scaleZ, 10);
  EXPECT_EQ(u.minZ, -720);
  EXPECT_EQ(maps::idCurMap, 3);
  EXPECT_EQ(maps::idCurJcyl, 1);
  EXPECT_FALSE(maps::GetMapUnits(0, &u));
  maps::idCurMap = 1;
  maps::idCurJcyl = 0;
}

}  // namespace
