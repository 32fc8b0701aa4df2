// The real serial code against the q740-sim program on a pseudo-terminal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "link/com.h"
#include "link/commands.h"
#include "link/frame.h"

namespace {

// Starts q740-sim with a pipe on its standard output and reads the device path.
struct SimProcess {
  pid_t pid = -1;
  std::string device;

  bool Start(const std::string& linkPath) {
    int fds[2];
    if (pipe(fds) != 0) return false;
    pid = fork();
    if (pid == 0) {
      dup2(fds[1], 1);
      close(fds[0]);
      close(fds[1]);
      execl(SIM_BINARY, SIM_BINARY, "--link", linkPath.c_str(), "--firmware", "Q740 pty test", nullptr);
      _exit(127);
    }
    close(fds[1]);
    if (pid < 0) return false;
    FILE* out = fdopen(fds[0], "r");
    char line[256] = {};
    bool ok = out && fgets(line, sizeof line, out);
    if (out) fclose(out);
    device = line;
    while (!device.empty() && (device.back() == '\n' || device.back() == '\r')) device.pop_back();
    return ok && !device.empty();
  }
  // Ends it with SIGTERM; returns its exit status (or -1).
  int Stop() {
    if (pid <= 0) return -1;
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  ~SimProcess() { Stop(); }
};

int32_t Exchange(uint8_t command, const uint8_t* payload, uint8_t n, std::string* reply) {
  if (com::TxCommand(command, payload, n) != 1) return -2;
  uint8_t buf[255];
  uint8_t count = 0;
  int32_t rc = com::RxResponse(command, buf, 255, &count);
  if (rc == 0) reply->assign(reinterpret_cast<char*>(buf), count);
  return rc;
}

TEST(PtyTest, SerialCodeTalksToSimulatorAndReconnects) {
  struct stat st {};
  if (stat(SIM_BINARY, &st) != 0) GTEST_SKIP() << "q740-sim not built at " << SIM_BINARY;

  const std::string link = ::testing::TempDir() + "/q740-pty-test-" + std::to_string(getpid());
  SimProcess sim;
  ASSERT_TRUE(sim.Start(link));
  char target[256] = {};
  ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
  EXPECT_EQ(std::string(target), sim.device);

  com::SetPortFactory({});
  com::CloseComPort();
  com::InitPortList({link}, false);
  com::PortIndex() = com::AddPortDevice(link);
  for (int round = 0; round < 2; ++round) {  // connect, disconnect, connect again
    SCOPED_TRACE(round);
    com::OpenComPort();
    ASSERT_EQ(com::isComOpen, 1) << com::LastPortError();
    std::string reply;
    ASSERT_EQ(Exchange(com::GetFirmwareName, nullptr, 0, &reply), 0);
    EXPECT_EQ(reply, "Q740 pty test");
    const uint8_t keys[30] = {};
    ASSERT_EQ(Exchange(com::Identify, keys, sizeof keys, &reply), 0);
    ASSERT_EQ(reply.size(), 16u);
    EXPECT_EQ(reply.substr(1, 4), "Q740");
    EXPECT_EQ(static_cast<uint8_t>(reply[6]), 0x01);
    EXPECT_EQ(static_cast<uint8_t>(reply[7]), 0x03);
    com::CloseComPort();
    if (round == 0) {
      // A client that goes away in the middle of a frame: after a pause the
      // simulator forgets the partial frame and answers the next client.
      int fd = open(link.c_str(), O_RDWR | O_NOCTTY);
      ASSERT_GE(fd, 0);
      const uint8_t partial[] = {0x55, 0x40, 0x02, 0x01};
      ASSERT_EQ(write(fd, partial, sizeof partial), static_cast<ssize_t>(sizeof partial));
      close(fd);
      usleep(200 * 1000);
    }
  }
  EXPECT_EQ(sim.Stop(), 0);
  EXPECT_NE(lstat(link.c_str(), &st), 0);  // the link is gone with the program
}

}  // namespace
