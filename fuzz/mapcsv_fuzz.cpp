// The CSV reader of map import: a spreadsheet's text read into one map of a map block.
//
// Input: byte 0 selects the map (bits 0-2, taken modulo 5, plus 1), the plane (bit 3)
// and the single-matrix flag of the block (bit 4); the rest is the CSV text.
// Checked: a refused text leaves the block as it was; an accepted one changes only the
// map's bytes, and its export reads back to the same block.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "ecudata/image.h"
#include "maps/map1.h"
#include "maps/mapcsv.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

// The bytes a map import may write: the map's axes and its planes.
std::vector<bool> MapBytes(int id) {
  std::vector<bool> owned(ecu::kMapSize, false);
  for (int plane = 0; plane < maps::MapPlanes(id); ++plane) {
    maps::MapPlace place;
    maps::GetMapPlace(id, plane, &place);
    for (uint32_t i = 0; i < 2 * maps::kMapCells; ++i) owned[place.matrix + i] = true;
    for (uint32_t i = 0; i < 2 * maps::kMapCols; ++i) owned[place.xAxis + i] = true;
    for (uint32_t i = 0; i < 2 * maps::kMapRows; ++i) owned[place.yAxis + i] = true;
  }
  return owned;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const int id = 1 + (data[0] & 7) % 5;
  const int plane = (data[0] >> 3) & 1;
  const bool single = (data[0] >> 4) & 1;
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

  std::vector<uint8_t> block(ecu::kMapSize);
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(i * 13 + 5);
  block[maps::kSingleMatrixOffset] = single ? 1 : 0;
  const std::vector<uint8_t> before = block;

  std::string error;
  if (!maps::ImportMapCsv(text, block.data(), id, plane, &error)) {
    Check(block == before);
    Check(!error.empty());
    return 0;
  }
  const std::vector<bool> owned = MapBytes(id);
  for (size_t i = 0; i < block.size(); ++i) Check(owned[i] || block[i] == before[i]);

  // What was imported exports and reads back unchanged.
  const std::string csv = maps::ExportMapCsv(block.data(), id, plane);
  std::vector<uint8_t> again = block;
  Check(maps::ImportMapCsv(csv, again.data(), id, plane, &error));
  Check(again == block);
  return 0;
}
