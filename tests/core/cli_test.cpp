// kestra-cli as a user runs it: the built program against q740-sim on a pseudo-terminal.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "sim/simprocess.h"
#include "run_program.h"
#include "test_support.h"

namespace {

const std::string kCli = std::string(BUILD_DIR) + "/cli/kestra-cli";

bool Exists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}

using test_support::ReadText;
using test_support::WriteAll;

using test_support::Outcome;
using test_support::RunProgram;

// q740-sim with a link to its device; ready once it has printed the device path.
struct Sim : sim::SimProcess {
  bool Start(const std::string& link, std::initializer_list<std::string> options) {
    std::vector<std::string> args = {"--link", link};
    args.insert(args.end(), options);
    return SimProcess::Start(SIM_BINARY, args);
  }
};

class KestraCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Exists(kCli)) GTEST_SKIP() << "kestra-cli not built at " << kCli;
    if (!Exists(SIM_BINARY)) GTEST_SKIP() << "q740-sim not built at " << SIM_BINARY;
    char tmpl[] = "/tmp/kestra-cli-test.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    link = dir + "/ecu";
  }
  void TearDown() override {
    std::error_code ignored;
    if (!dir.empty()) std::filesystem::remove_all(dir, ignored);
  }
  Outcome Cli(const std::vector<std::string>& args) { return RunProgram(dir, kCli, args); }
  std::string dir, link;
};

TEST_F(KestraCliTest, ReceiveSendReceiveRoundTrip) {
  Sim sim;
  ASSERT_TRUE(sim.Start(link, {}));

  // The extension is forced; the block is stored with fresh stamps.
  Outcome o = Cli({"receive", "--port", link, "configuration", dir + "/first.txt"});
  ASSERT_EQ(o.status, 0) << o.err;
  const std::string first = ReadText(dir + "/first.ecd");
  ASSERT_EQ(first.size(), 1276u);
  EXPECT_FALSE(Exists(dir + "/first.txt"));
  EXPECT_NE(o.out.find("\"first\""), std::string::npos) << o.out;

  o = Cli({"info", dir + "/first.ecd"});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_NE(o.out.find("configuration (1276 bytes)"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("\"Q740_PAR_DATA_v1.00\" - accepted"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("Name:          first\n"), std::string::npos) << o.out;

  // Change a byte of the parameter area, send it, read it back.
  std::string edited = first;
  edited[600] = static_cast<char>(edited[600] ^ 0x5A);
  WriteAll(dir + "/edited.ecd", edited);
  o = Cli({"send", "--port=" + link, "configuration", dir + "/edited.ecd"});
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_NE(o.out.find("Done!"), std::string::npos);
  o = Cli({"receive", "--port", link, "configuration", dir + "/again.ecd"});
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(ReadText(dir + "/again.ecd"), edited);

  // The mapping in map set 2 follows the same way.
  o = Cli({"receive", "--port", link, "mapping2", dir + "/map"});
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(ReadText(dir + "/map.emd").size(), 12344u);
  o = Cli({"info", dir + "/map.emd"});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_NE(o.out.find("mapping (12344 bytes)"), std::string::npos) << o.out;
}

TEST_F(KestraCliTest, FailedDownloadLeavesTheFileAsItWas) {
  WriteAll(dir + "/keep.ecd", "previous contents");
  Sim sim;
  ASSERT_TRUE(sim.Start(link, {"--drop-after", "5"}));
  const Outcome o = Cli({"receive", "--port", link, "configuration", dir + "/keep.ecd"});
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.err.find("Some error occurred..."), std::string::npos) << o.err;
  EXPECT_EQ(ReadText(dir + "/keep.ecd"), "previous contents");
}

TEST_F(KestraCliTest, IncompatibleEcuIsRefused) {
  // Another release or another firmware family: refused with the firmware text read
  // first, before any block is read.
  const std::pair<std::string, std::string> options[] = {{"--release", "0x0104"}, {"--family", "Q741"}};
  for (const auto& [option, value] : options) {
    Sim sim;
    ASSERT_TRUE(sim.Start(link, {option, value, "--firmware", "Q740 v9.9"}));
    const Outcome o = Cli({"receive", "--port", link, "mapping1", dir + "/m.emd"});
    EXPECT_EQ(o.status, 1) << option;
    EXPECT_EQ(o.err,
              "Failure ECU connect: The ECU firmware version (Q740 v9.9)\n"
              "is incompatible with this monitor.\n")
        << option;
    EXPECT_FALSE(Exists(dir + "/m.emd")) << option;
  }
}

TEST_F(KestraCliTest, RefusalsBeforeTheLink) {
  // A mapping file sent as configuration carries the wrong data-version stamp: refused
  // before the port is touched (the port does not even exist here).
  Sim sim;
  ASSERT_TRUE(sim.Start(link, {}));
  ASSERT_EQ(Cli({"receive", "--port", link, "mapping1", dir + "/m.emd"}).status, 0);

  struct Case {
    std::vector<std::string> args;
    int status;
    const char* err;
  } const cases[] = {
      {{"send", "--port", dir + "/no-such-port", "configuration", dir + "/m.emd"},
       1,
       "Incompatible data format!"},
      {{"send", "--port", dir + "/no-such-port", "configuration", dir + "/missing.ecd"}, 1, "missing"},
      {{"send", "--port", dir + "/no-such-port", "mapping1", dir + "/m.emd"}, 1, "cannot open the port"},
      {{"info", dir + "/m.emd.short"}, 1, "No such file"},
      {{"receive", "configuration", dir + "/x.ecd"}, 2, "needs --port"},
      {{"receive", "--port", link, "mapping3", dir + "/x.emd"}, 2, "not configuration, mapping1 or mapping2"},
      {{"info"}, 2, "Usage"},
      {{"frobnicate", "x"}, 2, "unknown command"},
      {{"receive", "--port", link, "mapping1", dir + "/"}, 2, "names a directory"},
      {{"receive", "--port", link, "configuration", dir + "/.."}, 2, "names a directory"},
      {{"receive", "--port", link, "configuration", dir + "/sub.ecd"}, 1, "is a directory"},
  };
  ASSERT_EQ(mkdir((dir + "/sub.ecd").c_str(), 0755), 0);
  for (const Case& c : cases) {
    const Outcome o = Cli(c.args);
    EXPECT_EQ(o.status, c.status) << c.args[0] << " " << c.args.back() << "\n" << o.err;
    EXPECT_NE(o.err.find(c.err), std::string::npos) << o.err;
  }
}

TEST_F(KestraCliTest, InfoRejectsOtherSizesAndForeignStamps) {
  WriteAll(dir + "/short.ecd", std::string(1275, '\0'));
  WriteAll(dir + "/long.emd", std::string(12345, '\0'));
  for (const char* name : {"/short.ecd", "/long.emd"}) {
    const Outcome o = Cli({"info", dir + name});
    EXPECT_EQ(o.status, 1) << name;
    EXPECT_NE(o.err.find("neither a configuration file"), std::string::npos) << o.err;
    EXPECT_TRUE(o.out.empty()) << o.out;
  }
  // Right size, stamps of another program and garbage bytes: shown, not accepted.
  std::string block(1276, '\x01');
  block.replace(0, 10, "Other v9.9");
  block.replace(32, 20, std::string("Q740_MAP_DATA_v1.00") + '\0');
  block.replace(1156, 4, std::string("\x00\x00\xFF\x00", 4));
  WriteAll(dir + "/foreign.ecd", block);
  const Outcome o = Cli({"info", dir + "/foreign.ecd"});
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.out.find("another application"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("not accepted"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("Bike:          not set"), std::string::npos) << o.out;
  EXPECT_NE(o.err.find("Incompatible data format!"), std::string::npos) << o.err;
  for (char c : o.out) EXPECT_TRUE(c == '\n' || (c >= 0x20 && c < 0x7F)) << int(c);
}

}  // namespace

TEST_F(KestraCliTest, DoctorReportsWhatItFoundAndExitsByIt) {
  Sim sim;
  ASSERT_TRUE(sim.Start(link, {}));
  // The simulator's pseudo-terminal: ours to use, and its holder is the other end.
  Outcome o = Cli({"doctor", "--port", link});
  EXPECT_EQ(o.status, 0) << o.out << o.err;
  EXPECT_NE(o.out.find("ok: " + link + " is readable and writable for "), std::string::npos) << o.out;

  o = Cli({"doctor", "--port", dir + "/ttyUSB9"});
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.out.find("problem: " + dir + "/ttyUSB9 does not exist: plug the adapter in"), std::string::npos)
      << o.out;

  EXPECT_EQ(Cli({"doctor", "now"}).status, 2);
}
