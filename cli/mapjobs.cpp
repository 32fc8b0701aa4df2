#include "cli/mapjobs.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "cli/fieldnames.h"
#include "ecudata/blockdiff.h"
#include "ecudata/datafile.h"
#include "ecudata/files.h"
#include "ecudata/history.h"
#include "ecudata/image.h"
#include "link/userio.h"
#include "maps/map1.h"
#include "maps/mapcsv.h"

namespace cli {

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kDiffDifferent = 1;
constexpr int kDiffTrouble = 2;

// A map as CSV is about 5 KB; anything far beyond that is not one.
constexpr size_t kMaxCsvBytes = 1 << 20;

int Fail(const char* title, const std::string& text, int status = kExitFailed) {
  com::Ui().MessagePopup(title, text);
  return status;
}

struct Options {
  std::vector<std::string> words;  // the positional arguments after the command
  std::string cyl, out;
  bool cylGiven = false, outGiven = false, csv = false;
};

// Splits the arguments after the command into words and the options of these jobs.
// "-" alone is a word (standard input).
int ParseOptions(const std::vector<std::string>& args, Options* o, std::string* problem) {
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "-h" || arg == "--help") return kMapJobHelp;
    std::string* value = nullptr;
    bool* given = nullptr;
    std::string name = arg.substr(0, arg.find('='));
    if (name == "--cyl") {
      value = &o->cyl;
      given = &o->cylGiven;
    } else if (name == "--out") {
      value = &o->out;
      given = &o->outGiven;
    } else if (arg == "--csv") {
      o->csv = true;
      continue;
    } else if (arg == "--") {
      o->words.insert(o->words.end(), args.begin() + static_cast<long>(i) + 1, args.end());
      break;
    } else if (arg.size() > 1 && arg[0] == '-') {
      *problem = "unknown option '" + arg + "'";
      return kMapJobUsage;
    } else {
      o->words.push_back(arg);
      continue;
    }
    if (*given) {
      *problem = name + " is given twice";
      return kMapJobUsage;
    }
    if (arg.size() > name.size()) {
      *value = arg.substr(name.size() + 1);
    } else if (i + 1 < args.size()) {
      *value = args[++i];
    } else {
      *problem = name + " needs a value";
      return kMapJobUsage;
    }
    *given = true;
  }
  return kExitOk;
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {
  }, sb{};
  return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

// Reads the CSV text from a path, or standard input for "-".
bool ReadCsv(const std::string& path, std::string* text, std::string* error) {
  const bool stdinput = path == "-";
  const std::string shown = stdinput ? "standard input" : path;
  FILE* in = stdin;
  if (!stdinput) {
    struct stat st {};
    if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
      *error = path + ": is a directory";
      return false;
    }
    in = std::fopen(path.c_str(), "rb");
    if (in == nullptr) {
      *error = path + ": " + std::strerror(errno);
      return false;
    }
  }
  char buffer[8192];
  bool ok = true;
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
    text->append(buffer, n);
    if (text->size() > kMaxCsvBytes) {
      *error = shown + ": more than 1 MiB, not the CSV text of one map";
      ok = false;
      break;
    }
  }
  if (ok && std::ferror(in)) {
    *error = shown + ": cannot be read";
    ok = false;
  }
  if (!stdinput) std::fclose(in);
  return ok;
}

// MAP and --cyl: the map id and the plane (0 or 1).
int ParseMapAndPlane(const std::string& word, const Options& o, int* id, int* plane, std::string* problem) {
  *id = maps::ParseMapId(word);
  if (*id == 0) {
    *problem = "'" + word + "' is not a map: 1 to 5, injection, advance, injvel, advvel or cranking";
    return kMapJobUsage;
  }
  *plane = 0;
  if (o.cylGiven) {
    if (o.cyl != "1" && o.cyl != "2") {
      *problem = "--cyl takes 1 or 2, not '" + o.cyl + "'";
      return kMapJobUsage;
    }
    *plane = o.cyl == "2" ? 1 : 0;
    if (*plane == 1 && maps::MapPlanes(*id) < 2) {
      *problem =
          std::string("--cyl 2: the map \"") + maps::MapName(*id) + "\" has one plane; only map 1 has two";
      return kMapJobUsage;
    }
  }
  return kExitOk;
}

// ------------------------------------------------------------------------- export

int Export(const Options& o, std::string* problem) {
  if (o.words.size() != 2) {
    *problem = "map export takes FILE and MAP";
    return kMapJobUsage;
  }
  int id, plane;
  if (const int rc = ParseMapAndPlane(o.words[1], o, &id, &plane, problem); rc != kExitOk) return rc;
  const bool toStdout = !o.outGiven || o.out == "-";
  if (o.outGiven && o.out.empty()) {
    *problem = "--out needs a file name";
    return kMapJobUsage;
  }
  const std::string& path = o.words[0];
  ecu::DataFile file;
  if (!ReadMapping("Map export", path, &file)) return kExitFailed;
  if (id == 1 && plane == 1 && (file.bytes[maps::kSingleMatrixOffset] & 1))
    com::Ui().MessagePopup("Map export",
                           "note: the single-matrix flag is set, the ECU uses cylinder 1's matrix "
                           "for both cylinders");
  const std::string csv = maps::ExportMapCsv(file.bytes.data(), id, plane);
  if (toStdout) {
    if (std::fwrite(csv.data(), 1, csv.size(), stdout) != csv.size() || std::fflush(stdout) != 0)
      return Fail("Map export", "standard output cannot be written");
    return kExitOk;
  }
  if (SameFile(o.out, path))
    return Fail("Map export", o.out + ": is the mapping file itself; choose another --out");
  if (!ecu::WriteFileAtomic(o.out, reinterpret_cast<const uint8_t*>(csv.data()), csv.size()))
    return Fail("Map export", o.out + ": cannot be written");
  return kExitOk;
}

// ------------------------------------------------------------------------- import

int Import(const Options& o, std::string* problem) {
  if (o.words.size() != 3) {
    *problem = "map import takes FILE, MAP and CSV (a path or - for standard input)";
    return kMapJobUsage;
  }
  if (o.outGiven) {
    *problem = "map import takes no --out; it writes FILE";
    return kMapJobUsage;
  }
  int id, plane;
  if (const int rc = ParseMapAndPlane(o.words[1], o, &id, &plane, problem); rc != kExitOk) return rc;
  const std::string& path = o.words[0];
  const std::string& csvPath = o.words[2];
  ecu::DataFile file;
  if (!ReadMapping("Map import", path, &file)) return kExitFailed;
  // Every refusal from here on says that FILE was not touched.
  auto refuse = [&path](const std::string& text) {
    return Fail("Map import", text + "\n" + path + " is left as it was");
  };
  if (id == 1 && plane == 1 && (file.bytes[maps::kSingleMatrixOffset] & 1))
    return refuse(path +
                  ": the single-matrix flag is set, one matrix serves both cylinders; import without "
                  "--cyl 2 to write both");
  std::string text, error;
  if (!ReadCsv(csvPath, &text, &error)) return refuse(error);

  std::vector<uint8_t> block = file.bytes;
  if (!maps::ImportMapCsv(text, block.data(), id, plane, &error))
    return refuse((csvPath == "-" ? std::string("standard input") : csvPath) + ": " + error);
  const size_t changes = ecu::DiffBlocks(ecu::kMapType, file.bytes.data(), block.data()).size();
  if (!ecu::WriteFileAtomic(path, block.data(), block.size())) return refuse(path + ": cannot be written");
  std::printf("Imported \"%s\"%s into %s: %zu value%s changed\n", maps::MapName(id),
              id == 1 ? ((block[maps::kSingleMatrixOffset] & 1) ? " (both cylinders, single matrix)"
                         : plane == 1                           ? " cyl 2"
                                                                : " cyl 1")
                      : "",
              path.c_str(), changes, changes == 1 ? "" : "s");
  return kExitOk;
}

// --------------------------------------------------------------------------- diff

// A word of diff that names no file but a restore point (as `history` lists it) means
// that restore point.
std::string HistoryPath(const std::string& word) {
  struct stat st {};
  if (stat(word.c_str(), &st) == 0) return word;
  const std::string restorePoint = ecu::RestorePointPath(word);
  return restorePoint.empty() ? word : restorePoint;
}

int Diff(const Options& o, std::string* problem) {
  if (o.words.size() != 2) {
    *problem = "diff takes two files, A and B";
    return kMapJobUsage;
  }
  if (o.cylGiven || o.outGiven) {
    *problem = "diff takes only --csv";
    return kMapJobUsage;
  }
  ecu::DataFile a, b;
  std::string error;
  if (!ecu::ReadDataFile(HistoryPath(o.words[0]), &a, &error) ||
      !ecu::ReadDataFile(HistoryPath(o.words[1]), &b, &error))
    return Fail("Diff", error, kDiffTrouble);
  auto kind = [](const ecu::DataFile& f) {
    return f.type == ecu::kParType ? "a configuration" : "a mapping";
  };
  if (a.type != b.type)
    return Fail("Diff",
                o.words[0] + " is " + kind(a) + " file and " + o.words[1] + " " + kind(b) +
                    " file; diff compares two files of one kind",
                kDiffTrouble);
  const std::vector<ecu::BlockDifference> differences =
      DiffNamedBlocks(a.type, a.bytes.data(), b.bytes.data());
  std::string out;
  if (o.csv) out += ecu::DiffCsvHeader() + "\n";
  for (const ecu::BlockDifference& d : differences)
    out += (o.csv ? ecu::DiffCsvRow(d) : ecu::DiffLine(d)) + "\n";
  if (std::fwrite(out.data(), 1, out.size(), stdout) != out.size() || std::fflush(stdout) != 0)
    return Fail("Diff", "standard output cannot be written", kDiffTrouble);
  return differences.empty() ? kExitOk : kDiffDifferent;
}

}  // namespace

bool IsMapJob(const std::string& command) {
  return command == "map" || command == "diff";
}

int RunMapJob(const std::vector<std::string>& args, std::string* problem) {
  if (args.empty() || !IsMapJob(args[0])) {
    *problem = "unknown command";
    return kMapJobUsage;
  }
  Options o;
  if (args[0] == "diff") {
    if (const int rc = ParseOptions(args, &o, problem); rc != kExitOk) return rc;
    return Diff(o, problem);
  }
  if (args.size() < 2 || (args[1] != "export" && args[1] != "import")) {
    for (const std::string& a : args)
      if (a == "-h" || a == "--help") return kMapJobHelp;
    *problem = "map takes export or import";
    return kMapJobUsage;
  }
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  if (const int rc = ParseOptions(rest, &o, problem); rc != kExitOk) return rc;
  if (o.csv) {
    *problem = "--csv belongs to diff";
    return kMapJobUsage;
  }
  return args[1] == "export" ? Export(o, problem) : Import(o, problem);
}

// Reads a mapping file; anything else is refused as `info` refuses it.
bool ReadMapping(const char* title, const std::string& path, ecu::DataFile* file) {
  std::string error;
  if (!ecu::ReadDataFile(path, file, &error)) {
    Fail(title, error);
    return false;
  }
  if (file->type != ecu::kMapType) {
    Fail(title, path + ": a configuration file (1276 bytes), not a mapping file (12344 bytes)");
    return false;
  }
  return true;
}

}  // namespace cli
