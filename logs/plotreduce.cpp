#include "logs/plotreduce.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace logs {

RecordSpan VisibleRecords(const double* time, size_t count, double t0, double t1) {
  RecordSpan s;
  if (count == 0 || !(t1 >= t0)) return s;
  s.begin = static_cast<size_t>(std::lower_bound(time, time + count, t0) - time);
  s.end = static_cast<size_t>(std::upper_bound(time, time + count, t1) - time);
  if (s.begin > 0) --s.begin;
  if (s.end < count) ++s.end;
  return s;
}

void SummariseBlocks(const float* values, size_t count, BlockSummary* out) {
  const size_t n = (count + BlockSummary::kBlock - 1) / BlockSummary::kBlock;
  out->min.assign(n, std::numeric_limits<float>::quiet_NaN());
  out->max.assign(n, std::numeric_limits<float>::quiet_NaN());
  for (size_t b = 0; b < n; ++b) {
    float lo = std::numeric_limits<float>::infinity(), hi = -lo;
    const size_t end = std::min(count, (b + 1) * BlockSummary::kBlock);
    for (size_t k = b * BlockSummary::kBlock; k < end; ++k) {
      lo = std::min(lo, values[k]);  // a NaN value leaves lo as it is
      hi = std::max(hi, values[k]);
    }
    if (lo <= hi) out->min[b] = lo, out->max[b] = hi;
  }
}

namespace {

// Lowest and highest of values[from, to) (gaps left out) into lo and hi.
void Scan(const float* values, size_t from, size_t to, const BlockSummary* blocks, float* lo, float* hi) {
  constexpr size_t kBlock = BlockSummary::kBlock;
  if (blocks && to - from >= 2 * kBlock) {
    const size_t firstBlock = (from + kBlock - 1) / kBlock,
                 lastBlock = to / kBlock;  // whole blocks [first, last)
    Scan(values, from, firstBlock * kBlock, nullptr, lo, hi);
    for (size_t b = firstBlock; b < lastBlock; ++b) {
      *lo = std::min(*lo, blocks->min[b]);
      *hi = std::max(*hi, blocks->max[b]);
    }
    Scan(values, lastBlock * kBlock, to, nullptr, lo, hi);
    return;
  }
  float l = *lo, h = *hi;
  for (size_t k = from; k < to; ++k) {
    l = std::min(l, values[k]);
    h = std::max(h, values[k]);
  }
  *lo = l;
  *hi = h;
}

}  // namespace

void ReduceToColumns(const double* time, const float* values, RecordSpan span, double t0, double t1,
                     int width, std::vector<PixelColumn>* out, const BlockSummary* blocks) {
  constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
  out->assign(static_cast<size_t>(std::max(width, 0)), PixelColumn{kNaN, kNaN, kNaN, kNaN});
  if (width <= 0 || span.end <= span.begin || !(t1 > t0)) return;
  const double perSecond = width / (t1 - t0);
  size_t i = span.begin;
  // Column by column: the end of each column's records is found by binary search, and
  // the values between are scanned (or read from the block summary).
  for (int col = 0; col < width && i < span.end; ++col) {
    const double edge =
        col + 1 == width ? std::numeric_limits<double>::infinity() : t0 + (col + 1) / perSecond;
    const size_t stop = static_cast<size_t>(std::lower_bound(time + i, time + span.end, edge) - time);
    if (stop == i) continue;
    size_t first = i, last = stop;
    while (first < stop && values[first] != values[first]) ++first;
    if (first < stop) {
      while (values[last - 1] != values[last - 1]) --last;
      float lo = std::numeric_limits<float>::infinity(), hi = -lo;
      Scan(values, first, last, blocks, &lo, &hi);
      (*out)[static_cast<size_t>(col)] = {values[first], lo, hi, values[last - 1]};
    }
    i = stop;
  }
}

size_t NearestRecord(const double* time, size_t count, double t) {
  if (count == 0) return 0;
  const size_t after = static_cast<size_t>(std::lower_bound(time, time + count, t) - time);
  if (after == 0) return 0;
  if (after == count) return count - 1;
  return t - time[after - 1] <= time[after] - t ? after - 1 : after;
}

}  // namespace logs
