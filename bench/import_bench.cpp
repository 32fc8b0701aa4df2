// Import of an older mapping file: milliseconds per conversion (the pages' defaults,
// the copies, the re-grid of the four throttle maps and, for the Talaris family, the
// halving) and per whole import of the file from disk, beside the bound of 1 ms;
// exits 1 when a figure is beyond it.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ecudata/ecudata.h"
#include "ecudata/image.h"
#include "ecudata/import.h"
#include "ecudata/init.h"
#include "old_data.h"
#include "test_support.h"

namespace {

using Clock = std::chrono::steady_clock;

// Best of five passes of `rounds` calls, milliseconds per call.
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
  const double bound = 1.0;
  char tmpl[] = "/tmp/kestra-import-bench.XXXXXX";
  if (mkdtemp(tmpl) == nullptr) return 1;
  const std::string dir = tmpl;
  ecu::SetInitFilePath(dir + "/tarvenco.ini");
  setenv("XDG_DATA_HOME", (dir + "/data").c_str(), 1);

  const struct {
    const char* what;
    int version;
    test_support::Bytes file;
  } families[] = {{"Q740 v1.2 mapping (11220 bytes)", ecu::kImportV12, old_data::V12Mapping()},
                  {"Talaris mapping (11718 bytes)", ecu::kImportTalaris, old_data::TalarisMapping()}};
  std::printf("Import of an older mapping file (best of 5 passes)\n");
  bool ok = true;
  for (const auto& f : families) {
    std::memcpy(ecu::ImportBuffer(ecu::kMapType, f.version), f.file.data(), f.file.size());
    const double convert = Best(500, [&] { ecu::ConvertImportData(ecu::kMapType, f.version); });
    const std::string path = dir + "/old.emd";
    if (!test_support::WriteAll(path, f.file)) return 1;
    ecu::InitEcuRefData();
    const double whole = Best(200, [&] {
      if (ecu::ImportEcuFile(ecu::kMapType, f.version, path, 0) != ecu::ImportResult::Imported) std::exit(1);
    });
    unlink(path.c_str());
    const bool met = convert <= bound && whole <= bound;
    std::printf("  %-34s conversion %6.3f ms   file import %6.3f ms   bound %.0f ms  %s\n", f.what, convert,
                whole, bound, met ? "ok" : "ABOVE BOUND");
    ok = ok && met;
  }
  rmdir((dir + "/data").c_str());
  unlink((dir + "/tarvenco.ini").c_str());
  rmdir(dir.c_str());
  return ok ? 0 : 1;
}
