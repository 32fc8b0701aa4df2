// One map of the map block as CSV text for a spreadsheet, and back.
//
// The text has 21 lines of 33 comma-separated fields: line 1 is an empty corner field
// and the 32 X breakpoints; lines 2 to 21 are the Y breakpoint of rows 0 to 19 and the
// 32 cells of that row. Numbers are in display units (raw / the catalogue's scale) with
// the catalogue's decimals, '.' as the decimal point.
#pragma once
#include <cstdint>
#include <string>

namespace maps {

// Scales, decimals and limits (display units) of one map, as the catalogue gives them.
struct MapUnits {
  double scaleX = 1, scaleY = 1, scaleZ = 1;
  int precX = 0, precY = 0, precZ = 0;
  double minX = 0, minY = 0, minZ = 0;
  double maxX = 0, maxY = 0, maxZ = 0;
};
// False for an id outside 1 to 5. Leaves the current-map selectors as they were.
bool GetMapUnits(int id, MapUnits* units);

// The command-line name of a map: "injection", "advance", "injvel", "advvel",
// "cranking"; empty for another id.
const char* MapShortName(int id);
// A map named by its number "1" to "5" or its short name; 0 when neither.
int ParseMapId(const std::string& word);

// A raw value in display units with `decimals` decimals: '-' for negatives, '.' as the
// decimal point, no grouping, independent of the locale.
std::string FormatDisplay(int32_t raw, double scale, int decimals);
// A display value stored as the nearest raw integer, halves away from zero, as a typed
// entry is stored: trunc(d * scale + 0.5) for d > 0, trunc(d * scale - 0.5) otherwise.
double DisplayToRaw(double display, double scale);

// The CSV text of map `id` (plane 0 or 1; only map 1 has plane 1) of a map block.
// Empty for an unknown map or plane.
std::string ExportMapCsv(const uint8_t* block, int id, int plane);

// Reads CSV text of the shape above into map `id`, plane `plane`, of `block`. The whole
// text is checked before anything is written: on false `*error` names the line and the
// field ("line 4, field 7: ...") and the block is untouched. With the single-matrix flag
// of the block set, map 1 is written into both planes and plane 1 is refused.
// Accepted around the numbers: a UTF-8 byte-order mark, "\r\n" line ends, blanks and a
// pair of double quotes around a field; the corner field is not read.
bool ImportMapCsv(const std::string& text, uint8_t* block, int id, int plane, std::string* error);

}  // namespace maps
