// kestra-cli: Kestra's data jobs without the window, for scripted workshop work.
//
//   kestra-cli info FILE
//   kestra-cli receive --port PORT (configuration|mapping1|mapping2) FILE
//   kestra-cli send --port PORT (configuration|mapping1|mapping2) FILE
//   kestra-cli map export FILE MAP [--cyl 1|2] [--out OUT.csv]
//   kestra-cli map import FILE MAP CSV [--cyl 1|2]
//   kestra-cli diff [--csv] A B
//   kestra-cli import (configuration|mapping) (v1.2|talaris) OLDFILE NEWFILE
//   kestra-cli log --port PORT [--count N] [--seconds S] [--out FILE]
//   kestra-cli doctor [--port PORT]
//   kestra-cli log summary LOG.csv
//   kestra-cli log bin LOG.csv FILE MAP [--channel NAME] [--filters on|off]
//   kestra-cli log propose LOG.csv FILE [--cyl 1|2] [--target AFR | --target-csv CSV]
//                          [--delay-ms D] [--min N] [--out OUT.csv] [--apply]
//
// Messages go to standard error (with a progress bar while a transfer runs, when
// standard error is a terminal); results go to standard output.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cli/cli_common.h"
#include "cli/logjobs.h"
#include "cli/historyjobs.h"
#include "cli/mapjobs.h"
#include "config/bike.h"
#include "ecudata/defaults.h"
#include "ecudata/ecudata.h"
#include "ecudata/files.h"
#include "ecudata/image.h"
#include "ecudata/import.h"
#include "ecudata/init.h"
#include "ecudata/transfer.h"
#include "link/appdirs.h"
#include "link/bytes.h"
#include "link/com.h"
#include "link/cp1252.h"
#include "link/doctor.h"
#include "link/userio.h"
#include "link/utils.h"
#include "live/datalog.h"
#include "live/live.h"
#include "shell/connection.h"

namespace {

// Exit status: 0 success, 1 the job failed (file, ECU or link), 2 wrong usage.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

const char kUsage[] =
    "Usage: kestra-cli info FILE\n"
    "  or:  kestra-cli receive --port PORT (configuration|mapping1|mapping2) FILE\n"
    "  or:  kestra-cli send --port PORT (configuration|mapping1|mapping2) FILE\n"
    "  or:  kestra-cli map export FILE.emd MAP [--cyl 1|2] [--out OUT.csv]\n"
    "  or:  kestra-cli map import FILE.emd MAP CSV [--cyl 1|2]\n"
    "  or:  kestra-cli diff [--csv] A B\n"
    "  or:  kestra-cli history [--kind configuration|mapping] [--against FILE]\n"
    "  or:  kestra-cli restore ENTRY FILE\n"
    "  or:  kestra-cli import (configuration|mapping) (v1.2|talaris) OLDFILE NEWFILE\n"
    "  or:  kestra-cli log --port PORT [--count N] [--seconds S] [--out FILE]\n"
    "  or:  kestra-cli doctor [--port PORT]\n"
    "  or:  kestra-cli log summary LOG.csv [--rate HZ]\n"
    "  or:  kestra-cli log bin LOG.csv FILE.emd MAP [--channel NAME] [--filters on|off]\n"
    "  or:  kestra-cli log propose LOG.csv FILE.emd [--cyl 1|2] [--target AFR | --target-csv CSV]\n"
    "                              [--delay-ms D] [--min N] [--out OUT.csv] [--apply]\n"
    "  or:  kestra-cli --version\n"
    "\n"
    "  info        shows the kind of a data file (configuration, 1276 bytes, or mapping,\n"
    "              12344 bytes), its stamps and whether this program accepts them, the\n"
    "              bike and the data-set name.\n"
    "  receive     reads the block from the ECU and stores it in FILE (extension .ecd or\n"
    "              .emd); a failed download leaves an existing FILE as it was.\n"
    "  send        loads FILE and writes it to the ECU; the data-set name is the file name.\n"
    "  map export  writes one map of a mapping file as CSV: 21 lines of 33 fields in\n"
    "              display units, to standard output or OUT.csv. MAP is 1-5 or\n"
    "              injection, advance, injvel, advvel, cranking; --cyl 2 takes the\n"
    "              plane of cylinder 2 (map 1 only).\n"
    "  map import  reads that CSV (a path, or - for standard input) into the map in\n"
    "              FILE.emd; the whole text is checked first, and a refused one\n"
    "              leaves FILE as it was.\n"
    "  diff        lists the differences between two mapping or two configuration\n"
    "              files (the stamps are not compared); --csv writes CSV rows.\n"
    "              Exit status as diff(1): 0 equal, 1 different, 2 trouble. A or B may\n"
    "              name a restore point as history lists it.\n"
    "  history     lists the restore points and the data files stored, loaded or\n"
    "              imported by the window, newest first: time, kind, block, data-set\n"
    "              name, bike (or missing, truncated, foreign file) and the ENTRY name;\n"
    "              --against FILE adds the number of differences to FILE.\n"
    "  restore     writes the block of ENTRY (extension .ecd or .emd) as FILE; an\n"
    "              existing FILE is replaced whole or not at all.\n"
    "  import      converts a configuration or mapping file of an older data family\n"
    "              (data version 1.2, or Talaris) and stores it in NEWFILE (extension\n"
    "              .ecd or .emd), starting from the program's defaults as the window's\n"
    "              Import does. OLDFILE must have exactly its family's size; a refused\n"
    "              file writes nothing.\n"
    "  log         reads live records as fast as the link allows and writes them as CSV to\n"
    "              FILE (standard output without --out) until N records are written, S\n"
    "              seconds have passed, or it is interrupted (Ctrl-C); the count and the\n"
    "              rate go to standard error. Every line is written whole, so a log cut off\n"
    "              at any moment is a valid CSV.\n"
    "  doctor      checks why the link to the ECU would not work: the USB adapter and its\n"
    "              permission, the serial device (permission, group, another program\n"
    "              holding it, ModemManager, brltty, the FTDI latency timer). One line per\n"
    "              finding, each problem with its fix; without --port the USB adapter and\n"
    "              every USB serial device. Exit status 0 nothing wrong, 1 something is.\n"
    "  log summary prints a log's records, duration and rate, and per channel its minimum,\n"
    "              mean and maximum.\n"
    "  log bin     lays the log's records onto MAP's grid (the breakpoint nearest to each\n"
    "              record's X and Y quantity) and writes the count per cell, or with\n"
    "              --channel the channel's mean, in map export's shape. The filters (engine\n"
    "              running, engine warm, throttle steady) are on unless --filters off.\n"
    "  log propose proposes map 1 of FILE.emd (cylinder --cyl) from the wideband readings\n"
    "              taken --delay-ms later (100): old x mean(reading / target) in the cells\n"
    "              with at least --min (20) filtered records, target --target (13.2) or a\n"
    "              table in map export's shape. Writes the plane as CSV (standard output or\n"
    "              --out); --apply writes it into FILE.emd and says how many cells changed.\n"
    "              --rate HZ gives the records' rate of a log without a time column.\n"
    "\n"
    "PORT is 'usb' for the USB adapter or a serial device path (e.g. /dev/ttyUSB0).\n"
    "Exit status: 0 success, 1 the job failed, 2 wrong usage.\n";

int Usage(const std::string& problem) {
  if (!problem.empty()) std::fprintf(stderr, "kestra-cli: %s\n\n", problem.c_str());
  std::fputs(kUsage, stderr);
  return kExitUsage;
}

int Fail(const std::string& title, const std::string& text) {
  com::Ui().MessagePopup(title, text);
  return kExitFailed;
}

// A name as printable text: control characters become '?' (the name is UTF-8 here).
std::string Printable(std::string text) {
  for (char& c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) c = '?';
  }
  return text;
}
// A stamp field of a file, held as Windows-1252 bytes (a damaged file may hold anything).
std::string Printable(const uint8_t* field, size_t size) {
  return Printable(com::FromCp1252(com::FieldText(field, size)));
}

std::string Hex(uint32_t value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*X", digits, value);
  return text;
}

std::string BikeDescription(uint32_t word) {
  if (((word >> 16) & 0xFF) == 0xFF) return "not set (" + Hex(word, 6) + ")";
  std::string text = config::BikeText(word) + " (code " + Hex(word, 6) + ")";
  if (!config::IsCatalogued(word)) text += ", not in the bike catalogue";
  return text;
}

// The block a job works on: 1 the parameter block ("configuration"), 2 the map block.
struct Target {
  int transferType = 0;  // SendEcu / RequestEcu: 1, 2 or 3
  int block = 0;         // 1 or 2
  const char* label = "";
};

bool ParseTarget(const std::string& word, Target* target) {
  if (word == "configuration")
    *target = {1, ecu::kParType, "configuration"};
  else if (word == "mapping1")
    *target = {2, ecu::kMapType, "mapping 1"};
  else if (word == "mapping2")
    *target = {3, ecu::kMapType, "mapping 2"};
  else
    return false;
  return true;
}

const char* Extension(int block) {
  return block == ecu::kParType ? "ecd" : "emd";
}

// The part of a path after its last directory separator ('/' or '\\').
std::string BaseName(const std::string& path) {
  const size_t separator = path.find_last_of("/\\");
  return separator == std::string::npos ? path : path.substr(separator + 1);
}

// Settings of the window program stay as they are: the data-file functions remember
// their paths in a settings file of their own that lives only while this job runs.
class PrivateSettings {
 public:
  PrivateSettings() {
    const char* base = std::getenv("TMPDIR");
    std::string tmpl = std::string(base && *base ? base : "/tmp") + "/kestra-cli.XXXXXX";
    std::vector<char> dir(tmpl.begin(), tmpl.end());
    dir.push_back('\0');
    if (mkdtemp(dir.data())) {
      dir_ = dir.data();
      file_ = dir_ + "/tarvenco.ini";
      ecu::SetInitFilePath(file_);
    }
  }
  ~PrivateSettings() {
    if (dir_.empty()) return;
    ecu::SetInitFilePath("");
    unlink(file_.c_str());
    rmdir(dir_.c_str());
  }
  bool Ok() const { return !dir_.empty(); }

 private:
  std::string dir_, file_;
};

// ---------------------------------------------------------------------------- info

int Info(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return Fail("Info", path + ": " + std::strerror(errno));
  if (!S_ISREG(st.st_mode)) return Fail("Info", path + ": not a regular file");
  int block;
  if (st.st_size == ecu::kParSize)
    block = ecu::kParType;
  else if (st.st_size == ecu::kMapSize)
    block = ecu::kMapType;
  else
    return Fail("Info", path + ": " + std::to_string(st.st_size) +
                            " bytes is neither a configuration file (1276 bytes) nor a mapping file "
                            "(12344 bytes)");

  std::vector<uint8_t> data(ecu::BlockSize(block));
  if (!ecu::ReadFilePrefix(path, data.data(), data.size()))
    return Fail("Info", path + ": the file cannot be read");

  const uint8_t* bytes = data.data();
  const std::string appStamp = Printable(bytes + ecu::kAppStampOffset, ecu::kStampSize);
  const std::string dataStamp = Printable(bytes + ecu::kDataStampOffset, ecu::kStampSize);
  const bool appOk = com::FieldText(bytes + ecu::kAppStampOffset, ecu::kStampSize) == ecu::AppVersionText();
  const bool dataOk = com::FieldText(bytes + ecu::kDataStampOffset, ecu::kStampSize) ==
                      std::string(ecu::DataVersionText(block));
  const uint32_t bike = com::Get32LE(bytes + ecu::BikeOffset(block));
  std::string name;
  com::SplitFileName(path, name);

  std::printf("File:          %s\n", path.c_str());
  std::printf("Kind:          %s (%u bytes)\n", block == ecu::kParType ? "configuration" : "mapping",
              ecu::BlockSize(block));
  std::printf("Name:          %s\n", name.c_str());
  std::printf("Application:   \"%s\" - %s\n", appStamp.c_str(),
              appOk ? "this program" : "another application (accepted with a warning)");
  std::printf("Data version:  \"%s\" - %s\n", dataStamp.c_str(),
              dataOk ? "accepted" : "not accepted: Incompatible data format!");
  std::printf("Bike:          %s\n", BikeDescription(bike).c_str());
  if (!dataOk) {
    std::fprintf(stderr, "Info: %s: Incompatible data format! (expected \"%s\")\n", path.c_str(),
                 ecu::DataVersionText(block));
    return kExitFailed;
  }
  return kExitOk;
}

// ---------------------------------------------------------------------- connection

// Opens the port and identifies the ECU as the window's connect does. On failure the
// reason has been shown and the port is closed.
bool Connect(const std::string& title, const std::string& port) {
  std::string error;
  if (!cli::SelectPort(port, &error)) {
    Fail(title, error);
    return false;
  }
  switch (shell::ConnectEcu({})) {
    case shell::ConnectResult::Connected:
      return true;
    case shell::ConnectResult::NoFirmwareName:
      if (!com::LastPortError().empty())
        Fail(title, "cannot open the port: " + com::LastPortError());
      else
        Fail(title, "no valid answer from the ECU on " + port);
      return false;
    case shell::ConnectResult::Incompatible:
      return false;  // the identity check has shown its message
    case shell::ConnectResult::NoDataName:
      Fail(title, "map tuning runs on the ECU and the tuned map's name cannot be read");
      return false;
  }
  return false;
}

// ------------------------------------------------------------------------ receive

int Receive(const std::string& port, const Target& target, const std::string& givenPath) {
  const std::string path = com::SetFileExtension(givenPath, Extension(target.block));
  struct stat st {};
  if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return Fail("Receive", path + ": is a directory");
  // The other block is "not set", so the download raises no bike warning.
  const int other = target.block == ecu::kParType ? ecu::kMapType : ecu::kParType;
  ecu::SetBikeWord(other, config::kBikeNotSet);
  ecu::InitEcuRefData();  // nothing here is worth a restore point

  if (!Connect("Receive", port)) return kExitFailed;
  shell::fReceiving = 1;
  const uint8_t received = ecu::RequestEcu(target.transferType, com::kCursorNormal);
  com::Ui().SetProgressBar(0, 0);
  shell::fReceiving = 0;
  com::CloseComPort();
  if (!received) return Fail("Receive", std::string(shell::szGenericError) + " (the download failed)");

  const std::string ecuName = com::Ui().GetConfigName(target.block);
  // No second block to align with: the other block carries the same bike word.
  ecu::SetBikeWord(other, ecu::GetBikeWord(target.block));
  if (!ecu::StoreEcu(path, target.block, com::kCursorNormal))
    return Fail("Receive", std::string(shell::szGenericError) + " (" + path + " cannot be written)");

  std::printf("Received %s \"%s\" (%s)\n", target.label, Printable(ecuName).c_str(),
              BikeDescription(ecu::GetBikeWord(target.block)).c_str());
  std::printf("Stored in %s as \"%s\"\n", path.c_str(), com::Ui().GetConfigName(target.block).c_str());
  return kExitOk;
}

// --------------------------------------------------------------------------- send

// Loads the file into the working block as a load does: the first bytes of the block's
// size, the data-version stamp must match (else nothing is sent), another application's
// stamp only warns.
bool LoadForSend(const Target& target, const std::string& givenPath, std::string* shownName) {
  std::string path = givenPath;
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) {
    const std::string withExtension = com::SetFileExtension(givenPath, Extension(target.block));
    if (stat(withExtension.c_str(), &st) == 0) path = withExtension;
  }
  uint8_t* staging = target.block == ecu::kParType ? ecu::fileParData : ecu::fileMapData;
  const uint32_t size = ecu::BlockSize(target.block);
  if (!ecu::ReadFilePrefix(path, staging, size)) {
    Fail("Send", path + ": missing, not a regular file or shorter than " + std::to_string(size) + " bytes");
    return false;
  }
  if (!ecu::CheckDataVersion(target.block, staging)) return false;  // "Incompatible data format!"
  ecu::CheckAppVersion(target.block, staging);
  std::memcpy(ecu::WorkingBlock(target.block), staging, size);
  com::SplitFileName(path, *shownName);
  return true;
}

int Send(const std::string& port, const Target& target, const std::string& path) {
  std::string name;
  if (!LoadForSend(target, path, &name)) return kExitFailed;
  com::Ui().ShowConfigName(name, target.block);
  // No second block to align with: the other block carries the same bike word.
  const int other = target.block == ecu::kParType ? ecu::kMapType : ecu::kParType;
  ecu::SetBikeWord(other, ecu::GetBikeWord(target.block));
  if (target.block == ecu::kParType) config::ConfigFlagBike();

  if (!Connect("Send", port)) return kExitFailed;
  if (shell::fOldHwConfig && (config::fFuelControl || config::fFuelReserve)) {
    com::CloseComPort();
    return Fail("Send", "The configuration bike selected is not compatible with the ECU hardware!");
  }
  shell::fSending = 1;
  const uint8_t sent = ecu::SendEcu(target.transferType, com::kCursorNormal);
  com::Ui().SetProgressBar(0, 0);
  shell::fSending = 0;
  com::CloseComPort();
  if (!sent) return Fail("Send", std::string(shell::szGenericError) + " (the upload failed)");
  std::printf("Sent %s \"%s\" (%s): Done!\n", target.label, name.c_str(),
              BikeDescription(ecu::GetBikeWord(target.block)).c_str());
  return kExitOk;
}

// ------------------------------------------------------------------------- import

struct ImportJob {
  int block = 0;    // 1 configuration, 2 mapping
  int version = 0;  // 1 data version 1.2, 2 Talaris
};

bool ParseImportJob(const std::string& block, const std::string& family, ImportJob* job) {
  if (block == "configuration")
    job->block = ecu::kParType;
  else if (block == "mapping")
    job->block = ecu::kMapType;
  else
    return false;
  if (family == "v1.2")
    job->version = ecu::kImportV12;
  else if (family == "talaris")
    job->version = ecu::kImportTalaris;
  else
    return false;
  return true;
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {
  }, sb{};
  return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

// The window's Import with the files given: the program's start-up defaults, the
// conversion, then a store to NEWFILE with fresh stamps.
int Import(const ImportJob& job, const std::string& oldGiven, const std::string& newGiven) {
  const char* ext = Extension(job.block);
  const std::string oldPath = com::SetFileExtension(oldGiven, ext);
  const std::string newPath = com::SetFileExtension(newGiven, ext);
  if (SameFile(oldPath, newPath))
    return Fail("Import", newPath + " is the file being imported; choose another NEWFILE");
  struct stat st {};
  if (stat(newPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
    return Fail("Import", newPath + ": is a directory");

  ecu::InitStartupDefaults();
  // No second block to check against: the other block is "not set", then carries the
  // imported block's bike so that the store asks nothing.
  const int other = job.block == ecu::kParType ? ecu::kMapType : ecu::kParType;
  ecu::SetBikeWord(other, config::kBikeNotSet);
  ecu::InitEcuRefData();  // nothing here is worth a restore point

  switch (ecu::ImportEcuFile(job.block, job.version, oldPath, com::kCursorNormal)) {
    case ecu::ImportResult::Imported:
      break;
    case ecu::ImportResult::Refused:  // "The selected file is not correct!" has been shown
      return kExitFailed;
    case ecu::ImportResult::Missing:
      return Fail("Import", oldPath + ": missing or not a regular file");
    case ecu::ImportResult::ReadError:
      return Fail("Import", oldPath + ": the file cannot be read");
  }
  ecu::SetBikeWord(other, ecu::GetBikeWord(job.block));
  if (!ecu::StoreEcu(newPath, job.block, com::kCursorNormal))
    return Fail("Import", std::string(shell::szGenericError) + " (" + newPath + " cannot be written)");
  std::printf("Imported %s %s of %s (%s)\n", job.version == ecu::kImportV12 ? "Q740 v1.2" : "Talaris",
              job.block == ecu::kParType ? "configuration" : "mapping", oldPath.c_str(),
              BikeDescription(ecu::GetBikeWord(job.block)).c_str());
  std::printf("Stored in %s as \"%s\"\n", newPath.c_str(), com::Ui().GetConfigName(job.block).c_str());
  return kExitOk;
}

// ---------------------------------------------------------------------------- log

volatile std::sig_atomic_t logStopRequested = 0;
void OnLogSignal(int) {
  logStopRequested = 1;
}

struct LogLimits {
  uint64_t count = 0;  // 0: no limit
  double seconds = 0;  // 0: no limit
  std::string out;     // empty: standard output
};

int Log(const std::string& port, const LogLimits& limits) {
  if (!Connect("Log", port)) return kExitFailed;
  live::Datalog log;
  std::string error;
  if (limits.out.empty() ? !log.Attach(STDOUT_FILENO, &error) : !log.Open(limits.out, &error)) {
    com::CloseComPort();
    return Fail("Log", error);
  }
  struct sigaction sa {};
  sa.sa_handler = OnLogSignal;  // no SA_RESTART: a waiting read ends at once
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  constexpr int kMaxFailures = 4;
  int failures = 0;
  int status = kExitOk;
  const double start = com::Timer();
  while (!logStopRequested) {
    if (limits.count && log.Count() >= limits.count) break;
    if (limits.seconds > 0 && com::Timer() - start >= limits.seconds) break;
    live::LiveData record;
    if (!live::ReadLiveRecord({}, &record)) {
      if (logStopRequested) break;
      if (++failures >= kMaxFailures) {
        status = Fail("Log", "The ECU stopped answering: " + std::to_string(kMaxFailures) +
                                 " live requests in a row failed.");
        break;
      }
      continue;
    }
    failures = 0;
    if (!log.Write(record, com::Timer(), &error)) {
      if (errno == EPIPE && limits.out.empty()) break;  // the reader of the pipe has gone
      status = Fail("Log", error);
      break;
    }
  }
  com::CloseComPort();
  std::fprintf(stderr, "Log: %llu records, %.1f records/s%s%s\n",
               static_cast<unsigned long long>(log.Count()), log.Rate(), limits.out.empty() ? "" : ", in ",
               limits.out.c_str());
  return status;
}

bool ParseCount(const std::string& text, uint64_t* count) {
  char* end = nullptr;
  errno = 0;
  const unsigned long long v = std::strtoull(text.c_str(), &end, 10);
  if (text.empty() || text[0] == '-' || *end != '\0' || errno != 0 || v == 0) return false;
  *count = v;
  return true;
}

bool ParseSeconds(const std::string& text, double* seconds) {
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || !(v > 0 && v < 1e9)) return false;
  *seconds = v;
  return true;
}

// The connection check: one line per finding on standard output.
int Doctor(const std::string& port) {
  const auto facts = com::RealSystemFacts();
  const std::vector<com::Finding> findings = com::CheckConnection(*facts, port);
  for (const com::Finding& finding : findings) std::printf("%s\n", com::FindingLine(finding).c_str());
  return com::AnyProblem(findings) ? kExitFailed : kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  if (com::AnswerVersion(argc, argv, "kestra-cli")) return kExitOk;
  if (cli::IsLogJob(std::vector<std::string>(argv + 1, argv + argc))) {
    cli::TerminalUserIo ui;
    com::SetUi(&ui);
    std::string problem;
    const int status = cli::RunLogJob(std::vector<std::string>(argv + 1, argv + argc), &problem);
    com::SetUi(nullptr);
    if (status == cli::kLogJobHelp) {
      std::fputs(kUsage, stdout);
      return kExitOk;
    }
    return status == cli::kLogJobUsage ? Usage(problem) : status;
  }
  if (argc > 1 && cli::IsHistoryJob(argv[1])) {
    cli::TerminalUserIo ui;
    com::SetUi(&ui);
    std::string problem;
    const int status = cli::RunHistoryJob(std::vector<std::string>(argv + 1, argv + argc), &problem);
    com::SetUi(nullptr);
    if (status == cli::kHistoryJobHelp) {
      std::fputs(kUsage, stdout);
      return kExitOk;
    }
    return status == cli::kHistoryJobUsage ? Usage(problem) : status;
  }
  if (argc > 1 && cli::IsMapJob(argv[1])) {
    cli::TerminalUserIo ui;
    com::SetUi(&ui);
    std::string problem;
    const int status = cli::RunMapJob(std::vector<std::string>(argv + 1, argv + argc), &problem);
    com::SetUi(nullptr);
    if (status == cli::kMapJobHelp) {
      std::fputs(kUsage, stdout);
      return kExitOk;
    }
    return status == cli::kMapJobUsage ? Usage(problem) : status;
  }
  std::vector<std::string> args;
  std::string port;
  bool portGiven = false;
  LogLimits limits;
  bool logOptionGiven = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      std::fputs(kUsage, stdout);
      return kExitOk;
    }
    if (arg == "--count" || arg == "--seconds" || arg == "--out") {
      if (i + 1 >= argc) return Usage(arg + " needs a value");
      const std::string value = argv[++i];
      logOptionGiven = true;
      if (arg == "--count" && !ParseCount(value, &limits.count))
        return Usage("--count: '" + value + "' is not a whole number above 0");
      if (arg == "--seconds" && !ParseSeconds(value, &limits.seconds))
        return Usage("--seconds: '" + value + "' is not a number of seconds above 0");
      if (arg == "--out") {
        if (value.empty()) return Usage("--out needs a FILE");
        limits.out = value;
      }
      continue;
    }
    if (arg == "--port") {
      if (i + 1 >= argc) return Usage("--port needs a value");
      port = argv[++i];
      portGiven = true;
    } else if (arg.rfind("--port=", 0) == 0) {
      port = arg.substr(7);
      portGiven = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return Usage("unknown option '" + arg + "'");
    } else {
      args.push_back(arg);
    }
  }
  if (args.empty()) return Usage("");

  cli::TerminalUserIo ui;
  com::SetUi(&ui);
  int status;
  const std::string& command = args[0];
  if (logOptionGiven && command != "log") return Usage("--count, --seconds and --out are for log");
  if (command == "info") {
    if (args.size() != 2) return Usage("info takes one FILE");
    if (portGiven) return Usage("info takes no --port");
    status = Info(args[1]);
  } else if (command == "receive" || command == "send") {
    Target target;
    if (args.size() != 3) return Usage(command + " takes a block and a FILE");
    if (!ParseTarget(args[1], &target))
      return Usage("'" + args[1] + "' is not configuration, mapping1 or mapping2");
    if (!portGiven || port.empty()) return Usage(command + " needs --port usb or --port DEVICE");
    if (args[2].empty()) return Usage("empty FILE");
    const std::string base = BaseName(args[2]);
    if (base.empty() || base == "." || base == "..")
      return Usage("'" + args[2] + "' names a directory, not a FILE");
    PrivateSettings settings;
    if (!settings.Ok()) {
      status = Fail(command == "send" ? "Send" : "Receive", "cannot create a temporary directory");
    } else {
      status = command == "send" ? Send(port, target, args[2]) : Receive(port, target, args[2]);
    }
  } else if (command == "import") {
    ImportJob job;
    if (args.size() != 5) return Usage("import takes a block, a data family, OLDFILE and NEWFILE");
    if (!ParseImportJob(args[1], args[2], &job))
      return Usage("import takes configuration or mapping, then v1.2 or talaris");
    if (portGiven) return Usage("import takes no --port");
    for (const std::string* file : {&args[3], &args[4]}) {
      const std::string base = BaseName(*file);
      if (base.empty() || base == "." || base == "..")
        return Usage("'" + *file + "' names a directory, not a FILE");
    }
    PrivateSettings settings;
    status =
        settings.Ok() ? Import(job, args[3], args[4]) : Fail("Import", "cannot create a temporary directory");
  } else if (command == "doctor") {
    if (args.size() != 1) return Usage("doctor takes no arguments besides --port");
    if (portGiven && port.empty()) return Usage("--port needs usb or a DEVICE");
    status = Doctor(port);
  } else if (command == "log") {
    if (args.size() != 1) return Usage("log takes no arguments besides its options");
    if (!portGiven || port.empty()) return Usage("log needs --port usb or --port DEVICE");
    PrivateSettings settings;
    status = settings.Ok() ? Log(port, limits) : Fail("Log", "cannot create a temporary directory");
  } else {
    return Usage("unknown command '" + command + "'");
  }
  com::SetUi(nullptr);
  return status;
}
