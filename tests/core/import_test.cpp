// Import of configuration and mapping files of the two older data families.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/scripted_ui.h"
#include "ecudata/defaults.h"
#include "ecudata/ecudata.h"
#include "ecudata/image.h"
#include "ecudata/import.h"
#include "ecudata/init.h"
#include "link/bytes.h"
#include "link/utils.h"
#include "live/lineariz.h"
#include "maps/map1.h"
#include "old_data.h"
#include "test_support.h"

namespace {

using test_support::Bytes;
constexpr int kV12 = ecu::kImportV12, kTalaris = ecu::kImportTalaris;
constexpr int kNone = -1;

int16_t S16(const uint8_t* block, uint32_t offset) {
  return static_cast<int16_t>(com::Get16LE(block + offset));
}

// Puts an old file into its buffer and converts it into the working block.
void Convert(int type, int version, const Bytes& file) {
  ASSERT_EQ(file.size(), ecu::ImportSize(type, version));
  std::memcpy(ecu::ImportBuffer(type, version), file.data(), file.size());
  ecu::ConvertImportData(type, version);
}

// The defaults of a block as the window holds them at start-up: the pages' defaults over
// a block of zeros.
Bytes Defaults(int type) {
  std::memset(ecu::WorkingBlock(type), 0, ecu::BlockSize(type));
  if (type == ecu::kParType)
    ecu::InitConfigurationDefaults();
  else
    ecu::InitMappingDefaults();
  return Bytes(ecu::WorkingBlock(type), ecu::WorkingBlock(type) + ecu::BlockSize(type));
}

struct Copied {
  uint32_t to;
  int fromV12, fromTalaris;
  uint32_t size;
};

void ExpectCopies(const std::vector<Copied>& copies, int version, const Bytes& old, const uint8_t* block,
                  const Bytes& defaults) {
  for (const Copied& c : copies) {
    const int from = version == kV12 ? c.fromV12 : c.fromTalaris;
    for (uint32_t i = 0; i < c.size; ++i) {
      const uint8_t expected = from == kNone ? defaults[c.to + i] : old[from + i];
      ASSERT_EQ(block[c.to + i], expected)
          << "new offset " << c.to + i << (from == kNone ? " (default)" : "");
    }
  }
}

class ImportConfigurationTest : public ::testing::TestWithParam<int> {};

TEST_P(ImportConfigurationTest, CopiesTheSharedFieldsAndRebuildsTheThrottleAxis) {
  const int version = GetParam();
  const Bytes defaults = Defaults(ecu::kParType);
  const Bytes old = version == kV12 ? old_data::V12Configuration(4) : old_data::TalarisConfiguration();
  test_support::FillPattern(ecu::ecuParData, ecu::kParSize, 42);  // what the working block held before
  Convert(ecu::kParType, version, old);
  const uint8_t* block = ecu::ecuParData;

  ExpectCopies({{64, 0, 0, 400},
                {464, 528, 400, 64},
                {592, 656, 528, 64},
                {656, 720, kNone, 64},
                {720, 784, kNone, 64},
                {784, 848, kNone, 64},
                {848, 976, kNone, 64},
                {912, 1040, kNone, 64},
                {1040, 1168, 656, 96},
                {1136, 1264, 752, 4},
                {1140, 1268, 756, 4},
                {1144, 1272, 760, 4},
                {1148, 1276, kNone, 2},
                {1150, 1278, kNone, 2},
                {1187, 1309, kNone, 15},
                {1210, 1330, 790, 1},
                {1211, 1331, 791, 1},
                {1216, 1336, kNone, 1},
                {1272, 1392, 858, 2}},
               version, old, block, defaults);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(S16(block, 528 + 2 * i), live::bpLinearizThrottle[i]) << i;
  const int rebuilt[16] = {0, 66, 133, 200, 266, 333, 400, 466, 533, 600, 666, 733, 800, 866, 933, 1000};
  for (int i = 0; i < 16; ++i) EXPECT_EQ(S16(block, 560 + 2 * i), rebuilt[i]) << i;
  EXPECT_EQ(com::Get32LE(block + ecu::kParBikeOffset), version == kV12 ? 0x010807u : 0x060006u);
  // Fields the old layouts do not have keep the defaults, the rest of the old block is not used.
  for (uint32_t at : {976u, 1152u, 1160u, 1205u, 1220u, 1260u}) EXPECT_EQ(block[at], defaults[at]) << at;
}

INSTANTIATE_TEST_SUITE_P(Families, ImportConfigurationTest, ::testing::Values(kV12, kTalaris),
                         [](const auto& info) { return info.param == kV12 ? "V12" : "Talaris"; });

TEST(ImportConfiguration, RebuiltAxisTruncatesTowardZeroAlsoWhenFalling) {
  Convert(ecu::kParType, kV12, old_data::V12Configuration(0, 1000, 0));
  const int falling[16] = {1000, 934, 867, 800, 734, 667, 600, 534, 467, 400, 334, 267, 200, 134, 67, 0};
  for (int i = 0; i < 16; ++i) EXPECT_EQ(S16(ecu::ecuParData, 560 + 2 * i), falling[i]) << i;
  Convert(ecu::kParType, kV12, old_data::V12Configuration(0, -32768, 32767));
  EXPECT_EQ(S16(ecu::ecuParData, 560), -32768);
  EXPECT_EQ(S16(ecu::ecuParData, 562), -32768 + 65535 / 15);
  EXPECT_EQ(S16(ecu::ecuParData, 590), 32767);
}

TEST(ImportConfiguration, BikeSelectorsOfDataVersion12) {
  const struct {
    uint8_t selector;
    uint32_t word;
  } cases[] = {{0, 0x060408},  {1, 0x060509},  {2, 0x060109},  {3, 0x060006}, {4, 0x010807},
               {5, 0x010707},  {6, 0x010A08},  {7, 0x010A05},  {8, 0x010007}, {9, 0x000008},
               {10, 0x020207}, {11, 0xFF0000}, {255, 0xFF0000}};
  for (const auto& c : cases) {
    Convert(ecu::kParType, kV12, old_data::V12Configuration(c.selector));
    EXPECT_EQ(com::Get32LE(ecu::ecuParData + ecu::kParBikeOffset), c.word) << int(c.selector);
    Bytes map = old_data::V12Mapping(c.selector);
    Convert(ecu::kMapType, kV12, map);
    EXPECT_EQ(com::Get32LE(ecu::ecuMapData + ecu::kMapBikeOffset), c.word) << int(c.selector);
  }
}

class ImportMappingTest : public ::testing::TestWithParam<int> {};

TEST_P(ImportMappingTest, CopiesTheSharedFields) {
  const int version = GetParam();
  const Bytes defaults = Defaults(ecu::kMapType);
  Bytes old = version == kV12 ? old_data::V12Mapping() : old_data::TalarisMapping();
  old[version == kV12 ? 11207 : 11704] = 0xFF;  // only bit 0 is taken
  test_support::FillPattern(ecu::ecuMapData, ecu::kMapSize, 42);
  Convert(ecu::kMapType, version, old);
  const uint8_t* block = ecu::ecuMapData;

  std::vector<Copied> copies = {
      {64, 0, 0, 400},           {7280, 7216, 8600, 1384},   {10392, 9720, 9984, 128},
      {10520, 9848, 10496, 192}, {10712, 10040, 10688, 192}, {11480, 10808, 11328, 96},
      {11600, 10928, 11450, 96}, {11696, 11024, 11546, 10},  {11706, 11034, 11556, 96},
      {11802, 11130, 11652, 6},  {11808, 11136, 11658, 8},   {11816, 11144, kNone, 18},
      {11834, 11162, kNone, 1},  {11836, 11164, 11666, 18},  {11854, 11184, 11684, 12},
      {11866, 11198, 11696, 8},  {12340, 11218, 11716, 2}};
  if (version == kV12) {
    copies.push_back({8664, 8600, kNone, 560});
    copies.push_back({9224, 9160, kNone, 560});
    copies.push_back({10904, 10232, kNone, 576});
    copies.push_back({11576, 10904, kNone, 24});
  } else {
    const int runs[9] = {10880, 10944, 10944, 11008, 11072, 11136, 11200, 11200, 11264};
    for (int i = 0; i < 9; ++i) copies.push_back({10904u + 64 * i, kNone, runs[i], 64});
    copies.push_back({11576, kNone, 11424, 8});
    copies.push_back({11584, kNone, 11434, 16});
  }
  ExpectCopies(copies, version, old, block, defaults);
  EXPECT_EQ(com::Get32LE(block + ecu::kMapBikeOffset), 0x060006u);
  EXPECT_EQ(block[maps::kSingleMatrixOffset], (defaults[maps::kSingleMatrixOffset] & 0xFE) | 1);
  // Between the named fields the defaults stay (the gap before the bike word, the records after it).
  for (uint32_t at : {11874u, 11875u, 11881u, 11900u, 12300u}) EXPECT_EQ(block[at], defaults[at]) << at;
}

TEST_P(ImportMappingTest, RegridsTheThrottleMapsOntoTheFixedAxis) {
  const int version = GetParam();
  Convert(ecu::kMapType, version, version == kV12 ? old_data::V12Mapping() : old_data::TalarisMapping());
  const uint8_t* block = ecu::ecuMapData;
  const struct {
    uint32_t group;
    int tables;
  } groups[] = {{464, 2}, {3128, 1}, {4512, 1}, {5896, 1}};
  for (const auto& g : groups) {
    const uint32_t colAxis = g.group + g.tables * 1280, rowAxis = colAxis + 64;
    for (int r = 0; r < 20; ++r) ASSERT_EQ(S16(block, rowAxis + 2 * r), maps::bpMapThrottle[r]);
    for (int c = 0; c < 32; ++c) ASSERT_EQ(S16(block, colAxis + 2 * c), 500 + 250 * c);
    for (int k = 0; k < g.tables; ++k) {
      for (int r = 0; r < 20; ++r) {
        // Old rows lie every 50 on the old axis 0..950 and hold 10 per row: the new row
        // stands for t = (bp * 950 + 500) / 1000 and takes 10 * t / 50, rounded.
        const int t = (maps::bpMapThrottle[r] * 950 + 500) / 1000;
        const int lo = t / 50, within = t - 50 * lo;
        const int expectedRow = r == 0 ? 0 : r == 19 ? 190 : 10 * lo + (2 * within + 5) / 10;
        for (int c = 0; c < 32; ++c)
          ASSERT_EQ(S16(block, g.group + k * 1280 + 2 * (r * 32 + c)), expectedRow + c + 100 * k)
              << "group " << g.group << " table " << k << " row " << r << " col " << c;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Families, ImportMappingTest, ::testing::Values(kV12, kTalaris),
                         [](const auto& info) { return info.param == kV12 ? "V12" : "Talaris"; });

// One-table group at 3128 (old 3064): old row axis at 3064 + 1344.
constexpr old_data::OldGroup kGroup{3064, 1};
constexpr uint32_t kNewGroup = 3128;
int16_t NewCell(int r, int c) {
  return S16(ecu::ecuMapData, kNewGroup + 2 * (r * 32 + c));
}

TEST(ImportRegrid, TargetOnAPlateauTakesItsFirstRowWithNegativeCellsIntact) {
  Bytes old = old_data::V12Mapping();
  // Old axis 0, 50, ..., with rows 4 and 5 both at 200. New row 9 (throttle 250) stands
  // for t = (250 * 950 + 500) / 1000 = 238 on a 0..950 axis; put the plateau there.
  const int axis[20] = {0,   50,  100, 150, 200, 238, 238, 300, 350, 400,
                        450, 500, 550, 600, 650, 700, 750, 800, 900, 950};
  for (int r = 0; r < 20; ++r) old_data::Put(old, RowAxis(kGroup) + 2 * r, axis[r]);
  for (int c = 0; c < 32; ++c) {
    old_data::Put(old, Cell(kGroup, 0, 5, c), -3 - c);  // first row of the plateau
    old_data::Put(old, Cell(kGroup, 0, 6, c), 77);      // the other one is not used
  }
  Convert(ecu::kMapType, kV12, old);
  for (int c = 0; c < 32; ++c) EXPECT_EQ(NewCell(9, c), -3 - c) << c;
}

TEST(ImportRegrid, FallingRowsRoundToTheNearestValue) {
  Bytes old = old_data::V12Mapping();
  // Rows fall by 10 per old point: new row 1 (t = 19) lies 19/50 of the way from row 0
  // to row 1, 3.8 below row 0; row 5 (t = 95) lies exactly 9 below row 1.
  for (int r = 0; r < 20; ++r)
    for (int c = 0; c < 32; ++c) old_data::Put(old, Cell(kGroup, 0, r, c), -10 * r);
  Convert(ecu::kMapType, kV12, old);
  EXPECT_EQ(NewCell(1, 0), -4);
  EXPECT_EQ(NewCell(5, 0), -19);
  EXPECT_EQ(NewCell(19, 0), -190);
}

TEST(ImportRegrid, FallingOldAxisStaysInsideItsRange) {
  Bytes old = old_data::V12Mapping();
  // An old axis that falls from -20000 to -30000 (not a valid axis, but a file may hold
  // it): every target lies between its ends, at or below its first point, so every row
  // takes old row 0.
  for (int r = 0; r < 20; ++r) old_data::Put(old, RowAxis(kGroup) + 2 * r, -20000 - 10000 * r / 19);
  for (int r = 0; r < 20; ++r)
    for (int c = 0; c < 32; ++c) old_data::Put(old, Cell(kGroup, 0, r, c), 1000 + r);
  Convert(ecu::kMapType, kV12, old);
  for (int r = 1; r < 19; ++r) EXPECT_EQ(NewCell(r, 0), 1000) << r;
  EXPECT_EQ(NewCell(19, 0), 1019);
}

TEST(ImportRegrid, TalarisRowsAreHalvedWithNegativeValuesRoundedUp) {
  const Bytes defaults = Defaults(ecu::kMapType);
  Bytes old = old_data::TalarisMapping();
  // Group at 10112: row 0 = i, row 1 = -i, axis 10 i. Make a few pairs equal and negative.
  old_data::Put(old, 10112 + 64 + 2 * 4, -3);
  old_data::Put(old, 10112 + 64 + 2 * 5, -3);
  Convert(ecu::kMapType, kTalaris, old);
  const uint8_t* block = ecu::ecuMapData;
  for (uint32_t group : {8664u, 9224u}) {
    for (int j = 0; j < 16; ++j) {
      EXPECT_EQ(S16(block, group + 512 + 2 * j), 20 * j + 5) << j;  // (10 i + 10 (i + 1) + 1) / 2
      for (int row = 0; row < 8; ++row) {
        // (2j + 2j + 1 + 1) / 2 = 2j + 1; the negative row: (-2j - 2j - 1 + 1) / 2 = -2j.
        EXPECT_EQ(S16(block, group + 2 * (row * 16 + j)), 2 * j + 1) << group << " " << j;
        const int negative = group == 8664 && j == 2 ? -3 : -2 * j;
        EXPECT_EQ(S16(block, group + 256 + 2 * (row * 16 + j)), negative) << group << " " << j;
      }
    }
    for (uint32_t i = 544; i < 560; ++i) EXPECT_EQ(block[group + i], defaults[group + i]);  // row axis
  }
}

// ------------------------------------------------------------------------ ImportEcu

class ImportEcuTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/kestra-import-test.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    ecu::SetInitFilePath(dir + "/tarvenco.ini");
    ecu::cfg.parFilePath = "/somewhere/last.ecd";
    ecu::cfg.mapFilePath = "";
    ecu::InitStartupDefaults();
    ecu::SetBikeWord(ecu::kParType, 0x060006);
    ecu::InitEcuRefData();
    const char* previous = std::getenv("XDG_DATA_HOME");
    previousData = previous ? previous : "";
    hadData = previous != nullptr;
    setenv("XDG_DATA_HOME", (dir + "/data").c_str(), 1);
  }
  void TearDown() override {
    if (hadData)
      setenv("XDG_DATA_HOME", previousData.c_str(), 1);
    else
      unsetenv("XDG_DATA_HOME");
    ecu::SetInitFilePath("");
    std::filesystem::remove_all(dir);
  }
  std::string Write(const char* name, const Bytes& bytes) {
    const std::string path = dir + "/" + name;
    EXPECT_TRUE(test_support::WriteAll(path, bytes));
    return path;
  }

  testing_ui::ScriptedUi ui;
  std::string dir, previousData;
  bool hadData = false;
};

TEST_F(ImportEcuTest, ImportsStampsAndShowsTheName) {
  const std::string path = Write("old.emd", old_data::TalarisMapping());
  ui.files.push_back({com::FileSelect::Existing, dir + "/old.txt"});  // the extension is set
  EXPECT_EQ(ecu::ImportEcu(ecu::kMapType, kTalaris, com::kCursorWait), 1);
  ASSERT_EQ(ui.dialogs.size(), 1u);
  EXPECT_EQ(ui.dialogs[0].title, "Import ECU mapping data");
  EXPECT_EQ(ui.dialogs[0].proposal, "*.emd");
  EXPECT_EQ(ui.dialogs[0].extension, "emd");
  EXPECT_FALSE(ui.dialogs[0].save);
  EXPECT_TRUE(ui.popups.empty());  // both blocks name the same bike
  EXPECT_EQ(com::FieldText(ecu::ecuMapData, 32), "Kestra v1.3");
  EXPECT_EQ(com::FieldText(ecu::ecuMapData + 32, 32), "Q740_MAP_DATA_v1.00");
  EXPECT_EQ(ecu::IsEcuDataChanged(ecu::kMapType), 0);
  EXPECT_EQ(ui.GetConfigName(ecu::kMapType), "old");
  EXPECT_EQ(ecu::cfg.mapFilePath, "");  // the remembered path stays
  EXPECT_EQ(ui.cursors.back(), com::kCursorWait);
  // Nothing had changed: no restore point.
  EXPECT_FALSE(std::filesystem::exists(dir + "/data/kestra/restore"));

  // A configuration of data version 1.2 naming another bike warns after the import, and
  // the edited block it replaces is kept first.
  ecu::ecuParData[100] ^= 1;
  Write("older.ecd", old_data::V12Configuration(9));
  ui.files.push_back({com::FileSelect::Existing, dir + "/older.ecd"});
  EXPECT_EQ(ecu::ImportEcu(ecu::kParType, kV12, com::kCursorNormal), 1);
  EXPECT_EQ(ui.dialogs[1].title, "Import ECU configuration data");
  EXPECT_EQ(ui.dialogs[1].proposal, "last.ecd");
  EXPECT_EQ(ui.dialogs[1].directory, "/somewhere");
  ASSERT_EQ(ui.popups.size(), 1u);
  EXPECT_EQ(ui.popups[0].title, "Check type bike");
  EXPECT_EQ(ecu::GetBikeWord(ecu::kParType), 0x000008u);
  EXPECT_EQ(ecu::cfg.parFilePath, "/somewhere/last.ecd");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir + "/data/kestra/restore"),
                          std::filesystem::directory_iterator()),
            1);
}

TEST_F(ImportEcuTest, RefusedAndMissingFilesLeaveTheBlock) {
  const Bytes before(ecu::ecuMapData, ecu::ecuMapData + ecu::kMapSize);
  Bytes shortFile = old_data::TalarisMapping();
  shortFile.pop_back();  // 11717 bytes
  Write("short.emd", shortFile);
  Bytes v12 = old_data::V12Mapping();
  Write("v12.emd", v12);
  const struct {
    int version;
    const char* file;
    com::FileSelect answer;
    uint8_t result;
    bool message;
  } cases[] = {
      {kTalaris, "short.emd", com::FileSelect::Existing, 1, true},  // 11717 bytes
      {kTalaris, "v12.emd", com::FileSelect::Existing, 1, true},    // the other family's size
      {kV12, "gone.emd", com::FileSelect::Existing, 0, false},
      {kV12, "v12.emd", com::FileSelect::Cancelled, 1, false},
      {kV12, "v12.emd", com::FileSelect::Error, 0, false},
      {kV12, "", com::FileSelect::Existing, 0, false},
  };
  for (const auto& c : cases) {
    ui.popups.clear();
    ui.files.push_back({c.answer, *c.file ? dir + "/" + c.file : ""});
    EXPECT_EQ(ecu::ImportEcu(ecu::kMapType, c.version, com::kCursorNormal), c.result) << c.file;
    if (c.message) {
      ASSERT_EQ(ui.popups.size(), 1u) << c.file;
      EXPECT_EQ(ui.popups[0].title, "Import ECU mapping data");
      EXPECT_EQ(ui.popups[0].text, "The selected file is not correct!");
    } else {
      EXPECT_TRUE(ui.popups.empty()) << c.file;
    }
    EXPECT_EQ(std::memcmp(ecu::ecuMapData, before.data(), before.size()), 0) << c.file;
  }
  EXPECT_EQ(ecu::ImportEcu(3, kV12, com::kCursorNormal), 0);
  EXPECT_EQ(ecu::ImportEcu(ecu::kMapType, 3, com::kCursorNormal), 0);
  EXPECT_EQ(ui.dialogs.size(), std::size(cases));  // no dialog for another combination
}

}  // namespace
