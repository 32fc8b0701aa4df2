// Parameter page 1: rev limits and shift light, cut-off, gear-shift assistance,
// wheel data, cooling fans, idle control, pre-injection, CO correction and the
// traction-control selection. Fields of the working map block.
#pragma once
#include <cstdint>
#include <span>

#include "ecudata/fields.h"

namespace params {

// Groups of page 1 and the capability flags that show them.
enum Pr1Group : uint8_t {
  kPr1Always = 0,
  kPr1SpeedIn,  // fSpeedIn: wheel circumference and pulses
  kPr1Fan1,     // fFan1
  kPr1Fan2,     // fFan2
  kPr1Idling,   // fIdling
  kPr1Coc,      // fNbego1 or fNbego2: CO correction
  kPr1Dtc,      // fDtc: traction-control selection
};

// Offsets in the map block.
inline constexpr uint32_t kLimArpm = 11850, kLimJrpm = 11852, kShiftLight1 = 11854, kShiftLight2 = 11856;
inline constexpr uint32_t kFan1 = 11836, kFan2 = 11838;
inline constexpr uint32_t kPreInjTemp = 11192, kPreInjValue = 11160;
inline constexpr uint32_t kIdleTemp1 = 11862, kIdleTemp2 = 11864, kIdleRpm1 = 11858, kIdleRpm2 = 11860;
inline constexpr uint32_t kCocOn = 11834;
inline constexpr uint32_t kTypeDtc = 11888, kEnableDtc = 11889, kLevelDtc = 11890;
inline constexpr int kPreInjPoints = 16;

// Every field of the page, in the order of the page (hidden fields last).
std::span<const ecu::Field> Pr1Fields();
// Whether a group is shown with the present capability flags.
bool Pr1GroupShown(uint8_t group);

// Writes the page's defaults into the working map block.
void InitPr1Data();
// The page's checks, in their order, on the working map block; 1 when a field was
// changed (the page is then shown again).
// With `before` (the block before the page was gathered) a repair runs only where one
// of the fields it looks at was edited (for an axis: the axis); values that came so
// with the block stay as they came.
uint8_t CheckPr1Values(const uint8_t* before = nullptr);

// CBcocReset: the two steps of command 18. Messages titled "CO-correction".
uint8_t ResetCoc();

// Labels of the traction-control types of RINGtypeDTC (value = index).
inline constexpr int kDtcTypeCount = 4;
const char* DtcTypeLabel(int type);
// Entries of RINGlevelDTC (value = index).
inline constexpr int kDtcRingLevels = 9;

}  // namespace params
