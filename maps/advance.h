// The advance correction editor's tables: air, water, oil temperature and barometric
// pressure corrections, and the user correction map per cylinder.
#pragma once
#include <cstdint>

#include "maps/corredit.h"

namespace maps {

const CorrEditor& AdvEditor();
// Writes the editor's default values into a map block (also used by the import).
void InitAdvData(uint8_t* block);

}  // namespace maps
