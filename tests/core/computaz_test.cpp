// Interval search on breakpoint axes.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "maps/computaz.h"

namespace {

struct Interval {
  uint16_t lo, hi;
  bool operator==(const Interval&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Interval& i) {
  return os << "(" << i.lo << ", " << i.hi << ")";
}

// The contract, computed the plain way: first index on a hit, neighbours between points,
// the ends clamped to (0, 0) and the first index of the closing plateau.
template <typename T>
Interval Reference(T value, const std::vector<T>& axis) {
  const size_t n = axis.size();
  if (value <= axis[0]) return {0, 0};
  auto first = [&](size_t i) {
    while (i > 0 && axis[i - 1] == axis[i]) --i;
    return static_cast<uint16_t>(i);
  };
  if (value >= axis[n - 1]) return {first(n - 1), first(n - 1)};
  for (size_t i = 0; i < n; ++i)
    if (axis[i] == value) return {first(i), first(i)};
  size_t hi = 1;
  while (axis[hi] < value) ++hi;
  return {static_cast<uint16_t>(hi - 1), static_cast<uint16_t>(hi)};
}

Interval Signed(int16_t value, const std::vector<int16_t>& axis) {
  Interval r{0xEEEE, 0xEEEE};
  maps::CercaIntervalloS16(&r.lo, &r.hi, value, axis.data(), static_cast<uint16_t>(axis.size()));
  return r;
}

Interval Unsigned(uint16_t value, const std::vector<uint16_t>& axis) {
  Interval r{0xEEEE, 0xEEEE};
  maps::CercaIntervalloU16(&r.lo, &r.hi, value, axis.data(), static_cast<uint16_t>(axis.size()));
  return r;
}

// Non-decreasing axes of `n` points: strictly rising, with plateaus (inside and at both
// ends), all equal, negative values, and the full 16-bit range.
std::vector<std::vector<int16_t>> SignedAxes(size_t n) {
  std::vector<std::vector<int16_t>> axes;
  std::vector<int16_t> a(n);
  for (size_t i = 0; i < n; ++i) a[i] = static_cast<int16_t>(100 * i);
  axes.push_back(a);
  for (size_t i = 0; i < n; ++i) a[i] = static_cast<int16_t>(-500 + 37 * static_cast<int>(i / 3));
  axes.push_back(a);
  for (size_t i = 0; i < n; ++i) a[i] = static_cast<int16_t>(i < n / 3 ? 0 : i > 2 * n / 3 ? 1000 : 10 * i);
  axes.push_back(a);
  for (size_t i = 0; i < n; ++i) a[i] = 7;
  axes.push_back(a);
  for (size_t i = 0; i < n; ++i)
    a[i] = static_cast<int16_t>(-32768 + static_cast<int>((65535.0 * i) / (n > 1 ? n - 1 : 1)));
  axes.push_back(a);
  for (size_t i = 0; i < n; ++i) a[i] = static_cast<int16_t>((i * i) / 2);  // repeats at the start
  axes.push_back(a);
  return axes;
}

TEST(CercaIntervallo, MatchesPlainSearchForEveryValue) {
  for (size_t n : {1, 2, 3, 5, 16, 17, 20, 31, 32, 33, 64}) {
    for (const auto& axis : SignedAxes(n)) {
      for (int v = -32768; v <= 32767; ++v) {
        const auto value = static_cast<int16_t>(v);
        const Interval got = Signed(value, axis), want = Reference(value, axis);
        if (got != want) {
          ADD_FAILURE() << "n " << n << " value " << v << " got " << got << " want " << want;
          break;
        }
      }
    }
  }
}

TEST(CercaIntervallo, UnsignedMatchesPlainSearchForEveryValue) {
  for (size_t n : {16, 20, 32}) {
    std::vector<uint16_t> axis(n);
    for (size_t i = 0; i < n; ++i) axis[i] = static_cast<uint16_t>(0x7FF0 + 2 * (i / 2));  // spans 0x8000
    for (int v = 0; v <= 0xFFFF; ++v) {
      const auto value = static_cast<uint16_t>(v);
      ASSERT_EQ(Unsigned(value, axis), Reference(value, axis)) << "n " << n << " value " << v;
    }
  }
}

TEST(CercaIntervallo, EndsAndPlateaus) {
  const std::vector<int16_t> axis = {100, 200, 300, 300, 400, 500, 600, 700, 800, 900, 1000, 1000};
  EXPECT_EQ(Signed(50, axis), (Interval{0, 0}));
  EXPECT_EQ(Signed(100, axis), (Interval{0, 0}));
  EXPECT_EQ(Signed(1000, axis), (Interval{10, 10}));
  EXPECT_EQ(Signed(5000, axis), (Interval{10, 10}));
  EXPECT_EQ(Signed(300, axis), (Interval{2, 2}));
  EXPECT_EQ(Signed(250, axis), (Interval{1, 2}));
  EXPECT_EQ(Signed(350, axis), (Interval{3, 4}));
}

TEST(CercaIntervallo, SignedAndUnsignedOrderOf0x8000) {
  // 16 points: 0x7FFF sits at index 7 on the unsigned axis.
  std::vector<uint16_t> axis(16);
  for (size_t i = 0; i < 16; ++i) axis[i] = static_cast<uint16_t>(0x7FF8 + 2 * i);  // 0x7FF8 ... 0x8016
  axis[4] = 0x7FFF;
  axis[5] = 0x8001;
  uint16_t lo = 0xEEEE, hi = 0xEEEE;
  maps::CercaIntervallo(&lo, &hi, 0x8000, axis.data(), 16, 0);
  EXPECT_EQ((Interval{lo, hi}), (Interval{4, 5}));  // above 0x7FFF

  std::vector<uint16_t> rising = {0xFFF0, 0xFFFF, 0x0000, 0x0010, 0x7FFF};  // signed: -16 ... 32767
  maps::CercaIntervallo(&lo, &hi, 0x8000, rising.data(), 5, 1);
  EXPECT_EQ((Interval{lo, hi}), (Interval{0, 0}));  // below 0, below everything
  maps::CercaIntervallo(&lo, &hi, 0x0005, rising.data(), 5, 1);
  EXPECT_EQ((Interval{lo, hi}), (Interval{2, 3}));

  const std::vector<uint16_t> low = {0x0000, 0x0010, 0x7FFF};  // ordered both ways
  maps::CercaIntervallo(&lo, &hi, 0x8000, low.data(), 3, 0);
  EXPECT_EQ((Interval{lo, hi}), (Interval{2, 2}));  // unsigned: above the last 0x7FFF
  maps::CercaIntervallo(&lo, &hi, 0x8000, low.data(), 3, 1);
  EXPECT_EQ((Interval{lo, hi}), (Interval{0, 0}));  // signed: -32768, below 0
}

TEST(CercaIntervallo, AxisOutOfOrderStaysInside) {
  // Not an ordered axis: the result is not specified, but the indices stay in range.
  std::vector<int16_t> axis(32);
  for (int seed = 1; seed < 200; ++seed) {
    uint32_t s = static_cast<uint32_t>(seed);
    for (auto& a : axis) {
      s = s * 1103515245u + 12345u;
      a = static_cast<int16_t>(s >> 16);
    }
    for (size_t n : {16, 20, 32}) {
      for (int v = -32768; v <= 32767; v += 97) {
        uint16_t lo = 0, hi = 0;
        maps::CercaIntervalloS16(&lo, &hi, static_cast<int16_t>(v), axis.data(), static_cast<uint16_t>(n));
        ASSERT_LT(lo, n);
        ASSERT_LT(hi, n);
      }
    }
  }
}

TEST(ScanForFirstEqual, WalksDownThePlateau) {
  const int16_t axis[] = {5, 5, 5, 6, 7, 7};
  EXPECT_EQ(maps::ScanForFirstEqual(2, axis), 0);
  EXPECT_EQ(maps::ScanForFirstEqual(0, axis), 0);
  EXPECT_EQ(maps::ScanForFirstEqual(3, axis), 3);
  EXPECT_EQ(maps::ScanForFirstEqual(5, axis), 4);
}

}  // namespace
