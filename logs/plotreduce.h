// A channel reduced to the pixel columns it covers: per column the first, lowest,
// highest and last value of the records that fall in it, so that a line drawn through
// them keeps every spike while costing no more than the columns on screen. The records
// shown are found by binary search on the time array; gaps (NaN) are left out, and a
// column without a value breaks the line.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace logs {

struct PixelColumn {
  float first, min, max, last;
  bool empty() const { return !(min <= max); }  // NaN when no value fell in the column
};

// The records with time in [t0, t1], widened by one record on each side so that a
// line leaves the plot's edges: [begin, end).
struct RecordSpan {
  size_t begin = 0, end = 0;
};
RecordSpan VisibleRecords(const double* time, size_t count, double t0, double t1);

// The lowest and highest value of each block of kBlock records (NaN for a block of
// gaps): a view of a long log reads these instead of every record.
struct BlockSummary {
  static constexpr size_t kBlock = 64;
  std::vector<float> min, max;
};
void SummariseBlocks(const float* values, size_t count, BlockSummary* out);

// Reduces values[begin..end) onto `width` columns spanning [t0, t1] of time. Records
// left of t0 or right of t1 go into the first or last column. `out` gets `width`
// columns. With `blocks` (the summary of the same values) a column's whole blocks are
// read from the summary; the result is the same.
void ReduceToColumns(const double* time, const float* values, RecordSpan span, double t0, double t1,
                     int width, std::vector<PixelColumn>* out, const BlockSummary* blocks = nullptr);

// The record nearest in time to t (the earlier one on a tie); 0 for an empty array.
size_t NearestRecord(const double* time, size_t count, double t);

}  // namespace logs
