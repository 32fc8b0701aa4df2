// The lambda-tracking gains: one slider chooses Kp, Ki and the tracking step between
// the two ends of their ranges, read from the internal tuning file "mtintern.ini".
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace tuning {

struct GainRanges {
  int32_t kp[2] = {65536, 19661};  // 1/10000
  int32_t ki[2] = {524, 33};       // 1/10000
  uint16_t step[2] = {100, 200};   // 1/1000
  uint16_t modeSteps = 6;          // slider positions 0..modeSteps
};
// The ranges the program goes on with when the file cannot be read.
inline constexpr GainRanges kFallbackRanges{};

// The ranges in use (the file's, or the fallback ones).
extern GainRanges gainRanges;

struct Gains {
  int32_t kp = 0;
  int32_t ki = 0;
  uint16_t step = 0;
};

// Kp, Ki and step of slider position m.
Gains GetCurLambdaMode(const GainRanges& r, int m);
// The slider position that best gives these three values (the mean of the three
// positions), within 0..modeSteps. A range whose ends are equal counts as position 0.
int SetCurLambdaMode(const GainRanges& r, int32_t kp, int32_t ki, uint16_t step);

// The text of the file: four data lines (Kp ends "min;max", Ki ends, step ends, the
// number of slider steps), empty lines and lines starting with '#' skipped, lines cut
// at 200 characters. A line 1-3 whose first number is not followed directly by ';' is
// skipped. Lines missing at the end keep the values already in `r`. Returns the number
// of data lines taken.
int ParseMtIntern(std::string_view text, GainRanges& r);
// Reads the file at `path` into `r` (which keeps the fallback values for lines the file
// lacks). 0 when it cannot be opened or read: `r` then holds the fallback ranges.
uint8_t ReadMtInternFile(const std::string& path, GainRanges& r);

}  // namespace tuning
