// The configuration fields of the parameter block besides the bike code: notes, the
// dwell and injector-offset tables over battery voltage, idle-control gains, injector
// data, dashboard title, drop switch, and the fixed engine geometry and constants.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "ecudata/fields.h"

namespace config {

inline constexpr uint32_t kNotesOffset = 64;
inline constexpr uint32_t kNotesSize = 400;  // the last byte is always 0
inline constexpr uint32_t kDashTitleOffset = 1187;
inline constexpr uint32_t kDashTitleSize = 15;
inline constexpr uint32_t kDwellTimes = 464, kDwellVolts = 496;
inline constexpr uint32_t kOffsA = 1040, kOffsB = 1072, kOffsVolts = 1104;
inline constexpr uint32_t kGeometryOffset = 1162;  // engine geometry and crank wheel, 1162..1186
inline constexpr int kVbatPoints = 16;

// Groups of the field table: shown only with the capability flag.
enum CfgGroup : uint8_t { kAlways = 0, kIdlingGroup = 1, kDoubleInjGroup = 2, kHiddenGroup = 3 };

// Every numeric, toggle and constant field of the configuration panel; the three rows
// of TABoffsVbat and the two of TABdwell are table fields.
std::span<const ecu::Field> CfgFields();

// The built-in engine geometry and crank wheel (record 0).
void SetEngineGeometry(uint8_t* block, int record = 0);
void SetCrankWheel(uint8_t* block, int record = 0);

// Defaults: geometry, bike code "not set", constants, empty notes and title, zero
// voltage tables, injector B ratio 1.000.
void InitCfgData(uint8_t* block);
// What every gather writes whatever the controls show: geometry, crank wheel and the
// constants (1160, 1204..1209, 1212..1216).
void WriteCfgConstants(uint8_t* block);
// Voltage points must not decrease: a point below its predecessor becomes a copy of it
// (voltage and time; voltage and both offsets). True when a point was copied.
bool SortVbatTables(uint8_t* block, const uint8_t* before = nullptr);

// Notes and dashboard title: Windows-1252 in the block, UTF-8 here.
std::string GetNotes(const uint8_t* block);
void PutNotes(uint8_t* block, const std::string& utf8);  // at most 399 characters, then a 0
std::string GetDashTitle(const uint8_t* block);
void PutDashTitle(uint8_t* block, const std::string& utf8);  // at most 15, zero-padded

// The bike code of the block and its parts.
uint32_t GetBikeCode(const uint8_t* block);
void PutBikeCode(uint8_t* block, uint32_t code);
inline uint32_t MakeBikeCode(int family, int model, int year) {
  return (static_cast<uint32_t>(family & 0xFF) << 16) | (static_cast<uint32_t>(model & 0xFF) << 8) |
         static_cast<uint32_t>(year & 0xFF);
}

// What the three bike rings list for a bike code.
struct RingItem {
  std::string text;
  int value;
};
struct BikeRings {
  std::vector<RingItem> family, model, year;
};
// Families 0..7 (and "-undefined-" 255 for a code outside them); the family's models
// and the catalogued years of the code's model (of model 0 when the family has no such
// model); for an unknown family one empty item of value 0 in each of the other two.
BikeRings BikeRingItems(uint32_t code);

}  // namespace config
