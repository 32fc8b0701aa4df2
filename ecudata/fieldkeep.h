// Gathering without rounding away what nobody edited.
//
// A control shows a value with the field's decimals, brought into the range of the
// page, so a raw value that is finer than that (a gain of 16.16 fixed point, say) or
// lies outside the range would come back changed from a control the user never
// touched. The rule, the same on every page: a control whose value reads as it read
// when the block was shown was not edited, and its element keeps the bytes it had.
#pragma once
#include <cstdint>
#include <span>
#include <string>

#include "ecudata/fields.h"

namespace ecu {

// True when `gathered` (what a numeric control holds now) is what the control showed for
// `raw`: the same text at the field's decimals, after bringing `raw` into the range.
bool ShownUnedited(const Field& field, int64_t raw, double gathered);
// The same for a value shown with `decimals` and held to [lo, hi] by its control
// (tables that are not described by a field table).
bool ShownUnedited(double before, double gathered, int decimals, double lo, double hi);

// True when a shown value lies outside the range its control can hold.
bool OutsideRange(const Field& field, int64_t raw);
// The mark of such a value: "outside the range this page sets: 12.500 kept", on a
// background of this colour (0xRRGGBB), the same on every page.
std::string OutsideRangeText(const std::string& shownValue);
inline constexpr uint32_t kOutsideRangeRgb = 0xFFD699;

// True when bytes [offset, offset + size) of two blocks differ: a table whose bytes the
// gather changed was edited, and only an edited table gets the page's repairs.
bool RunEdited(const uint8_t* before, const uint8_t* after, uint32_t offset, uint32_t size);

// True when any element of a field differs between two blocks (a null `before` counts
// as edited: the caller checks the block as a whole).
bool FieldEdited(const uint8_t* before, const uint8_t* after, const Field& field);

// `before`: the block as it was scattered; `after`: the gathered copy (changed in place).
// Every element whose gathered value reads as the scattered one gets its bytes back.
void KeepUneditedValues(const uint8_t* before, uint8_t* after, std::span<const Field> fields);

}  // namespace ecu
