#include "ecudata/init.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <vector>

#include "ecudata/files.h"
#include "link/appdirs.h"
#include "link/bytes.h"
#include "link/com.h"
#include "link/utils.h"

namespace ecu {

Config cfg;
DialogPlace posMp1Val, posMp2Val, posInjVal, posAdvVal;

namespace {

constexpr const char* kInitFileName = "tarvenco.ini";

// Offsets of the record.
constexpr uint32_t kComPortAt = 0;
constexpr uint32_t kMapPathAt = 2;
constexpr uint32_t kParPathAt = 262;
constexpr uint32_t kTunePathAt = 522;
constexpr uint32_t kWinPosXAt = 784;
constexpr uint32_t kWinPosYAt = 788;
constexpr uint32_t kReserved1At = 792;
constexpr uint32_t kReserved2At = 796;
constexpr uint32_t kReserved3At = 800;

std::string& OverridePath() {
  static std::string path;
  return path;
}

int32_t Get32S(const uint8_t* p) {
  return static_cast<int32_t>(com::Get32LE(p));
}
void Put32S(uint8_t* p, int32_t v) {
  com::Put32LE(p, static_cast<uint32_t>(v));
}

// A path that does not fit the 260-byte field is not kept at all: a cut path would
// name some other file at the next start.
void PutPath(uint8_t* field, const std::string& path) {
  com::SetFieldText(field, kPathSize, path.size() < kPathSize ? path : std::string());
}

}  // namespace

std::string ProgramDirectory() {
  return com::ExecutableDirectory();
}

void DecodeConfig(const uint8_t* bytes, size_t size) {
  cfg = Config{};
  com::comPort = 0;
  if (bytes && size == kCfgSize) {
    com::comPort = static_cast<int16_t>(com::Get16LE(bytes + kComPortAt));
    cfg.mapFilePath = com::FieldText(bytes + kMapPathAt, kPathSize - 1);
    cfg.parFilePath = com::FieldText(bytes + kParPathAt, kPathSize - 1);
    cfg.tuneFilePath = com::FieldText(bytes + kTunePathAt, kPathSize - 1);
    cfg.winPosX = Get32S(bytes + kWinPosXAt);
    cfg.winPosY = Get32S(bytes + kWinPosYAt);
    cfg.reserved1 = Get32S(bytes + kReserved1At);
    cfg.reserved2 = Get32S(bytes + kReserved2At);
    cfg.reserved3 = Get32S(bytes + kReserved3At);
  }
  if (cfg.winPosX < 0) cfg.winPosX = 0;
  if (cfg.winPosY < 5) cfg.winPosY = 5;
  // The value dialogs' places are not kept across runs.
  for (DialogPlace* place : {&posMp1Val, &posMp2Val, &posInjVal, &posAdvVal}) *place = DialogPlace{};
}

void EncodeConfig(uint8_t* bytes) {
  std::fill(bytes, bytes + kCfgSize, 0);
  com::Put16LE(bytes + kComPortAt, static_cast<uint16_t>(com::comPort));
  PutPath(bytes + kMapPathAt, cfg.mapFilePath);
  PutPath(bytes + kParPathAt, cfg.parFilePath);
  PutPath(bytes + kTunePathAt, cfg.tuneFilePath);
  Put32S(bytes + kWinPosXAt, cfg.winPosX);
  Put32S(bytes + kWinPosYAt, cfg.winPosY);
  Put32S(bytes + kReserved1At, cfg.reserved1);
  Put32S(bytes + kReserved2At, cfg.reserved2);
  Put32S(bytes + kReserved3At, cfg.reserved3);
}

void ReadInitFile() {
  // Only a regular file of exactly the record's size is taken; anything else (missing,
  // short, long, a directory or a FIFO, which must not block the start) gives the defaults.
  const std::string path = InitFilePath();
  std::vector<uint8_t> bytes(kCfgSize);
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size != static_cast<off_t>(kCfgSize) ||
      !ReadFilePrefix(path, bytes.data(), kCfgSize))
    bytes.clear();
  DecodeConfig(bytes.data(), bytes.size());
}

void WriteInitFile() {
  uint8_t bytes[kCfgSize];
  EncodeConfig(bytes);
  WriteFileAtomic(InitFilePath(), bytes, kCfgSize);  // a failed write is silent
}

std::string InitFilePath() {
  if (!OverridePath().empty()) return OverridePath();
  return com::SettingsDirectory("kestra", kInitFileName) + "/" + kInitFileName;
}

void SetInitFilePath(const std::string& path) {
  OverridePath() = path;
}

}  // namespace ecu
