// Whole-block transfers through the real serial code against q740-sim pacing an
// 8N2 line of 312500 baud on a pseudo-terminal. Each time is printed beside the wire
// time (every byte of every request and reply frame, 11 bits each) and their ratio;
// the goal is a ratio of at most 1.10. Every exchange waits on the scheduler a few
// times (program, simulator, and the kernel's pseudo-terminal worker), so on a busy
// machine the ratio grows; the processor time column shows the program's own share.
// To measure apart from other load: chrt -f 10 transfer_bench.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ecudata/ecudata.h"
#include "ecudata/image.h"
#include "ecudata/transfer.h"
#include "link/com.h"
#include "sim/simprocess.h"
#include "link/userio.h"
#include "sim/appsim.h"

namespace {

constexpr double kBaud = 312500;
constexpr double kGoal = 1.10;
const std::string kSim = std::string(BUILD_DIR) + "/sim/q740-sim";

sim::SimProcess simProcess;

[[noreturn]] void Die(const std::string& message) {
  std::fprintf(stderr, "transfer_bench: %s\n", message.c_str());
  simProcess.Stop();
  std::exit(1);
}

// q740-sim pacing an 8N2 line of 312500 baud; returns its device path.
std::string StartSim() {
  if (!simProcess.Start(kSim, {"--baud", "312500"}))
    Die("q740-sim printed no device path (is it built? " + kSim + ")");
  return simProcess.Device();
}

// Bytes on the line for a whole-image transfer of `size` bytes in chunks of 255.
double WireSeconds(uint32_t size, bool upload) {
  const uint32_t chunks = (size + 254) / 255;
  double bytes = 0;
  if (upload)  // BeginWrite (6-byte payload, empty reply), chunks, 4-byte acknowledgements
    bytes = (6 + 4) + 4 + size + 4.0 * chunks + (4 + 4) * chunks;
  else  // ReadChunk requests of 7 bytes, replies with the image bytes
    bytes = (7 + 4) * chunks + size + 4.0 * chunks;
  return bytes * 11 / kBaud;
}

// CPU time of this process (the program's side of the link), seconds.
double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

struct Row {
  const char* what;
  int type;
  bool upload;
  uint32_t size;
};

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  struct stat st {};
  if (stat(kSim.c_str(), &st) != 0) Die("q740-sim not found at " + kSim);
  const std::string device = StartSim();

  // Working blocks the simulator will accept, with matching bike codes.
  const std::vector<uint8_t> par = sim::DefaultParBlock(), map = sim::DefaultMapBlock(1);
  std::copy(par.begin(), par.end(), ecu::ecuParData);
  std::copy(map.begin(), map.end(), ecu::ecuMapData);
  com::Ui().ShowConfigName("BenchCfg", 1);
  com::Ui().ShowConfigName("BenchMap", 2);

  com::InitPortList({device}, false);
  com::PortIndex() = com::AddPortDevice(device);
  com::OpenComPort();
  if (!com::isComOpen) Die("cannot open " + device + ": " + com::LastPortError());

  const Row rows[] = {{"send map image (type 2)", 2, true, ecu::zzzDimMapBuf},
                      {"receive map image (type 2)", 2, false, ecu::zzzDimMapBuf},
                      {"send parameter image (type 1)", 1, true, ecu::zzzDimParBuf},
                      {"receive parameter image (type 1)", 1, false, ecu::zzzDimParBuf}};
  double load[1] = {0};
  getloadavg(load, 1);
  std::printf("Transfers against q740-sim --baud 312500 on %s, %d runs each (load average %.2f)\n",
              device.c_str(), runs, load[0]);
  std::printf("  %-34s %9s %9s %9s %7s %7s %8s\n", "", "best ms", "mean ms", "wire ms", "ratio", "goal",
              "cpu ms");
  bool allOk = true;
  ecu::InitEcuRefData();  // the blocks go out and come back unchanged: no restore points
  for (const Row& r : rows) {
    double best = 1e30, sum = 0;
    const double cpu0 = CpuSeconds();
    for (int i = 0; i < runs; ++i) {
      auto t0 = std::chrono::steady_clock::now();
      uint8_t ok = r.upload ? ecu::SendEcu(r.type, 0) : ecu::RequestEcu(r.type, 0);
      double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
      if (!ok) Die(std::string(r.what) + " failed");
      best = std::min(best, s);
      sum += s;
    }
    const double cpu = (CpuSeconds() - cpu0) / runs;
    const double mean = sum / runs, wire = WireSeconds(r.size, r.upload), ratio = mean / wire;
    allOk = allOk && ratio <= kGoal;
    std::printf("  %-34s %9.2f %9.2f %9.2f %7.3f %7.2f %8.2f %s\n", r.what, best * 1e3, mean * 1e3,
                wire * 1e3, ratio, kGoal, cpu * 1e3, ratio <= kGoal ? "ok" : "ABOVE GOAL");
  }
  // The received blocks must be what was sent.
  if (!std::equal(par.begin(), par.end(), ecu::ecuParData) ||
      !std::equal(map.begin(), map.end(), ecu::ecuMapData))
    Die("a received block differs from the one sent");
  com::CloseComPort();
  simProcess.Stop();
  std::printf("ratio = mean time / wire time; cpu = this program's processor time per transfer\n");
  std::printf("%s\n", allOk ? "all within the goal"
                            : "some above the goal (see the load: the rest is waiting on the scheduler)");
  return allOk ? 0 : 1;
}
