// The history of the blocks: the history file's lines, the listing of the restore
// folder and the recorded files (whatever shape they are in), restores of a whole
// block or of some of its parts, and kestra-cli's history, restore and diff.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/fieldnames.h"
#include "ecudata/ecudata.h"
#include "ecudata/files.h"
#include "ecudata/history.h"
#include "ecudata/image.h"
#include "ecudata/restore.h"
#include "link/bytes.h"
#include "maps/map1.h"
#include "run_program.h"
#include "scripted_ui.h"
#include "sim/appsim.h"
#include "test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;
using ecu::HistoryKind;
using ecu::HistoryState;
using test_support::ReadAll;
using test_support::WriteAll;

TEST(HistoryText, RecordsSurviveTheirLineAndBadLinesAreSkipped) {
  const ecu::HistoryRecord record{1'800'000'000, HistoryKind::Loaded, ecu::kMapType, "/tmp/a\tb\\c\nd.emd",
                                  "Track\r day"};
  const std::string line = ecu::HistoryRecordLine(record);
  EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1);
  size_t skipped = 9;
  const auto back = ecu::ParseHistoryText(line, &skipped);
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(skipped, 0u);
  EXPECT_EQ(back[0].time, record.time);
  EXPECT_EQ(back[0].kind, record.kind);
  EXPECT_EQ(back[0].type, record.type);
  EXPECT_EQ(back[0].path, record.path);
  EXPECT_EQ(back[0].name, record.name);

  struct Case {
    const char* text;
    size_t records, skipped;
  };
  const Case cases[] = {
      {"# a comment\n\n1\tstored\tconfiguration\t/x.ecd\tRoad\n", 1, 0},
      {"1\tstored\tconfiguration\t/x.ecd\tRoad", 0, 1},  // cut off before its end
      {"1\tstored\tconfiguration\t/x.ecd\n", 0, 1},      // a field short
      {"1\tstored\tconfiguration\t/x.ecd\tRoad\textra\n", 0, 1},
      {"-1\tstored\tconfiguration\t/x.ecd\tRoad\n", 0, 1},
      {"1x\tstored\tconfiguration\t/x.ecd\tRoad\n", 0, 1},
      {"99999999999999999999999\tstored\tmapping\t/x.emd\tRoad\n", 0, 1},
      {"1\trestore point\tmapping\t/x.emd\tRoad\n", 0, 1},
      {"1\tstored\tfirmware\t/x.emd\tRoad\n", 0, 1},
      {"1\tstored\tmapping\t\tRoad\n", 0, 1},  // no path
      {"1\tstored\tmapping\t/x\\q.emd\tRoad\n", 0, 1},
      {"1\tstored\tmapping\t/x.emd\tRoad\\\n", 0, 1},
      {"\x01\xff\tgarbage\n1\timported\tmapping\t/y.emd\t\n", 1, 1},
  };
  for (const Case& c : cases) {
    const auto records = ecu::ParseHistoryText(c.text, &skipped);
    EXPECT_EQ(records.size(), c.records) << c.text;
    EXPECT_EQ(skipped, c.skipped) << c.text;
  }
}

class HistoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/kestra-history-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    home = tmpl;
    previousDataHome = std::getenv("XDG_DATA_HOME") ? std::getenv("XDG_DATA_HOME") : "";
    setenv("XDG_DATA_HOME", (home + "/data").c_str(), 1);
    restoreDir = home + "/data/kestra/restore";
    ASSERT_TRUE(ecu::MakeDirectories(restoreDir));
    std::copy(device.parBlock.begin(), device.parBlock.end(), ecu::ecuParData);
    std::copy(device.mapping[1].begin(), device.mapping[1].end(), ecu::ecuMapData);
    ecu::InitEcuRefData();
    ui.ShowConfigName("Road", 1);
    ui.ShowConfigName("Track tune", 2);
  }
  void TearDown() override {
    setenv("XDG_DATA_HOME", previousDataHome.c_str(), 1);
    ASSERT_EQ(std::system(("rm -rf '" + home + "'").c_str()), 0);
  }

  Bytes Map() const { return Bytes(ecu::ecuMapData, ecu::ecuMapData + ecu::kMapSize); }

  sim::AppDevice device;
  testing_ui::ScriptedUi ui;
  std::string home, restoreDir, previousDataHome;
};

TEST_F(HistoryTest, ListsEveryEntryNewestFirstAndBadFilesAsSuch) {
  // Restore points: a good one, one cut short, and a foreign file beside them.
  const Bytes map = Map();
  ASSERT_TRUE(WriteAll(restoreDir + "/2026-01-02_030405_mapping_Track tune.emd", map));
  ASSERT_TRUE(
      WriteAll(restoreDir + "/2026-01-03_030405_mapping_Cut.emd", Bytes(map.begin(), map.begin() + 100)));
  ASSERT_TRUE(WriteAll(restoreDir + "/notes.txt", std::string("not a data file")));
  // A same-sized file with another data format is foreign too.
  Bytes alien = map;
  alien[ecu::kDataStampOffset] ^= 0x20;
  ASSERT_TRUE(WriteAll(restoreDir + "/2026-01-04_030405_mapping_Alien.emd", alien));
  // Recorded files: one stored and still there, one loaded and gone since.
  ASSERT_TRUE(WriteAll(home + "/road.ecd", device.parBlock));
  ASSERT_TRUE(
      ecu::RecordHistory({2'000'000'000, HistoryKind::Stored, ecu::kParType, home + "/road.ecd", "road"}));
  ASSERT_TRUE(ecu::RecordHistory({10, HistoryKind::Loaded, ecu::kMapType, home + "/gone.emd", "gone"}));

  const auto all = ecu::ReadHistory();
  ASSERT_EQ(all.size(), 6u);
  EXPECT_EQ(all[0].entry, home + "/road.ecd");  // newest: 2033
  EXPECT_EQ(all[0].kind, HistoryKind::Stored);
  EXPECT_EQ(all[0].state, HistoryState::Ready);
  EXPECT_EQ(all[0].bike, com::Get32LE(device.parBlock.data() + ecu::kParBikeOffset));
  EXPECT_EQ(all.back().entry, home + "/gone.emd");  // oldest: 1970
  EXPECT_EQ(all.back().state, HistoryState::Missing);

  auto find = [&](const std::string& name) { return ecu::FindHistoryEntry(all, name); };
  ASSERT_TRUE(find("2026-01-02_030405_mapping_Track tune.emd"));
  EXPECT_EQ(find("2026-01-02_030405_mapping_Track tune.emd")->state, HistoryState::Ready);
  EXPECT_EQ(find("2026-01-02_030405_mapping_Track tune.emd")->name, "Track tune");
  EXPECT_EQ(find("2026-01-02_030405_mapping_Track tune.emd")->kind, HistoryKind::RestorePoint);
  EXPECT_EQ(find("2026-01-03_030405_mapping_Cut.emd")->state, HistoryState::Truncated);
  EXPECT_EQ(find("2026-01-04_030405_mapping_Alien.emd")->state, HistoryState::Foreign);
  EXPECT_EQ(find("notes.txt")->state, HistoryState::Foreign);
  EXPECT_EQ(find("notes.txt")->type, 0);
  // Newest first throughout.
  for (size_t i = 1; i < all.size(); ++i) EXPECT_GE(all[i - 1].time, all[i].time) << i;

  const auto mappings = ecu::ReadHistory(ecu::kMapType);
  EXPECT_EQ(mappings.size(), 4u);
  for (const auto& e : mappings) EXPECT_EQ(e.type, ecu::kMapType);

  // Counts by the one engine, and none for what cannot be read.
  ecu::ecuMapData[700] ^= 0x11;
  const auto tables = cli::FieldTablesOf(ecu::kMapType);
  EXPECT_EQ(ecu::CountHistoryDifferences(*find("2026-01-02_030405_mapping_Track tune.emd"), ecu::kMapType,
                                         ecu::ecuMapData, tables),
            static_cast<long>(cli::DiffNamedBlocks(ecu::kMapType, map.data(), ecu::ecuMapData).size()));
  EXPECT_EQ(ecu::CountHistoryDifferences(*find("2026-01-03_030405_mapping_Cut.emd"), ecu::kMapType,
                                         ecu::ecuMapData, tables),
            -1);
}

TEST_F(HistoryTest, NoHistoryAtAllIsAnEmptyList) {
  ASSERT_EQ(std::system(("rm -rf '" + home + "/data'").c_str()), 0);
  EXPECT_TRUE(ecu::ReadHistory().empty());
  // A history file that is a folder is no history either.
  ASSERT_TRUE(ecu::MakeDirectories(ecu::HistoryFilePath()));
  EXPECT_TRUE(ecu::ReadHistory().empty());
}

TEST_F(HistoryTest, TheFileKeepsTheNewestRecordsAndStoresAndLoadsAreRecorded) {
  for (size_t i = 0; i < ecu::kHistoryRecordsKept + 5; ++i)
    ASSERT_TRUE(ecu::RecordHistory({static_cast<std::time_t>(i), HistoryKind::Stored, ecu::kMapType,
                                    home + "/f" + std::to_string(i) + ".emd", "f"}));
  const auto records = ecu::ParseHistoryText(test_support::ReadText(ecu::HistoryFilePath()));
  ASSERT_EQ(records.size(), ecu::kHistoryRecordsKept);
  EXPECT_EQ(records.front().time, 5);
  EXPECT_EQ(records.back().time, static_cast<std::time_t>(ecu::kHistoryRecordsKept + 4));

  ASSERT_EQ(std::system(("rm -f '" + ecu::HistoryFilePath() + "'").c_str()), 0);
  ASSERT_EQ(ecu::StoreEcu(home + "/kept", ecu::kMapType, 0), 1);
  ui.files.push_back({com::FileSelect::Existing, home + "/kept.emd"});
  ASSERT_EQ(ecu::LoadEcu(1, ecu::kMapType, 0), 1);
  ASSERT_EQ(ecu::LoadEcu(0, ecu::kMapType, 0), 1);  // the silent start-up load is not recorded
  const auto entries = ecu::ReadHistory();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].kind, HistoryKind::Loaded);
  EXPECT_EQ(entries[1].kind, HistoryKind::Stored);
  for (const auto& e : entries) {
    EXPECT_EQ(e.path, home + "/kept.emd");
    EXPECT_EQ(e.name, "kept");
    EXPECT_EQ(e.state, HistoryState::Ready);
  }
}

TEST_F(HistoryTest, AnImportIsKeptAsACopyAndListedOnce) {
  ecu::ecuMapData[900] ^= 0x01;  // as if an import had replaced the block
  const Bytes imported = Map();
  ASSERT_TRUE(ecu::NoteImportInHistory(ecu::kMapType, 1'900'000'000));
  const auto entries = ecu::ReadHistory();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].kind, HistoryKind::Imported);
  Bytes bytes;
  ASSERT_TRUE(ecu::ReadHistoryBlock(entries[0], &bytes, nullptr));
  EXPECT_TRUE(std::equal(bytes.begin() + 64, bytes.end(), imported.begin() + 64));
}

TEST_F(HistoryTest, RestoresKeepTheReplacedBlockAndTouchOnlyWhatWasChosen) {
  // The entry: the working block with map 3 (Injection vs. speed) and the notes changed.
  const Bytes before = Map();
  Bytes entry = before;
  maps::MapPlace place{};
  ASSERT_TRUE(maps::GetMapPlace(3, 0, &place));
  entry[place.matrix + 10] ^= 0x07;
  entry[place.xAxis] ^= 0x01;
  entry[maps::kNotesOffset] = 'X';
  entry[ecu::kAppStampOffset] ^= 0x01;  // a stamp never comes back with a restore

  const auto parts = cli::PartsOf(ecu::kMapType);
  std::vector<std::string> names;
  for (const auto& p : parts) names.push_back(p.name);
  const std::vector<std::string> expected{maps::MapName(1), maps::MapName(2), maps::MapName(3),
                                          maps::MapName(4), maps::MapName(5), "Notes",
                                          "Parameters 1",   "Parameters 2",   "Parameters 3"};
  EXPECT_EQ(names, expected);

  // Only map 3: the notes stay.
  const std::vector<ecu::BlockPart> chosen{parts[2]};
  std::string point;
  ASSERT_TRUE(ecu::RestoreWorkingBlock(ecu::kMapType, entry.data(), chosen, 1'800'000'000, &point));
  Bytes want = before;
  want[place.matrix + 10] = entry[place.matrix + 10];
  want[place.xAxis] = entry[place.xAxis];
  EXPECT_EQ(Map(), want);
  // The replaced block was unchanged, and still it is kept.
  const Bytes kept = ReadAll(point);
  ASSERT_EQ(kept.size(), ecu::kMapSize);
  EXPECT_TRUE(std::equal(kept.begin() + 64, kept.end(), before.begin() + 64));

  // Everything: the whole block but its stamps.
  ASSERT_TRUE(ecu::RestoreWorkingBlock(ecu::kMapType, entry.data(), {}, 1'800'000'001, &point));
  want = entry;
  want[ecu::kAppStampOffset] = before[ecu::kAppStampOffset];
  EXPECT_EQ(Map(), want);
  EXPECT_EQ(ecu::ReadHistory(ecu::kMapType).size(), 2u);

  // Without a restore folder nothing is restored.
  ASSERT_EQ(std::system(("rm -rf '" + home + "/data' && touch '" + home + "/data'").c_str()), 0);
  const Bytes now = Map();
  EXPECT_FALSE(ecu::RestoreWorkingBlock(ecu::kMapType, before.data(), {}, 1'800'000'002, &point));
  EXPECT_EQ(Map(), now);
}

TEST_F(HistoryTest, CommandLineListsRestoresAndDiffsEntries) {
  const std::string cli = std::string(BUILD_DIR) + "/cli/kestra-cli";
  struct stat st {};
  if (stat(cli.c_str(), &st) != 0) GTEST_SKIP() << "kestra-cli not built";
  const Bytes map = Map();
  const std::string point = "2026-01-02_030405_mapping_Track tune.emd";
  ASSERT_TRUE(WriteAll(restoreDir + "/" + point, map));
  ASSERT_TRUE(WriteAll(restoreDir + "/2026-01-03_030405_mapping_Cut.emd", Bytes(10, 0)));
  ASSERT_TRUE(WriteAll(home + "/road.ecd", device.parBlock));
  ASSERT_TRUE(
      ecu::RecordHistory({2'000'000'000, HistoryKind::Stored, ecu::kParType, home + "/road.ecd", "road"}));
  Bytes edited = map;
  maps::MapPlace place{};
  ASSERT_TRUE(maps::GetMapPlace(2, 0, &place));
  edited[place.matrix] ^= 0x01;
  ASSERT_TRUE(WriteAll(home + "/edited.emd", edited));

  auto run = [&](const std::vector<std::string>& args) { return test_support::RunProgram(home, cli, args); };
  auto listing = run({"history", "--kind", "mapping", "--against", home + "/edited.emd"});
  EXPECT_EQ(listing.status, 0) << listing.err;
  EXPECT_NE(listing.out.find("restore point  mapping  \"Track tune\""), std::string::npos) << listing.out;
  EXPECT_NE(listing.out.find("  1 difference  " + point + "\n"), std::string::npos) << listing.out;
  EXPECT_NE(listing.out.find("(truncated)  2026-01-03_030405_mapping_Cut.emd\n"), std::string::npos);
  EXPECT_EQ(listing.out.find("road.ecd"), std::string::npos);
  EXPECT_NE(run({"history"}).out.find("stored  configuration  \"road\""), std::string::npos);
  EXPECT_EQ(run({"history", "--kind", "firmware"}).status, 2);

  const auto restored = run({"restore", point, home + "/back"});
  EXPECT_EQ(restored.status, 0) << restored.err;
  EXPECT_EQ(ReadAll(home + "/back.emd"), map);
  EXPECT_EQ(run({"restore", "2026-01-03_030405_mapping_Cut.emd", home + "/cut"}).status, 1);
  EXPECT_EQ(run({"restore", "no such entry", home + "/x"}).status, 1);
  EXPECT_EQ(run({"restore", point}).status, 2);

  // diff names the restore point as history lists it, with the names of the engine.
  const auto diff = run({"diff", point, home + "/edited.emd"});
  EXPECT_EQ(diff.status, 1) << diff.err;
  std::string want;
  for (const auto& d : cli::DiffNamedBlocks(ecu::kMapType, map.data(), edited.data()))
    want += ecu::DiffLine(d) + "\n";
  EXPECT_EQ(diff.out, want);
}

}  // namespace
