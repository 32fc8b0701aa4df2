// Interval search on breakpoint axes of 16-bit values (non-decreasing, plateaus allowed).
#pragma once
#include <cstdint>

namespace maps {

// Locates `value` on the axis of `n` breakpoints: (0, 0) at or below the first point,
// (k, k) at or above the last one (k the first index of the closing plateau),
// (k, k) on a breakpoint (k the first index carrying that value), and otherwise
// the neighbours with axis[lo] < value < axis[hi]. `isSigned` picks the comparison.
void CercaIntervallo(uint16_t* lo, uint16_t* hi, uint16_t value, const uint16_t* axis, uint16_t n,
                     uint8_t isSigned);
void CercaIntervalloS16(uint16_t* lo, uint16_t* hi, int16_t value, const int16_t* axis, uint16_t n);
void CercaIntervalloU16(uint16_t* lo, uint16_t* hi, uint16_t value, const uint16_t* axis, uint16_t n);

// First index of the run of equal values that ends at index i.
uint16_t ScanForFirstEqual(uint16_t i, const int16_t* axis);
uint16_t ScanForFirstEqual(uint16_t i, const uint16_t* axis);

}  // namespace maps
