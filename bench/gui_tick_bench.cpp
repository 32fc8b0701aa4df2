// The main-panel tick of the Kestra window (the identity Ping, failure counting and
// the indicators) against q740-sim pacing an 8N2 line of 312500 baud on a
// pseudo-terminal, through the real serial code. The time per tick is printed beside
// the wire time of the exchange (request and reply frames, 11 bits a byte); the goal
// is a ratio of at most 1.5.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "link/com.h"
#include "shell/connection.h"
#include "shell/linkmonitor.h"
#include "shell/mainwindow.h"

namespace {

constexpr double kBaud = 312500;
constexpr double kGoal = 1.5;
constexpr int kTicks = 300;
const std::string kSim = std::string(BUILD_DIR) + "/sim/q740-sim";
pid_t simPid = -1;

[[noreturn]] void Die(const std::string& message) {
  std::fprintf(stderr, "gui_tick_bench: %s\n", message.c_str());
  if (simPid > 0) kill(simPid, SIGTERM);
  std::exit(1);
}

std::string StartSim() {
  int fds[2];
  if (pipe(fds) != 0) Die("pipe failed");
  simPid = fork();
  if (simPid == 0) {
    dup2(fds[1], 1);
    close(fds[0]);
    close(fds[1]);
    execl(kSim.c_str(), kSim.c_str(), "--baud", "312500", nullptr);
    _exit(127);
  }
  close(fds[1]);
  if (simPid < 0) Die("fork failed");
  FILE* out = fdopen(fds[0], "r");
  char line[256] = {};
  if (!out || !fgets(line, sizeof line, out))
    Die("q740-sim printed no device path (is it built? " + kSim + ")");
  fclose(out);
  std::string device = line;
  while (!device.empty() && (device.back() == '\n' || device.back() == '\r')) device.pop_back();
  return device;
}

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  const std::string device = StartSim();

  int rc = 1;
  {
    shell::MainWindow window;
    if (!window.LoadPanels()) Die("the window's pages did not load");
    window.Startup({device}, false);
    window.Link().Timer()->stop();  // ticks are run here, back to back
    window.Link().CommOnOff();
    if (!com::isComOpen) Die("could not connect to q740-sim on " + device);

    std::vector<double> ticks;
    for (int i = 0; i < kTicks; ++i) {
      const auto start = std::chrono::steady_clock::now();
      window.Link().MainTimer();
      ticks.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
      if (!com::isComOpen) Die("the link closed during the ticks");
    }
    std::sort(ticks.begin(), ticks.end());
    const double median = ticks[ticks.size() / 2];
    const double p90 = ticks[ticks.size() * 9 / 10];
    // Identify: 30 key bytes + 4 frame bytes out, 16 record bytes + 4 frame bytes back.
    const double wire = (30 + 4 + 16 + 4) * 11 / kBaud;
    const double ratio = median / wire;
    std::printf("main-panel tick (Ping at 312500 baud, %d ticks)\n", kTicks);
    std::printf("  median %.3f ms (90%% %.3f ms)   wire time %.3f ms   ratio %.2f   goal <= %.1f   %s\n",
                median * 1e3, p90 * 1e3, wire * 1e3, ratio, kGoal, ratio <= kGoal ? "ok" : "SLOW");
    rc = ratio <= kGoal ? 0 : 1;
    window.Link().CommOnOff();
  }
  kill(simPid, SIGTERM);
  waitpid(simPid, nullptr, 0);
  return rc;
}
