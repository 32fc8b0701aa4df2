// The real serial code against the q740-sim program playing the boot loader on a
// pseudo-terminal: the state machine finds it, a file is programmed, and kalvex-cli
// reports its results.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "sim/simprocess.h"
#include "loader/live.h"
#include "loader_fixture.h"

namespace {

using namespace loader_testing;

// q740-sim started with some options; empty Device() when it did not start.
struct SimProcess : sim::SimProcess {
  explicit SimProcess(const std::vector<std::string>& args) { Start(SIM_BINARY, args); }
};

class LoaderOnPty : public ::testing::Test {
 protected:
  void SetUp() override {
    if (::access(SIM_BINARY, X_OK) != 0) GTEST_SKIP() << "q740-sim not built";
    com::frameLayout = com::BootFrame;
    com::CloseComPort();
    loader::ResetSession();
    loader::SetView(&view);
    ASSERT_EQ(::mkdir((dir.Path() + "/copies").c_str(), 0700), 0);
    loader::SetCopyDirectory(dir.Path() + "/copies");
  }
  void TearDown() override {
    com::CloseComPort();
    com::frameLayout = com::ApplicationFrame;
    loader::SetView(nullptr);
    loader::SetCopyDirectory("");
    loader::ResetSession();
  }
  TempDir dir;
  RecordingView view;
};

TEST_F(LoaderOnPty, StateMachineFindsTheBootLoaderAndAFileIsProgrammed) {
  const std::string streamOut = dir.Path() + "/stream.bin";
  SimProcess sim({"--boot", "--boot-hello", "extended", "--sys-type", "0x5534", "--stream-out", streamOut});
  ASSERT_FALSE(sim.Device().empty());
  com::comPort = 0;
  com::InitPortList({sim.Device()}, false);
  com::PortIndex() = com::AddPortDevice(sim.Device());

  // Closed, plain form unanswered; three ticks later the extended form is answered.
  int ticks = 0;
  while (ticks < 8 && !loader::fBloadFound) {
    loader::MainTimer();
    ++ticks;
  }
  EXPECT_EQ(ticks, 5);  // plain form at tick 1, extended at tick 4, system type at tick 5
  loader::MainTimer();  // identity
  loader::MainTimer();  // installed application
  loader::MainTimer();  // keep-alive
  ASSERT_EQ(com::isComOpen, 1);
  EXPECT_EQ(view.portColour, loader::kColourOpen);
  EXPECT_EQ(loader::sysType, 0x5534);
  EXPECT_EQ(view.title, "Kalvex v3.0    <Q740 Boot v2.1>");
  EXPECT_EQ(view.appText, "Q740 v1.3\n(MLF 740 - 2009-04-16)");

  const Bytes image = Pattern(253 * 8 + 100);
  const std::string path = dir.Write("fw.mlf", SecondGenFile("TrvcoCrv", image));
  EXPECT_EQ(loader::SendFirmware(path), loader::kResultDone);
  Bytes expected = TagBytes("TrvcoCrv");
  expected.insert(expected.end(), image.begin(), image.end());
  EXPECT_EQ(ReadAll(streamOut), expected);
  EXPECT_TRUE(dir.List("copies").empty());
}

// kalvex-cli as a script would call it.
std::string RunCli(const std::string& args, int* status) {
  const std::string cli = std::string(BUILD_DIR) + "/cli/kalvex-cli";
  std::string out;
  FILE* p = ::popen((cli + " " + args + " 2>/dev/null").c_str(), "r");
  if (!p) return out;
  char buf[512];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  int rc = ::pclose(p);
  *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  return out;
}

TEST_F(LoaderOnPty, CliInfoAndProgram) {
  if (::access((std::string(BUILD_DIR) + "/cli/kalvex-cli").c_str(), X_OK) != 0)
    GTEST_SKIP() << "no kalvex-cli";
  const std::string streamOut = dir.Path() + "/stream.bin";
  SimProcess sim(
      {"--boot", "--boot-hello", "plain", "--no-app", "--no-ack-block", "3", "--stream-out", streamOut});
  ASSERT_FALSE(sim.Device().empty());
  const std::string port = "--port " + sim.Device();
  int status = -1;
  EXPECT_EQ(RunCli("info " + port, &status), "Q740 Boot v2.1\n_  _  _\n");
  EXPECT_EQ(status, 0);

  const std::string good = dir.Write("good.mlf", SecondGenFile("TrvCrv55", Pattern(253 * 2)));
  EXPECT_EQ(RunCli("program " + port + " " + good, &status), "Done!\n");
  EXPECT_EQ(status, 0);
  Bytes expected = TagBytes("TrvcoBsz");  // rewritten for the plain-form boot loader
  const Bytes image = Pattern(253 * 2);
  expected.insert(expected.end(), image.begin(), image.end());
  EXPECT_EQ(ReadAll(streamOut), expected);

  const std::string bad = dir.Write("bad.mlf", SecondGenFile("TrvCrv55", Pattern(100), false));
  EXPECT_EQ(RunCli("program " + port + " " + bad, &status), "Invalid firmware file...\n");
  EXPECT_NE(status, 0);
  const std::string big = dir.Write("big.mlf", SecondGenFile("TrvCrv55", Pattern(253 * 6)));
  EXPECT_EQ(RunCli("program " + port + " " + big, &status), "Programming error...\n");  // block 3 unanswered
  EXPECT_NE(status, 0);
  EXPECT_EQ(RunCli("program --port " + dir.Path() + "/no-such-tty " + good, &status),
            "Programming error...\n");
  EXPECT_NE(status, 0);
}

// On a terminal the progress line carries the time left, and at the end the time the
// run took; the result stays on standard output.
TEST_F(LoaderOnPty, CliProgressLineOnATerminalShowsTheTime) {
  const std::string cli = std::string(BUILD_DIR) + "/cli/kalvex-cli";
  if (::access(cli.c_str(), X_OK) != 0) GTEST_SKIP() << "no kalvex-cli";
  SimProcess sim({"--boot", "--baud", "38400"});
  ASSERT_FALSE(sim.Device().empty());
  const std::string file = dir.Write("fw.mlf", SecondGenFile("TrvCrv55", Pattern(253 * 12)));
  int master = -1, slave = -1;
  ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  const std::string outPath = dir.Path() + "/stdout";
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(out, STDOUT_FILENO);
    ::dup2(slave, STDERR_FILENO);
    ::execl(cli.c_str(), cli.c_str(), "program", "--port", sim.Device().c_str(), file.c_str(),
            static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(slave);
  std::string terminal;
  char buf[512];
  ssize_t n;
  while ((n = ::read(master, buf, sizeof buf)) > 0)
    terminal.append(buf, static_cast<size_t>(n));  // EIO at the end
  ::close(master);
  int status = -1;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(ReadAll(outPath), (Bytes{'D', 'o', 'n', 'e', '!', '\n'}));
  EXPECT_NE(terminal.find(" s left"), std::string::npos) << terminal;
  EXPECT_NE(terminal.find("100%  3/3 KB  took "), std::string::npos) << terminal;
}

// The window program answers --exit-when-shown as Kestra does: "shown" once painted.
TEST(KalvexProgram, ExitWhenShown) {
  const std::string kalvex = std::string(BUILD_DIR) + "/loader/kalvex";
  if (::access(kalvex.c_str(), X_OK) != 0) GTEST_SKIP() << "no kalvex (built without the windows)";
  std::string out;
  FILE* p = ::popen(("QT_QPA_PLATFORM=offscreen " + kalvex + " --exit-when-shown 2>/dev/null").c_str(), "r");
  ASSERT_NE(p, nullptr);
  char buf[256];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  const int rc = ::pclose(p);
  EXPECT_EQ(out, "shown\n");
  EXPECT_TRUE(WIFEXITED(rc) && WEXITSTATUS(rc) == 0);
}

}  // namespace
