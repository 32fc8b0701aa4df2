// The log reader: blocks of the file cut at line ends, two blocks parsed at a time on
// two threads into row-major pieces, then appended in file order to the columns.
#include "logs/logcsv.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <thread>

namespace logs {

namespace {

constexpr size_t kMaxWarnings = 20;
constexpr size_t kMaxLineBytes = 64u << 20;  // no log has a line near this long
constexpr size_t kSniffBytes = 4096;         // looked at for binary bytes
constexpr float kGap = std::numeric_limits<float>::quiet_NaN();

// Where the bytes come from: a file descriptor or text in memory.
class Source {
 public:
  explicit Source(int fd) : fd_(fd) {}
  explicit Source(std::string_view text) : text_(text) {}
  // Appends up to `n` bytes to *out; 0 at the end; -1 on a read error (errno set).
  long Read(std::string* out, size_t n) {
    if (fd_ < 0) {
      const size_t take = std::min(n, text_.size() - offset_);
      out->append(text_.data() + offset_, take);
      offset_ += take;
      return static_cast<long>(take);
    }
    const size_t old = out->size();
    out->resize(old + n);
    ssize_t got;
    do {
      got = ::read(fd_, out->data() + old, n);
    } while (got < 0 && errno == EINTR);
    out->resize(old + (got > 0 ? static_cast<size_t>(got) : 0));
    return static_cast<long>(got);
  }

 private:
  int fd_ = -1;
  std::string_view text_;
  size_t offset_ = 0;
};

// Readies the memory of a large array about to be filled: huge pages where the system
// gives them, and the pages mapped in one call rather than one fault at a time (an
// hour's columns are hundreds of megabytes, and faulting them in 4 KiB at a time costs
// as much as parsing them).
void PrepareMemory(void* data, size_t bytes) {
  constexpr uintptr_t kHuge = 2u << 20, kPage = 4096;
  const auto at = reinterpret_cast<uintptr_t>(data);
  const uintptr_t hugeBegin = (at + kHuge - 1) & ~(kHuge - 1), hugeEnd = (at + bytes) & ~(kHuge - 1);
  if (hugeEnd > hugeBegin) madvise(reinterpret_cast<void*>(hugeBegin), hugeEnd - hugeBegin, MADV_HUGEPAGE);
  const uintptr_t begin = (at + kPage - 1) & ~(kPage - 1), end = (at + bytes) & ~(kPage - 1);
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_POPULATE_WRITE);
}

// Trims blanks and one pair of double quotes around a field.
std::string_view Unwrap(std::string_view s) {
  auto trim = [](std::string_view& v) {
    while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.remove_prefix(1);
    while (!v.empty() && (v.back() == ' ' || v.back() == '\t')) v.remove_suffix(1);
  };
  trim(s);
  if (s.size() >= 2 && s.front() == '"' && s.back() == '"') {
    s = s.substr(1, s.size() - 2);
    trim(s);
  }
  return s;
}

// 10^k, exact in T for the k used below (up to 7 for float, 15 for double).
template <typename T>
T Pow10(int k) {
  static constexpr T kPow10[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  return kPow10[k];
}

// A short plain decimal ("-12.5", "1500", "0.998"): its digits as an integer and the
// power of ten are both exact in T (below 2^24 and 10^7 for float, 2^53 and 10^15 for
// double), so one division gives the correctly rounded value, the same that from_chars
// gives. Anything else (more digits, an exponent, a sign '+') is left to from_chars.
// The digits of a plain decimal from `p` on ("-12.5", "1500", "0.998"), up to the first
// character that is neither a digit nor the first '.': where it stopped, and the digits
// as an integer with the count of digits and of decimals (-1: no point).
struct Digits {
  const char* stop;
  uint64_t m = 0;
  int digits = 0, fraction = -1;
  bool negative = false;
};
inline Digits ScanDigits(const char* p, const char* end) {
  Digits d;
  d.negative = p < end && *p == '-';
  if (d.negative) ++p;
  for (; p < end; ++p) {
    const unsigned digit = static_cast<unsigned>(static_cast<unsigned char>(*p)) - '0';
    if (digit < 10) {
      d.m = d.m * 10 + digit;
      ++d.digits;
      if (d.fraction >= 0) ++d.fraction;
    } else if (*p == '.' && d.fraction < 0) {
      d.fraction = 0;
    } else {
      break;
    }
  }
  d.stop = p;
  return d;
}

// Scanned digits as a value when they are few enough: the integer and the power of ten
// are both exact in T (below 2^24 and 10^7 for float, 2^53 and 10^15 for double), so one
// division gives the correctly rounded value, the same that from_chars gives.
template <typename T>
bool ShortValue(const Digits& d, T* value) {
  constexpr int kMaxDigits = sizeof(T) == 4 ? 7 : 15;
  if (d.digits == 0 || d.digits > kMaxDigits) return false;
  T v = static_cast<T>(d.m);
  if (d.fraction > 0) v /= Pow10<T>(d.fraction);
  *value = d.negative ? -v : v;
  return true;
}

// A short plain decimal filling [p, end). Anything else (more digits, an exponent, a sign
// '+') is left to from_chars.
template <typename T>
bool ShortDecimal(const char* p, const char* end, T* value) {
  const Digits d = ScanDigits(p, end);
  return d.stop == end && ShortValue(d, value);
}

template <typename T>
bool ParseField(const char* begin, const char* end, T* value) {
  if (ShortDecimal(begin, end, value)) return true;
  if (begin < end &&
      (*begin == ' ' || *begin == '"' || *begin == '\t' || end[-1] == ' ' || end[-1] == '\t')) {
    const std::string_view s = Unwrap(std::string_view(begin, static_cast<size_t>(end - begin)));
    begin = s.data();
    end = s.data() + s.size();
  }
  if (begin == end) return false;
  T v;
  const auto r = std::from_chars(begin, end, v);
  if (r.ec != std::errc() || r.ptr != end || !std::isfinite(v)) return false;
  *value = v;
  return true;
}

// The field that starts at `p`: its value, and in *next the ',' that ends it (or `end`).
// A short plain decimal is read in the same pass that finds its end.
template <typename T>
bool NextField(const char* p, const char* end, T* value, const char** next) {
  const Digits d = ScanDigits(p, end);
  if ((d.stop == end || *d.stop == ',') && ShortValue(d, value)) {
    *next = d.stop;
    return true;
  }
  const char* q = static_cast<const char*>(std::memchr(d.stop, ',', static_cast<size_t>(end - d.stop)));
  *next = q ? q : end;
  return ParseField(p, *next, value);
}

bool IsBinary(std::string_view bytes) {
  for (unsigned char c : bytes.substr(0, kSniffBytes))
    if ((c < 0x20 && c != '\t' && c != '\r' && c != '\n') || c == 0x7F) return true;
  return false;
}

std::string_view StripCr(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

// Running minimum, maximum and sum of a column's values (gaps left out).
struct Acc {
  uint64_t count = 0;
  float min = std::numeric_limits<float>::infinity(), max = -std::numeric_limits<float>::infinity();
  double sum = 0;
  void Add(const float* v, size_t n) {
    float lo = min, hi = max;
    double total = 0;
    uint64_t k = 0;
    for (size_t i = 0; i < n; ++i) {
      if (std::isnan(v[i])) continue;
      lo = std::min(lo, v[i]);
      hi = std::max(hi, v[i]);
      total += v[i];
      ++k;
    }
    min = lo;
    max = hi;
    sum += total;
    count += k;
  }
  void Add(const Acc& o) {
    min = std::min(min, o.min);
    max = std::max(max, o.max);
    sum += o.sum;
    count += o.count;
  }
  ChannelStats Result() const {
    ChannelStats s;
    if (count == 0) return s;
    s.count = count;
    s.min = min;
    s.max = max;
    s.mean = sum / static_cast<double>(count);
    return s;
  }
};

// One block of whole lines, parsed straight into the columns from row `base` on.
struct Piece {
  std::string bytes;
  bool final = false;      // the file's last bytes: its last line may lack a line end
  size_t base = 0;         // the piece's first row in the columns
  size_t room = 0;         // rows set aside for it: one per line
  size_t rows = 0;         // rows written
  std::vector<Acc> stats;  // per channel, over the rows written
  std::vector<double> times;
  std::vector<uint32_t> lines;  // line of each row within the piece, from 0
  std::vector<uint8_t> flags;   // kRowGap, kRowExtra, kRowCut
  uint32_t lineCount = 0;
};
constexpr uint8_t kRowGap = 1, kRowExtra = 2, kRowCut = 4;

// Lines in a piece: the rows it may hold.
size_t CountLines(std::string_view text) {
  size_t n = 0;
  for (const char* p = text.data(); (p = static_cast<const char*>(std::memchr(
                                         p, '\n', static_cast<size_t>(text.data() + text.size() - p))));
       ++p)
    ++n;
  return n + (!text.empty() && text.back() != '\n' ? 1 : 0);
}

// Parses a piece into rows base, base + 1, ... of the channels (sized for its lines).
// Two pieces are parsed at once into rows of their own.
void ParsePiece(Piece* piece, size_t columns, int timeColumn, std::vector<Column>* channels) {
  std::vector<float*> out(columns, nullptr);  // row `base` of each column's channel
  for (size_t c = 0, channel = 0; c < columns; ++c)
    if (static_cast<int>(c) != timeColumn) out[c] = (*channels)[channel++].data() + piece->base;
  piece->times.clear();
  piece->lines.clear();
  piece->flags.clear();
  const std::string_view all = piece->bytes;
  const char* text = all.data();
  const char* const textEnd = text + all.size();
  uint32_t line = 0;
  size_t row = 0;
  while (text < textEnd) {
    const char* nl = static_cast<const char*>(std::memchr(text, '\n', static_cast<size_t>(textEnd - text)));
    const bool ended = nl != nullptr;
    const char* p = text;
    const char* end = ended ? nl : textEnd;
    text = ended ? nl + 1 : textEnd;
    if (end > p && end[-1] == '\r') --end;
    const uint32_t here = line++;
    if (end == p) continue;
    uint8_t flag = 0;
    double time = std::numeric_limits<double>::quiet_NaN();
    size_t c = 0;
    for (; c < columns; ++c) {
      const char* q;
      if (static_cast<int>(c) == timeColumn) {
        double t;
        if (NextField(p, end, &t, &q))
          time = t;
        else
          flag |= kRowGap;
      } else {
        float v;
        if (!NextField(p, end, &v, &q)) {
          v = kGap;
          flag |= kRowGap;
        }
        out[c][row] = v;
      }
      if (q == end) {
        ++c;
        break;
      }
      p = q + 1;
      if (c + 1 == columns) flag |= kRowExtra;
    }
    if (c < columns) {
      flag |= kRowGap;
      // The file's last line, cut short: its last field may be cut too.
      if (!ended && piece->final) {
        flag |= kRowCut;
        if (static_cast<int>(c) - 1 == timeColumn)
          time = std::numeric_limits<double>::quiet_NaN();
        else
          out[c - 1][row] = kGap;
      }
      for (; c < columns; ++c)
        if (out[c]) out[c][row] = kGap;
    }
    piece->times.push_back(time);
    piece->lines.push_back(here);
    piece->flags.push_back(flag);
    ++row;
  }
  piece->lineCount = line;
  piece->rows = row;
  // The statistics while the rows are at hand, on the thread that parsed them.
  piece->stats.assign(channels->size(), Acc());
  for (size_t c = 0, channel = 0; c < columns; ++c)
    if (out[c]) piece->stats[channel++].Add(out[c], row);
}

class Reader {
 public:
  Reader(Source* source, uint64_t total, const ReadOptions& options, std::string source_name)
      : source_(source), total_(total), options_(options), name_(std::move(source_name)) {}

  ReadResult Run(Log* log, std::string* error) {
    *log = Log();
    const ReadResult r = Read(log, error);
    if (r != ReadResult::Read) *log = Log();
    return r;
  }

 private:
  ReadResult Fail(const std::string& text, std::string* error) {
    *error = name_ + ": " + text;
    return ReadResult::Failed;
  }

  // Fills *piece with whole lines: the carried bytes and the next block, cut after the
  // last line end (the rest is carried), or everything at the end of the file.
  // The first piece holds at least kSniffBytes, so the binary check sees the same bytes
  // whatever the block size.
  bool NextPiece(Piece* piece, std::string* error, size_t minBytes = 0) {
    piece->bytes.assign(carry_);
    carry_.clear();
    piece->final = false;
    while (true) {
      const long got = source_->Read(&piece->bytes, options_.blockBytes);
      if (got < 0) {
        *error = name_ + ": " + std::strerror(errno);
        return false;
      }
      done_ += static_cast<uint64_t>(got);
      if (got == 0) {
        piece->final = true;
        return true;
      }
      if (piece->bytes.size() < minBytes) continue;
      const size_t nl = piece->bytes.rfind('\n');
      if (nl != std::string::npos) {
        carry_.assign(piece->bytes, nl + 1, std::string::npos);
        piece->bytes.resize(nl + 1);
        return true;
      }
      if (piece->bytes.size() > kMaxLineBytes) {
        *error = name_ + ": a line longer than 64 MiB: not a log";
        return false;
      }
    }
  }

  void Warn(Log* log, uint64_t line, std::string text) {
    if (log->warnings.size() < kMaxWarnings) log->warnings.push_back({line, std::move(text)});
  }

  // The header line: the column names, the time column, and the checks that tell a
  // text that is not a log of numbers.
  ReadResult Header(Piece* first, Log* log, std::string* error) {
    std::string_view text = first->bytes;
    if (text.empty()) return Fail("the file is empty", error);
    if (IsBinary(text)) return Fail("not a CSV text (it holds binary bytes)", error);
    size_t skip = 0;
    if (text.substr(0, 3) == "\xEF\xBB\xBF") skip = 3;
    const size_t nl = text.find('\n', skip);
    const std::string_view header = StripCr(text.substr(skip, nl == std::string_view::npos ? nl : nl - skip));
    if (header.find(',') == std::string_view::npos && header.find(';') != std::string_view::npos)
      return Fail(
          "the fields are separated by ';', as a spreadsheet writes them with a decimal comma; "
          "a log has ',' between fields and '.' as the decimal point",
          error);
    std::vector<std::string> names;
    bool allNumbers = true;
    size_t start = 0;
    while (true) {
      const size_t comma = header.find(',', start);
      const std::string_view field = Unwrap(header.substr(start, comma - start));
      double d;
      if (!ParseField(field.data(), field.data() + field.size(), &d)) allNumbers = false;
      names.emplace_back(field);
      if (comma == std::string_view::npos) break;
      start = comma + 1;
    }
    if (allNumbers && !header.empty())
      return Fail("the first line holds numbers, not the names of the columns", error);
    columns_ = names.size();
    for (const char* candidate : {"time_s", "time", "Time"}) {
      const auto it = std::find(names.begin(), names.end(), candidate);
      if (it != names.end()) {
        timeColumn_ = static_cast<int>(it - names.begin());
        break;
      }
    }
    if (timeColumn_ < 0 && !(options_.rate > 0))
      return Fail("no time column (time_s, time or Time); give the records' rate", error);
    for (size_t i = 0; i < names.size(); ++i) {
      if (static_cast<int>(i) == timeColumn_) {
        log->timeName = names[i];
        continue;
      }
      log->names.push_back(names[i].empty() ? "column " + std::to_string(i + 1) : names[i]);
    }
    const size_t rest = nl == std::string_view::npos ? text.size() : nl + 1;
    first->bytes.erase(0, rest);
    nextLine_ = 2;
    return ReadResult::Read;
  }

  // Appends a parsed piece to the log in file order. False when the first record shows
  // that the numbers are written with a decimal comma.
  bool Append(const Piece& piece, Log* log, std::string* error) {
    keep_.clear();
    const double rate = options_.rate;
    for (size_t r = 0; r < piece.times.size(); ++r) {
      const uint64_t line = nextLine_ + piece.lines[r];
      // A decimal comma splits numbers in two, so the first record has too many fields.
      if (!firstSeen_ && (piece.flags[r] & kRowExtra)) {
        Fail("line " + std::to_string(line) + " has more fields than the " + std::to_string(columns_) +
                 " that the header names: numbers written with a decimal comma (13,2) cannot be read; a log "
                 "has '.' as the decimal point",
             error);
        return false;
      }
      firstSeen_ = true;
      double t;
      if (timeColumn_ >= 0) {
        t = piece.times[r];
        if (std::isnan(t)) {
          ++log->skippedLines;
          Warn(log, line, "no time: the line is left out");
          continue;
        }
        if (!log->time.empty() && t < log->time.back()) {
          ++log->skippedLines;
          Warn(log, line, "the time goes back: the line is left out");
          continue;
        }
      } else {
        t = static_cast<double>(log->time.size()) / rate;
      }
      const uint8_t flag = piece.flags[r];
      if (flag & kRowGap) {
        ++log->gapRecords;
        Warn(log, line,
             flag & kRowCut ? "the last line is cut short: its missing fields are gaps"
                            : "a missing field or one that is not a number: a gap");
      }
      if (flag & kRowExtra) Warn(log, line, "more fields than the header names: the extra ones are left out");
      log->time.push_back(t);
      keep_.push_back(static_cast<uint32_t>(r));
    }
    // Rows that stay where they were parsed, or the kept ones moved down to the end of
    // the log (after blank or left-out lines; never upwards, so in place).
    if (keep_.size() == piece.rows && piece.base == filled_) {
      for (size_t c = 0; c < acc_.size(); ++c) acc_[c].Add(piece.stats[c]);
    } else {
      for (size_t c = 0; c < acc_.size(); ++c) {
        float* column = log->channels[c].data();
        for (size_t j = 0; j < keep_.size(); ++j) column[filled_ + j] = column[piece.base + keep_[j]];
        acc_[c].Add(column + filled_, keep_.size());
      }
    }
    filled_ += keep_.size();
    nextLine_ += piece.lineCount;
    return true;
  }

  bool Cancelled() const { return options_.cancel && options_.cancel->load(std::memory_order_relaxed); }

  ReadResult Read(Log* log, std::string* error) {
    Piece a, b;
    if (!NextPiece(&a, error, kSniffBytes)) return ReadResult::Failed;
    if (const ReadResult r = Header(&a, log, error); r != ReadResult::Read) return r;
    log->channels.resize(log->names.size());
    acc_.assign(log->names.size(), Acc());
    // Room for the whole file, from the length of the first lines.
    if (total_ > 0 && !a.bytes.empty()) {
      const size_t sample = std::min<size_t>(a.bytes.size(), 1 << 16);
      const size_t lines = std::max<size_t>(1, std::count(a.bytes.begin(), a.bytes.begin() + sample, '\n'));
      const uint64_t estimate = total_ / std::max<size_t>(1, sample / lines) + 16;
      if (estimate < (1ull << 28)) {
        const size_t room = estimate + estimate / 16;
        log->time.reserve(room);
        PrepareMemory(log->time.data(), log->time.capacity() * sizeof(double));
        auto prepare = [log, room](size_t first, size_t step) {
          for (size_t c = first; c < log->channels.size(); c += step) {
            log->channels[c].reserve(room);
            PrepareMemory(log->channels[c].data(), log->channels[c].capacity() * sizeof(float));
          }
        };
        std::thread other(prepare, 1, 2);
        prepare(0, 2);
        other.join();
      }
    }
    bool more = !a.final;
    bool haveA = true;
    while (haveA) {
      if (Cancelled()) return ReadResult::Cancelled;
      bool haveB = false;
      if (more) {
        if (!NextPiece(&b, error)) return ReadResult::Failed;
        haveB = true;
        more = !b.final;
      }
      // Room for a row per line of both pieces, then both parsed at once.
      a.base = filled_;
      a.room = CountLines(a.bytes);
      b.base = a.base + a.room;
      b.room = haveB ? CountLines(b.bytes) : 0;
      for (Column& column : log->channels) column.resize(b.base + b.room);
      std::thread worker;
      if (haveB) worker = std::thread(ParsePiece, &b, columns_, timeColumn_, &log->channels);
      ParsePiece(&a, columns_, timeColumn_, &log->channels);
      if (worker.joinable()) worker.join();
      if (!Append(a, log, error) || (haveB && !Append(b, log, error))) return ReadResult::Failed;
      if (options_.progress) options_.progress(done_, std::max(total_, done_));
      haveA = false;
      if (more) {
        if (!NextPiece(&a, error)) return ReadResult::Failed;
        haveA = true;
        more = !a.final;
      }
      if (haveA && a.bytes.empty() && a.final) haveA = false;
    }
    if (Cancelled()) return ReadResult::Cancelled;
    for (Column& column : log->channels) {
      column.resize(filled_);
      if (column.capacity() > column.size() + column.size() / 4) column.shrink_to_fit();
    }
    for (const Acc& a : acc_) log->stats.push_back(a.Result());
    return ReadResult::Read;
  }

  Source* source_;
  uint64_t total_;
  ReadOptions options_;
  std::string name_;
  std::string carry_;
  uint64_t done_ = 0;
  size_t columns_ = 0;
  int timeColumn_ = -1;
  uint64_t nextLine_ = 2;
  bool firstSeen_ = false;
  std::vector<uint32_t> keep_;
  std::vector<Acc> acc_;
  size_t filled_ = 0;  // rows of the log in the columns
};

}  // namespace

int Log::Find(std::string_view name) const {
  for (size_t i = 0; i < names.size(); ++i)
    if (names[i] == name) return static_cast<int>(i);
  return -1;
}

double Log::Rate() const {
  if (time.size() < 2 || !(Duration() > 0)) return 0;
  return static_cast<double>(time.size() - 1) / Duration();
}

ReadResult ReadLogFile(const std::string& path, const ReadOptions& options, Log* log, std::string* error) {
  *log = Log();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = path + ": " + std::strerror(errno);
    return ReadResult::Failed;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    *error = path + ": not a regular file";
    return ReadResult::Failed;
  }
  Source source(fd);
  Reader reader(&source, static_cast<uint64_t>(st.st_size), options, path);
  const ReadResult r = reader.Run(log, error);
  ::close(fd);
  return r;
}

ReadResult ReadLogText(std::string_view text, const ReadOptions& options, Log* log, std::string* error,
                       const std::string& source_name) {
  Source source(text);
  Reader reader(&source, text.size(), options, source_name);
  return reader.Run(log, error);
}

ChannelStats Stats(const Column& values) {
  Acc acc;
  acc.Add(values.data(), values.size());
  return acc.Result();
}

}  // namespace logs
