#include "maps/mapcompare.h"

#include <charconv>
#include <cmath>

#include "ecudata/image.h"
#include "link/bytes.h"

namespace maps {
namespace {

struct Places {
  MapShape shape;
  MapPlace place;
};

bool CurrentPlaces(Places* p) {
  return CurrentShape(&p->shape) && GetMapPlace(p->shape.id, p->shape.plane, &p->place);
}

int16_t Raw(const uint8_t* block, uint32_t offset, int i) {
  return static_cast<int16_t>(com::Get16LE(block + offset + 2 * static_cast<uint32_t>(i)));
}

bool ValidCell(int row, int col) {
  return row >= 0 && row < kTableRows && col >= 0 && col < kMapCols;
}

// The working and comparison raw values of a table cell.
bool RawPair(const uint8_t* cmp, int row, int col, int16_t* working, int16_t* compared, double* scale,
             int* decimals) {
  Places p;
  if (!cmp || !ValidCell(row, col) || !CurrentPlaces(&p)) return false;
  const uint32_t offset = row == 0 ? p.place.xAxis : p.place.matrix;
  const int i = row == 0 ? col : (row - 1) * kMapCols + col;
  *working = Raw(ecu::ecuMapData, offset, i);
  *compared = Raw(cmp, offset, i);
  *scale = row == 0 ? p.shape.scaleX : p.shape.scaleZ;
  *decimals = row == 0 ? p.shape.precX : p.shape.precZ;
  return true;
}

void CopyValues(const uint8_t* from, uint32_t offset, int count) {
  for (int i = 0; i < 2 * count; ++i) ecu::ecuMapData[offset + i] = from[offset + i];
}

}  // namespace

bool LocateMapDifference(const uint8_t* a, const uint8_t* b, size_t index, CellPlace* out) {
  // The order of the difference engine: per map the X axis, the Y axis, then the cells
  // plane by plane, row by row.
  size_t k = 0;
  auto hit = [&](int map, int plane, int row, int col) {
    if (k++ != index) return false;
    *out = {map, plane, row, col};
    return true;
  };
  for (int id = 1; id <= kMapCount; ++id) {
    MapPlace place{};
    if (!GetMapPlace(id, 0, &place)) continue;
    for (int c = 0; c < kMapCols; ++c)
      if (Raw(a, place.xAxis, c) != Raw(b, place.xAxis, c) && hit(id, 0, 0, c)) return true;
    for (int r = 0; r < kMapRows; ++r)
      if (Raw(a, place.yAxis, r) != Raw(b, place.yAxis, r) && hit(id, 0, r + 1, -1)) return true;
    for (int p = 0; p < MapPlanes(id); ++p) {
      if (!GetMapPlace(id, p, &place)) continue;
      for (int i = 0; i < kMapCells; ++i)
        if (Raw(a, place.matrix, i) != Raw(b, place.matrix, i) && hit(id, p, 1 + i / kMapCols, i % kMapCols))
          return true;
    }
  }
  return false;
}

std::string FormatValue(double value, int decimals, bool sign) {
  char text[64];
  const double shown = std::fabs(value) < 0.5 * std::pow(10.0, -decimals) ? 0.0 : value;
  const auto res = std::to_chars(text, text + sizeof text, shown, std::chars_format::fixed, decimals);
  std::string out(text, res.ptr);
  if (sign && shown > 0) out.insert(out.begin(), '+');
  return out;
}

bool Comparison::Set(std::vector<uint8_t> block, std::string label) {
  if (block.size() != ecu::kMapSize) return false;
  block_ = std::move(block);
  label_ = std::move(label);
  return true;
}

void Comparison::Clear() {
  block_.clear();
  label_.clear();
}

double Comparison::Value(int row, int col) const {
  int16_t w = 0, c = 0;
  double scale = 1;
  int decimals = 0;
  return RawPair(Block(), row, col, &w, &c, &scale, &decimals) ? c / scale : 0;
}

bool Comparison::Differs(int row, int col) const {
  int16_t w = 0, c = 0;
  double scale = 1;
  int decimals = 0;
  return RawPair(Block(), row, col, &w, &c, &scale, &decimals) && w != c;
}

double Comparison::YValue(int row) const {
  Places p;
  if (!Active() || row < 0 || row >= kMapRows || !CurrentPlaces(&p)) return 0;
  return Raw(Block(), p.place.yAxis, row) / p.shape.scaleY;
}

bool Comparison::YDiffers(int row) const {
  Places p;
  if (!Active() || row < 0 || row >= kMapRows || !CurrentPlaces(&p)) return false;
  return Raw(Block(), p.place.yAxis, row) != Raw(ecu::ecuMapData, p.place.yAxis, row);
}

int Comparison::DifferingCells() const {
  Places p;
  if (!Active() || !CurrentPlaces(&p)) return 0;
  int n = 0;
  for (int plane = 0; plane < MapPlanes(p.shape.id); ++plane) {
    MapPlace place{};
    if (!GetMapPlace(p.shape.id, plane, &place)) continue;
    for (int i = 0; i < kMapCells; ++i)
      n += Raw(Block(), place.matrix, i) != Raw(ecu::ecuMapData, place.matrix, i);
  }
  return n;
}

std::string Comparison::StatusText(int row, int col) const {
  int16_t w = 0, c = 0;
  double scale = 1;
  int decimals = 0;
  if (!RawPair(Block(), row, col, &w, &c, &scale, &decimals)) return {};
  return "Working " + FormatValue(w / scale, decimals) + ", comparison " + FormatValue(c / scale, decimals) +
         " (" + label_ + "), difference " + FormatValue((w - c) / scale, decimals, true);
}

uint8_t Comparison::Take(const CellRect& selection) const {
  Places p;
  if (!Active() || selection.Empty() || !CurrentPlaces(&p)) return 0;
  if (selection.top < 0 || selection.Bottom() >= kTableRows || selection.left < 0 ||
      selection.Right() >= kMapCols)
    return 0;
  for (int row = selection.top; row <= selection.Bottom(); ++row) {
    const uint32_t offset = row == 0 ? p.place.xAxis : p.place.matrix;
    const int first = row == 0 ? selection.left : (row - 1) * kMapCols + selection.left;
    CopyValues(Block(), offset + 2 * static_cast<uint32_t>(first), selection.width);
  }
  return GatherMapBlock(false);
}

uint8_t Comparison::TakeWholeMap() const {
  Places p;
  if (!Active() || !CurrentPlaces(&p)) return 0;
  for (int plane = 0; plane < MapPlanes(p.shape.id); ++plane) {
    MapPlace place{};
    if (!GetMapPlace(p.shape.id, plane, &place)) continue;
    CopyValues(Block(), place.matrix, kMapCells);
    CopyValues(Block(), place.xAxis, kMapCols);
    CopyValues(Block(), place.yAxis, kMapRows);
  }
  return GatherMapBlock(false);
}

}  // namespace maps
