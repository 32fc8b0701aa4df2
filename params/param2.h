// Parameter page 2: the transient compensations of advance (Atrans, degrees) and of
// injection (Jtrans, milliseconds). Fields of the working map block.
#pragma once
#include <cstdint>
#include <span>

#include "ecudata/fields.h"

namespace params {

inline constexpr int kCurveSteps = 8;
inline constexpr int kSpeedPoints = 32;
inline constexpr int kTempPoints = 16;

std::span<const ecu::Field> Pr2Fields();

void InitPr2Data();
// Thresholds and axis points must not decrease: a lower one takes its predecessor's
// whole column. 1 when a field was changed.
// With `before` (the block before the page was gathered) a repair runs only where one
// of the fields it looks at was edited (for an axis: the axis); values that came so
// with the block stay as they came.
uint8_t CheckPr2Values(const uint8_t* before = nullptr);

}  // namespace params
