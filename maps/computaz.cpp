// Interval search on breakpoint axes.
#include "maps/computaz.h"

#include <cstring>

namespace maps {

namespace {

template <typename T>
uint16_t FirstEqual(uint16_t i, const T* axis) {
  while (i > 0 && axis[i - 1] == axis[i]) --i;
  return i;
}

// Fixed-step search for the axis lengths 16 (start 7, step 4) and 32 (start 15, step 8).
template <typename T>
void StepSearch(uint16_t* lo, uint16_t* hi, T value, const T* axis, uint16_t start, uint16_t step) {
  uint16_t i = start;
  for (; step != 0; step /= 2) {
    if (value == axis[i]) {
      *lo = *hi = FirstEqual(i, axis);
      return;
    }
    if (value < axis[i])
      i = static_cast<uint16_t>(i - step);
    else
      i = static_cast<uint16_t>(i + step);
  }
  if (value < axis[i]) {
    // i > 0 on an ordered axis, since value > axis[0]; an axis out of order still
    // gets indices inside it.
    *lo = i > 0 ? static_cast<uint16_t>(i - 1) : 0;
    *hi = i;
  } else if (value > axis[i]) {
    *lo = i;
    *hi = static_cast<uint16_t>(i + 1);
  } else {
    *lo = *hi = FirstEqual(i, axis);
  }
}

template <typename T>
void Search(uint16_t* lo, uint16_t* hi, T value, const T* axis, uint16_t n) {
  if (axis == nullptr || n == 0 || value <= axis[0]) {
    *lo = *hi = 0;
    return;
  }
  if (value >= axis[n - 1]) {
    *lo = *hi = FirstEqual(static_cast<uint16_t>(n - 1), axis);
    return;
  }
  // Here axis[0] < value < axis[n-1], so n >= 2 and every index below stays inside.
  if (n == 16) return StepSearch(lo, hi, value, axis, 7, 4);
  if (n == 32) return StepSearch(lo, hi, value, axis, 15, 8);
  uint16_t l = 0, h = static_cast<uint16_t>(n - 1);
  uint32_t length = n;
  while (length >= 2) {
    const uint16_t mid = static_cast<uint16_t>(l + length / 2);
    if (value == axis[mid]) {
      *lo = *hi = FirstEqual(mid, axis);
      return;
    }
    if (value > axis[mid])
      l = mid;
    else
      h = mid;
    length = static_cast<uint32_t>(h - l);
  }
  *lo = l;
  *hi = h;
}

}  // namespace

void CercaIntervalloS16(uint16_t* lo, uint16_t* hi, int16_t value, const int16_t* axis, uint16_t n) {
  Search(lo, hi, value, axis, n);
}

void CercaIntervalloU16(uint16_t* lo, uint16_t* hi, uint16_t value, const uint16_t* axis, uint16_t n) {
  Search(lo, hi, value, axis, n);
}

void CercaIntervallo(uint16_t* lo, uint16_t* hi, uint16_t value, const uint16_t* axis, uint16_t n,
                     uint8_t isSigned) {
  if (isSigned == 0) return CercaIntervalloU16(lo, hi, value, axis, n);
  // The same 16-bit patterns read as signed numbers (int16_t may alias uint16_t).
  CercaIntervalloS16(lo, hi, static_cast<int16_t>(value), reinterpret_cast<const int16_t*>(axis), n);
}

uint16_t ScanForFirstEqual(uint16_t i, const int16_t* axis) {
  return FirstEqual(i, axis);
}
uint16_t ScanForFirstEqual(uint16_t i, const uint16_t* axis) {
  return FirstEqual(i, axis);
}

}  // namespace maps
