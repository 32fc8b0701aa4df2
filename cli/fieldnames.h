// The field tables of the pages by the block they describe, for the command line's
// diff: the parameter pages' tables for the map block, the configuration and the
// linearisation tables for the parameter block.
#pragma once
#include <span>
#include <vector>

#include "ecudata/blockdiff.h"
#include "ecudata/fields.h"
#include "ecudata/history.h"

namespace cli {

// The tables of block type `type` (ecu::kParType or ecu::kMapType) in page order;
// empty for another type.
std::vector<std::span<const ecu::Field>> FieldTablesOf(int type);

// The same tables with their pages' names ("Parameters 1", "Configuration",
// "Linearisations"), for restoring pages by themselves.
std::vector<ecu::NamedTable> NamedTablesOf(int type);
// The parts of `type` that can be restored by themselves: maps, notes, pages.
std::vector<ecu::BlockPart> PartsOf(int type);

// DiffBlocks with the tables of `type`.
std::vector<ecu::BlockDifference> DiffNamedBlocks(int type, const uint8_t* a, const uint8_t* b);

}  // namespace cli
