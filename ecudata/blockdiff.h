// The differences between two configuration blocks or two map blocks, in the terms a
// tuner reads: map cells and breakpoints in display units, notes, the single-matrix
// flag and the bike, the fields of the pages' field tables by their control names;
// every other 16-bit word by its offset. The stamps are not compared.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "ecudata/fields.h"

namespace ecu {

struct BlockDifference {
  std::string item;    // "Advance", "Notes", "Single matrix", "Bike", "NUMwheelCirc", "Offset 600"
  std::string plane;   // "cyl 1" / "cyl 2" for the cells of map 1, else empty
  std::string x, y;    // the place: "5500 RPM" and "20.0", "X axis point 5", "column 3" and "row 2"
  std::string a, b;    // the two values as shown (text in UTF-8)
  std::string change;  // signed change ("+0.5"); empty for texts and flags
};

// The field tables that describe a block type's bytes (the pages' tables).
using FieldTables = std::span<const std::span<const Field>>;

// Both blocks of `type` (kParType or kMapType), each BlockSize(type) bytes. In the
// order: each map (X axis, Y axis, cells row by row, plane by plane), notes,
// single-matrix flag, bike, then the named fields of `fields` (table by table, element
// by element), then the remaining words. Empty for another type.
//
// A field element is named by its control ("NUMwheelCirc"), its element control
// ("NUMthrAtransP_3") or its table and cell (item "TABpreInj", x "column 5", y "row
// 2"), with both values and the change in display units; when the shown values read
// the same, the raw values follow them. Toggles and rings get no change. An element
// whose bytes were shown already (or that lies outside the block) is left out; a
// field without a control name is left to the word list.
std::vector<BlockDifference> DiffBlocks(int type, const uint8_t* a, const uint8_t* b,
                                        FieldTables fields = {});

// A bike word as the command line shows it: "Superbike 1098R (2008) (code 0x060508)",
// "not set (0xFF0000)", with a remark for a code outside the catalogue.
std::string BikeDescription(uint32_t word);

// One difference as a line of text: "Advance  5500 RPM  20.0: 12.3 -> 12.8 (+0.5)".
// Control characters of texts are written as escapes.
std::string DiffLine(const BlockDifference& d);
// The same as a CSV row (no line end) under DiffCsvHeader().
std::string DiffCsvHeader();
std::string DiffCsvRow(const BlockDifference& d);

}  // namespace ecu
