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
#include "sim/simprocess.h"
#include "shell/connection.h"
#include "shell/linkmonitor.h"
#include "shell/mainwindow.h"

namespace {

constexpr double kBaud = 312500;
constexpr double kGoal = 1.5;
constexpr int kTicks = 300;
const std::string kSim = std::string(BUILD_DIR) + "/sim/q740-sim";

sim::SimProcess simProcess;

[[noreturn]] void Die(const std::string& message) {
  std::fprintf(stderr, "gui_tick_bench: %s\n", message.c_str());
  simProcess.Stop();
  std::exit(1);
}

// q740-sim pacing an 8N2 line of 312500 baud; returns its device path.
std::string StartSim() {
  if (!simProcess.Start(kSim, {"--baud", "312500"}))
    Die("q740-sim printed no device path (is it built? " + kSim + ")");
  return simProcess.Device();
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
  simProcess.Stop();
  return rc;
}
