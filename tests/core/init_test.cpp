// The settings file "tarvenco.ini": layout, defaults, clamps and safe writes.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ecudata/init.h"
#include "link/bytes.h"
#include "link/com.h"
#include "link/utils.h"
#include "test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;

using test_support::ReadAll;
using test_support::WriteAll;

class InitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/kestra-init-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    path = dir + "/tarvenco.ini";
    ecu::SetInitFilePath(path);
    savedPort = com::comPort;
  }
  void TearDown() override {
    ecu::SetInitFilePath("");
    ecu::cfg = ecu::Config{};
    com::comPort = savedPort;
    std::string cmd = "rm -rf '" + dir + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
  }
  // Puts something other than the defaults everywhere.
  static void Scramble() {
    com::comPort = 33;
    ecu::cfg.mapFilePath = "x";
    ecu::cfg.parFilePath = "y";
    ecu::cfg.tuneFilePath = "z";
    ecu::cfg.winPosX = ecu::cfg.winPosY = ecu::cfg.reserved1 = ecu::cfg.reserved2 = ecu::cfg.reserved3 = 1234;
    ecu::posMp1Val = ecu::posMp2Val = ecu::posInjVal = ecu::posAdvVal = ecu::DialogPlace{10, 20, 3};
  }
  static void ExpectDefaults() {
    EXPECT_EQ(com::comPort, 0);
    EXPECT_EQ(ecu::cfg.mapFilePath, "");
    EXPECT_EQ(ecu::cfg.parFilePath, "");
    EXPECT_EQ(ecu::cfg.tuneFilePath, "");
    EXPECT_EQ(ecu::cfg.winPosX, 20);
    EXPECT_EQ(ecu::cfg.winPosY, 50);
    EXPECT_EQ(ecu::cfg.reserved1, 0);
    EXPECT_EQ(ecu::cfg.reserved2, 500);
    EXPECT_EQ(ecu::cfg.reserved3, 700);
  }
  static void ExpectDialogPlacesReset() {
    for (const ecu::DialogPlace* p : {&ecu::posMp1Val, &ecu::posMp2Val, &ecu::posInjVal, &ecu::posAdvVal}) {
      EXPECT_EQ(static_cast<uint32_t>(p->x), 0x80000000u);
      EXPECT_EQ(static_cast<uint32_t>(p->y), 0x80000000u);
      EXPECT_EQ(p->zoom, 0);
    }
  }

  std::string dir, path;
  int16_t savedPort = 0;
};

TEST_F(InitTest, FilesOfTheWrongSizeGiveTheDefaults) {
  // -1: no file, -2: a FIFO with no writer (must not block the start).
  for (int size : {-1, -2, 0, 262, 803, 805}) {
    SCOPED_TRACE(size);
    std::remove(path.c_str());
    if (size >= 0) WriteAll(path, Bytes(static_cast<size_t>(size), 0x41));
    if (size == -2) {
      ASSERT_EQ(mkfifo(path.c_str(), 0644), 0);
    }
    Scramble();
    ecu::ReadInitFile();
    ExpectDefaults();
    ExpectDialogPlacesReset();
  }
}

TEST_F(InitTest, RecordLayoutAndRoundTrip) {
  com::comPort = -1;
  ecu::cfg.mapFilePath = "/data/maps/run1.emd";
  ecu::cfg.parFilePath = "C:\\old\\bike.ecd";
  ecu::cfg.tuneFilePath = std::string(259, 't');  // the longest path that fits
  ecu::cfg.winPosX = 300;
  ecu::cfg.winPosY = 70000;
  ecu::cfg.reserved1 = -5;
  ecu::cfg.reserved2 = 501;
  ecu::cfg.reserved3 = 0x01020304;
  ecu::WriteInitFile();

  const Bytes file = ReadAll(path);
  ASSERT_EQ(file.size(), 804u);
  EXPECT_EQ(file[0], 0xFF);
  EXPECT_EQ(file[1], 0xFF);
  EXPECT_EQ(com::FieldText(file.data() + 2, 260), "/data/maps/run1.emd");
  EXPECT_EQ(com::FieldText(file.data() + 262, 260), "C:\\old\\bike.ecd");
  EXPECT_EQ(com::FieldText(file.data() + 522, 260), std::string(259, 't'));
  EXPECT_EQ(file[781], 0);  // the text stays terminated
  EXPECT_EQ(com::Get32LE(file.data() + 784), 300u);
  EXPECT_EQ(com::Get32LE(file.data() + 788), 70000u);
  EXPECT_EQ(com::Get32LE(file.data() + 792), 0xFFFFFFFBu);
  EXPECT_EQ(com::Get32LE(file.data() + 796), 501u);
  EXPECT_EQ(file[800], 0x04);

  Scramble();
  ecu::ReadInitFile();
  EXPECT_EQ(com::comPort, -1);
  EXPECT_EQ(ecu::cfg.mapFilePath, "/data/maps/run1.emd");
  EXPECT_EQ(ecu::cfg.parFilePath, "C:\\old\\bike.ecd");
  EXPECT_EQ(ecu::cfg.tuneFilePath, std::string(259, 't'));
  EXPECT_EQ(ecu::cfg.winPosX, 300);
  EXPECT_EQ(ecu::cfg.winPosY, 70000);
  EXPECT_EQ(ecu::cfg.reserved1, -5);
  EXPECT_EQ(ecu::cfg.reserved2, 501);
  EXPECT_EQ(ecu::cfg.reserved3, 0x01020304);
  ExpectDialogPlacesReset();
}

TEST_F(InitTest, PositionsAreClampedAfterReading) {
  struct Case {
    int32_t x, y, xRead, yRead;
  } cases[] = {{-7, 2, 0, 5}, {0, 5, 0, 5}, {-1, 4, 0, 5}, {1, 6, 1, 6}, {INT32_MIN, INT32_MIN, 0, 5}};
  for (const Case& c : cases) {
    ecu::cfg = ecu::Config{};
    ecu::cfg.winPosX = c.x;
    ecu::cfg.winPosY = c.y;
    ecu::WriteInitFile();
    ecu::ReadInitFile();
    EXPECT_EQ(ecu::cfg.winPosX, c.xRead) << c.x;
    EXPECT_EQ(ecu::cfg.winPosY, c.yRead) << c.y;
  }
}

TEST_F(InitTest, UnterminatedAndOverlongPaths) {
  // A path field filled to the brim by some other writer is read up to 259 characters.
  Bytes record(804, 0);
  std::fill(record.begin() + 2, record.begin() + 262, 'm');
  WriteAll(path, record);
  ecu::ReadInitFile();
  EXPECT_EQ(ecu::cfg.mapFilePath, std::string(259, 'm'));
  EXPECT_EQ(ecu::cfg.winPosY, 5);
  // A path too long for its field is not kept at all rather than cut into another name.
  ecu::cfg.parFilePath = std::string(300, 'p');
  ecu::WriteInitFile();
  ecu::ReadInitFile();
  EXPECT_EQ(ecu::cfg.parFilePath, "");
}

TEST_F(InitTest, FailedWritesLeaveTheOldFile) {
  ecu::cfg.parFilePath = "/first.ecd";
  ecu::WriteInitFile();
  const Bytes first = ReadAll(path);
  ASSERT_EQ(first.size(), 804u);

  struct rlimit saved {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto previous = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 500;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  ecu::cfg.parFilePath = "/second.ecd";
  ecu::WriteInitFile();  // silent failure
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);
  EXPECT_EQ(ReadAll(path), first);

  ecu::SetInitFilePath(dir + "/no/such/dir/tarvenco.ini");
  ecu::WriteInitFile();
  ecu::ReadInitFile();
  ExpectDefaults();
}

TEST(InitPathTest, DefaultsBesideTheWritableExecutable) {
  ecu::SetInitFilePath("");
  char exe[4096];
  const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  ASSERT_GT(n, 0);
  exe[n] = '\0';
  const std::string exeDir = com::DirectoryOf(exe);
  if (access(exeDir.c_str(), W_OK) != 0) GTEST_SKIP() << "test binary directory is read-only";
  EXPECT_EQ(ecu::InitFilePath(), exeDir + "/tarvenco.ini");
  ecu::SetInitFilePath("/elsewhere/tarvenco.ini");
  EXPECT_EQ(ecu::InitFilePath(), "/elsewhere/tarvenco.ini");
  ecu::SetInitFilePath("");
}

}  // namespace
