// Map tuning ticks.
//
// 1. The status exchange of a tuning tick (Request 1 and its 156-byte Info) against
//    q740-sim tuning on an 8N2 line of 312500 baud on a pseudo-terminal, through the
//    real serial code, beside its wire time (request and reply frames, 11 bits a
//    byte). Goal: a ratio of at most 1.10.
// 2. A whole tick of the tuning page (the session cycle, 32 cell updates written into
//    the mapping, the table redrawn, the marker and the readings) against an in-process
//    ECU, which costs no wire time: what the tick adds beyond the wire. Goal: at most
//    16 ms.
#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "link/com.h"
#include "link/commands.h"
#include "link/pipeport.h"
#include "shell/linkmonitor.h"
#include "shell/mainwindow.h"
#include "shell/pages.h"
#include "sim/appsim.h"
#include "sim/simcore.h"
#include "sim/simprocess.h"
#include "tuning/map2.h"
#include "tuning/tunerecords.h"
#include "tuning/ui/mp2page.h"

namespace {

constexpr double kBaud = 312500;
constexpr double kRatioGoal = 1.10;
constexpr double kBeyondGoalMs = 16.0;
constexpr int kTicks = 300;
const std::string kSim = std::string(BUILD_DIR) + "/sim/q740-sim";

sim::SimProcess simProcess;

[[noreturn]] void Die(const std::string& message) {
  std::fprintf(stderr, "gui_tuning_bench: %s\n", message.c_str());
  simProcess.Stop();
  std::exit(1);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}
double P90(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() * 9 / 10];
}

template <typename F>
double Seconds(F&& f) {
  const auto start = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// 1: the status exchange through the real serial code.
bool StatusExchange() {
  if (!simProcess.Start(kSim, {"--baud", "312500", "--tune-state", "auto"}))
    Die("q740-sim printed no device path (is it built? " + kSim + ")");
  bool ok = false;
  {
    shell::MainWindow window;
    if (!window.LoadPanels()) Die("the window's pages did not load");
    window.Startup({simProcess.Device()}, false);
    window.Link().Timer()->stop();
    window.Link().CommOnOff();
    if (!com::isComOpen) Die("could not connect to q740-sim on " + simProcess.Device());
    std::vector<double> times;
    for (int i = 0; i < kTicks; ++i) {
      uint8_t result = 0;
      times.push_back(Seconds([&] { result = tuning::SendTuneRequest(tuning::kRequestInfo); }));
      if (!result) Die("a status exchange failed");
    }
    if (tuning::tuneInfo.State() != tuning::kStateAuto) Die("q740-sim does not report auto tuning");
    const double wire = (1 + 4 + tuning::kInfoSize + 4) * 11 / kBaud;
    const double ratio = Median(times) / wire;
    ok = ratio <= kRatioGoal;
    std::printf("tuning status exchange (Request 1 + Info at 312500 baud, %d exchanges)\n", kTicks);
    std::printf("  median %.3f ms (90%% %.3f ms)   wire time %.3f ms   ratio %.3f   goal <= %.2f   %s\n",
                Median(times) * 1e3, P90(times) * 1e3, wire * 1e3, ratio, kRatioGoal, ok ? "ok" : "SLOW");
    window.Link().CommOnOff();
  }
  simProcess.Stop();
  return ok;
}

// 2: the page's tick with 32 cell updates against an in-process ECU.
bool PageTick() {
  sim::AppDevice device;
  sim::Engine engine(device);
  int round = 0;
  device.handlers[com::TuneExchange] = [&](const uint8_t* payload, uint8_t n) {
    sim::Device::Reply reply;
    if (n == tuning::kRequestSize && payload[0] == tuning::kRequestSettings) {
      tuning::MtSettings s{};
      tuning::DefaultSettings(s, 65536, 524, 100);
      reply.payload.resize(tuning::kSettingsSize);
      tuning::SettingsToWire(s, reply.payload.data());
      return reply;
    }
    tuning::Info info;
    info.SetState(tuning::kStateAuto);
    info.flagsB |= tuning::kFlagMatchEnabled;
    info.flagsA = tuning::kFlagLambda1Match;
    info.rpm = static_cast<int16_t>(2000 + 37 * (round % 200));
    info.farf = static_cast<int16_t>(100 + 3 * (round % 200));
    for (int i = 0; i < tuning::kCellEntries; ++i)
      info.cells[i] = {tuning::kMapInj1, static_cast<uint8_t>((round + i) % 32), static_cast<uint8_t>(i % 20),
                       static_cast<uint16_t>(3000 + round * 7 + i)};
    ++round;
    reply.payload.resize(tuning::kInfoSize);
    tuning::InfoToWire(info, reply.payload.data());
    return reply;
  };
  com::SetPortFactory([&](const com::PortItem&, std::string*) -> std::unique_ptr<com::Port> {
    auto pipe = std::make_unique<com::PipePort>();
    sim::AttachToPipe(engine, *pipe);
    return pipe;
  });
  bool ok = false;
  {
    shell::MainWindow window;
    if (!window.LoadPanels()) Die("the window's pages did not load");
    window.Startup({"/dev/simulated"}, false);
    window.Link().Timer()->stop();
    window.Link().CommOnOff();
    if (!com::isComOpen) Die("could not connect to the in-process ECU");
    window.Pages().hooks.setTuningModes(true, false);
    window.Pages().Find(shell::PageId::MapTuning)->Scatter();
    window.Pages().Show(shell::PageId::MapTuning);
    window.show();
    for (int i = 0; i < 5; ++i) window.Link().MainTimer();  // the session start and its loading
    std::vector<double> times;
    for (int i = 0; i < kTicks; ++i) {
      times.push_back(Seconds([&] {
        window.Link().MainTimer();
        QApplication::processEvents();  // the redraw itself
      }));
    }
    const double median = Median(times) * 1e3;
    ok = median <= kBeyondGoalMs;
    std::printf("tuning page tick (32 cell updates, table redrawn, in-process ECU, %d ticks)\n", kTicks);
    std::printf("  median %.3f ms (90%% %.3f ms) beyond the wire time   goal <= %.0f ms   %s\n", median,
                P90(times) * 1e3, kBeyondGoalMs, ok ? "ok" : "SLOW");
    window.Link().CommOnOff();
  }
  com::SetPortFactory(nullptr);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  const bool page = PageTick();
  const bool status = StatusExchange();
  return page && status ? 0 : 1;
}
