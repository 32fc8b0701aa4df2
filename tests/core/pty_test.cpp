// The real serial code against the q740-sim program on a pseudo-terminal: connect,
// exchange, disconnect and connect again, with no assumption about timing (the
// simulator's frame-gap rule is tested on its own clock in sim_test.cpp).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "link/com.h"
#include "sim/simprocess.h"
#include "link/commands.h"
#include "link/frame.h"

namespace {

// q740-sim with a link to its device and a firmware text of its own.
struct SimProcess : sim::SimProcess {
  bool Start(const std::string& linkPath) {
    return sim::SimProcess::Start(SIM_BINARY, {"--link", linkPath, "--firmware", "Q740 pty test"});
  }
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
  EXPECT_EQ(std::string(target), sim.Device());

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
  }
  EXPECT_EQ(sim.Stop(), 0);
  EXPECT_NE(lstat(link.c_str(), &st), 0);  // the link is gone with the program
}

}  // namespace
