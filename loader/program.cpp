#include "loader/program.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "link/bytes.h"
#include "link/com.h"
#include "link/commands.h"
#include "link/frame.h"
#include "link/userio.h"
#include "link/utils.h"
#include "loader/eta.h"
#include "loader/file.h"
#include "loader/info.h"
#include "loader/view.h"

namespace loader {

uint16_t sysType = 0;
bool fOldBload = false;
bool fUpdUfwVersion = false;
bool fPingPlain = true;
bool fBloadFound = false;
bool fUpdBloadInfo = false;
uint8_t linkRetry = 0;
bool fQuit = false;
bool fProgramming = false;
int programResult = -1;
double msgClearTime = 0.0;
uint8_t spinIndex = 0;

void ResetSession() {
  sysType = 0;
  fOldBload = false;
  fUpdUfwVersion = false;
  fPingPlain = true;
  fBloadFound = false;
  fUpdBloadInfo = false;
  linkRetry = 0;
  fQuit = false;
  fProgramming = false;
  programResult = -1;
  msgClearTime = 0.0;
  spinIndex = 0;
}

namespace {
// One request, one reply of up to `maxLength` bytes (single read).
bool Exchange(uint8_t command, const uint8_t* payload, uint8_t length, uint8_t* reply, uint8_t maxLength,
              uint8_t& received) {
  received = 0;
  if (!com::TxCommand(command, payload, length)) return false;
  return com::RxResponse(command, reply, maxLength, &received) == 0;
}

// Reply bytes as text: the text ends at the first NUL, as the boot loader's strings do.
std::string ReplyText(const uint8_t* reply, size_t n) {
  size_t len = 0;
  while (len < n && reply[len] != 0) ++len;
  return std::string(reinterpret_cast<const char*>(reply), len);
}

std::string VersionText(const uint8_t* reply) {
  char buf[32];
  std::snprintf(buf, sizeof buf, " v%hu.%hu", com::Get16BE(reply), com::Get16BE(reply + 2));
  return buf;
}

// Polled acknowledgement: an empty reply to `command` within `window` seconds of `start`.
bool WaitAck(uint8_t command, double start, double window) {
  uint8_t received = 0;
  return com::RxResponsePolled(command, nullptr, 0, &received, start, window) == 0;
}
}  // namespace

bool Ping() {
  static const uint8_t kExtended[] = {0x00, 0x01};
  const bool plain = fPingPlain;
  uint8_t received = 0;
  if (com::TxCommand(com::BootHello, plain ? nullptr : kExtended, plain ? 0 : 2) &&
      com::RxResponse(com::BootHello, nullptr, 0, &received) == 0) {
    fOldBload = plain;
    return true;
  }
  fPingPlain = !fPingPlain;
  return false;
}

bool CheckBloadInfo() {
  const uint8_t sub = 1;
  uint8_t reply[255];
  uint8_t n = 0;
  if (!com::TxCommand(com::BootInfo, &sub, 1)) return false;
  if (com::RxResponse(com::BootInfo, reply, sizeof reply, &n) != 0) return false;
  if (n != 2) {
    sysType = 0;
    return false;
  }
  sysType = com::Get16BE(reply);
  if (sysType == kSys5600 || sysType == kSys5534) return true;
  sysType = 0;
  return false;
}

bool ReadBootLoaderIdentity(std::string& text) {
  uint8_t reply[255];
  uint8_t n = 0;
  uint8_t sub = 3;
  if (!Exchange(com::BootInfo, &sub, 1, reply, sizeof reply, n)) return false;
  std::string identity = ReplyText(reply, n);
  sub = 2;
  if (!Exchange(com::BootInfo, &sub, 1, reply, sizeof reply, n) || n != 4) return false;
  text = identity + VersionText(reply);
  return true;
}

bool ShowBootLoaderIdentity() {
  std::string text;
  if (!ReadBootLoaderIdentity(text)) return false;
  return SetMainTitle(text);
}

bool ReadApplicationVersion(std::string& text) {
  uint8_t reply[255];
  uint8_t n = 0;
  uint8_t sub = 2;
  if (!Exchange(com::BootAppInfo, &sub, 1, reply, sizeof reply, n)) return false;
  if (n == 0) {
    text = "_  _  _";
    return true;
  }
  std::string version = ReplyText(reply, n);
  sub = 1;
  if (!Exchange(com::BootAppInfo, &sub, 1, reply, sizeof reply, n) || n < 4) return false;
  version += VersionText(reply) + ReplyText(reply + 4, n - 4u);
  sub = 3;
  if (!Exchange(com::BootAppInfo, &sub, 1, reply, sizeof reply, n)) return false;
  version += "\n(" + ReplyText(reply, n);
  sub = 4;
  if (!Exchange(com::BootAppInfo, &sub, 1, reply, sizeof reply, n)) return false;
  version += " - " + ReplyText(reply, n) + ")";
  text = version;
  return true;
}

bool ShowApplicationVersion() {
  std::string text;
  if (!ReadApplicationVersion(text)) return false;
  View().SetApplicationText(text);
  return true;
}

bool EraseArea(uint8_t areaCode) {
  bool accepted = false;
  if (sysType == kSys5600) accepted = areaCode <= 7;
  if (sysType == kSys5534) accepted = (areaCode >= 2 && areaCode <= 12) || areaCode == 14 || areaCode == 15;
  if (!accepted) return false;
  if (!com::TxCommand(com::BootErase, &areaCode, 1)) return false;
  return WaitAck(com::BootErase, com::Timer(), com::kPollBootErase);
}

bool TxCommandWaitAck(uint8_t command, const uint8_t* payload, uint8_t length) {
  if (!com::TxCommand(command, payload, length)) return false;
  return WaitAck(command, com::Timer(), com::kPollBootWriteBlock);
}

char NextSpinChar() {
  static const char kSpin[] = "(|)|";
  spinIndex = spinIndex > 0 ? static_cast<uint8_t>(spinIndex - 1) : 3;
  return kSpin[spinIndex];
}

int SendFirmware(const std::string& path) {
  // Nothing is sent to the boot loader beyond the presence check and its system type
  // until the file has been checked and its transmission copy exists.
  std::string copyPath;
  const int refused = PrepareTransmissionCopy(CheckPreambolo(path), path, copyPath);
  if (refused >= 0) return refused;
  TransmissionCopy copy(copyPath);  // deleted when this run ends, whichever way

  struct stat st {};
  if (::stat(copy.Path().c_str(), &st) != 0) return kResultProgrammingError;
  // Block numbers are 16-bit: a copy that needs more blocks cannot be programmed.
  if (static_cast<uint64_t>(st.st_size) > kMaxCopySize) return kResultInvalidFile;

  View().SetGaugeMaximum(static_cast<double>(st.st_size) / 1024.0);
  View().SetGaugeValue(0.0);
  View().SetRunTime(RunTime{});
  com::Ui().ProcessEvents(false);

  FILE* in = std::fopen(copy.Path().c_str(), "rb");
  bool ok = in != nullptr;
  // Unlinked at once: the open stream still reads it, and nothing is left behind even
  // when the program is killed during the run.
  copy.Remove();

  const double runStart = com::Timer();
  if (ok) {
    if (sysType == kSys5600) {
      for (uint8_t area = 1; area <= 7 && ok; ++area) ok = EraseArea(area);
    } else if (sysType == kSys5534) {
      ok = EraseArea(14);
    } else {
      ok = false;
    }
  }

  uint32_t sent = 0;
  uint16_t block = 0;
  uint8_t payload[2 + kBlockSize];
  TimeLeft timeLeft(static_cast<uint64_t>(st.st_size), com::SelectedLineBaud());
  timeLeft.Start(com::Timer());
  while (ok) {
    const size_t got = std::fread(payload + 2, 1, kBlockSize, in);
    if (got == 0) {
      ok = !std::ferror(in);
      break;
    }
    com::Put16BE(payload, block);
    if (!TxCommandWaitAck(com::BootWriteBlock, payload, static_cast<uint8_t>(2 + got))) {
      ok = false;
      break;
    }
    View().SetGaugeLabel(std::string(1, NextSpinChar()));
    View().SetGaugeValue(sent / 1024.0);
    timeLeft.Sent(sent + got, com::Timer());
    View().SetRunTime(RunTime{timeLeft.Fraction(), timeLeft.SecondsLeft(), -1.0});
    com::Ui().ProcessEvents(false);
    sent += static_cast<uint32_t>(got);
    ++block;
  }
  if (ok) {
    com::Put16BE(payload, block);  // end frame: the number of data blocks sent
    ok = TxCommandWaitAck(com::BootWriteBlock, payload, 2);
  }

  if (in) std::fclose(in);
  View().SetGaugeLabel("");
  View().SetGaugeValue(ok ? sent / 1024.0 : 0.0);
  View().SetRunTime(ok ? RunTime{1.0, -1.0, com::Timer() - runStart} : RunTime{});
  com::Ui().ProcessEvents(false);
  return ok ? kResultDone : kResultProgrammingError;
}

}  // namespace loader
