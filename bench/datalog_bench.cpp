// kestra-cli log against q740-sim pacing an 8N2 line of 312500 baud on a
// pseudo-terminal, through the real serial code: records logged per second, beside
// what the wire carries at most (request 3 + 4 frame bytes, reply 144 + 4, 11 bits a
// byte) and the goal of 0.9 times that (165 records a second).
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "sim/simprocess.h"

namespace {

constexpr double kBaud = 312500;
constexpr double kGoal = 165;
constexpr double kSeconds = 6;
const std::string kSim = std::string(BUILD_DIR) + "/sim/q740-sim";
const std::string kCli = std::string(BUILD_DIR) + "/cli/kestra-cli";

}  // namespace

int main() {
  sim::SimProcess simProcess;
  if (!simProcess.Start(kSim, {"--baud", "312500"})) {
    std::fprintf(stderr, "datalog_bench: q740-sim printed no device path (is it built? %s)\n", kSim.c_str());
    return 1;
  }
  char dir[] = "/tmp/datalog-bench.XXXXXX";
  if (!mkdtemp(dir)) return 1;
  const std::string csv = std::string(dir) + "/run.csv", err = std::string(dir) + "/stderr";
  const std::string seconds = std::to_string(kSeconds);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDERR_FILENO);
    execl(kCli.c_str(), kCli.c_str(), "log", "--port", simProcess.Device().c_str(), "--seconds",
          seconds.c_str(), "--out", csv.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  simProcess.Stop();

  // The rate from the file itself: records between the first and the last time stamp.
  std::ifstream in(csv);
  std::string line, first, last;
  long records = -1;  // the header is not a record
  while (std::getline(in, line)) {
    if (records == 0) first = line;
    last = line;
    ++records;
  }
  std::remove(csv.c_str());
  std::remove(err.c_str());
  rmdir(dir);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || records < 2) {
    std::fprintf(stderr, "datalog_bench: kestra-cli log failed (status %d, %ld records)\n", status, records);
    return 1;
  }
  const double span = std::atof(last.c_str()) - std::atof(first.c_str());
  const double rate = (records - 1) / span;
  const double wire = kBaud / ((3 + 4 + 144 + 4) * 11.0);
  std::printf("kestra-cli log at 312500 baud (%ld records in %.2f s)\n", records, span);
  std::printf("  %.1f records/s   wire at most %.1f records/s (%.0f%%)   goal >= %.0f   %s\n", rate, wire,
              100 * rate / wire, kGoal, rate >= kGoal ? "ok" : "SLOW");
  return rate >= kGoal ? 0 : 1;
}
