// Compare and history: milliseconds for the difference list of two whole mappings that
// differ in every value (bound 50 ms), and for what opening the History window costs
// with 100 restore points: reading the folder and the history file, judging every file
// and counting its differences to the working block (bound 300 ms). Exits 1 when a
// figure is beyond its bound.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/fieldnames.h"
#include "ecudata/history.h"
#include "ecudata/image.h"
#include "ecudata/restore.h"
#include "sim/appsim.h"
#include "test_support.h"

namespace {

using Clock = std::chrono::steady_clock;

template <typename F>
double Best(int rounds, F&& call) {
  double best = 1e30;
  for (int pass = 0; pass < 5; ++pass) {
    const auto t0 = Clock::now();
    for (int i = 0; i < rounds; ++i) call();
    const auto t1 = Clock::now();
    best = std::min(best, std::chrono::duration<double, std::milli>(t1 - t0).count() / rounds);
  }
  return best;
}

}  // namespace

int main() {
  char tmpl[] = "/tmp/kestra-history-bench.XXXXXX";
  if (mkdtemp(tmpl) == nullptr) return 1;
  const std::string dir = tmpl;
  setenv("XDG_DATA_HOME", (dir + "/data").c_str(), 1);
  const std::string restoreDir = ecu::RestoreDirectory();
  if (!ecu::MakeDirectories(restoreDir)) return 1;

  // Two mappings that differ in every byte but the stamps: the longest list there is.
  const sim::AppDevice device;
  const std::vector<uint8_t> a = device.mapping[0];
  std::vector<uint8_t> b = a;
  for (size_t i = 64; i < b.size(); ++i) b[i] = static_cast<uint8_t>(b[i] ^ 0x5B);
  size_t count = 0;
  const double diff =
      Best(3, [&] { count = cli::DiffNamedBlocks(ecu::kMapType, a.data(), b.data()).size(); });

  // 100 restore points of the mapping (every one a little different) and 100 stored files.
  for (int n = 0; n < 100; ++n) {
    std::vector<uint8_t> point = a;
    point[2000 + 2 * n] ^= 0x01;
    char name[96];
    std::snprintf(name, sizeof name, "/2026-01-%02d_%06d_mapping_Tune %d.emd", 1 + n % 28, n, n);
    if (!test_support::WriteAll(restoreDir + name, point)) return 1;
    const std::string stored = dir + "/stored" + std::to_string(n) + ".emd";
    if (!test_support::WriteAll(stored, point)) return 1;
    ecu::RecordHistory({1'800'000'000 + n, ecu::HistoryKind::Stored, ecu::kMapType, stored, "x"});
  }
  const auto tables = cli::FieldTablesOf(ecu::kMapType);
  size_t listed = 0;
  // Against a working block of the same tune (a few differences each: the usual case),
  // and against one that differs in every value from every entry (the worst case).
  auto open = [&](const std::vector<uint8_t>& working) {
    return Best(1, [&] {
      const std::vector<ecu::HistoryEntry> entries = ecu::ReadHistory();
      long sum = 0;
      for (const ecu::HistoryEntry& e : entries)
        sum += ecu::CountHistoryDifferences(e, e.type, working.data(), tables);
      listed = entries.size() + (sum < 0 ? 1 : 0);
    });
  };
  const double history = open(a);
  const double worst = open(b);

  std::printf("Compare and history (best of 5 passes)\n");
  std::printf("  difference list of two whole mappings (%zu differences)  %8.2f ms   bound 50 ms\n", count,
              diff);
  std::printf(
      "  History with 100 restore points and 100 stored files (%zu entries)  %8.2f ms   bound 300 ms\n",
      listed, history);
  std::printf("  the same, every entry different in every value (worst case)  %8.2f ms   (no bound)\n",
              worst);
  std::system(("rm -rf '" + dir + "'").c_str());
  return diff <= 50 && history <= 300 ? 0 : 1;
}
