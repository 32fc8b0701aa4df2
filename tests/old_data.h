// Data files of the two older families (data version 1.2 and Talaris), built from their
// layouts for the tests, the fuzz seeds and the benchmark: pattern bytes everywhere,
// with ordered axes and simple tables where the import rebuilds fields, so that every
// path of the conversion runs on plausible values.
#pragma once
#include <cstdint>

#include "link/bytes.h"
#include "test_support.h"

namespace old_data {

using test_support::Bytes;

constexpr uint32_t kV12ParSize = 1396, kV12MapSize = 11220;
constexpr uint32_t kTalarisParSize = 860, kTalarisMapSize = 11718;

// Old map-block groups that are re-gridded: offset and number of 20 x 32 tables. Each
// group is its tables, a 32-entry column axis and a 20-entry row axis.
struct OldGroup {
  uint32_t offset;
  int tables;
};
constexpr OldGroup kRegridGroups[] = {{400, 2}, {3064, 1}, {4448, 1}, {5832, 1}};
constexpr uint32_t ColAxis(const OldGroup& g) {
  return g.offset + g.tables * 1280;
}
constexpr uint32_t RowAxis(const OldGroup& g) {
  return ColAxis(g) + 64;
}
constexpr uint32_t Cell(const OldGroup& g, int table, int r, int c) {
  return g.offset + table * 1280 + 2 * (r * 32 + c);
}
// Talaris single-row groups: two 32-value rows, then a 32-entry axis.
constexpr uint32_t kTalarisRowGroups[] = {10112, 10304};

inline void Put(Bytes& b, uint32_t offset, int value) {
  com::Put16LE(b.data() + offset, static_cast<uint16_t>(static_cast<int16_t>(value)));
}

// Both families begin with 400 bytes of notes, NUL-padded text.
inline void PutNotes(Bytes& b, const char* text) {
  for (uint32_t i = 0; i < 400; ++i) b[i] = 0;
  for (uint32_t i = 0; text[i] && i < 399; ++i) b[i] = static_cast<uint8_t>(text[i]);
}

// Row axis 0, 50, ..., 950; column axis 500, 750, ...; cell (r, c) of table k =
// 10 r + c + 100 k.
inline void FillRegridGroups(Bytes& b) {
  for (const OldGroup& g : kRegridGroups) {
    for (int r = 0; r < 20; ++r) Put(b, RowAxis(g) + 2 * r, 50 * r);
    for (int c = 0; c < 32; ++c) Put(b, ColAxis(g) + 2 * c, 500 + 250 * c);
    for (int k = 0; k < g.tables; ++k)
      for (int r = 0; r < 20; ++r)
        for (int c = 0; c < 32; ++c) Put(b, Cell(g, k, r, c), 10 * r + c + 100 * k);
  }
}

// A configuration of data version 1.2: linearisation ends `first` and `last`, bike
// selector `selector`.
inline Bytes V12Configuration(uint8_t selector = 3, int first = 0, int last = 1000) {
  Bytes b = test_support::Pattern(kV12ParSize, 7);
  PutNotes(b, "road bike, 1.2 data");
  Put(b, 624, first);
  Put(b, 654, last);
  b[1302] = selector;
  Put(b, 1392, 0xE0B5);
  return b;
}

inline Bytes TalarisConfiguration(int first = 0, int last = 1000) {
  Bytes b = test_support::Pattern(kTalarisParSize, 9);
  PutNotes(b, "Talaris road bike");
  Put(b, 496, first);
  Put(b, 526, last);
  Put(b, 858, 0xE0B5);
  return b;
}

// A mapping of data version 1.2 with bike selector `selector`.
inline Bytes V12Mapping(uint8_t selector = 3) {
  Bytes b = test_support::Pattern(kV12MapSize, 11);
  PutNotes(b, "base tune, 1.2 data");
  FillRegridGroups(b);
  b[11206] = selector;
  Put(b, 11218, 0xE0B5);
  return b;
}

// A Talaris mapping: the single-row groups with the axis 0, 10, ..., 310, row 0 the
// column index and row 1 its negative.
inline Bytes TalarisMapping() {
  Bytes b = test_support::Pattern(kTalarisMapSize, 13);
  PutNotes(b, "Talaris base tune");
  FillRegridGroups(b);
  for (uint32_t g : kTalarisRowGroups)
    for (int i = 0; i < 32; ++i) {
      Put(b, g + 2 * i, i);
      Put(b, g + 64 + 2 * i, -i);
      Put(b, g + 128 + 2 * i, 10 * i);
    }
  Put(b, 11716, 0xE0B5);
  return b;
}

}  // namespace old_data
