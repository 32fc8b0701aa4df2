// A one-hour log at the USB adapter's rate (650,000 records, the datalog's own format,
// a rider's plausible values) written to a scratch file, then:
// - kestra-cli log summary on it, in MB of CSV a second (bound 300) and against wc -l on
//   the same file in the same run (bound 8 times);
// - the map view (binning onto map 1 with the filters, and a channel's cell means) and
//   the injection proposal over the whole hour (bound 100 ms each);
// - the memory of the loaded columns against 1.5 times 4 bytes a value.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "link/bytes.h"
#include "live/datalog.h"
#include "live/liverecord.h"
#include "logs/logcsv.h"
#include "logs/logmap.h"
#include "maps/map1.h"
#include "hourlog.h"

namespace {

using bench::kRecords;
using bench::WriteLog;
constexpr double kMinMBps = 300, kMaxWcFactor = 8, kMaxMapMs = 100, kMaxMemoryFactor = 1.5;
const std::string kCli = std::string(BUILD_DIR) + "/cli/kestra-cli";

// Wall time of a shell command in seconds (the best of three), or -1 when it fails.
double TimeCommand(const std::string& command) {
  double best = -1;
  for (int i = 0; i < 3; ++i) {
    const auto start = std::chrono::steady_clock::now();
    const int status = std::system(command.c_str());
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    best = best < 0 ? s : std::min(best, s);
  }
  return best;
}

template <typename F>
double BestMs(F f) {
  double best = 1e9;
  for (int i = 0; i < 5; ++i) {
    const auto start = std::chrono::steady_clock::now();
    f();
    best = std::min(
        best, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }
  return best;
}

bool Line(const char* what, double figure, const char* unit, const char* relation, double bound) {
  const bool ok = relation[0] == '>' ? figure >= bound : figure <= bound;
  std::printf("%-44s %10.1f %-5s (bound %s %.1f) %s\n", what, figure, unit, relation, bound,
              ok ? "ok" : "MISSED");
  return ok;
}

}  // namespace

// With a path argument the hour's log is written there and kept (for a profiler).
int main(int argc, char** argv) {
  char dir[] = "/tmp/logs-bench.XXXXXX";
  if (!mkdtemp(dir)) return 1;
  const bool keep = argc > 1;
  const std::string path = keep ? std::string(argv[1]) : std::string(dir) + "/hour.csv";
  std::printf("writing %zu records ...\n", kRecords);
  if (!WriteLog(path)) {
    std::fprintf(stderr, "logs_bench: %s cannot be written\n", path.c_str());
    return 1;
  }
  struct stat st {};
  stat(path.c_str(), &st);
  const double mb = static_cast<double>(st.st_size) / 1e6;
  std::printf("one hour: %zu records, %.1f MB\n", kRecords, mb);

  bool ok = true;
  const double wc = TimeCommand("wc -l '" + path + "' > /dev/null");
  const double summary = TimeCommand("'" + kCli + "' log summary '" + path + "' > /dev/null");
  if (wc <= 0 || summary <= 0) {
    std::fprintf(stderr, "logs_bench: wc -l or kestra-cli log summary failed (is %s built?)\n", kCli.c_str());
    ok = false;
  } else {
    std::printf("wc -l: %.3f s, kestra-cli log summary: %.3f s\n", wc, summary);
    ok &= Line("log summary throughput", mb / summary, "MB/s", ">=", kMinMBps);
    ok &= Line("log summary against wc -l", summary / wc, "x", "<=", kMaxWcFactor);
  }

  logs::Log log;
  std::string error;
  const auto start = std::chrono::steady_clock::now();
  if (logs::ReadLogFile(path, {}, &log, &error) != logs::ReadResult::Read) {
    std::fprintf(stderr, "logs_bench: %s\n", error.c_str());
    return 1;
  }
  std::printf("loaded in process: %.3f s\n",
              std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  double bytes = static_cast<double>(log.time.capacity()) * sizeof(double);
  for (const auto& column : log.channels) bytes += static_cast<double>(column.capacity()) * sizeof(float);
  const double values = static_cast<double>(log.Records()) * static_cast<double>(log.channels.size() + 1);
  ok &= Line("memory of the columns per value", bytes / values, "bytes", "<=", kMaxMemoryFactor * 4);

  // A map block with map 1 on 500 rpm steps and the throttle axis.
  std::vector<uint8_t> block(12344, 0);
  maps::MapPlace place;
  maps::GetMapPlace(1, 0, &place);
  for (int c = 0; c < maps::kMapCols; ++c) com::Put16LE(block.data() + place.xAxis + 2 * c, 500 * c);
  for (int r = 0; r < maps::kMapRows; ++r)
    com::Put16LE(block.data() + place.yAxis + 2 * r, static_cast<uint16_t>(maps::bpMapThrottle[r]));
  for (int plane = 0; plane < 2; ++plane) {
    maps::GetMapPlace(1, plane, &place);
    for (int i = 0; i < maps::kMapCells; ++i) com::Put16LE(block.data() + place.matrix + 2 * i, 3000);
  }
  logs::MapAxes axes;
  logs::ReadMapAxes(block.data(), 1, &axes);
  const int lambda = log.Find("lambdaCan1");
  uint64_t binned = 0;
  const double viewMs = BestMs([&] {
    logs::Binning binning;
    if (!logs::BinLog(log, 1, axes, logs::Filters(), &binning, &error)) std::abort();
    const auto means = logs::CellMeans(binning, log.channels[static_cast<size_t>(lambda)]);
    binned = 0;
    for (uint32_t n : binning.count) binned += n;
    if (means.empty()) std::abort();
  });
  std::printf("map view: %llu of %zu records binned after the filters\n",
              static_cast<unsigned long long>(binned), log.Records());
  ok &= Line("map view (binning, filters, cell means)", viewMs, "ms", "<=", kMaxMapMs);
  logs::Proposal proposal;
  const double proposeMs = BestMs([&] {
    if (!logs::ProposeInjection(log, block.data(), logs::ProposalOptions(), &proposal, &error)) std::abort();
  });
  std::printf("proposal: %d cells change\n", proposal.changed);
  ok &= Line("proposal over the hour", proposeMs, "ms", "<=", kMaxMapMs);

  if (!keep) std::remove(path.c_str());
  rmdir(dir);
  return ok ? 0 : 1;
}
