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

void ReduceToColumns(const double* time, const float* values, RecordSpan span, double t0, double t1,
                     int width, std::vector<PixelColumn>* out) {
  constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
  out->assign(static_cast<size_t>(std::max(width, 0)), PixelColumn{kNaN, kNaN, kNaN, kNaN});
  if (width <= 0 || span.end <= span.begin || !(t1 > t0)) return;
  const double perSecond = width / (t1 - t0);
  size_t i = span.begin;
  // Column by column: the end of each column's records is found by binary search, and
  // the inner loop over a column's values is a plain scan.
  for (int col = 0; col < width && i < span.end; ++col) {
    const double edge =
        col + 1 == width ? std::numeric_limits<double>::infinity() : t0 + (col + 1) / perSecond;
    const size_t stop = static_cast<size_t>(std::lower_bound(time + i, time + span.end, edge) - time);
    if (stop == i) continue;
    float lo = std::numeric_limits<float>::infinity(), hi = -lo;
    size_t firstValid = stop, lastValid = stop;
    for (size_t k = i; k < stop; ++k) {
      const float v = values[k];
      if (v != v) continue;
      if (firstValid == stop) firstValid = k;
      lastValid = k;
      lo = std::min(lo, v);
      hi = std::max(hi, v);
    }
    if (firstValid != stop)
      (*out)[static_cast<size_t>(col)] = {values[firstValid], lo, hi, values[lastValid]};
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
