#include "ecudata/ecudata.h"

#include <cstdio>
#include <cstring>

#include "config/bike.h"
#include "ecudata/info.h"
#include "link/bytes.h"
#include "link/userio.h"
#include "link/utils.h"

namespace ecu {

namespace {

const char* LoadTitleTail(int type) {
  return type == kParType ? "configuration data" : "mapping data";
}

bool ValidType(int type) {
  return type == kParType || type == kMapType;
}

}  // namespace

std::string AppVersionText() {
  char text[64];
  std::snprintf(text, sizeof text, "%s v%u.%u%s", appName, static_cast<unsigned>(appRelease >> 8),
                static_cast<unsigned>(appRelease & 0xFF), appExtra);
  return text;
}

const char* DataVersionText(int type) {
  if (type == kParType) return parDataVersion;
  if (type == kMapType) return mapDataVersion;
  return "";
}

void GenerateAppVersion(int type) {
  uint8_t* block = WorkingBlock(type);
  if (!block) return;
  com::SetFieldText(block + kAppStampOffset, kStampSize, AppVersionText());
}

void GenerateDataVersion(int type) {
  uint8_t* block = WorkingBlock(type);
  if (!block) return;
  com::SetFieldText(block + kDataStampOffset, kStampSize, DataVersionText(type));
}

uint8_t CheckAppVersion(int type, const uint8_t* block) {
  if (!ValidType(type) || !block) return 0;
  const std::string stamp = com::FieldText(block + kAppStampOffset, kStampSize);
  if (stamp != AppVersionText()) {
    com::Ui().MessagePopup(std::string("Warning Load ECU ") + LoadTitleTail(type),
                           "Data stored with another application:\n(" + stamp + ").");
  }
  return 1;
}

uint8_t CheckDataVersion(int type, const uint8_t* block) {
  if (!ValidType(type) || !block) return 0;
  const std::string stamp = com::FieldText(block + kDataStampOffset, kStampSize);
  if (stamp != DataVersionText(type)) {
    com::Ui().MessagePopup(std::string("Failure Load ECU ") + LoadTitleTail(type),
                           "Incompatible data format!");
    return 0;
  }
  return 1;
}

void CopyEcuRefData(int type) {
  if (!ValidType(type)) return;
  std::memcpy(ReferenceBlock(type), WorkingBlock(type), BlockSize(type));
}

void InitEcuRefData() {
  CopyEcuRefData(kParType);
  CopyEcuRefData(kMapType);
}

uint8_t IsEcuDataChanged(int type) {
  if (!ValidType(type)) return 0;
  return std::memcmp(ReferenceBlock(type), WorkingBlock(type), BlockSize(type)) != 0 ? 1 : 0;
}

uint8_t DiscardNewEcuData() {
  const bool par = IsEcuDataChanged(kParType);
  const bool map = IsEcuDataChanged(kMapType);
  if (!par && !map) return 1;
  const char* title = par && map ? "Updated ECU configuration and mapping data!"
                      : par      ? "Updated ECU configuration data!"
                                 : "Updated ECU mapping data!";
  return com::Ui().ConfirmPopup(title, "Exit without saving changes?") ? 1 : 0;
}

uint32_t GetBikeWord(int type) {
  const uint8_t* block = WorkingBlock(type);
  return block ? com::Get32LE(block + BikeOffset(type)) : 0;
}

void SetBikeWord(int type, uint32_t word) {
  uint8_t* block = WorkingBlock(type);
  if (block) com::Put32LE(block + BikeOffset(type), word);
}

static uint32_t Family(uint32_t word) {
  return (word >> 16) & 0xFF;
}

uint8_t CheckTypeBike(int mode) {
  const uint32_t par = GetBikeWord(kParType);
  const uint32_t map = GetBikeWord(kMapType);
  if (par == map) return 1;
  if (mode == 0 && (Family(par) == 255 || Family(map) == 255)) return 1;
  return 0;
}

static std::string BikeLines(const char* lead) {
  return std::string(lead) + "\nbike select in configuration: " + config::BikeText(GetBikeWord(kParType)) +
         "\nbike select in mapping: " + config::BikeText(GetBikeWord(kMapType));
}

uint8_t AlignTypeBike(int type) {
  if (CheckTypeBike(1)) return 0;
  const bool sendingPar = type == kParType;
  const std::string parText = config::BikeText(GetBikeWord(kParType));
  const std::string mapText = config::BikeText(GetBikeWord(kMapType));
  const std::string text = BikeLines("Attention:") + (sendingPar ? "\nPlease select configuration bike."
                                                                 : "\nPlease select mapping bike.");
  // A block without a bike would give an empty-looking button; say so instead.
  const auto label = [](int type, const std::string& bikeText) {
    return ((GetBikeWord(type) >> 16) & 0xFF) == 0xFF ? std::string("(not set)") : bikeText;
  };
  const int answer =
      com::Ui().ButtonPopup("Align type bike", text, label(kParType, parText), label(kMapType, mapText), "");
  if (!sendingPar && answer == 1) {
    SetBikeWord(kMapType, GetBikeWord(kParType));
    return 1;
  }
  if (sendingPar && answer == 2) {
    SetBikeWord(kParType, GetBikeWord(kMapType));
    return 1;
  }
  return 0;
}

void WarnTypeBike() {
  if (CheckTypeBike(0)) return;
  com::Ui().MessagePopup("Check type bike", BikeLines("Warning:"));
}

}  // namespace ecu
