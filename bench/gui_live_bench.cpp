// The live page of the Kestra window with Record on, against q740-sim pacing an 8N2
// line of 312500 baud on a pseudo-terminal, in the window's own event loop: records
// logged per second (goal >= 100), redraws per second (at most the screen's 60), and
// how long an input event posted to the window waits before it is handled (goal: 99%
// within 20 ms).
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "link/com.h"
#include "live/livpage.h"
#include "shell/linkmonitor.h"
#include "shell/mainwindow.h"
#include "shell/panelswitch.h"
#include "sim/simprocess.h"

namespace {

constexpr double kRecordGoal = 100, kRedrawLimit = 60, kLatencyGoalMs = 20;
constexpr int kRunMs = 6000;
const std::string kSim = std::string(BUILD_DIR) + "/sim/q740-sim";

// Receives the probe events and notes how long each waited in the queue.
class Probe : public QObject {
 public:
  explicit Probe(QElapsedTimer& clock) : clock_(clock) {}
  bool event(QEvent* e) override {
    if (e->type() != QEvent::User) return QObject::event(e);
    waits.push_back((clock_.nsecsElapsed() - posted) / 1e6);
    return true;
  }
  qint64 posted = 0;
  std::vector<double> waits;

 private:
  QElapsedTimer& clock_;
};

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  sim::SimProcess simProcess;
  if (!simProcess.Start(kSim, {"--baud", "312500"})) {
    std::fprintf(stderr, "gui_live_bench: q740-sim printed no device path (is it built? %s)\n", kSim.c_str());
    return 1;
  }
  int rc = 1;
  {
    shell::MainWindow window;
    if (!window.LoadPanels()) return 1;
    window.Startup({simProcess.Device()}, false);
    window.show();
    window.Link().CommOnOff();
    if (!com::isComOpen) {
      std::fprintf(stderr, "gui_live_bench: could not connect to q740-sim\n");
      return 1;
    }
    window.Switcher().Live();
    auto* page = dynamic_cast<live::LivPage*>(window.Pages().Find(shell::PageId::Live));
    char dir[] = "/tmp/gui-live-bench.XXXXXX";
    if (!page || !mkdtemp(dir)) return 1;
    const std::string csv = std::string(dir) + "/run.csv";

    QElapsedTimer clock;
    clock.start();
    Probe probe(clock);
    uint32_t drawsAtStart = 0;
    QTimer poster;  // an input event every 25 ms
    QObject::connect(&poster, &QTimer::timeout, &probe, [&] {
      probe.posted = clock.nsecsElapsed();
      QCoreApplication::postEvent(&probe, new QEvent(QEvent::User));
    });
    QTimer::singleShot(500, [&] {  // the page has read its configuration by now
      page->SetRecording(true, csv);
      drawsAtStart = page->Draws();
      poster.start(25);
    });
    QTimer::singleShot(500 + kRunMs, &app, &QCoreApplication::quit);
    app.exec();
    poster.stop();
    const uint64_t records = page->Log().Count();
    const double rate = page->Log().Rate();
    const double redraws = (page->Draws() - drawsAtStart) / (kRunMs / 1000.0);
    page->SetRecording(false);
    window.Link().CommOnOff();
    std::remove(csv.c_str());
    rmdir(dir);

    std::vector<double> waits = probe.waits;
    std::sort(waits.begin(), waits.end());
    const double p99 = waits.empty() ? 1e9 : waits[waits.size() * 99 / 100];
    const double median = waits.empty() ? 1e9 : waits[waits.size() / 2];
    const bool ok = rate >= kRecordGoal && redraws <= kRedrawLimit + 1 && p99 <= kLatencyGoalMs;
    std::printf("live page with Record on, 312500 baud (%llu records, %zu input events)\n",
                static_cast<unsigned long long>(records), waits.size());
    std::printf("  logged %.1f records/s (goal >= %.0f)   redrawn %.1f times/s (at most %.0f)\n", rate,
                kRecordGoal, redraws, kRedrawLimit);
    std::printf("  input event waits: median %.2f ms, 99%% %.2f ms (goal <= %.0f ms)   %s\n", median, p99,
                kLatencyGoalMs, ok ? "ok" : "SLOW");
    rc = ok ? 0 : 1;
  }
  simProcess.Stop();
  return rc;
}
