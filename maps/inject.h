// The injection correction editor's tables: air, water, oil temperature and barometric
// pressure corrections, the injection phase, and the user correction map per cylinder.
#pragma once
#include <cstdint>

#include "maps/corredit.h"

namespace maps {

const CorrEditor& InjEditor();
// Writes the editor's default values into a map block (also used by the import).
void InitInjData(uint8_t* block);

}  // namespace maps
