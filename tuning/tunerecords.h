// The records of the tuning exchange (command 10) and their wire order.
//
// Every record is held in host order and converted on a copy: big-endian on the
// wire, little-endian in memory and in the settings files. No record carries a
// type: its length tells the ECU which one it is (1 Request, 4 Adjust, 6 Freeze,
// 10 Manual, 200 the auto-tuning settings). The ECU answers with its 156-byte Info
// record, or with its settings (200 bytes) to Request 2.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "ecudata/fields.h"

namespace tuning {

inline constexpr size_t kRequestSize = 1;
inline constexpr size_t kAdjustSize = 4;
inline constexpr size_t kFreezeSize = 6;
inline constexpr size_t kManualSize = 10;
inline constexpr size_t kSettingsSize = 200;
inline constexpr size_t kInfoSize = 156;
inline constexpr int kCellEntries = 32;
inline constexpr int kTuneRows = 20;
inline constexpr int kTuneCols = 32;

// Request sub-codes.
enum Request : uint8_t { kRequestInfo = 1, kRequestSettings = 2, kRequestStop = 3 };

// The ECU's tuning state (bits 0-1 of flags B).
enum TuneState : uint8_t { kStateLocked = 0, kStateOff = 1, kStateManual = 2, kStateAuto = 3 };

// Map types of the cell list and of the tuning table.
enum TuneMap : uint8_t { kMapInj1 = 2, kMapInj2 = 3, kMapAdv = 4, kMapNone = 7 };

// Adjust and Freeze targets.
enum TuneTarget : uint8_t {
  kTargetPause = 0,
  kTargetInjBoth = 1,
  kTargetInj1 = 2,
  kTargetInj2 = 3,
  kTargetAdvance = 4,
};

// ---- MTSETTINGS: the auto-tuning settings, 200 bytes in host order ----
//
// Held as its bytes: the settings files are these 200 bytes as they stand in
// memory, padding included.
using MtSettings = std::array<uint8_t, kSettingsSize>;

inline constexpr uint32_t kMaskAOffset = 0;   // 20 x uint32, one word per map row, bit c = column c
inline constexpr uint32_t kMaskBOffset = 80;  // the same
inline constexpr uint32_t kRpmMarginOffset = 160;
inline constexpr uint32_t kMinTempOffset = 162;
inline constexpr uint32_t kMaxTempOffset = 164;
inline constexpr uint32_t kLambdaTargetOffset = 166;  // 3 x int16
inline constexpr uint32_t kLambdaTolOffset = 172;
inline constexpr uint32_t kMinTjOffset = 174;
inline constexpr uint32_t kMaxTjOffset = 176;
inline constexpr uint32_t kKpOffset = 180;
inline constexpr uint32_t kKiOffset = 184;
inline constexpr uint32_t kStepOffset = 188;
inline constexpr uint32_t kSingleMulOffset = 190;
inline constexpr uint32_t kRpmTolOffset = 192;
inline constexpr uint32_t kFarfTolOffset = 194;
inline constexpr uint32_t kCellHoldOffset = 196;
inline constexpr uint32_t kTrackModeOffset = 198;

// The settings shown by the panel's controls, in the order they are gathered:
// offset, type, scale, range and decimals of each control, and its default. Kp, Ki,
// the step and the masks have no control of their own (the slider and the table).
std::span<const ecu::Field> SettingsFields();
// Texts of the tracking-mode ring, values 0 to 3 (as the ECU's documentation spells them).
inline constexpr const char* kTrackingModes[4] = {
    "Ciylinder 1 Lambda 1 - Ciylinder 2 Lambda 2",
    "Ciylinder 1 Lambda 1 - Ciylinder 2 Lambda 1",
    "Ciylinder 1 Lambda 1 - Ciylinder 2 Not Active",
    "Ciylinder 1 Not Active - Ciylinder 2 Lambda 2",
};
// A tracking mode read from the ring outside 0..3.
inline constexpr uint8_t kTrackModeInvalid = 7;

// Typed access to the settings.
int64_t SettingsValue(const MtSettings& s, uint32_t offset);
void SetSettingsValue(MtSettings& s, uint32_t offset, int64_t raw);
uint32_t MaskWord(const MtSettings& s, int mask /* 0 A, 1 B */, int row);
void SetMaskWord(MtSettings& s, int mask, int row, uint32_t word);

// The defaults of every field (masks clear; Kp, Ki and step as given).
void DefaultSettings(MtSettings& s, int32_t kp, int32_t ki, uint16_t step);

// Host <-> wire order of the settings (both directions are the same swap).
void SettingsToWire(const MtSettings& s, uint8_t* wire /* kSettingsSize */);
void SettingsFromWire(const uint8_t* wire, MtSettings& s);

// ---- Info: the ECU's tuning status ----

struct CellUpdate {
  uint8_t type = kMapNone;  // 2, 3, 4, or 7 for an empty or consumed entry
  uint8_t col = 0;          // 0..31 (5 bits on the wire)
  uint8_t row = 0;          // 0..19 (5 bits on the wire)
  uint16_t value = 0;       // in the map's own units
};

struct Info {
  int16_t rpm = 0;
  int16_t farf = 0;                     // 0.1 %
  int16_t lambda1 = 0;                  // 0.1 unit
  int16_t lambda2 = 0;                  // 0.1 unit
  int16_t setpoint = 0;                 // 0.1 unit; negative: no target in use
  int16_t temp = 0;                     // 0.1 degree
  uint16_t j1Org = 0, j2Org = 0;        // microseconds
  uint16_t j1Cor = 1000, j2Cor = 1000;  // 1/1000
  int16_t aOrg = 0;                     // 0.1 degree
  int16_t aCor = 0;                     // 0.1 degree
  uint8_t flagsA = 0, flagsB = kStateOff, flagsC = 0, spare = 0;
  std::array<CellUpdate, kCellEntries> cells{};

  TuneState State() const { return static_cast<TuneState>(flagsB & 3); }
  void SetState(TuneState state) { flagsB = static_cast<uint8_t>((flagsB & ~3) | state); }
  bool Tuning() const { return State() == kStateManual || State() == kStateAuto; }
  bool Lambda1Match() const { return flagsA & 0x80; }
  bool Lambda2Match() const { return flagsA & 0x40; }
  bool MatchEnabled() const { return flagsB & 0x80; }
  bool PauseActive() const { return flagsB & 0x20; }
};

// Flags A.
inline constexpr uint8_t kFlagCranking = 0x01, kFlagRpmOut = 0x02, kFlagTempOut = 0x04, kFlagTransient = 0x08,
                         kFlagLambda2Warn = 0x10, kFlagLambda1Warn = 0x20, kFlagLambda2Match = 0x40,
                         kFlagLambda1Match = 0x80;
// Flags B (besides the state).
inline constexpr uint8_t kFlagPause = 0x20, kFlagCutOff = 0x40, kFlagMatchEnabled = 0x80;
// Flags C.
inline constexpr uint8_t kFlagOverTj2 = 0x40, kFlagOverTj1 = 0x80;

// The reset state: state Off (bit 2 of flags B kept, the other bits clear), flags A and
// C clear, every value 0 but both correction factors 1000, every cell entry empty.
void ResetInfo(Info& info);

void InfoFromWire(const uint8_t* wire /* kInfoSize */, Info& info);
void InfoToWire(const Info& info, uint8_t* wire /* kInfoSize */);

// Packed cell identifier: type in bits 15-10, column in 9-5, row in 4-0.
uint16_t PackCellId(uint8_t type, uint8_t col, uint8_t row);
CellUpdate UnpackCell(uint16_t id, uint16_t value);

// ---- The small records ----

struct Adjust {
  uint16_t value = 1000;  // factor in 1/1000, or the advance offset as a signed 16-bit value
  uint8_t target = kTargetPause;
  uint8_t pause = 0;
};
void AdjustToWire(const Adjust& a, uint8_t* wire /* kAdjustSize */);

struct Freeze {
  uint16_t value = 0;
  uint8_t target = kTargetInj1;
};
void FreezeToWire(const Freeze& f, uint8_t* wire /* kFreezeSize */);

// The Manual record from the settings, with the tracking mode as read from the ring.
void ManualToWire(const MtSettings& s, uint8_t trackMode, uint8_t* wire /* kManualSize */);

// Rounding of a control's value: halves away from zero.
int64_t RoundHalfAway(double v);

}  // namespace tuning
