#include "cli/historyjobs.h"

#include <sys/stat.h>

#include <cstdio>
#include <ctime>

#include "cli/fieldnames.h"
#include "ecudata/blockdiff.h"
#include "ecudata/datafile.h"
#include "ecudata/files.h"
#include "ecudata/history.h"
#include "ecudata/image.h"
#include "link/userio.h"
#include "link/utils.h"

namespace cli {

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;

int Fail(const char* title, const std::string& text) {
  com::Ui().MessagePopup(title, text);
  return kExitFailed;
}

std::string TimeText(std::time_t t) {
  std::tm local{};
  localtime_r(&t, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

const char* BlockWord(int type) {
  return type == ecu::kParType ? "configuration" : type == ecu::kMapType ? "mapping" : "unknown";
}

bool Write(const std::string& out) {
  return std::fwrite(out.data(), 1, out.size(), stdout) == out.size() && std::fflush(stdout) == 0;
}

int History(const std::vector<std::string>& args, std::string* problem) {
  int type = 0;
  std::string against;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "-h" || arg == "--help") return kHistoryJobHelp;
    if ((arg == "--kind" || arg == "--against") && i + 1 >= args.size()) {
      *problem = arg + " needs a value";
      return kHistoryJobUsage;
    }
    if (arg == "--kind") {
      const std::string& kind = args[++i];
      if (kind == "configuration") {
        type = ecu::kParType;
      } else if (kind == "mapping") {
        type = ecu::kMapType;
      } else {
        *problem = "--kind takes configuration or mapping";
        return kHistoryJobUsage;
      }
    } else if (arg == "--against") {
      against = args[++i];
    } else {
      *problem = "history takes only --kind and --against";
      return kHistoryJobUsage;
    }
  }
  ecu::DataFile base;
  if (!against.empty()) {
    std::string error;
    if (!ecu::ReadDataFile(against, &base, &error)) return Fail("History", error);
  }
  std::string out;
  for (const ecu::HistoryEntry& e : ecu::ReadHistory(type)) {
    out += TimeText(e.time) + "  " + ecu::HistoryKindText(e.kind) + "  " + BlockWord(e.type) + "  \"" +
           e.name + "\"  ";
    if (e.state == ecu::HistoryState::Ready) {
      out += ecu::BikeDescription(e.bike);
      if (!against.empty() && e.type == base.type) {
        const std::vector<std::span<const ecu::Field>> tables = FieldTablesOf(e.type);
        const long n = ecu::CountHistoryDifferences(e, base.type, base.bytes.data(), tables);
        if (n >= 0) out += "  " + std::to_string(n) + (n == 1 ? " difference" : " differences");
      }
    } else {
      out += std::string("(") + ecu::HistoryStateText(e.state) + ")";
    }
    out += "  " + e.entry + "\n";
  }
  if (!Write(out)) return Fail("History", "standard output cannot be written");
  return kExitOk;
}

int Restore(const std::vector<std::string>& args, std::string* problem) {
  std::vector<std::string> words;
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "-h" || args[i] == "--help") return kHistoryJobHelp;
    words.push_back(args[i]);
  }
  if (words.size() != 2) {
    *problem = "restore takes an ENTRY (as history lists it) and a FILE";
    return kHistoryJobUsage;
  }
  if (words[1].empty()) {
    *problem = "empty FILE";
    return kHistoryJobUsage;
  }
  const std::vector<ecu::HistoryEntry> entries = ecu::ReadHistory();
  const ecu::HistoryEntry* entry = ecu::FindHistoryEntry(entries, words[0]);
  if (!entry) return Fail("Restore", words[0] + ": no such entry in the history");
  std::vector<uint8_t> bytes;
  std::string error;
  if (!ecu::ReadHistoryBlock(*entry, &bytes, &error)) return Fail("Restore", error);
  const std::string path = com::SetFileExtension(words[1], entry->type == ecu::kParType ? "ecd" : "emd");
  struct stat st {};
  if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return Fail("Restore", path + ": is a directory");
  if (!ecu::WriteFileAtomic(path, bytes.data(), bytes.size()))
    return Fail("Restore", path + ": cannot be written");
  if (!Write("Restored " + entry->entry + " as " + path + "\n"))
    return Fail("Restore", "standard output cannot be written");
  return kExitOk;
}

}  // namespace

bool IsHistoryJob(const std::string& command) {
  return command == "history" || command == "restore";
}

int RunHistoryJob(const std::vector<std::string>& args, std::string* problem) {
  if (args.empty() || !IsHistoryJob(args[0])) {
    *problem = "unknown command";
    return kHistoryJobUsage;
  }
  return args[0] == "history" ? History(args, problem) : Restore(args, problem);
}

}  // namespace cli
