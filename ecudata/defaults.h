// The defaults that the pages write into the working blocks when the window loads
// them, before any file is read. The import starts from the defaults of one block; the
// command-line tools start from all of them, as the window does.
#pragma once

namespace ecu {

// Parameter block: CAN acquisition, bike configuration, linearisations.
void InitConfigurationDefaults();
// Map block: maps 1 to 5 of the map editor, the injection and advance corrections,
// parameter pages 1 to 3.
void InitMappingDefaults();
// Both blocks, as the window holds them after its pages have been loaded.
void InitStartupDefaults();

}  // namespace ecu
