// Programming a 256 KiB second-generation firmware file against q740-sim playing the
// boot loader on a pseudo-terminal, paced as a serial line of 38400 and 312500 baud.
// Prints the time of the run beside the wire-time bound: every byte of the erases,
// data blocks, end frame and their acknowledgements at 11 bits a byte (8N2); and how
// far the time left that the gauge shows was from the real remaining time, from the
// first 10 % on (bound: within 10 %).
//
//   flash_bench [--sim PATH] [--baud N]...   (default: both rates)
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "link/bytes.h"
#include "link/com.h"
#include "link/commands.h"
#include "link/frame.h"
#include "loader/file.h"
#include "loader/program.h"
#include "loader/view.h"
#include "sim/simprocess.h"

namespace {

constexpr size_t kFileSize = 256 * 1024;

// q740-sim as a boot loader paced at `baud`, writing what it receives to `streamOut`.
bool StartSim(sim::SimProcess& sim, const std::string& binary, int baud, const std::string& streamOut) {
  return sim.Start(binary, {"--boot", "--baud", std::to_string(baud), "--stream-out", streamOut});
}

// Bytes on the wire for a transmission copy of `copySize` bytes on a boot loader of
// system 0x5600 (seven erases): requests and their empty acknowledgements (4 bytes).
double WireBytes(size_t copySize) {
  const double ack = 4;
  double bytes = 7 * (4 + 1 + ack);  // BootErase 1..7
  size_t left = copySize;
  while (left > 0) {
    const size_t n = left < loader::kBlockSize ? left : loader::kBlockSize;
    bytes += 4 + 2 + n + ack;
    left -= n;
  }
  bytes += 4 + 2 + ack;  // end frame
  return bytes;
}

// Round trips of single full blocks (259-byte request, 4-byte acknowledgement), to
// tell the fixed cost of one exchange apart from the line time.
void BlockRoundTrips(int baud) {
  if (!loader::EraseArea(1)) return;
  std::vector<double> extra;
  uint8_t payload[2 + loader::kBlockSize] = {};
  const double wire = (4 + 2 + loader::kBlockSize + 4) * 11.0 / baud;
  for (uint16_t block = 0; block < 200; ++block) {
    com::Put16BE(payload, block);
    const auto t0 = std::chrono::steady_clock::now();
    if (!loader::TxCommandWaitAck(com::BootWriteBlock, payload, sizeof payload)) return;
    extra.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() - wire);
  }
  std::sort(extra.begin(), extra.end());
  std::printf(
      "%8s  one block: wire %.3f ms, beyond it: median %.0f us, 90%% %.0f us, max %.0f us   (no bound: "
      "for information)\n",
      "", wire * 1e3, extra[extra.size() / 2] * 1e6, extra[extra.size() * 9 / 10] * 1e6, extra.back() * 1e6);
}

// Keeps every estimate of the time left with the moment it was shown.
class EtaView : public loader::HeadlessView {
 public:
  struct Shown {
    double fraction, secondsLeft, at;
  };
  void SetRunTime(const loader::RunTime& t) override {
    HeadlessView::SetRunTime(t);
    if (t.took < 0 && t.secondsLeft >= 0)
      shown.push_back(
          {t.fraction, t.secondsLeft,
           std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count()});
  }
  std::vector<Shown> shown;
};

// The estimates' errors against the real remaining time at a few points of the run;
// returns the largest from 10 % to 90 %.
double PrintEtaErrors(const EtaView& view, double end) {
  double worst = 0.0;
  std::printf("%8s  time left shown vs real:", "");
  size_t next = 0;
  const double points[] = {0.10, 0.25, 0.50, 0.75, 0.90};
  for (const auto& s : view.shown) {
    const double real = end - s.at;
    const double error = real > 0 ? (s.secondsLeft - real) / real : 0.0;
    if (s.fraction >= 0.10 && s.fraction <= 0.90) worst = std::max(worst, std::fabs(error));
    if (next < std::size(points) && s.fraction >= points[next]) {
      std::printf("  %2.0f%%: %.2f/%.2f s (%+.1f%%)", points[next] * 100, s.secondsLeft, real, error * 100);
      ++next;
    }
  }
  std::printf("\n");
  return worst;
}

}  // namespace

int main(int argc, char** argv) {
  std::string simBinary = std::string(BUILD_DIR) + "/sim/q740-sim";
  std::vector<int> rates;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--sim") && i + 1 < argc) {
      simBinary = argv[++i];
    } else if (!std::strcmp(argv[i], "--baud") && i + 1 < argc) {
      rates.push_back(std::atoi(argv[++i]));
    } else {
      std::fprintf(stderr, "usage: flash_bench [--sim PATH] [--baud N]...\n");
      return 2;
    }
  }
  if (rates.empty()) rates = {38400, 312500};
  if (::access(simBinary.c_str(), X_OK) != 0) {
    std::fprintf(stderr, "flash_bench: %s not found (build q740-sim)\n", simBinary.c_str());
    return 1;
  }

  char tmpl[] = "/tmp/flash_benchXXXXXX";
  if (!::mkdtemp(tmpl)) return 1;
  const std::string dir = tmpl;
  loader::SetCopyDirectory(dir);

  // A second-generation file of 256 KiB: tag, header checksum, body, image.
  std::vector<uint8_t> file(kFileSize);
  std::memcpy(file.data(), "TrvcoCrv", 8);
  for (size_t i = 12; i < file.size(); ++i) file[i] = static_cast<uint8_t>(i * 131 + (i >> 9));
  com::Put32LE(file.data() + 8, loader::GetHeaderChecksum(file.data() + 12, loader::kHeaderBodySize));
  const std::string path = dir + "/fw.mlf";
  FILE* f = std::fopen(path.c_str(), "wb");
  std::fwrite(file.data(), 1, file.size(), f);
  std::fclose(f);
  const size_t copySize = kFileSize - (loader::kPreambleSize - loader::kTagSize);

  com::frameLayout = com::BootFrame;
  std::printf("Programming a %zu-byte second-generation file (%zu-byte stream, %zu blocks) on a pty\n",
              kFileSize, copySize, (copySize + loader::kBlockSize - 1) / loader::kBlockSize);
  std::printf("%8s  %10s  %10s  %7s  %s\n", "baud", "time [s]", "wire [s]", "ratio", "goal");
  int failures = 0;
  for (int baud : rates) {
    const std::string streamOut = dir + "/stream.bin";
    sim::SimProcess sim;
    if (!StartSim(sim, simBinary, baud, streamOut)) {
      std::fprintf(stderr, "flash_bench: q740-sim did not start\n");
      return 1;
    }
    com::CloseComPort();
    com::comPort = 0;
    com::InitPortList({sim.Device()}, false);
    com::PortIndex() = com::AddPortDevice(sim.Device());
    com::OpenComPort();
    loader::ResetSession();
    bool found = false;
    for (int attempt = 0; attempt < 4 && !found; ++attempt) found = loader::Ping();
    if (!found || !loader::CheckBloadInfo()) {
      std::fprintf(stderr, "flash_bench: no boot loader on %s\n", sim.Device().c_str());
      sim.Stop();
      return 1;
    }
    EtaView view;
    loader::SetView(&view);
    const auto start = std::chrono::steady_clock::now();
    const int result = loader::SendFirmware(path);
    const auto stop = std::chrono::steady_clock::now();
    const double seconds = std::chrono::duration<double>(stop - start).count();
    loader::SetView(nullptr);
    struct stat st {};
    const bool streamOk = ::stat(streamOut.c_str(), &st) == 0 && static_cast<size_t>(st.st_size) == copySize;
    const double bound = WireBytes(copySize) * 11.0 / baud;
    const double ratio = seconds / bound;
    std::printf("%8d  %10.3f  %10.3f  %7.3f  ratio <= 1.10 %s%s\n", baud, seconds, bound, ratio,
                ratio <= 1.10 ? "met" : "MISSED",
                result == loader::kResultDone && streamOk ? "" : "  (run FAILED)");
    if (result != loader::kResultDone || !streamOk || ratio > 1.10) ++failures;
    const double worst = PrintEtaErrors(view, std::chrono::duration<double>(stop.time_since_epoch()).count());
    std::printf("%8s  largest error of the time left from 10 %% to 90 %%: %.1f %%   bound <= 10 %% %s\n", "",
                worst * 100, worst <= 0.10 ? "met" : "MISSED");
    if (worst > 0.10) ++failures;
    BlockRoundTrips(baud);
    com::CloseComPort();
    sim.Stop();
    std::remove(streamOut.c_str());
  }
  std::remove(path.c_str());
  ::rmdir(dir.c_str());
  return failures ? 1 : 0;
}
