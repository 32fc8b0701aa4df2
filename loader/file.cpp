#include "loader/file.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "link/bytes.h"
#include "loader/program.h"

namespace loader {

namespace {
constexpr char kTagFirst5600[] = "TrvcoBsz";
constexpr char kTagFirst5534[] = "TrvBsz55";
constexpr char kTagSecond5600[] = "TrvcoCrv";
constexpr char kTagSecond5534[] = "TrvCrv55";

std::string copyDirectory;

// A new, empty transmission copy opened for writing; "" and null on failure.
FILE* CreateCopy(std::string& path) {
  path = CopyDirectory() + "/kalvex-XXXXXX";
  int fd = ::mkstemp(path.data());
  if (fd < 0) {
    path.clear();
    return nullptr;
  }
  FILE* f = ::fdopen(fd, "wb");
  if (!f) {
    ::close(fd);
    std::remove(path.c_str());
    path.clear();
  }
  return f;
}

// Closes the copy; on failure (or when `ok` is already false) deletes it.
std::string FinishCopy(FILE* out, std::string& path, bool ok) {
  ok = std::fclose(out) == 0 && ok;
  if (!ok) {
    std::remove(path.c_str());
    return std::string();
  }
  return path;
}

// Copies everything that is left in `in` to `out`, in pieces of up to 556 bytes.
bool CopyRest(FILE* in, FILE* out) {
  uint8_t buf[kPreambleSize];
  for (;;) {
    size_t got = std::fread(buf, 1, sizeof buf, in);
    if (got > 0 && std::fwrite(buf, 1, got, out) != got) return false;
    if (got < sizeof buf) return !std::ferror(in);
  }
}
}  // namespace

FirmwareKind ClassifyFirmwareTag(const uint8_t* tag) {
  if (std::memcmp(tag, kTagFirst5600, kTagSize) == 0) return FirmwareKind::FirstGen5600;
  if (std::memcmp(tag, kTagFirst5534, kTagSize) == 0) return FirmwareKind::FirstGen5534;
  if (std::memcmp(tag, kTagSecond5600, kTagSize) == 0) return FirmwareKind::SecondGen5600;
  if (std::memcmp(tag, kTagSecond5534, kTagSize) == 0) return FirmwareKind::SecondGen5534;
  return FirmwareKind::InvalidFile;
}

uint32_t GetHeaderChecksum(const uint8_t* bytes, size_t length) {
  uint32_t sum = 0;
  for (size_t i = 0; i < length; ++i) sum += static_cast<uint32_t>(bytes[i]) << (3 - i % 4);
  return ~sum;
}

FirmwareKind CheckFirmwareFile(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return FirmwareKind::CheckFailed;
  uint8_t tag[kTagSize];
  if (std::fread(tag, 1, kTagSize, f) != kTagSize) {
    std::fclose(f);
    return FirmwareKind::CheckFailed;
  }
  const FirmwareKind kind = ClassifyFirmwareTag(tag);
  if (!IsSecondGeneration(kind)) {  // first generation or unknown tag
    std::fclose(f);
    return kind;
  }
  uint8_t stored[kHeaderChecksumSize];
  uint8_t body[kHeaderBodySize];
  const bool complete = std::fread(stored, 1, sizeof stored, f) == sizeof stored &&
                        std::fread(body, 1, sizeof body, f) == sizeof body;
  std::fclose(f);
  if (!complete) return FirmwareKind::CheckFailed;
  if (GetHeaderChecksum(body, sizeof body) != com::Get32LE(stored)) return FirmwareKind::InvalidFile;
  return kind;
}

FirmwareKind CheckPreambolo(const std::string& path) {
  if (!Ping() || !CheckBloadInfo()) return FirmwareKind::CheckFailed;
  return CheckFirmwareFile(path);
}

std::string AdjustPreambolo(const std::string& path, uint16_t forSysType) {
  FILE* in = std::fopen(path.c_str(), "rb");
  if (!in) return std::string();
  std::string copyPath;
  FILE* out = CreateCopy(copyPath);
  if (!out) {
    std::fclose(in);
    return std::string();
  }
  uint8_t preamble[kPreambleSize];
  bool ok = std::fread(preamble, 1, sizeof preamble, in) == sizeof preamble;
  // The file is read a second time here: make sure it still is the second-generation
  // file that was checked, so that no changed file slips through.
  ok = ok && IsSecondGeneration(ClassifyFirmwareTag(preamble)) &&
       GetHeaderChecksum(preamble + kTagSize + kHeaderChecksumSize, kHeaderBodySize) ==
           com::Get32LE(preamble + kTagSize);
  if (ok) {
    if (forSysType == kSys5600) {
      if (fOldBload) std::memcpy(preamble, kTagFirst5600, kTagSize);
    } else if (forSysType == kSys5534) {
      if (fOldBload) std::memcpy(preamble, kTagFirst5534, kTagSize);
    } else {
      ok = false;
    }
  }
  ok = ok && std::fwrite(preamble, 1, kTagSize, out) == kTagSize;
  ok = ok && CopyRest(in, out);
  std::fclose(in);
  return FinishCopy(out, copyPath, ok);
}

std::string CopyFirmwareFile(const std::string& path) {
  FILE* in = std::fopen(path.c_str(), "rb");
  if (!in) return std::string();
  std::string copyPath;
  FILE* out = CreateCopy(copyPath);
  if (!out) {
    std::fclose(in);
    return std::string();
  }
  const bool ok = CopyRest(in, out);
  std::fclose(in);
  return FinishCopy(out, copyPath, ok);
}

int PrepareTransmissionCopy(FirmwareKind kind, const std::string& path, std::string& copyPath) {
  copyPath.clear();
  switch (kind) {
    case FirmwareKind::CheckFailed:
      return kResultProgrammingError;
    case FirmwareKind::InvalidFile:
      return kResultInvalidFile;
    case FirmwareKind::FirstGen5600:
    case FirmwareKind::FirstGen5534:
      // A first-generation image only suits a boot loader of the first generation.
      if (!fOldBload) return kResultInvalidFile;
      copyPath = CopyFirmwareFile(path);
      break;
    case FirmwareKind::SecondGen5600:
    case FirmwareKind::SecondGen5534:
      copyPath = AdjustPreambolo(path, sysType);
      break;
  }
  return copyPath.empty() ? kResultProgrammingError : -1;
}

void SetCopyDirectory(const std::string& directory) {
  copyDirectory = directory;
}

std::string CopyDirectory() {
  if (!copyDirectory.empty()) return copyDirectory;
  const char* tmp = std::getenv("TMPDIR");
  if (tmp && *tmp) return tmp;
  return "/tmp";
}

void TransmissionCopy::Remove() {
  if (!path_.empty()) std::remove(path_.c_str());
  path_.clear();
}

TransmissionCopy::~TransmissionCopy() {
  Remove();
}

}  // namespace loader
