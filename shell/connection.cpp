#include "shell/connection.h"

#include <cstring>

#include "ecudata/info.h"
#include "link/bytes.h"
#include "link/com.h"
#include "link/cp1252.h"
#include "link/commands.h"
#include "link/frame.h"
#include "link/userio.h"
#include "tuning/map2.h"

namespace shell {

uint8_t fEcuProtected = 0;
uint8_t fOldHwConfig = 0;
std::string ecuFirmwareText;
uint8_t aProtectKeys[kProtectKeysSize] = {};

uint8_t fBusy = 0;
uint8_t fRefresh = 0;
uint8_t fSending = 0;
uint8_t fReceiving = 0;
uint8_t pollFailures = 0;

namespace {

constexpr uint8_t kIdentitySize = 16;

// Text of a reply: up to the first NUL or the end of the reply.
std::string ReplyText(const uint8_t* reply, uint8_t length) {
  const void* nul = std::memchr(reply, 0, length);
  size_t n = nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - reply) : length;
  return std::string(reinterpret_cast<const char*>(reply), n);
}

// Old hardware unless one of the version bytes, taken in order, says otherwise.
uint8_t IsOldHardware(const uint8_t* h) {
  if (h[0] > 1) return 0;
  if (h[1] > 0) return 0;
  if (h[2] > 0) return 0;
  if (h[3] > 1) return 0;
  return 1;
}

}  // namespace

uint8_t GetFirmwareName(std::string& text) {
  uint8_t reply[255];
  uint8_t length = 0;
  text.clear();
  if (!com::TxCommand(com::GetFirmwareName, nullptr, 0)) return 0;
  if (com::RxResponse(com::GetFirmwareName, reply, sizeof reply, &length) != 0) return 0;
  text = ReplyText(reply, length);
  return 1;
}

uint8_t Ping() {
  if (!com::isComOpen) {
    fEcuProtected = 0;
    fOldHwConfig = 0;
    return 1;
  }
  uint8_t record[kIdentitySize] = {};
  uint8_t length = 0;
  if (!com::TxCommand(com::Identify, aProtectKeys, kProtectKeysSize)) return 0;
  if (com::RxResponse(com::Identify, record, kIdentitySize, &length) != 0) return 0;
  if (length != kIdentitySize) return 0;
  if (com::Get16BE(record + 6) != ecu::appRelease) return 0;
  if (ReplyText(record + 1, 5) != ecu::appFwName) return 0;

  fEcuProtected = (record[0] >> 7) & 1;
  tuning::SetTuneStatusInfo(fEcuProtected, (record[0] >> 6) & 1, (record[0] >> 5) & 1);
  fOldHwConfig = IsOldHardware(record + 8);
  return 1;
}

uint8_t GetEcuDataName(std::string& text, int selector) {
  text.clear();
  if (selector != 0 && selector != 1 && selector != 2 && selector != 8) return 0;
  const uint8_t sel = static_cast<uint8_t>(selector);
  uint8_t reply[255];
  uint8_t length = 0;
  int32_t rc = -1;
  // The first answer may still describe the previous request; only the second counts.
  for (int round = 0; round < 2; ++round) {
    length = 0;
    rc = -1;
    if (!com::TxCommand(com::GetDataName, &sel, 1)) continue;
    rc = com::RxResponse(com::GetDataName, reply, sizeof reply, &length);
  }
  if (rc != 0) return 0;
  text = com::FromCp1252(ReplyText(reply, length));  // the ECU holds Windows-1252 names
  if (selector == 8) text = "*" + text;
  return 1;
}

ConnectResult ConnectEcu(const ConnectHooks& hooks) {
  if (hooks.gatherAllPanels) hooks.gatherAllPanels();
  com::OpenComPort();

  std::string firmware;
  if (!GetFirmwareName(firmware)) {
    if (hooks.showVersion) hooks.showVersion(szNoConnection);
    com::CloseComPort();
    return ConnectResult::NoFirmwareName;
  }
  ecuFirmwareText = firmware;
  if (hooks.showVersion) hooks.showVersion(firmware);

  if (!Ping()) {
    com::CloseComPort();
    com::Ui().MessagePopup("Failure ECU connect", "The ECU firmware version (" + ecuFirmwareText +
                                                      ")\nis incompatible with this monitor.");
    return ConnectResult::Incompatible;
  }

  if (tuning::IsMapTuning()) {
    std::string name;
    if (!GetEcuDataName(name, 8)) {
      com::CloseComPort();
      return ConnectResult::NoDataName;
    }
    com::Ui().ShowConfigName(name, 2);
  }
  return ConnectResult::Connected;
}

uint8_t DisconnectEcu(const ConnectHooks& hooks) {
  if (hooks.gatherAllPanels) hooks.gatherAllPanels();
  if (tuning::AbortManualTuning()) com::CloseComPort();
  return com::isComOpen ? 0 : 1;
}

uint8_t CountTickResult(uint8_t dutyResult) {
  if (dutyResult) {
    pollFailures = 0;
    return 0;
  }
  if (pollFailures < 3) {
    ++pollFailures;
    return 0;
  }
  const bool wasOpen = com::isComOpen != 0;
  com::CloseComPort();
  return wasOpen ? 1 : 0;
}

Indicators CurrentIndicators() {
  Indicators ind;
  const bool open = com::isComOpen != 0;
  const bool tuningRuns = tuning::IsMapTuning() != 0;
  ind.comOn = open;
  ind.comOnColor = open ? (fEcuProtected ? 0xFF0000u : 0x00FF00u) : 0u;
  ind.portDimmed = open;
  ind.loadStoreDimmed = tuningRuns;
  ind.sendDimmed = !open || fSending || tuningRuns;
  ind.receiveDimmed = !open || fReceiving || tuningRuns;
  return ind;
}

}  // namespace shell
