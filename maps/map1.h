// The catalogue of the five calibration maps of the map block: places, shapes, scales,
// limits, labels, defaults, and the arithmetic edit of the current map.
//
// The maps live in ecu::ecuMapData (working copy) and ecu::ecuMapRefData (reference
// copy) as little-endian signed 16-bit values. The catalogue hands them out as
// CellArray views (block + byte offset) rather than raw int16_t pointers, so nobody
// reads a byte array through a pointer of another type.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

namespace maps {

inline constexpr int kMapRows = 20;  // Y axis, throttle or temperature
inline constexpr int kMapCols = 32;  // X axis, speed or revolutions
inline constexpr int kMapCells = kMapRows * kMapCols;
inline constexpr int kMapCount = 5;

// Map block fields next to the maps.
inline constexpr uint32_t kNotesOffset = 64;
inline constexpr uint32_t kNotesSize = 400;
inline constexpr uint32_t kSingleMatrixOffset = 11880;  // bit 0: one matrix for both cylinders
inline constexpr uint32_t kCylinderCountOffset = 1180;  // in the parameter block

// Current map (1 to 5) and cylinder plane of map 1 (0 or 1).
extern uint8_t idCurMap;
extern uint8_t idCurJcyl;

// The fixed throttle axis of maps 1 to 4, tenths of a degree.
extern const int16_t bpMapThrottle[kMapRows];

// Byte offsets of a map's matrix and axes in the map block.
struct MapPlace {
  uint32_t matrix;  // row-major, kMapCells values
  uint32_t xAxis;   // kMapCols values
  uint32_t yAxis;   // kMapRows values
};
// Place of map `id` (plane `plane` for map 1); false for an unknown map or plane.
bool GetMapPlace(int id, int plane, MapPlace* place);
// Number of cylinder planes of a map: 2 for map 1, 1 for the others, 0 for another id.
int MapPlanes(int id);

// A run of little-endian signed 16-bit values in a data block.
struct CellArray {
  uint8_t* base = nullptr;  // element 0
  int16_t Get(int i) const;
  void Set(int i, int16_t value) const;
  explicit operator bool() const { return base != nullptr; }
};

// Names as listed by the graphs: 0 "<none>", 1 "Injection" ... 5 "Cranking Correction";
// empty for another index.
const char* MapName(int id);

// Fills the views of the current map's X axis, Y axis and matrix (map 1: the plane of
// idCurJcyl) in the working copy and in the reference copy, and the display scales.
// Any argument may be null. Returns 1, or 0 for an invalid selector.
uint8_t GetCurMapInfo(CellArray* x, CellArray* y, CellArray* z, CellArray* refX, CellArray* refY,
                      CellArray* refZ, double* scaleX, double* scaleY, double* scaleZ);
// Precisions (decimals shown) and limits in display units. Any argument may be null.
uint8_t GetCurMapAttribute(int* precX, int* precY, int* precZ, double* minX, double* minY, double* minZ,
                           double* maxX, double* maxY, double* maxZ);

// Graph labels of the current map (UTF-8); empty for an invalid selector.
const char* GetCurMapXlabel();
const char* GetCurMapYlabel();
// The value label, formatted into one static buffer shared by all callers (map 1 names
// the cylinder idCurJcyl + 1). Empty for an invalid selector.
const char* GetCurMapZlabel();

// Captions of the map editor: above the matrix, the Y-axis caption written vertically
// (each character followed by '\r'), and the unit. Empty for an invalid selector.
std::string GetCurMapMatrixCaption();
std::string GetCurMapVerticalYCaption();
std::string GetCurMapUnitCaption();

// The same texts in the Windows-1252 code page (the degree sign as the byte 0xB0),
// through the program's one conversion (link/cp1252.h).
std::string ToWindows1252(const std::string& utf8);

// Arithmetic edit of the current map. col: -1 (all columns) or 0..31; row: -1 (all rows)
// or 0..19. restoreX / restoreY copy the whole axis back from the reference copy;
// restore copies the addressed cells back; otherwise the cells are added to (maps 2, 4),
// or multiplied, or added to when mul is 0 (maps 1, 3, 5), rounded and limited.
// Returns 0 for an invalid selector, column or row; with rescatter set, the result of
// the map editor's scatter hook (1 when none is installed); else 1.
uint8_t SetCurMap(int col, int row, double add, double mul, uint8_t restore, uint8_t restoreX,
                  uint8_t restoreY, uint8_t rescatter);
// The map editor installs its scatter here; an empty function removes it.
void SetMp1ScatterHook(std::function<uint8_t()> hook);

// Writes the defaults of map `id` into the working copy; for another id only the
// shared fields (single-matrix flag, notes, bike word) are reset.
void InitMp1Data(int id);

// Cylinder count of the working parameter block.
int CylinderCount();

}  // namespace maps
