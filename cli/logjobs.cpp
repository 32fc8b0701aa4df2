#include "cli/logjobs.h"

#include <sys/stat.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

#include "cli/cli_common.h"
#include "cli/mapjobs.h"
#include "config/bike.h"
#include "ecudata/datafile.h"
#include "ecudata/files.h"
#include "ecudata/image.h"
#include "link/bytes.h"
#include "link/userio.h"
#include "logs/logcsv.h"
#include "logs/logmap.h"
#include "maps/map1.h"
#include "maps/mapcsv.h"

namespace cli {

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr size_t kMaxCsvBytes = 1 << 20;  // a map as CSV is about 5 KB

int Fail(const char* title, const std::string& text) {
  com::Ui().MessagePopup(title, text);
  return kExitFailed;
}

struct Options {
  std::vector<std::string> words;
  std::map<std::string, std::string> values;  // options with a value, by name
  bool apply = false;
  bool Has(const char* name) const { return values.count(name) != 0; }
  const std::string& Get(const char* name) const { return values.at(name); }
};

// The options each job takes; "--apply" is the one without a value.
const std::vector<std::string>& Allowed(const std::string& job) {
  static const std::vector<std::string> summary{"--rate"};
  static const std::vector<std::string> bin{"--rate", "--channel", "--filters"};
  static const std::vector<std::string> propose{"--rate",     "--cyl", "--target", "--target-csv",
                                                "--delay-ms", "--min", "--out",    "--apply"};
  return job == "summary" ? summary : job == "bin" ? bin : propose;
}

int ParseOptions(const std::vector<std::string>& args, Options* o, std::string* problem) {
  const std::vector<std::string>& allowed = Allowed(args[1]);
  for (size_t i = 2; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "-h" || arg == "--help") return kLogJobHelp;
    if (arg == "--") {
      o->words.insert(o->words.end(), args.begin() + static_cast<long>(i) + 1, args.end());
      break;
    }
    if (arg.size() < 2 || arg[0] != '-') {
      o->words.push_back(arg);
      continue;
    }
    const std::string name = arg.substr(0, arg.find('='));
    if (std::find(allowed.begin(), allowed.end(), name) == allowed.end()) {
      *problem = "log " + args[1] + ": unknown option '" + arg + "'";
      return kLogJobUsage;
    }
    if (name == "--apply") {
      if (arg != name) {
        *problem = "--apply takes no value";
        return kLogJobUsage;
      }
      o->apply = true;
      continue;
    }
    if (o->Has(name.c_str())) {
      *problem = name + " is given twice";
      return kLogJobUsage;
    }
    if (arg.size() > name.size()) {
      o->values[name] = arg.substr(name.size() + 1);
    } else if (i + 1 < args.size()) {
      o->values[name] = args[++i];
    } else {
      *problem = name + " needs a value";
      return kLogJobUsage;
    }
  }
  return kExitOk;
}

bool ParseNumber(const std::string& text, double* value) {
  const char* begin = text.data();
  const char* end = begin + text.size();
  double v;
  const auto r = std::from_chars(begin, end, v);
  if (text.empty() || r.ec != std::errc() || r.ptr != end || !std::isfinite(v)) return false;
  *value = v;
  return true;
}

std::string Number(double value, int decimals) {
  char text[64];
  const auto r = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
  return std::string(text, r.ptr);
}

std::string Shortest(float value) {
  char text[64];
  const auto r = std::to_chars(text, text + sizeof text, value);
  return std::string(text, r.ptr);
}

// Reads the log with a progress bar on a terminal; false when it has been refused.
bool ReadLog(const char* title, const std::string& path, const Options& o, logs::Log* log) {
  logs::ReadOptions options;
  if (o.Has("--rate")) ParseNumber(o.Get("--rate"), &options.rate);
  auto* terminal = dynamic_cast<TerminalUserIo*>(&com::Ui());
  if (terminal)
    options.progress = [terminal](uint64_t done, uint64_t total) {
      terminal->ShowProgress(static_cast<double>(done) / 1e6, static_cast<double>(total) / 1e6, "MB");
    };
  std::string error;
  const logs::ReadResult r = logs::ReadLogFile(path, options, log, &error);
  if (terminal) terminal->EndProgress();
  if (r != logs::ReadResult::Read) {
    Fail(title, error);
    return false;
  }
  for (const logs::LogWarning& w : log->warnings)
    std::fprintf(stderr, "%s: %s line %llu: %s\n", title, path.c_str(),
                 static_cast<unsigned long long>(w.line), w.text.c_str());
  return true;
}

// Whether the mapping's bike measures oil temperature rather than water temperature.
bool TempIsOil(const ecu::DataFile& file) {
  return logs::MappingTempIsOil(file.bytes.data());
}

bool Write(const std::string& text) {
  return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0;
}

// -------------------------------------------------------------------------- summary

int Summary(const Options& o, std::string* problem) {
  if (o.words.size() != 1) {
    *problem = "log summary takes LOG.csv";
    return kLogJobUsage;
  }
  logs::Log log;
  if (!ReadLog("Log summary", o.words[0], o, &log)) return kExitFailed;
  std::string out;
  out += "Records:  " + std::to_string(log.Records()) + "\n";
  out += "Duration: " + Number(log.Duration(), 3) + " s\n";
  out += "Rate:     " + Number(log.Rate(), 1) + " records/s\n";
  if (log.gapRecords)
    out += "Gaps:     " + std::to_string(log.gapRecords) + " (records with a missing or unreadable field)\n";
  if (log.skippedLines)
    out += "Skipped:  " + std::to_string(log.skippedLines) + " (lines without a usable time)\n";
  size_t width = 7;
  for (const std::string& name : log.names) width = std::max(width, name.size());
  auto line = [&out, width](const std::string& name, const std::string& a, const std::string& b,
                            const std::string& c) {
    char text[512];
    std::snprintf(text, sizeof text, "%-*s %14s %14s %14s\n", static_cast<int>(width), name.c_str(),
                  a.c_str(), b.c_str(), c.c_str());
    out += text;
  };
  line("channel", "min", "mean", "max");
  for (size_t c = 0; c < log.names.size(); ++c) {
    const logs::ChannelStats& s = log.stats[c];
    if (s.count == 0)
      line(log.names[c], "-", "-", "-");
    else
      line(log.names[c], Shortest(s.min), Number(s.mean, 3), Shortest(s.max));
  }
  if (!Write(out)) return Fail("Log summary", "standard output cannot be written");
  return kExitOk;
}

// ------------------------------------------------------------------------------ bin

int ParseFilters(const Options& o, bool* on, std::string* problem) {
  *on = true;
  if (!o.Has("--filters")) return kExitOk;
  const std::string& v = o.Get("--filters");
  if (v != "on" && v != "off") {
    *problem = "--filters takes on or off, not '" + v + "'";
    return kLogJobUsage;
  }
  *on = v == "on";
  return kExitOk;
}

logs::Filters FiltersFor(bool on, bool tempIsOil) {
  logs::Filters f;
  f.engineRunning = f.warm = f.steadyThrottle = on;
  f.tempIsOil = tempIsOil;
  return f;
}

// The map's axes as the first field of each line and its first line, in map export's shape.
std::string GridCsv(const uint8_t* block, int id, const std::vector<std::string>& cells) {
  maps::MapPlace place;
  maps::MapUnits u;
  maps::GetMapPlace(id, 0, &place);
  maps::GetMapUnits(id, &u);
  uint8_t* base = const_cast<uint8_t*>(block);
  const maps::CellArray x{base + place.xAxis}, y{base + place.yAxis};
  std::string out;
  for (int c = 0; c < maps::kMapCols; ++c) out += "," + maps::FormatDisplay(x.Get(c), u.scaleX, u.precX);
  out += "\n";
  for (int r = 0; r < maps::kMapRows; ++r) {
    out += maps::FormatDisplay(y.Get(r), u.scaleY, u.precY);
    for (int c = 0; c < maps::kMapCols; ++c) out += "," + cells[static_cast<size_t>(r * maps::kMapCols + c)];
    out += "\n";
  }
  return out;
}

int Bin(const Options& o, std::string* problem) {
  if (o.words.size() != 3) {
    *problem = "log bin takes LOG.csv, FILE.emd and MAP";
    return kLogJobUsage;
  }
  const int id = maps::ParseMapId(o.words[2]);
  if (id == 0) {
    *problem = "'" + o.words[2] + "' is not a map: 1 to 5, injection, advance, injvel, advvel or cranking";
    return kLogJobUsage;
  }
  bool filtersOn;
  if (const int rc = ParseFilters(o, &filtersOn, problem); rc != kExitOk) return rc;
  ecu::DataFile file;
  if (!ReadMapping("Log bin", o.words[1], &file)) return kExitFailed;
  logs::Log log;
  if (!ReadLog("Log bin", o.words[0], o, &log)) return kExitFailed;
  const logs::Column* channel = nullptr;
  if (o.Has("--channel")) {
    const int c = log.Find(o.Get("--channel"));
    if (c < 0) return Fail("Log bin", o.words[0] + ": the log has no column " + o.Get("--channel"));
    channel = &log.channels[static_cast<size_t>(c)];
  }
  logs::MapAxes axes;
  logs::ReadMapAxes(file.bytes.data(), id, &axes);
  logs::Binning binning;
  std::string error;
  if (!logs::BinLog(log, id, axes, FiltersFor(filtersOn, TempIsOil(file)), &binning, &error))
    return Fail("Log bin", o.words[0] + ": " + error);
  std::vector<std::string> cells(maps::kMapCells);
  if (channel) {
    const auto means = logs::CellMeans(binning, *channel);
    for (size_t c = 0; c < cells.size(); ++c)
      if (!std::isnan(means[c])) cells[c] = Number(means[c], 3);
  } else {
    for (size_t c = 0; c < cells.size(); ++c) cells[c] = std::to_string(binning.count[c]);
  }
  if (!Write(GridCsv(file.bytes.data(), id, cells)))
    return Fail("Log bin", "standard output cannot be written");
  return kExitOk;
}

// -------------------------------------------------------------------------- propose

bool ReadSmallFile(const std::string& path, std::string* text, std::string* error) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    *error = path + ": missing or not a regular file";
    return false;
  }
  if (static_cast<size_t>(st.st_size) > kMaxCsvBytes) {
    *error = path + ": more than 1 MiB, not the CSV text of one map";
    return false;
  }
  FILE* in = std::fopen(path.c_str(), "rb");
  if (in == nullptr) {
    *error = path + ": " + std::strerror(errno);
    return false;
  }
  char buffer[8192];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0 && text->size() <= kMaxCsvBytes)
    text->append(buffer, n);
  const bool bad = std::ferror(in);
  std::fclose(in);
  if (bad) *error = path + ": cannot be read";
  return !bad;
}

// A target table in map export's shape: the air-fuel ratio per cell of map 1.
bool ReadTargetTable(const std::string& path, const std::vector<uint8_t>& block, std::vector<double>* table,
                     std::string* error) {
  std::string text;
  if (!ReadSmallFile(path, &text, error)) return false;
  if (!logs::TargetTableFromCsv(text, block.data(), block.size(), table, error)) {
    *error = path + ": " + *error;
    return false;
  }
  return true;
}

int ParseProposeOptions(const Options& o, logs::ProposalOptions* p, std::string* problem) {
  if (o.Has("--cyl")) {
    if (o.Get("--cyl") != "1" && o.Get("--cyl") != "2") {
      *problem = "--cyl takes 1 or 2, not '" + o.Get("--cyl") + "'";
      return kLogJobUsage;
    }
    p->cylinder = o.Get("--cyl") == "2" ? 1 : 0;
  }
  if (o.Has("--target") && o.Has("--target-csv")) {
    *problem = "--target and --target-csv: give one of them";
    return kLogJobUsage;
  }
  if (o.Has("--target") &&
      (!ParseNumber(o.Get("--target"), &p->targetAfr) || !(p->targetAfr > 0 && p->targetAfr <= 100))) {
    *problem = "--target: '" + o.Get("--target") + "' is not an air-fuel ratio above 0";
    return kLogJobUsage;
  }
  if (o.Has("--delay-ms")) {
    double ms;
    if (!ParseNumber(o.Get("--delay-ms"), &ms) || !(ms >= 0 && ms <= 10000)) {
      *problem = "--delay-ms: '" + o.Get("--delay-ms") + "' is not a delay from 0 to 10000 ms";
      return kLogJobUsage;
    }
    p->delaySeconds = ms / 1000.0;
  }
  if (o.Has("--min")) {
    double n;
    if (!ParseNumber(o.Get("--min"), &n) || n != std::floor(n) || !(n >= 1 && n <= 1e9)) {
      *problem = "--min: '" + o.Get("--min") + "' is not a whole number of records above 0";
      return kLogJobUsage;
    }
    p->minRecords = static_cast<uint32_t>(n);
  }
  if (o.Has("--out") && o.Get("--out").empty()) {
    *problem = "--out needs a file name";
    return kLogJobUsage;
  }
  return kExitOk;
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {
  }, sb{};
  return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

int Propose(const Options& o, std::string* problem) {
  if (o.words.size() != 2) {
    *problem = "log propose takes LOG.csv and FILE.emd";
    return kLogJobUsage;
  }
  logs::ProposalOptions p;
  if (const int rc = ParseProposeOptions(o, &p, problem); rc != kExitOk) return rc;
  const std::string& logPath = o.words[0];
  const std::string& path = o.words[1];
  const bool toStdout = !o.Has("--out") || o.Get("--out") == "-";
  if (!toStdout && SameFile(o.Get("--out"), path))
    return Fail("Log propose", o.Get("--out") + ": is the mapping file itself; choose another --out");
  ecu::DataFile file;
  if (!ReadMapping("Log propose", path, &file)) return kExitFailed;
  std::string error;
  if (o.Has("--target-csv") && !ReadTargetTable(o.Get("--target-csv"), file.bytes, &p.targetTable, &error))
    return Fail("Log propose", error);
  p.filters = FiltersFor(true, TempIsOil(file));
  logs::Log log;
  if (!ReadLog("Log propose", logPath, o, &log)) return kExitFailed;
  logs::Proposal proposal;
  if (!logs::ProposeInjection(log, file.bytes.data(), p, &proposal, &error))
    return Fail("Log propose", (error.rfind("the log", 0) == 0 ? logPath + ": " : path + ": ") + error);

  std::vector<uint8_t> block = file.bytes;
  logs::ApplyProposal(proposal, p.cylinder, block.data());
  int enough = 0;
  for (uint32_t n : proposal.count) enough += n >= p.minRecords ? 1 : 0;
  std::fprintf(stderr,
               "Log propose: injection cyl %d from %s: %d cells with at least %u records, %d to change\n",
               p.cylinder + 1, proposal.lambdaChannel.c_str(), enough, p.minRecords, proposal.changed);
  const std::string csv = maps::ExportMapCsv(block.data(), 1, p.cylinder);
  if (toStdout && !o.apply) {
    if (!Write(csv)) return Fail("Log propose", "standard output cannot be written");
  } else if (!toStdout && !ecu::WriteFileAtomic(o.Get("--out"), reinterpret_cast<const uint8_t*>(csv.data()),
                                                csv.size())) {
    return Fail("Log propose", o.Get("--out") + ": cannot be written");
  }
  if (!o.apply) return kExitOk;
  if (proposal.changed > 0 && !ecu::WriteFileAtomic(path, block.data(), block.size()))
    return Fail("Log propose", path + ": cannot be written\n" + path + " is left as it was");
  std::printf("Applied to %s: %d cell%s changed\n", path.c_str(), proposal.changed,
              proposal.changed == 1 ? "" : "s");
  std::fflush(stdout);
  return kExitOk;
}

}  // namespace

bool IsLogJob(const std::vector<std::string>& args) {
  return args.size() >= 2 && args[0] == "log" &&
         (args[1] == "summary" || args[1] == "bin" || args[1] == "propose");
}

int RunLogJob(const std::vector<std::string>& args, std::string* problem) {
  if (!IsLogJob(args)) {
    *problem = "unknown command";
    return kLogJobUsage;
  }
  Options o;
  if (const int rc = ParseOptions(args, &o, problem); rc != kExitOk) return rc;
  if (o.Has("--rate")) {
    double rate;
    if (!ParseNumber(o.Get("--rate"), &rate) || !(rate > 0 && rate <= 1e6)) {
      *problem = "--rate: '" + o.Get("--rate") + "' is not a number of records a second above 0";
      return kLogJobUsage;
    }
  }
  if (args[1] == "summary") return Summary(o, problem);
  if (args[1] == "bin") return Bin(o, problem);
  return Propose(o, problem);
}

}  // namespace cli
