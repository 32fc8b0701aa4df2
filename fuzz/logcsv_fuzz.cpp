// The log reader: any bytes as a log file.
//
// Input: byte 0 picks the block size (bits 0-3: 1 << n bytes, from 1 to 32 KiB) and
// whether a rate is given for a log without a time column (bit 4); the rest is the text.
// Checked: a read log has one value per record in every channel and a time that never
// falls and statistics that count its values; the same text read in one block gives
// the same log; the binning onto map 1 runs over it.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "logs/logcsv.h"
#include "logs/logmap.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

bool SameValues(const logs::Column& a, const logs::Column& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (!(a[i] == b[i] || (std::isnan(a[i]) && std::isnan(b[i])))) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  logs::ReadOptions options;
  options.blockBytes = size_t{1} << (data[0] & 15);
  options.rate = (data[0] & 16) ? 100 : 0;
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  logs::Log log;
  std::string error;
  const logs::ReadResult r = logs::ReadLogText(text, options, &log, &error);
  if (r != logs::ReadResult::Read) {
    Check(!error.empty() && log.Records() == 0);
    return 0;
  }
  Check(log.names.size() == log.channels.size());
  for (size_t i = 1; i < log.time.size(); ++i) Check(log.time[i] >= log.time[i - 1]);
  Check(log.stats.size() == log.channels.size());
  for (size_t c = 0; c < log.channels.size(); ++c) {
    Check(log.channels[c].size() == log.Records());
    Check(logs::Stats(log.channels[c]).count == log.stats[c].count);
  }

  logs::ReadOptions whole = options;
  whole.blockBytes = 1 << 20;
  logs::Log again;
  Check(logs::ReadLogText(text, whole, &again, &error) == logs::ReadResult::Read);
  Check(again.names == log.names && again.time == log.time && again.gapRecords == log.gapRecords);
  for (size_t c = 0; c < log.channels.size(); ++c) Check(SameValues(log.channels[c], again.channels[c]));

  std::vector<uint8_t> block(12344, 0);
  logs::MapAxes axes;
  logs::ReadMapAxes(block.data(), 1, &axes);
  logs::Binning binning;
  logs::Filters filters;
  if (logs::BinLog(log, 1, axes, filters, &binning, &error)) {
    uint64_t binned = 0;
    for (uint32_t n : binning.count) binned += n;
    Check(binned <= log.Records());
  }
  return 0;
}
