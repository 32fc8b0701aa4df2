// A datalog held in memory: the CSV that the datalog writes, or any CSV with a header
// line and numeric columns, read into one time array and one array of 32-bit floats
// per channel (column-major). A field that is missing or not a number is a gap (NaN).
//
// The file is read in large blocks and parsed on two threads; the reader reports its
// progress in bytes and stops when asked to.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace logs {

// An allocator that leaves new values unset, so that a column can be sized for the
// rows a block may hold before the parsers write them, without clearing hundreds of
// megabytes first. Values given explicitly (push_back, a fill value) are set as usual.
template <typename T>
struct UnsetAllocator : std::allocator<T> {
  template <typename U>
  struct rebind {
    using other = UnsetAllocator<U>;
  };
  UnsetAllocator() = default;
  template <typename U>
  UnsetAllocator(const UnsetAllocator<U>&) noexcept {}
  template <typename U>
  void construct(U* p) noexcept(std::is_nothrow_default_constructible_v<U>) {
    ::new (static_cast<void*>(p)) U;
  }
  template <typename U, typename... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
};

// One channel's values, one per record.
using Column = std::vector<float, UnsetAllocator<float>>;

// Minimum, maximum and mean of one channel (gaps left out).
struct ChannelStats {
  uint64_t count = 0;  // values that are not gaps
  float min = 0, max = 0;
  double mean = 0;
};
struct LogWarning {
  uint64_t line = 0;  // 1 is the header
  std::string text;
};

struct Log {
  std::vector<std::string> names;    // channels, the time column excluded
  std::vector<Column> channels;      // channels[c][record], NaN for a gap
  std::vector<ChannelStats> stats;   // per channel, gathered while reading
  std::vector<double> time;          // seconds, never falling
  std::string timeName;              // the time column's name; empty: row number / rate
  uint64_t gapRecords = 0;           // records with at least one gap
  uint64_t skippedLines = 0;         // lines without a usable time, or going back in time
  std::vector<LogWarning> warnings;  // the first few, with their lines

  size_t Records() const { return time.size(); }
  // Index of a channel by its exact name, or -1.
  int Find(std::string_view name) const;
  double Duration() const { return time.empty() ? 0 : time.back() - time.front(); }
  // Records per second from the first to the last record (0 below two records).
  double Rate() const;
};

struct ReadOptions {
  // Records per second when the file has no time column (time_s, time or Time);
  // 0: such a file is refused.
  double rate = 0;
  // Bytes read so far and the whole size, after each block.
  std::function<void(uint64_t done, uint64_t total)> progress;
  // Set from another thread to stop the reading.
  const std::atomic<bool>* cancel = nullptr;
  // Bytes per block (each of the two threads parses one block at a time).
  size_t blockBytes = 8u << 20;
};

enum class ReadResult { Read, Cancelled, Failed };

// Reads a log file into *log (replaced whole; on failure or cancel it is left empty).
// Failed: *error says why ("... is not a CSV text", a decimal comma, an unreadable file).
ReadResult ReadLogFile(const std::string& path, const ReadOptions& options, Log* log, std::string* error);
// The same from text in memory (`source` names it in messages).
ReadResult ReadLogText(std::string_view text, const ReadOptions& options, Log* log, std::string* error,
                       const std::string& source = "the log");

// The statistics of one array of values (the reader gathers them for Log::stats).
ChannelStats Stats(const Column& values);

}  // namespace logs
