// The benchmarks' one-hour datalog: 650,000 records at the USB adapter's rate, in the
// datalog's own format, with a rider's plausible values (engine speed and throttle
// sweeping, a warm engine, the mixture round 13.2).
#pragma once
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "link/bytes.h"
#include "live/datalog.h"
#include "live/liverecord.h"

namespace bench {

inline constexpr size_t kRecords = 650000;
inline constexpr double kRate = 180;  // records a second on the USB adapter

inline void Put(live::LiveData* record, const char* control, double shown) {
  const live::LiveField* f = live::FindLiveField(control);
  com::Put16BE(record->data() + f->offset,
               static_cast<uint16_t>(static_cast<int16_t>(std::lround(shown * f->divisor))));
}

inline bool WriteLog(const std::string& path) {
  FILE* out = std::fopen(path.c_str(), "wb");
  if (!out) return false;
  const std::string header = live::CsvHeader();
  std::fwrite(header.data(), 1, header.size(), out);
  live::LiveData record{};
  unsigned seed = 1;
  auto noise = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return static_cast<double>((seed >> 16) & 0x7FFF) / 0x7FFF - 0.5;
  };
  for (size_t i = 0; i < kRecords; ++i) {
    const double t = static_cast<double>(i) / kRate;
    const double throttle = std::clamp(30 + 28 * std::sin(t / 7.0) + 3 * noise(), 0.0, 100.0);
    const double rpm = 1200 + 70 * throttle + 600 * std::sin(t / 3.1) + 20 * noise();
    Put(&record, "NUMrpm", std::max(0.0, rpm));
    Put(&record, "NUMrevs", std::max(0.0, rpm) / 4);
    Put(&record, "NUMfarf", throttle);
    Put(&record, "NUMfarfAD", 400 + throttle * 30);
    Put(&record, "NUMth2o", std::min(90.0, 20 + t / 6));
    Put(&record, "NUMtoil", std::min(100.0, 20 + t / 8));
    Put(&record, "NUMtair", 24 + noise());
    Put(&record, "NUMvBat", 13.8 + 0.2 * noise());
    Put(&record, "NUMlambdaCan1", 13.2 + 0.8 * std::sin(t / 5.0) + 0.2 * noise());
    Put(&record, "NUMlambdaCan2", 13.0 + 0.8 * std::sin(t / 4.0) + 0.2 * noise());
    Put(&record, "NUMterog1A", 2 + throttle / 20 + 0.01 * noise());
    Put(&record, "NUMterog2A", 2 + throttle / 21 + 0.01 * noise());
    Put(&record, "NUMteta1", 10 + throttle / 3);
    Put(&record, "NUMvelWheel", rpm / 60);
    record[live::kStatusOffset] = 0x80 | 0x10 | 0x08 | 0x04;  // protection off, engine on, enabled
    const std::string row = live::CsvRow(t, record);
    if (std::fwrite(row.data(), 1, row.size(), out) != row.size()) {
      std::fclose(out);
      return false;
    }
  }
  return std::fclose(out) == 0;
}

}  // namespace bench
