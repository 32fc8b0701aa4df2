#include "tuning/gains.h"

#include <charconv>
#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>

namespace tuning {

GainRanges gainRanges{};

namespace {

int64_t RoundAway(double v) {
  return static_cast<int64_t>(v > 0 ? std::trunc(v + 0.5) : std::trunc(v - 0.5));
}

int32_t SaturateI32(double v) {
  if (std::isnan(v)) return 0;
  const double r = v > 0 ? std::trunc(v + 0.5) : std::trunc(v - 0.5);
  if (r <= std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  if (r >= std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(r);
}

uint16_t SaturateU16(double v, uint16_t lowest) {
  if (std::isnan(v)) return lowest;
  if (v <= 0) return lowest;
  if (v > 65535) return 65535;
  const int64_t r = RoundAway(v);
  return static_cast<uint16_t>(r > 65535 ? 65535 : (r < lowest ? lowest : r));
}

// A number at the start of `s` (after blanks), as far as it parses; `used` is the
// count of characters taken (0 when nothing parses).
double LeadingNumber(std::string_view s, size_t* used) {
  size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  size_t start = i;
  if (start < s.size() && s[start] == '+') ++start;  // from_chars takes no plus sign
  double v = 0;
  auto [end, ec] = std::from_chars(s.data() + start, s.data() + s.size(), v);
  if (ec != std::errc() || std::isinf(v)) {
    *used = 0;
    return 0;
  }
  *used = static_cast<size_t>(end - s.data());
  return v;
}

// "first;second": the first number must fill everything before the ';'.
bool ParsePair(std::string_view line, double* first, double* second) {
  const size_t semi = line.find(';');
  if (semi == std::string_view::npos) return false;
  size_t used = 0;
  *first = LeadingNumber(line.substr(0, semi), &used);
  if (used == 0 || used != semi) return false;
  *second = LeadingNumber(line.substr(semi + 1), &used);
  return true;
}

double Value(double lo, double hi, int m, int n) {
  return std::trunc(((hi - lo) * m + std::floor(n / 2.0)) / n + lo);
}

int Position(double value, double lo, double hi, int n) {
  if (hi == lo) return 0;
  return static_cast<int>(std::trunc(((value - lo) * n + std::trunc((hi - lo) / 2)) / (hi - lo)));
}

}  // namespace

Gains GetCurLambdaMode(const GainRanges& r, int m) {
  const int n = r.modeSteps > 0 ? r.modeSteps : 1;
  if (m < 0) m = 0;
  if (m > n) m = n;
  Gains g;
  g.kp = SaturateI32(Value(r.kp[0], r.kp[1], m, n));
  g.ki = SaturateI32(Value(r.ki[0], r.ki[1], m, n));
  const double step = Value(r.step[0], r.step[1], m, n);
  g.step = static_cast<uint16_t>(step < 0 ? 0 : (step > 65535 ? 65535 : step));
  return g;
}

int SetCurLambdaMode(const GainRanges& r, int32_t kp, int32_t ki, uint16_t step) {
  const int n = r.modeSteps > 0 ? r.modeSteps : 1;
  const int pKp = Position(kp, r.kp[0], r.kp[1], n);
  const int pKi = Position(ki, r.ki[0], r.ki[1], n);
  const int pStep = Position(step, r.step[0], r.step[1], n);
  int m = (pKp + pKi + pStep) / 3;
  if (m < 0) m = 0;
  if (m > n) m = n;
  return m;
}

int ParseMtIntern(std::string_view text, GainRanges& r) {
  int taken = 0;
  size_t pos = 0;
  while (taken < 4 && pos < text.size()) {
    size_t eol = text.find('\n', pos);
    if (eol == std::string_view::npos) eol = text.size();
    std::string_view line = text.substr(pos, eol - pos);
    pos = eol + 1;
    if (line.size() > 200) line = line.substr(0, 200);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line[0] == '#') continue;
    if (taken < 3) {
      double a = 0, b = 0;
      if (!ParsePair(line, &a, &b)) continue;
      if (taken == 0) {
        r.kp[0] = SaturateI32(a * 10000), r.kp[1] = SaturateI32(b * 10000);
      } else if (taken == 1) {
        r.ki[0] = SaturateI32(a * 10000), r.ki[1] = SaturateI32(b * 10000);
      } else {
        r.step[0] = SaturateU16(a * 1000, 0), r.step[1] = SaturateU16(b * 1000, 0);
      }
    } else {
      size_t used = 0;
      const double n = LeadingNumber(line, &used);
      r.modeSteps = SaturateU16(n, 1);
    }
    ++taken;
  }
  return taken;
}

uint8_t ReadMtInternFile(const std::string& path, GainRanges& r) {
  r = kFallbackRanges;
  std::ifstream in(path, std::ios::binary);
  if (!in) return 0;
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) return 0;
  ParseMtIntern(text.str(), r);
  return 1;
}

}  // namespace tuning
