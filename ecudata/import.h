// Import of data files of the two older families, "Q740 v1.2 Data" and "Talaris
// Data": a file is read into a buffer of its old layout, then the current block is
// rebuilt from it over the defaults of the pages that own its fields.
//
// This module lives in its own library (ecuimport): the defaults come from the page
// models (maps, params, config, canacq, live), which the ecudata library cannot link.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace ecu {

// Data families of an imported file (the answers of the data-version dialog).
inline constexpr int kImportV12 = 1;
inline constexpr int kImportTalaris = 2;

// Old-layout buffers, little-endian as the files hold them.
inline constexpr uint32_t kV12ParSize = 1396;
inline constexpr uint32_t kV12MapSize = 11220;
inline constexpr uint32_t kTalarisParSize = 860;
inline constexpr uint32_t kTalarisMapSize = 11718;
extern uint8_t q740v1_2ParData[kV12ParSize];
extern uint8_t q740v1_2MapData[kV12MapSize];
extern uint8_t talarisParData[kTalarisParSize];
extern uint8_t talarisMapData[kTalarisMapSize];

// The buffer of block type `type` (1 configuration, 2 mapping) and family `version`
// (1 data version 1.2, 2 Talaris), and its size; null and 0 for another combination.
uint8_t* ImportBuffer(int type, int version);
uint32_t ImportSize(int type, int version);

// The bike word of a data-version 1.2 bike selector (0xFF0000, "not set", beyond the table).
uint32_t V12BikeWord(uint8_t selector);
// The bike word every Talaris block gets.
inline constexpr uint32_t kTalarisBikeWord = 0x060006;

// Asks for the file ("Import ECU configuration data" / "Import ECU mapping data"),
// checks its size, reads it and rebuilds the working block: defaults, conversion,
// fresh stamps, reference copy, the file's name on the main panel, and the "Check type
// bike" warning when the two blocks name different bikes. A block with changes that
// were never stored is kept as a restore point first. The remembered paths stay.
// Returns 1 also for a cancelled dialog and for a file of the wrong size (after "The
// selected file is not correct!"); 0 for another combination, a missing file or a
// read error (which forgets the remembered path of that block).
uint8_t ImportEcu(int type, int version, int cursor);

// The import of a given file, after the dialog: the extension of the block is set on
// `path`, then as ImportEcu. Refused is the wrong size (the message has been shown);
// ReadError has forgotten the remembered path.
enum class ImportResult { Imported, Refused, Missing, ReadError };
ImportResult ImportEcuFile(int type, int version, const std::string& path, int cursor);
// The title of the import's dialog and messages: "Import ECU configuration data", ...
std::string ImportTitle(int type);

// Rebuilds the working block of `type` from the buffer of `version`: the owning pages'
// defaults first, then the fields both layouts share, then the fields whose shape
// changed. Stamps and the reference copy are left to the caller.
void ConvertImportData(int type, int version);

}  // namespace ecu
