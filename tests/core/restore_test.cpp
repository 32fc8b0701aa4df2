// Restore points before a block with changes not stored is replaced, and the
// Windows-1252 names on the way to and from the ECU.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "ecudata/ecudata.h"
#include "ecudata/files.h"
#include "ecudata/image.h"
#include "ecudata/init.h"
#include "ecudata/restore.h"
#include "ecudata/transfer.h"
#include "link/com.h"
#include "link/pipeport.h"
#include "link/utils.h"
#include "scripted_ui.h"
#include "shell/connection.h"
#include "sim/appsim.h"
#include "sim/simcore.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> FilesIn(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (const dirent* e = readdir(d)) {
      if (e->d_name[0] != '.') names.push_back(e->d_name);
    }
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

class RestoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/kestra-restore-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    home = tmpl;
    previousDataHome = std::getenv("XDG_DATA_HOME") ? std::getenv("XDG_DATA_HOME") : "";
    setenv("XDG_DATA_HOME", (home + "/data").c_str(), 1);
    restoreDir = home + "/data/kestra/restore";
    ecu::SetInitFilePath(home + "/tarvenco.ini");
    ecu::cfg = ecu::Config{};

    com::SetPortFactory([this](const com::PortItem&, std::string*) {
      auto p = std::make_unique<com::PipePort>();
      pipe = p.get();
      return p;
    });
    com::CloseComPort();
    com::InitPortList({}, false);
    com::OpenComPort();
    ASSERT_EQ(com::isComOpen, 1);
    engine = std::make_unique<sim::Engine>(device);
    sim::AttachToPipe(*engine, *pipe);

    // The blocks as a file left them: equal to their reference copies.
    std::copy(device.parBlock.begin(), device.parBlock.end(), ecu::ecuParData);
    std::copy(device.mapping[1].begin(), device.mapping[1].end(), ecu::ecuMapData);
    ecu::InitEcuRefData();
    ui.ShowConfigName("Road", 1);
    ui.ShowConfigName("Track tune", 2);
  }
  void TearDown() override {
    com::CloseComPort();
    com::SetPortFactory({});
    ecu::SetInitFilePath("");
    ecu::cfg = ecu::Config{};
    setenv("XDG_DATA_HOME", previousDataHome.c_str(), 1);
    ASSERT_EQ(std::system(("rm -rf '" + home + "'").c_str()), 0);
  }

  sim::AppDevice device;
  std::unique_ptr<sim::Engine> engine;
  com::PipePort* pipe = nullptr;
  testing_ui::ScriptedUi ui;
  std::string home, restoreDir, previousDataHome;
};

TEST_F(RestoreTest, ReceiveOverAnEditedBlockKeepsWhatAStoreWouldHaveWritten) {
  ecu::ecuMapData[5000] ^= 0x5A;  // an edit that was never stored
  const Bytes edited(ecu::ecuMapData, ecu::ecuMapData + ecu::kMapSize);

  ASSERT_EQ(ecu::RequestEcu(2, 0), 1);
  EXPECT_EQ(Bytes(ecu::ecuMapData, ecu::ecuMapData + ecu::kMapSize), device.mapping[0]);

  const auto files = FilesIn(restoreDir);
  ASSERT_EQ(files.size(), 1u);
  EXPECT_NE(files[0].find("_mapping_Track tune.emd"), std::string::npos) << files[0];
  EXPECT_EQ(files[0].size(), std::string("YYYY-MM-DD_HHMMSS_mapping_Track tune.emd").size());
  EXPECT_NE(ui.lastStatus.find(files[0]), std::string::npos) << ui.lastStatus;

  // What a store of the edited block writes, byte for byte.
  std::copy(edited.begin(), edited.end(), ecu::ecuMapData);
  ASSERT_EQ(ecu::StoreEcu(home + "/stored", 2, 0), 1);
  EXPECT_EQ(ReadFile(restoreDir + "/" + files[0]), ReadFile(home + "/stored.emd"));
}

TEST_F(RestoreTest, UnchangedBlocksAndFailedReadsMakeNone) {
  ASSERT_EQ(ecu::RequestEcu(1, 0), 1);  // the configuration equals its reference copy
  ecu::InitEcuRefData();
  ASSERT_EQ(ecu::RequestEcu(2, 0), 1);
  EXPECT_TRUE(FilesIn(restoreDir).empty());
  EXPECT_EQ(ui.lastStatus, "");

  // An interactive load over an unchanged block keeps nothing either; over a changed
  // one it keeps the block first.
  ecu::InitEcuRefData();
  ASSERT_EQ(ecu::StoreEcu(home + "/bike", 1, 0), 1);
  ui.files.push_back({com::FileSelect::Existing, home + "/bike.ecd"});
  ASSERT_EQ(ecu::LoadEcu(1, 1, 0), 1);
  EXPECT_TRUE(FilesIn(restoreDir).empty());
  ecu::ecuParData[600] ^= 1;
  ui.files.push_back({com::FileSelect::Existing, home + "/bike.ecd"});
  ASSERT_EQ(ecu::LoadEcu(1, 1, 0), 1);
  EXPECT_EQ(FilesIn(restoreDir).size(), 1u);
}

TEST_F(RestoreTest, KeepsTheNewestFiftyOfEachKind) {
  ecu::ecuParData[600] ^= 1;
  ecu::ecuMapData[600] ^= 1;
  const std::time_t start = 1'800'000'000;
  std::string first, last;
  for (int i = 0; i < 51; ++i) {
    std::string path;
    ASSERT_EQ(ecu::KeepRestorePoint(2, start + 60 * i, &path), ecu::RestoreResult::Written);
    if (i == 0) first = path;
    last = path;
  }
  ASSERT_EQ(ecu::KeepRestorePoint(1, start, nullptr), ecu::RestoreResult::Written);
  // A file of the user's own in the folder is never taken for a restore point.
  std::ofstream(restoreDir + "/notes.txt") << "mine";

  struct stat st {};
  EXPECT_NE(stat(first.c_str(), &st), 0);  // the 51st removed the oldest
  EXPECT_EQ(stat(last.c_str(), &st), 0);
  const auto files = FilesIn(restoreDir);
  EXPECT_EQ(std::count_if(files.begin(), files.end(),
                          [](const std::string& f) { return f.find("_mapping_") != std::string::npos; }),
            50);
  EXPECT_EQ(std::count(files.begin(), files.end(), "notes.txt"), 1);
  EXPECT_EQ(
      std::count_if(files.begin(), files.end(),
                    [](const std::string& f) { return f.find("_configuration_") != std::string::npos; }),
      1);

  // Two within one second stay apart; a name with a separator stays in the folder.
  ui.ShowConfigName("../up/and away", 2);
  std::string a, b;
  ASSERT_EQ(ecu::KeepRestorePoint(2, start + 9999, &a), ecu::RestoreResult::Written);
  ASSERT_EQ(ecu::KeepRestorePoint(2, start + 9999, &b), ecu::RestoreResult::Written);
  EXPECT_NE(a, b);
  EXPECT_EQ(com::DirectoryOf(a), restoreDir);
  EXPECT_EQ(com::DirectoryOf(b), restoreDir);
}

TEST_F(RestoreTest, AnUnwritableFolderDoesNotStopTheReceive) {
  std::ofstream(home + "/data") << "a file where the folder should be";
  ecu::ecuMapData[5000] ^= 0x5A;
  ASSERT_EQ(ecu::RequestEcu(2, 0), 1);
  EXPECT_EQ(Bytes(ecu::ecuMapData, ecu::ecuMapData + ecu::kMapSize), device.mapping[0]);
  EXPECT_EQ(ui.lastStatus.rfind("No restore point written", 0), 0u) << ui.lastStatus;
  for (const auto& p : ui.popups) EXPECT_NE(p.title, "Receive") << "the failure asks nothing";
  EXPECT_TRUE(ui.popups.empty());
}

TEST_F(RestoreTest, NamesTravelAsWindows1252) {
  // The ECU holds "Motè" as Windows-1252; the program shows it as text and writes the
  // same four bytes back.
  device.mapName[0] = "Mot\xE8";
  ASSERT_EQ(ecu::RequestEcu(2, 0), 1);
  EXPECT_EQ(ui.GetConfigName(2), "Mot\xC3\xA8");
  ASSERT_EQ(ecu::SendEcu(3, 0), 1);
  EXPECT_EQ(device.mapName[1], "Mot\xE8");

  // A file name from Linux (UTF-8) reaches the ECU as Windows-1252, cut at 31 bytes
  // of the code page; a character outside it becomes '?'.
  std::string longName = "Mot\xC3\xA8_Caf\xC3\xA9_\xE2\x88\x9A";  // "Motè_Café_√"
  while (longName.size() < 60) longName += "\xC3\xA9";
  ui.ShowConfigName(longName, 1);
  ASSERT_EQ(ecu::SendEcu(1, 0), 1);
  std::string expected = "Mot\xE8_Caf\xE9_?";
  expected += std::string(31 - expected.size(), '\xE9');
  EXPECT_EQ(device.parName, expected);

  device.dataNames[8] = "Caf\xE9";
  std::string name;
  ASSERT_EQ(shell::GetEcuDataName(name, 8), 1);
  EXPECT_EQ(name, "*Caf\xC3\xA9");
}

TEST(AlignTypeBike, ABlockWithoutABikeSaysSoOnItsButton) {
  testing_ui::ScriptedUi ui;
  ecu::SetBikeWord(1, 0x010003);
  ecu::SetBikeWord(2, 0xFF0000);
  ecu::AlignTypeBike(2);
  ASSERT_EQ(ui.popups.size(), 1u);
  EXPECT_EQ(ui.popups[0].buttons[1], "(not set)");
  EXPECT_NE(ui.popups[0].buttons[0], "(not set)");
  EXPECT_EQ(ui.popups[0].buttons[0].find(" ()"), std::string::npos);
  EXPECT_EQ(ecu::GetBikeWord(2), 0xFF0000u);  // no answer, nothing changes
}

}  // namespace
