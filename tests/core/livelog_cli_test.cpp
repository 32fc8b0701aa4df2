// kestra-cli log against q740-sim on a pseudo-terminal: the CSV it writes, the
// refusal of an incompatible ECU, the end by SIGINT, and an ECU that stops answering.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "live/datalog.h"
#include "sim/simprocess.h"

namespace {

const std::string kCli = std::string(BUILD_DIR) + "/cli/kestra-cli";

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::stringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

size_t Cells(const std::string& line) {
  return static_cast<size_t>(std::count(line.begin(), line.end(), ',')) + 1;
}

class LogCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (::access(kCli.c_str(), X_OK) != 0) GTEST_SKIP() << "kestra-cli not built";
    char tmpl[] = "/tmp/kestra-log-test.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
  }
  void TearDown() override {
    std::error_code ignored;
    if (!dir.empty()) std::filesystem::remove_all(dir, ignored);
  }
  // Starts kestra-cli; its standard output and error go to files of `dir`.
  pid_t Spawn(const std::vector<std::string>& args) {
    const std::string out = dir + "/stdout", err = dir + "/stderr";
    const pid_t pid = fork();
    if (pid == 0) {
      dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDOUT_FILENO);
      dup2(open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDERR_FILENO);
      std::vector<char*> argv{const_cast<char*>(kCli.c_str())};
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(kCli.c_str(), argv.data());
      _exit(127);
    }
    return pid;
  }
  int Wait(pid_t pid) {
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
  }
  int Run(const std::vector<std::string>& args) { return Wait(Spawn(args)); }
  std::string Err() { return ReadAll(dir + "/stderr"); }
  std::string dir;
};

TEST_F(LogCliTest, WritesTheRequestedRecordsAsCsv) {
  sim::SimProcess sim;
  ASSERT_TRUE(sim.Start(SIM_BINARY, {}));
  ASSERT_EQ(Run({"log", "--port", sim.Device(), "--count", "25", "--out", dir + "/run.csv"}), 0) << Err();
  const std::vector<std::string> lines = Lines(ReadAll(dir + "/run.csv"));
  ASSERT_EQ(lines.size(), 26u);
  EXPECT_EQ(lines[0] + "\n", live::CsvHeader());
  for (size_t i = 1; i < lines.size(); ++i) EXPECT_EQ(Cells(lines[i]), Cells(lines[0])) << i;
  EXPECT_EQ(lines[1].substr(0, 6), "0.000,");
  EXPECT_NE(Err().find("25 records"), std::string::npos) << Err();

  // Without --out the CSV goes to standard output.
  ASSERT_EQ(Run({"log", "--port", sim.Device(), "--count", "3"}), 0) << Err();
  EXPECT_EQ(Lines(ReadAll(dir + "/stdout")).size(), 4u);
}

TEST_F(LogCliTest, SigintEndsTheLogWithWholeLines) {
  sim::SimProcess sim;
  ASSERT_TRUE(sim.Start(SIM_BINARY, {"--baud", "38400"}));
  const std::string path = dir + "/cut.csv";
  const pid_t pid = Spawn({"log", "--port", sim.Device(), "--out", path});
  // Wait until some records are in the file, then interrupt.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (Lines(ReadAll(path)).size() < 6 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  kill(pid, SIGINT);
  EXPECT_EQ(Wait(pid), 0) << Err();
  const std::string text = ReadAll(path);
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.back(), '\n');
  const std::vector<std::string> lines = Lines(text);
  ASSERT_GE(lines.size(), 6u);
  for (const std::string& line : lines) EXPECT_EQ(Cells(line), Cells(lines[0]));
  EXPECT_NE(Err().find(std::to_string(lines.size() - 1) + " records"), std::string::npos) << Err();
}

TEST_F(LogCliTest, RefusalsAndAnEcuThatStopsAnswering) {
  sim::SimProcess other;
  ASSERT_TRUE(other.Start(SIM_BINARY, {"--release", "0x0104"}));
  EXPECT_EQ(Run({"log", "--port", other.Device(), "--count", "5", "--out", dir + "/no.csv"}), 1);
  EXPECT_NE(Err().find("is incompatible with this monitor"), std::string::npos) << Err();
  EXPECT_FALSE(std::filesystem::exists(dir + "/no.csv"));  // nothing asked before the identity check

  // Connect takes 2 requests (firmware text, identity); the ECU goes silent after 12 live ones.
  sim::SimProcess dropping;
  ASSERT_TRUE(dropping.Start(SIM_BINARY, {"--drop-after", "14"}));
  EXPECT_EQ(Run({"log", "--port", dropping.Device(), "--out", dir + "/part.csv"}), 1);
  EXPECT_NE(Err().find("stopped answering"), std::string::npos) << Err();
  EXPECT_EQ(Lines(ReadAll(dir + "/part.csv")).size(), 13u);  // header and the 12 records, kept

  EXPECT_EQ(Run({"log", "--count", "5"}), 2);
  EXPECT_EQ(Run({"log", "--port", "/dev/null", "--count", "0"}), 2);
  EXPECT_EQ(Run({"receive", "--port", "x", "--count", "3", "configuration", "f.ecd"}), 2);
}

}  // namespace
