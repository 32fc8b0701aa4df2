#include "tuning/tuneview.h"

#include <algorithm>

#include "maps/computaz.h"

namespace tuning {

bool TuneMapPlace(int map, maps::MapPlace* place) {
  switch (map) {
    case kMapInj1:
      return maps::GetMapPlace(1, 0, place);
    case kMapInj2:
      return maps::GetMapPlace(1, 1, place);
    case kMapAdv:
      return maps::GetMapPlace(2, 0, place);
    default:
      return false;
  }
}

int EnableCode(const MtSettings& s, int row, int col) {
  if (row < 0 || row >= kTuneRows || col < 0 || col >= kTuneCols) return 0;
  const uint32_t bit = 1u << col;
  return ((MaskWord(s, 0, row) & bit) ? 2 : 0) | ((MaskWord(s, 1, row) & bit) ? 1 : 0);
}

void SetEnableCode(MtSettings& s, int row, int col, int code) {
  if (row < 0 || row >= kTuneRows || col < 0 || col >= kTuneCols) return;
  const uint32_t bit = 1u << col;
  for (int mask = 0; mask < 2; ++mask) {
    const bool on = code & (mask == 0 ? 2 : 1);
    const uint32_t word = MaskWord(s, mask, row);
    SetMaskWord(s, mask, row, on ? (word | bit) : (word & ~bit));
  }
}

int GroupCode(const MtSettings& s, const CellGroup& g) {
  const int first = EnableCode(s, g.r0, g.c0);
  for (int r = g.r0; r <= g.r1; ++r)
    for (int c = g.c0; c <= g.c1; ++c)
      if (EnableCode(s, r, c) != first) return -1;
  return first;
}

void SetGroupCode(MtSettings& s, const CellGroup& g, int code) {
  for (int r = g.r0; r <= g.r1; ++r)
    for (int c = g.c0; c <= g.c1; ++c) SetEnableCode(s, r, c, code);
}

int EnableCycle::Next(int c, int r, int current) {
  if (c > kTuneCols || r > kTuneRows || c < 0 || r < 0) {
    code_ = 1;
    count_ = 0;
    lastC_ = c, lastR_ = r;
    return 0;
  }
  int result = 0;
  if (c == lastC_ && r == lastR_) {
    if (current == 0) {
      result = code_;
      count_ = 1;
    } else if (current >= 1 && current <= 3) {
      code_ = code_ % 3 + 1;
      if (count_ < 3) {
        ++count_;
        result = code_;
      } else {
        count_ = 0;
        result = 0;
      }
    } else {
      count_ = 0;
      result = 0;
    }
  } else if (current == 0) {
    result = code_;
    count_ = 1;
  } else {
    result = 0;
    count_ = 0;
  }
  lastC_ = c, lastR_ = r;
  return result;
}

uint32_t CellBackground(int code, bool autoMode, bool advanceMap, bool marked, uint32_t normal) {
  const bool coloured = autoMode && !advanceMap && code >= 1 && code <= 3;
  if (marked) return coloured ? kColourMarkedEnabled : kColourMarked;
  if (!coloured) return normal;
  return code == 1 ? kColourCode1 : code == 2 ? kColourCode2 : kColourCode3;
}

bool MarkAxis(const int16_t* axis, int n, int value, bool single, int tolerance, AxisMark* mark) {
  uint16_t lo = 0, hi = 0;
  maps::CercaIntervalloS16(&lo, &hi, static_cast<int16_t>(std::clamp(value, -32768, 32767)), axis,
                           static_cast<uint16_t>(n));
  mark->lo = lo, mark->hi = hi;
  if (!single) return true;
  if (lo == hi) {
    if (value == axis[lo]) return true;
    if (lo == 0 && value < axis[0]) return axis[0] - value <= tolerance;
    // At or beyond the end of the axis.
    return value - axis[lo] <= tolerance;
  }
  if (value - axis[lo] <= tolerance) {
    mark->hi = lo;
    return true;
  }
  if (axis[hi] - value <= tolerance) {
    mark->lo = hi;
    return true;
  }
  return false;
}

MarkerStep WorkingPointMarker::Mark(const int16_t* rpmAxis, const int16_t* farfAxis, int rpm, int farf,
                                    const MtSettings& s, bool autoScroll) {
  MarkerStep step;
  const bool single = s[kSingleMulOffset] == 1;
  const int rpmTol = static_cast<int>(SettingsValue(s, kRpmTolOffset));
  const int farfTol = static_cast<int>(SettingsValue(s, kFarfTolOffset));
  AxisMark r, f;
  const bool shown = MarkAxis(rpmAxis, kTuneCols, rpm, single, rpmTol, &r) &&
                     MarkAxis(farfAxis, kTuneRows, farf, single, farfTol, &f);
  step.shown = shown;
  step.rpm = r, step.farf = f;
  if (shown_ && (!shown || !(r == rpm_) || !(f == farf_))) step.clearPrevious = true;
  if (shown && autoScroll) {
    if (r.hi > rpm_.hi) step.scrollToColumn = std::min(r.hi + 4, kTuneCols);
    if (r.lo < rpm_.lo) step.scrollToColumn = r.lo < 4 ? 1 : r.lo - 2;
  }
  shown_ = shown;
  rpm_ = r, farf_ = f;
  return step;
}

}  // namespace tuning
