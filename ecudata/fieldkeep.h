// Gathering without rounding away what nobody edited.
//
// A control shows a value with the field's decimals, so a raw value that is finer than
// that (a gain of 16.16 fixed point, say) or lies outside the range would come back
// changed from a control the user never touched. KeepUneditedValues compares, element
// by element, the text the control showed for the value before the gather with the
// text of the gathered value, and where they are equal puts the value from before back.
#pragma once
#include <cstdint>
#include <span>

#include "ecudata/fields.h"

namespace ecu {

// `before`: the block as it was scattered; `after`: the gathered copy (changed in place).
void KeepUneditedValues(const uint8_t* before, uint8_t* after, std::span<const Field> fields);

}  // namespace ecu
