// Configuration and mapping files: store, load, dialogs, stamps, bad files and the
// write that never destroys the previous file.
#include <ostream>
#include <gtest/gtest.h>
#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ecudata/ecudata.h"
#include "ecudata/files.h"
#include "ecudata/image.h"
#include "ecudata/init.h"
#include "link/bytes.h"
#include "link/utils.h"
#include "scripted_ui.h"
#include "test_support.h"

namespace {

using testing_ui::ScriptedUi;
using Bytes = std::vector<uint8_t>;

using test_support::FillPattern;
using test_support::ReadAll;
using test_support::WriteAll;

bool Exists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}

std::vector<std::string> Entries(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d))
      if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) names.push_back(e->d_name);
    closedir(d);
  }
  return names;
}

Bytes Block(int type) {
  const uint8_t* b = ecu::WorkingBlock(type);
  return Bytes(b, b + ecu::BlockSize(type));
}

class FilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/kestra-files-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    ecu::SetInitFilePath(dir + "/tarvenco.ini");
    ecu::cfg = ecu::Config{};
    FillPattern(ecu::ecuParData, ecu::kParSize, 1);
    FillPattern(ecu::ecuMapData, ecu::kMapSize, 2);
    ecu::SetBikeWord(1, 0x010003);
    ecu::SetBikeWord(2, 0x010003);
    ecu::InitEcuRefData();
  }
  void TearDown() override {
    ecu::SetInitFilePath("");
    ecu::cfg = ecu::Config{};
    std::string cmd = "rm -rf '" + dir + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
  }
  // A file as a store would write it, with the given stamps.
  Bytes StampedFile(int type, const char* app, const char* data, uint8_t seed) {
    Bytes b(ecu::BlockSize(type));
    FillPattern(b.data(), static_cast<uint32_t>(b.size()), seed);
    com::SetFieldText(b.data(), 32, app);
    com::SetFieldText(b.data() + 32, 32, data);
    com::Put32LE(b.data() + ecu::BikeOffset(type), 0x010003);
    return b;
  }

  ScriptedUi ui;
  std::string dir;
};

TEST_F(FilesTest, StoreThenLoadRoundTrip) {
  for (int type : {1, 2}) {
    SCOPED_TRACE(type);
    const std::string ext = type == 1 ? ".ecd" : ".emd";
    ASSERT_EQ(ecu::StoreEcu(dir + "/bike.txt", type, 4), 1);  // another extension is replaced
    const std::string path = dir + "/bike" + ext;
    EXPECT_FALSE(Exists(dir + "/bike.txt"));
    const Bytes stored = ReadAll(path);
    ASSERT_EQ(stored.size(), ecu::BlockSize(type));
    EXPECT_EQ(stored, Block(type));
    EXPECT_EQ(com::FieldText(stored.data(), 32), "Kestra v1.3");
    EXPECT_EQ(com::FieldText(stored.data() + 32, 32),
              type == 1 ? "Q740_PAR_DATA_v1.00" : "Q740_MAP_DATA_v1.00");
    EXPECT_EQ(ecu::IsEcuDataChanged(type), 0);  // reference copy refreshed
    EXPECT_EQ(ui.GetConfigName(type), "bike");
    EXPECT_EQ(type == 1 ? ecu::cfg.parFilePath : ecu::cfg.mapFilePath, path);

    // The settings file was written with the new path.
    ecu::cfg = ecu::Config{};
    ecu::ReadInitFile();
    EXPECT_EQ(type == 1 ? ecu::cfg.parFilePath : ecu::cfg.mapFilePath, path);

    FillPattern(ecu::WorkingBlock(type), ecu::BlockSize(type), 77);
    ui.ShowConfigName("", type);
    ASSERT_EQ(ecu::LoadEcu(0, type, 6), 1);
    EXPECT_EQ(Block(type), stored);
    EXPECT_EQ(ecu::IsEcuDataChanged(type), 0);
    EXPECT_EQ(ui.GetConfigName(type), "bike");
    EXPECT_EQ(ui.cursors.back(), 6);
  }
  EXPECT_TRUE(ui.popups.empty());
}

TEST_F(FilesTest, StoreDialogProposalAndOutcomes) {
  ecu::cfg.parFilePath = dir + "/old/last.ecd";
  ui.ShowConfigName("shown", 1);
  ui.files.push_back({com::FileSelect::New, dir + "/chosen"});
  ASSERT_EQ(ecu::StoreEcu("", 1, 0), 1);
  ASSERT_EQ(ui.dialogs.size(), 1u);
  const com::FileDialog& d = ui.dialogs[0];
  EXPECT_TRUE(d.save);
  EXPECT_EQ(d.title, "Store ECU configuration data");
  EXPECT_EQ(d.directory, dir + "/old");
  EXPECT_EQ(d.proposal, "shown.ecd");
  EXPECT_EQ(d.extension, "ecd");
  EXPECT_TRUE(d.allowNewDirectory);
  EXPECT_EQ(ReadAll(dir + "/chosen.ecd"), Block(1));

  ui.ShowConfigName("", 2);
  ui.files.push_back({com::FileSelect::Cancelled, ""});
  EXPECT_EQ(ecu::StoreEcu("", 2, 0), 1);
  EXPECT_EQ(ui.dialogs.back().title, "Store ECU mapping data");
  EXPECT_EQ(ui.dialogs.back().proposal, "*.emd");
  ui.files.push_back({com::FileSelect::Error, ""});
  EXPECT_EQ(ecu::StoreEcu("", 2, 0), 0);
  EXPECT_EQ(ecu::cfg.mapFilePath, "");
  EXPECT_EQ(ecu::StoreEcu(dir + "/x", 3, 0), 0);
  EXPECT_EQ(Entries(dir).size(), 2u);  // chosen.ecd and tarvenco.ini
}

TEST_F(FilesTest, LoadDialogProposalAndOutcomes) {
  WriteAll(dir + "/cfg.ecd", StampedFile(1, "Kestra v1.3", "Q740_PAR_DATA_v1.00", 5));
  ecu::cfg.parFilePath = dir + "/cfg";
  const Bytes before = Block(1);
  ui.files.push_back({com::FileSelect::Cancelled, ""});
  EXPECT_EQ(ecu::LoadEcu(1, 1, 9), 1);
  ASSERT_EQ(ui.dialogs.size(), 1u);
  EXPECT_FALSE(ui.dialogs[0].save);
  EXPECT_FALSE(ui.dialogs[0].allowNewDirectory);
  EXPECT_EQ(ui.dialogs[0].title, "Load ECU configuration data");
  EXPECT_EQ(ui.dialogs[0].directory, dir);
  EXPECT_EQ(ui.dialogs[0].proposal, "cfg.ecd");
  EXPECT_EQ(ui.dialogs[0].extension, "ecd");
  EXPECT_EQ(ui.cursors.back(), 9);
  ui.files.push_back({com::FileSelect::New, dir + "/cfg.ecd"});  // a load accepts only existing files
  EXPECT_EQ(ecu::LoadEcu(1, 1, 0), 0);
  EXPECT_EQ(Block(1), before);

  ecu::cfg.mapFilePath = "";
  ui.files.push_back({com::FileSelect::Cancelled, ""});
  EXPECT_EQ(ecu::LoadEcu(1, 2, 0), 1);
  EXPECT_EQ(ui.dialogs.back().title, "Load ECU mapping data");
  EXPECT_EQ(ui.dialogs.back().proposal, "*.emd");

  ui.files.push_back({com::FileSelect::Existing, dir + "/cfg.ecd"});
  ASSERT_EQ(ecu::LoadEcu(1, 1, 0), 1);
  EXPECT_EQ(Block(1), StampedFile(1, "Kestra v1.3", "Q740_PAR_DATA_v1.00", 5));
  EXPECT_EQ(ecu::LoadEcu(1, 7, 3), 0);
  EXPECT_EQ(ui.cursors.back(), 3);
}

struct BadFileCase {
  const char* name;
  int type;
  int size;  // -1: no file; -2: a directory; -3: a FIFO with no writer
  bool garbage;
  uint8_t result;
  bool pathKept;
};

void PrintTo(const BadFileCase& c, std::ostream* os) {
  *os << c.name;
}

class BadFileTest : public FilesTest, public ::testing::WithParamInterface<BadFileCase> {};

TEST_P(BadFileTest, WorkingBlockUntouched) {
  const BadFileCase& c = GetParam();
  const std::string path = dir + (c.type == 1 ? "/f.ecd" : "/f.emd");
  if (c.size == -2) {
    ASSERT_EQ(mkdir(path.c_str(), 0755), 0);
  } else if (c.size == -3) {
    ASSERT_EQ(mkfifo(path.c_str(), 0644), 0);  // opening it for reading must not block
  } else if (c.size >= 0) {
    Bytes b =
        StampedFile(c.type, "Kestra v1.3", c.type == 1 ? "Q740_PAR_DATA_v1.00" : "Q740_MAP_DATA_v1.00", 8);
    if (c.garbage) FillPattern(b.data(), static_cast<uint32_t>(b.size()), 200);
    b.resize(static_cast<size_t>(c.size), 0x33);
    WriteAll(path, b);
  }
  (c.type == 1 ? ecu::cfg.parFilePath : ecu::cfg.mapFilePath) = path;
  ui.ShowConfigName("before", c.type);
  const Bytes par = Block(1), map = Block(2);
  EXPECT_EQ(ecu::LoadEcu(0, c.type, 0), c.result);
  EXPECT_EQ(Block(1), par);
  EXPECT_EQ(Block(2), map);
  EXPECT_EQ((c.type == 1 ? ecu::cfg.parFilePath : ecu::cfg.mapFilePath).empty(), !c.pathKept);
  if (c.result == 0) {
    EXPECT_EQ(ui.GetConfigName(c.type), "");  // a failed silent load shows no name
    EXPECT_TRUE(ui.popups.empty());
  } else {
    EXPECT_EQ(ui.GetConfigName(c.type), "before");
    ASSERT_EQ(ui.popups.size(), 1u);
    EXPECT_EQ(ui.popups[0].text, "Incompatible data format!");
  }
}

INSTANTIATE_TEST_SUITE_P(Files, BadFileTest,
                         ::testing::Values(BadFileCase{"ParMissing", 1, -1, false, 0, false},
                                           BadFileCase{"MapMissing", 2, -1, false, 0, false},
                                           BadFileCase{"ParEmpty", 1, 0, false, 0, false},
                                           BadFileCase{"ParOneShort", 1, 1275, false, 0, false},
                                           BadFileCase{"MapOneShort", 2, 12343, false, 0, false},
                                           BadFileCase{"MapIsParSized", 2, 1276, false, 0, false},
                                           BadFileCase{"ParIsDirectory", 1, -2, false, 0, false},
                                           BadFileCase{"MapIsFifo", 2, -3, false, 0, false},
                                           BadFileCase{"ParGarbage", 1, 1276, true, 1, true},
                                           BadFileCase{"MapGarbageLong", 2, 20000, true, 1, true}),
                         [](const ::testing::TestParamInfo<BadFileCase>& info) {
                           return std::string(info.param.name);
                         });

TEST_F(FilesTest, LongerFileLoadsItsFirstBytes) {
  Bytes b = StampedFile(2, "Kestra v1.3", "Q740_MAP_DATA_v1.00", 12);
  const Bytes expected = b;
  b.resize(b.size() + 100, 0x77);
  WriteAll(dir + "/long.emd", b);
  ecu::cfg.mapFilePath = dir + "/long.emd";
  ASSERT_EQ(ecu::LoadEcu(0, 2, 0), 1);
  EXPECT_EQ(Block(2), expected);
  EXPECT_EQ(ui.GetConfigName(2), "long");
}

TEST_F(FilesTest, DataVersionAndApplicationStamps) {
  // Wrong data version: refused with result 1, block and reference copy untouched.
  WriteAll(dir + "/old.ecd", StampedFile(1, "Kestra v1.3", "Q740_PAR_DATA_v1.10", 21));
  ecu::ecuParData[100] ^= 1;  // an unsaved change
  const Bytes before = Block(1);
  ui.files.push_back({com::FileSelect::Existing, dir + "/old.ecd"});
  EXPECT_EQ(ecu::LoadEcu(1, 1, 0), 1);
  EXPECT_EQ(Block(1), before);
  EXPECT_EQ(ecu::IsEcuDataChanged(1), 1);
  ASSERT_EQ(ui.popups.size(), 1u);
  EXPECT_EQ(ui.popups[0].title, "Failure Load ECU configuration data");
  EXPECT_EQ(ui.popups[0].text, "Incompatible data format!");

  // Another application's stamp: warned, then used.
  ui.popups.clear();
  const Bytes other = StampedFile(2, "Kestra v1.2", "Q740_MAP_DATA_v1.00", 22);
  WriteAll(dir + "/other.emd", other);
  ui.files.push_back({com::FileSelect::Existing, dir + "/other.emd"});
  ASSERT_EQ(ecu::LoadEcu(1, 2, 0), 1);
  ASSERT_EQ(ui.popups.size(), 1u);
  EXPECT_EQ(ui.popups[0].title, "Warning Load ECU mapping data");
  EXPECT_EQ(ui.popups[0].text, "Data stored with another application:\n(Kestra v1.2).");
  EXPECT_EQ(Block(2), other);
  EXPECT_EQ(ecu::IsEcuDataChanged(2), 0);
  EXPECT_EQ(ecu::cfg.mapFilePath, dir + "/other.emd");
}

TEST_F(FilesTest, BikeQuestionOnStoreAndWarningOnlyOnInteractiveLoad) {
  ecu::SetBikeWord(2, 0x060407);
  ui.buttons.push_back(2);  // configuration stored, the mapping's bike chosen
  ASSERT_EQ(ecu::StoreEcu(dir + "/a", 1, 0), 1);
  ASSERT_EQ(ui.popups.size(), 1u);
  EXPECT_EQ(ui.popups[0].title, "Align type bike");
  EXPECT_EQ(com::Get32LE(ReadAll(dir + "/a.ecd").data() + ecu::kParBikeOffset), 0x060407u);

  Bytes map = StampedFile(2, "Kestra v1.3", "Q740_MAP_DATA_v1.00", 30);
  com::Put32LE(map.data() + ecu::kMapBikeOffset, 0x010003);
  WriteAll(dir + "/m.emd", map);
  ecu::cfg.mapFilePath = dir + "/m.emd";
  ui.popups.clear();
  ASSERT_EQ(ecu::LoadEcu(0, 2, 0), 1);  // silent: no warning
  EXPECT_TRUE(ui.popups.empty());
  ui.files.push_back({com::FileSelect::Existing, dir + "/m.emd"});
  ASSERT_EQ(ecu::LoadEcu(1, 2, 0), 1);
  ASSERT_EQ(ui.popups.size(), 1u);
  EXPECT_EQ(ui.popups[0].title, "Check type bike");
}

TEST_F(FilesTest, FailedStoreKeepsThePreviousFileAndPath) {
  const std::string path = dir + "/keep.ecd";
  const Bytes old(1276, 0x5C);
  WriteAll(path, old);
  ecu::cfg.parFilePath = path;

  // A directory that does not exist.
  EXPECT_EQ(ecu::StoreEcu(dir + "/missing/new.ecd", 1, 0), 0);
  EXPECT_EQ(ecu::cfg.parFilePath, path);
  EXPECT_EQ(com::FieldText(ecu::ecuParData, 32), "Kestra v1.3");  // the block was stamped all the same
  EXPECT_EQ(ecu::IsEcuDataChanged(1), 1);

  // The write itself fails half way (file size limit, as a full disk would).
  struct rlimit saved {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto previous = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 100;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const uint8_t result = ecu::StoreEcu(path, 1, 0);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(ReadAll(path), old);
  EXPECT_EQ(Entries(dir), std::vector<std::string>{"keep.ecd"});  // no temporary file left behind
}

TEST_F(FilesTest, AtomicWriteReplacesAndKeepsTheMode) {
  const std::string path = dir + "/data.bin";
  const Bytes first(10, 1), second(3, 2);
  ASSERT_TRUE(ecu::WriteFileAtomic(path, first.data(), first.size()));
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  ASSERT_TRUE(ecu::WriteFileAtomic(path, second.data(), second.size()));
  EXPECT_EQ(ReadAll(path), second);
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);

  // Through a symbolic link the target file is replaced and the link stays.
  const std::string link = dir + "/link.bin";
  ASSERT_EQ(symlink(path.c_str(), link.c_str()), 0);
  ASSERT_TRUE(ecu::WriteFileAtomic(link, first.data(), first.size()));
  EXPECT_EQ(ReadAll(path), first);
  ASSERT_EQ(lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));

  EXPECT_FALSE(ecu::WriteFileAtomic("", first.data(), first.size()));
  EXPECT_FALSE(ecu::WriteFileAtomic(dir + "/", first.data(), first.size()));
  EXPECT_EQ(Entries(dir).size(), 2u);
}

}  // namespace
