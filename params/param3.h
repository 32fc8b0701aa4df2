// Parameter page 3: traction control (DTC). Two maps over engine speed and wheel slip
// (an injection factor and an advance reduction) and 32 level records, all in the
// working map block, and the DTC map files (".fdt", 1056 bytes) that hold the set.
#pragma once
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "ecudata/fields.h"

namespace params {

inline constexpr uint32_t kDtcKjBlock = 9784;      // injection-factor map with its axes
inline constexpr uint32_t kDtcKaBlock = 10088;     // advance-reduction map with its axes
inline constexpr uint32_t kDtcMapBlockSize = 304;  // 8 x 16 cells, 16 column and 8 row points
inline constexpr uint32_t kDtcLevels = 11892;      // 32 level records
inline constexpr uint32_t kDtcLevelSize = 14;
inline constexpr int kDtcLevelCount = 32;
inline constexpr int kDtcRows = 8, kDtcCols = 16;
inline constexpr size_t kDtcFileSize = 1056;
inline constexpr const char* kDtcExtension = "fdt";

std::span<const ecu::Field> Pr3Fields();

void InitPr3Data();
// Column and row points of both maps must not decrease; a lower point takes its
// predecessor's value and its whole column (row) of cells. 1 when a field changed.
// With `before` (the block before the page was gathered) a repair runs only where one
// of the fields it looks at was edited (for an axis: the axis); values that came so
// with the block stay as they came.
uint8_t CheckPr3Values(const uint8_t* before = nullptr);

// The set in file order (injection block, advance block, level records) and back.
void DtcToFile(const uint8_t* mapBlock, uint8_t* file /* kDtcFileSize */);
void DtcFromFile(const uint8_t* file, uint8_t* mapBlock);

// The folder of the preset files ("system" beside the program); tests point it elsewhere.
std::string DtcSystemDirectory();
void SetDtcSystemDirectory(const std::string& dir);  // empty restores the default
// Base name of the preset of a traction-control type: "sbk1098R" (1), "sbk1198" (2),
// "sf1098S" (3), "undefined" (any other).
const char* DtcPresetName(int type);
std::string DtcPresetPath(int type);
// True when `path` is one of the shipped presets (the same file, by any name).
bool IsShippedPreset(const std::string& path);

// Reads the first kDtcFileSize bytes of a DTC file; false with a plain reason (a
// missing file, a directory or other non-file, a file that is too short).
bool ReadDtcFile(const std::string& path, uint8_t* file, std::string* reason);

// ask 1: the user chooses the file ("Load DTC Map"); ask 0: the preset of `type`.
// On success the set lands in the working map block and `scatter` shows it. A
// cancelled dialog returns 1 quietly; every failure shows "Load DTC Map" /
// "Some error occurred..." with the reason, and leaves the block as it was.
uint8_t LoadDTCmap(int ask, int type, const std::function<uint8_t()>& scatter);
// Runs `gather`, asks for the file ("Store DTC Map", starting in the system folder),
// forces ".fdt" and writes the set through a temporary file renamed over the target,
// so a failed store keeps the previous file.
uint8_t StoreDTCmap(const std::function<uint8_t()>& gather);

}  // namespace params
