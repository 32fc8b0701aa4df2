// The editing model of the map editor.
#include "maps/mapedit.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "link/cp1252.h"
#include "link/utils.h"

namespace maps {

namespace {

struct Views {
  CellArray x, y, z, refX, refY, refZ;
  MapShape shape;
};

bool CurrentViews(Views* v) {
  if (!CurrentShape(&v->shape)) return false;
  return GetCurMapInfo(&v->x, &v->y, &v->z, &v->refX, &v->refY, &v->refZ, nullptr, nullptr, nullptr) != 0;
}

// The map block as it came (received, loaded, imported, read by a tuning session) or as
// the last checked gather left it: what differs from it was edited since. Without one
// (a model used on its own) everything counts as edited.
std::optional<std::array<uint8_t, ecu::kMapSize>> baseline;

bool Edited(const CellArray& run, int n) {
  if (!baseline) return true;
  const size_t offset = static_cast<size_t>(run.base - ecu::ecuMapData);
  return std::memcmp(baseline->data() + offset, run.base, 2 * static_cast<size_t>(n)) != 0;
}
bool CellEdited(const CellArray& run, int i) {
  if (!baseline) return true;
  const size_t offset = static_cast<size_t>(run.base - ecu::ecuMapData) + 2 * static_cast<size_t>(i);
  return std::memcmp(baseline->data() + offset, run.base + 2 * i, 2) != 0;
}

double Clamp(double v, double lo, double hi) {
  return v < lo ? lo : (v > hi ? hi : v);
}

bool ValidTableCell(int row, int col) {
  return row >= 0 && row < kTableRows && col >= 0 && col < kMapCols;
}

// A plane of map 1 other than the current one.
CellArray Map1Plane(int plane) {
  MapPlace place;
  if (!GetMapPlace(1, plane, &place)) return {};
  return CellArray{ecu::ecuMapData + place.matrix};
}

std::string Format(double v, int precision) {
  return com::FixedTextUnsignedZero(v, precision);  // "-0.0" would read as a change of sign: a zero is a zero
}

}  // namespace

int16_t RawFromDisplay(double display, double scale) {
  double x = display * scale;
  if (std::isnan(x)) return 0;
  x = std::round(x * 1e6) / 1e6;
  x = std::trunc(x > 0 ? x + 0.5 : x - 0.5);
  if (x >= 32767.0) return 32767;
  if (x <= -32768.0) return -32768;
  return static_cast<int16_t>(x);
}

double Quantise(double v, double f) {
  double x = std::round(v * f * 1e6) / 1e6;
  x = std::trunc(x > 0 ? x + 0.5 : x - 0.5);
  return x / f;
}

bool CurrentShape(MapShape* shape) {
  MapShape s;
  CellArray z;
  if (!GetCurMapInfo(nullptr, nullptr, &z, nullptr, nullptr, nullptr, &s.scaleX, &s.scaleY, &s.scaleZ))
    return false;
  if (!GetCurMapAttribute(&s.precX, &s.precY, &s.precZ, &s.minX, &s.minY, &s.minZ, &s.maxX, &s.maxY, &s.maxZ))
    return false;
  s.id = idCurMap;
  s.plane = MapPlanes(idCurMap) > 1 ? idCurJcyl : 0;
  s.yEditable = idCurMap == 5;
  *shape = s;
  return true;
}

double TableValue(int row, int col) {
  Views v;
  if (!ValidTableCell(row, col) || !CurrentViews(&v)) return 0;
  if (row == 0) return v.x.Get(col) / v.shape.scaleX;
  return v.z.Get((row - 1) * kMapCols + col) / v.shape.scaleZ;
}

bool TableDiffers(int row, int col) {
  Views v;
  if (!ValidTableCell(row, col) || !CurrentViews(&v)) return false;
  if (row == 0) return v.x.Get(col) != v.refX.Get(col);
  const int i = (row - 1) * kMapCols + col;
  return v.z.Get(i) != v.refZ.Get(i);
}

double YValue(int row) {
  Views v;
  if (row < 0 || row >= kMapRows || !CurrentViews(&v)) return 0;
  return v.y.Get(row) / v.shape.scaleY;
}

bool YDiffers(int row) {
  Views v;
  if (row < 0 || row >= kMapRows || !CurrentViews(&v)) return false;
  return v.y.Get(row) != v.refY.Get(row);
}

int TablePrecision(int row) {
  MapShape s;
  if (!CurrentShape(&s)) return 0;
  return row == 0 ? s.precX : s.precZ;
}

void TableLimits(int row, double* min, double* max) {
  MapShape s;
  CurrentShape(&s);
  // The X row runs from 0 to the X maximum, whatever the map's lower X limit.
  *min = row == 0 ? 0.0 : s.minZ;
  *max = row == 0 ? s.maxX : s.maxZ;
}

uint8_t StoreTableValue(int row, int col, double display) {
  Views v;
  if (!ValidTableCell(row, col) || std::isnan(display) || !CurrentViews(&v)) return 0;
  double lo, hi;
  TableLimits(row, &lo, &hi);
  display = Clamp(display, lo, hi);
  if (row == 0)
    v.x.Set(col, RawFromDisplay(display, v.shape.scaleX));
  else
    v.z.Set((row - 1) * kMapCols + col, RawFromDisplay(display, v.shape.scaleZ));
  return 1;
}

uint8_t StoreYValue(int row, double display) {
  Views v;
  if (row < 0 || row >= kMapRows || std::isnan(display) || !CurrentViews(&v)) return 0;
  if (!v.shape.yEditable) return 1;
  v.y.Set(row, RawFromDisplay(Clamp(display, v.shape.minY, v.shape.maxY), v.shape.scaleY));
  return 1;
}

uint8_t GatherMapBlock(bool checkAxes, bool* repaired) {
  if (repaired) *repaired = false;
  Views v;
  if (!CurrentViews(&v)) return 0;
  // The fixed throttle axis of maps 1 to 4, whatever map is shown.
  for (int id = 1; id <= 4; ++id) {
    MapPlace place;
    GetMapPlace(id, 0, &place);
    const CellArray y{ecu::ecuMapData + place.yAxis};
    for (int r = 0; r < kMapRows; ++r) y.Set(r, bpMapThrottle[r]);
  }
  if (checkAxes) {
    // Only an edited axis is repaired; one that came falling from the ECU or a file stays
    // as it came.
    const bool xEdited = Edited(v.x, kMapCols);
    const bool yEdited = v.shape.yEditable && Edited(v.y, kMapRows);
    bool changed = false;
    for (int i = 1; i < kMapCols && xEdited; ++i) {
      if (v.x.Get(i) >= v.x.Get(i - 1)) continue;
      v.x.Set(i, v.x.Get(i - 1));
      for (int r = 0; r < kMapRows; ++r) v.z.Set(r * kMapCols + i, v.z.Get(r * kMapCols + i - 1));
      changed = true;
    }
    for (int j = 1; j < kMapRows && yEdited; ++j) {
      if (v.y.Get(j) >= v.y.Get(j - 1)) continue;
      v.y.Set(j, v.y.Get(j - 1));
      for (int c = 0; c < kMapCols; ++c) v.z.Set(j * kMapCols + c, v.z.Get((j - 1) * kMapCols + c));
      changed = true;
    }
    if (repaired) *repaired = changed;
  }
  if (SingleMatrixFlag()) {
    // One matrix serves both cylinders: the cells of cylinder 1 that were edited go over
    // cylinder 2 (AlignMatrixes copies the whole matrix when the user sets the flag); a
    // second matrix that came different with the block stays as it came.
    MapPlace p0, p1;
    GetMapPlace(1, 0, &p0);
    GetMapPlace(1, 1, &p1);
    const CellArray cyl1{ecu::ecuMapData + p0.matrix};
    const CellArray cyl2{ecu::ecuMapData + p1.matrix};
    for (int i = 0; i < kMapCells; ++i)
      if (CellEdited(cyl1, i)) cyl2.Set(i, cyl1.Get(i));
  }
  if (checkAxes && baseline) TakeMapBaseline();
  return 1;
}

std::string NotesText() {
  ecu::ecuMapData[kNotesOffset + kNotesSize - 1] = 0;
  return com::FromCp1252(reinterpret_cast<const char*>(ecu::ecuMapData + kNotesOffset));
}

bool StoreNotes(const std::string& utf8) {
  uint8_t field[kNotesSize] = {};
  const std::string bytes = com::ToCp1252(utf8, kNotesChars);
  std::memcpy(field, bytes.data(), bytes.size());
  if (std::memcmp(field, ecu::ecuMapData + kNotesOffset, kNotesSize) == 0) return false;
  std::memcpy(ecu::ecuMapData + kNotesOffset, field, kNotesSize);
  return true;
}

void TakeMapBaseline() {
  baseline.emplace();
  std::memcpy(baseline->data(), ecu::ecuMapData, ecu::kMapSize);
}

void DropMapBaseline() {
  baseline.reset();
}

void AlignMatrixes() {
  MapPlace p0, p1;
  GetMapPlace(1, 0, &p0);
  GetMapPlace(1, 1, &p1);
  std::memmove(ecu::ecuMapData + p1.matrix, ecu::ecuMapData + p0.matrix, 2 * kMapCells);
}

bool SingleMatrixFlag() {
  return (ecu::ecuMapData[kSingleMatrixOffset] & 1) != 0;
}

void SetSingleMatrixFlag(bool on) {
  if (on)
    ecu::ecuMapData[kSingleMatrixOffset] |= 1;
  else
    ecu::ecuMapData[kSingleMatrixOffset] &= static_cast<uint8_t>(~1u);
}

const char* CylinderLabel(int jcyl) {
  return jcyl == 1 ? "Cyl. 2" : "Cyl. 1";
}

int KeyStep(bool ctrl, bool alt) {
  return alt ? 100 : (ctrl ? 10 : 1);
}

uint8_t StepCell(int row, int col, int delta) {
  if (row < 1 || row >= kTableRows || col < 0 || col >= kMapCols) return 1;
  Views v;
  if (!CurrentViews(&v)) return 0;
  const double display = TableValue(row, col) + delta / v.shape.scaleZ;
  if (!StoreTableValue(row, col, display)) return 0;
  return GatherMapBlock(true);
}

// ---- The cell-value dialog ----

ValueMode DefaultValueMode(int mapId) {
  return mapId == 2 || mapId == 4 ? ValueMode::Add : ValueMode::PercAdd;
}

CellRect NormaliseSelection(const CellRect& selection, int activeRow, int activeCol) {
  CellRect r = selection;
  if (r.height <= 1 && r.width <= 1) r = {activeRow, activeCol, 1, 1};
  if (r.top == 0) {
    r.top = 1;
    r.height -= 1;
  }
  if (r.Empty()) return {};
  // Keep the rectangle on the table.
  r.height = std::min(r.height, kTableRows - r.top);
  r.width = std::min(r.width, kMapCols - r.left);
  if (r.top < 1 || r.left < 0 || r.Empty()) return {};
  return r;
}

int CylinderPlanes() {
  return std::min(CylinderCount(), MapPlanes(1));
}

ValueDialogSetup PrepareValueDialog(ValueMode requested, const CellRect& selection) {
  ValueDialogSetup s;
  MapShape shape;
  CurrentShape(&shape);
  s.copyAvailable = shape.id == 1 && !SingleMatrixFlag() && CylinderCount() >= 2;
  s.mode = requested == ValueMode::Copy && !s.copyAvailable ? ValueMode::PercAdd : requested;
  s.toggleLabel = shape.id == 1 ? "All Cylinders" : "";
  s.step = 1.0 / (shape.scaleZ > 0 ? shape.scaleZ : 1.0);
  const bool tenths = shape.id == 2 || shape.id == 4;
  switch (s.mode) {
    case ValueMode::Set:
    case ValueMode::Interp:
    case ValueMode::InterpRow:
    case ValueMode::InterpCol: {
      static const double kSetMax[6] = {0, 10.0, 90.0, 2.0, 90.0, 32.0};
      const int id = shape.id >= 1 && shape.id <= 5 ? shape.id : 1;
      s.min = tenths ? -90.0 : 0.0;
      s.max = kSetMax[id];
      s.decimals = tenths ? 1 : 3;
      s.start = selection.Empty() ? 0.0 : TableValue(selection.top, selection.left);
      s.label = GetCurMapUnitCaption();
      break;
    }
    case ValueMode::Add: {
      static const double kAddMax[6] = {0, 5.0, 30.0, 2.0, 30.0, 2.0};
      const int id = shape.id >= 1 && shape.id <= 5 ? shape.id : 1;
      s.max = kAddMax[id];
      s.min = -s.max;
      s.decimals = tenths ? 1 : 3;
      s.start = 0;
      s.label = GetCurMapUnitCaption();
      break;
    }
    default:
      s.min = -100.0;
      s.max = 100.0;
      s.decimals = 1;
      s.start = 0;
      s.label = "[%]";
      break;
  }
  s.numberDimmed = s.mode == ValueMode::Interp || s.mode == ValueMode::InterpRow ||
                   s.mode == ValueMode::InterpCol || s.mode == ValueMode::Reset || s.mode == ValueMode::Copy;
  s.interpEnabled = selection.width >= 3 && selection.height >= 3;
  s.interpRowEnabled = selection.width >= 3;
  s.interpColEnabled = selection.height >= 3;
  return s;
}

double QuantiseDialogValue(ValueMode mode, double v) {
  MapShape shape;
  if (!CurrentShape(&shape)) return v;
  return Quantise(v, mode == ValueMode::PercAdd ? 10.0 : shape.scaleZ);
}

std::vector<double> PreviewValues(ValueMode mode, double v, const CellRect& selection) {
  std::vector<double> out;
  Views views;
  if (selection.Empty() || !CurrentViews(&views)) return out;
  if (mode != ValueMode::Set && mode != ValueMode::Add && mode != ValueMode::PercAdd) return out;
  const MapShape& s = views.shape;
  v = QuantiseDialogValue(mode, v);
  const double m = 1.0 + v / 100.0;
  for (int row = selection.top; row <= selection.Bottom(); ++row) {
    for (int col = selection.left; col <= selection.Right(); ++col) {
      const double c = views.z.Get((row - 1) * kMapCols + col);
      double d =
          mode == ValueMode::Set ? v : (mode == ValueMode::PercAdd ? c * m / s.scaleZ : c / s.scaleZ + v);
      out.push_back(Clamp(d, s.minZ, s.maxZ));
    }
  }
  return out;
}

uint8_t ApplyValue(ValueMode mode, double v, const CellRect& selection, bool allCylinders) {
  Views views;
  if (!CurrentViews(&views) || std::isnan(v)) return 0;
  if (mode != ValueMode::Set && mode != ValueMode::Add && mode != ValueMode::PercAdd) return 0;
  if (selection.Empty() || selection.top < 1 || selection.Bottom() >= kTableRows || selection.left < 0 ||
      selection.Right() >= kMapCols)
    return 0;
  const MapShape& s = views.shape;
  v = QuantiseDialogValue(mode, v);
  const double m = 1.0 + v / 100.0;
  std::vector<CellArray> planes;
  if (s.id == 1 && allCylinders && CylinderPlanes() >= 2) {
    for (int p = 0; p < CylinderPlanes(); ++p) planes.push_back(Map1Plane(p));
  } else {
    planes.push_back(views.z);
  }
  for (const CellArray& z : planes) {
    for (int row = selection.top; row <= selection.Bottom(); ++row) {
      for (int col = selection.left; col <= selection.Right(); ++col) {
        const int i = (row - 1) * kMapCols + col;
        const double c = z.Get(i);
        double r =
            mode == ValueMode::Set ? s.scaleZ * v : (mode == ValueMode::PercAdd ? c * m : c + s.scaleZ * v);
        r = Clamp(r, s.scaleZ * s.minZ, s.scaleZ * s.maxZ);
        z.Set(i, RawFromDisplay(r, 1.0));
      }
    }
  }
  return GatherMapBlock(false);
}

namespace {

// Linear interpolation of the inner values of v between its ends along positions p;
// equal end positions give every value the mean of the two ends.
void InterpolateLine(std::vector<double>& v, const std::vector<double>& p) {
  const size_t n = v.size();
  if (n < 3) return;
  if (p[0] == p[n - 1]) {
    const double mean = (v[0] + v[n - 1]) / 2.0;
    for (double& x : v) x = mean;
    return;
  }
  for (size_t k = 1; k + 1 < n; ++k) v[k] = v[0] + (p[k] - p[0]) * (v[n - 1] - v[0]) / (p[n - 1] - p[0]);
}

}  // namespace

uint8_t InterpolateSelection(ValueMode mode, const CellRect& selection) {
  Views views;
  if (!CurrentViews(&views)) return 0;
  if (selection.Empty() || selection.top < 1 || selection.Bottom() >= kTableRows || selection.left < 0 ||
      selection.Right() >= kMapCols)
    return 0;
  const int h = selection.height, w = selection.width;
  if (mode == ValueMode::Interp && w < 3) mode = h >= 3 ? ValueMode::InterpCol : ValueMode::Set;
  if (mode == ValueMode::Interp && h < 3) mode = ValueMode::InterpRow;
  if (mode == ValueMode::InterpRow && w < 3) return 1;
  if (mode == ValueMode::InterpCol && h < 3) return 1;
  if (mode != ValueMode::Interp && mode != ValueMode::InterpRow && mode != ValueMode::InterpCol) return 1;

  // The selected values and breakpoints as the tables show them.
  std::vector<std::vector<double>> cells(h, std::vector<double>(w));
  std::vector<double> xs(w), ys(h);
  for (int k = 0; k < w; ++k) xs[k] = TableValue(0, selection.left + k);
  for (int j = 0; j < h; ++j) {
    ys[j] = YValue(selection.top - 1 + j);
    for (int k = 0; k < w; ++k) cells[j][k] = TableValue(selection.top + j, selection.left + k);
  }
  auto column = [&](int k) {
    std::vector<double> v(h);
    for (int j = 0; j < h; ++j) v[j] = cells[j][k];
    InterpolateLine(v, ys);
    for (int j = 0; j < h; ++j) cells[j][k] = v[j];
  };
  if (mode == ValueMode::InterpCol) {
    for (int k = 0; k < w; ++k) column(k);
  } else {
    if (mode == ValueMode::Interp) {
      column(0);
      column(w - 1);
    }
    for (int j = 0; j < h; ++j) InterpolateLine(cells[j], xs);
  }
  for (int j = 0; j < h; ++j)
    for (int k = 0; k < w; ++k) StoreTableValue(selection.top + j, selection.left + k, cells[j][k]);
  return GatherMapBlock(false);
}

uint8_t RestoreSelection(const CellRect& selection) {
  if (selection.Empty()) return 0;
  for (int row = selection.top; row <= selection.Bottom(); ++row)
    for (int col = selection.left; col <= selection.Right(); ++col)
      if (!SetCurMap(col, row - 1, 0, 0, 1, 0, 0, 0)) return 0;
  return GatherMapBlock(false);
}

uint8_t CopyToAllCylinders(const CellRect& selection) {
  Views views;
  if (!CurrentViews(&views) || views.shape.id != 1 || selection.Empty()) return 0;
  if (selection.top < 1 || selection.Bottom() >= kTableRows || selection.left < 0 ||
      selection.Right() >= kMapCols)
    return 0;
  for (int p = 0; p < CylinderPlanes(); ++p) {
    const CellArray z = Map1Plane(p);
    for (int row = selection.top; row <= selection.Bottom(); ++row)
      for (int col = selection.left; col <= selection.Right(); ++col) {
        const int i = (row - 1) * kMapCols + col;
        z.Set(i, views.z.Get(i));
      }
  }
  return GatherMapBlock(false);
}

// ---- Edit history ----

bool EditHistory::PendingChanged() const {
  return pending_ && std::memcmp(pending_->bytes.data(), ecu::ecuMapData, ecu::kMapSize) != 0;
}

void EditHistory::Begin(const Place& where) {
  Flush();
  pending_.emplace();
  std::memcpy(pending_->bytes.data(), ecu::ecuMapData, ecu::kMapSize);
  pending_->where = where;
}

void EditHistory::Flush() {
  if (PendingChanged()) {
    std::memcpy(pending_->after.data(), ecu::ecuMapData, ecu::kMapSize);
    undo_.push_back(*pending_);
    redo_.clear();
    while (undo_.size() > capacity_) undo_.pop_front();
  }
  pending_.reset();
}

// Only the bytes that the step itself changed are put back (or forward): a change made
// meanwhile by another editor of the same block, outside this history, stays.
bool EditHistory::Undo(Place* where) {
  Flush();
  if (undo_.empty()) return false;
  const Step& step = undo_.back();
  for (size_t i = 0; i < ecu::kMapSize; ++i)
    if (step.bytes[i] != step.after[i]) ecu::ecuMapData[i] = step.bytes[i];
  if (where) *where = step.where;
  redo_.push_back(step);
  undo_.pop_back();
  return true;
}

bool EditHistory::Redo(Place* where) {
  Flush();
  if (redo_.empty()) return false;
  const Step& step = redo_.back();
  for (size_t i = 0; i < ecu::kMapSize; ++i)
    if (step.bytes[i] != step.after[i]) ecu::ecuMapData[i] = step.after[i];
  if (where) *where = step.where;
  undo_.push_back(step);
  redo_.pop_back();
  return true;
}

void EditHistory::Clear() {
  undo_.clear();
  redo_.clear();
  pending_.reset();
}

bool EditHistory::CanUndo() const {
  return !undo_.empty() || PendingChanged();
}

size_t EditHistory::UndoSteps() const {
  return std::min(undo_.size() + (PendingChanged() ? 1 : 0), capacity_);
}

// ---- Clipboard ----

std::string CopyTableText(const CellRect& selection) {
  std::string out;
  if (selection.Empty()) return out;
  for (int row = selection.top; row <= selection.Bottom(); ++row) {
    for (int col = selection.left; col <= selection.Right(); ++col) {
      if (col > selection.left) out += '\t';
      out += Format(TableValue(row, col), TablePrecision(row));
    }
    out += '\n';
  }
  return out;
}

std::string CopyYText(int top, int height) {
  std::string out;
  MapShape s;
  if (!CurrentShape(&s)) return out;
  for (int row = std::max(top, 0); row < std::min(top + height, kMapRows); ++row)
    out += Format(YValue(row), s.precY) + '\n';
  return out;
}

namespace {

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\r' || s[b] == '"')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\r' || s[e - 1] == '"')) --e;
  return s.substr(b, e - b);
}

// The block as rows of cells; false with a message when it is not one.
bool SplitBlock(const std::string& text, std::vector<std::vector<std::string>>* rows, std::string* message) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  while (!lines.empty() && Trim(lines.back()).empty()) lines.pop_back();
  if (lines.empty()) {
    *message = "Nothing pasted: the clipboard holds no values.";
    return false;
  }
  for (const std::string& line : lines) {
    std::vector<std::string> cells;
    size_t from = 0;
    while (true) {
      const size_t tab = line.find('\t', from);
      cells.push_back(Trim(line.substr(from, tab == std::string::npos ? std::string::npos : tab - from)));
      if (tab == std::string::npos) break;
      from = tab + 1;
    }
    rows->push_back(cells);
  }
  const size_t width = rows->front().size();
  for (const auto& r : *rows) {
    if (r.size() != width) {
      *message = "Nothing pasted: the rows of the copied block have different lengths.";
      return false;
    }
  }
  return true;
}

// A number as spreadsheets write it: a decimal point, or a single decimal comma.
bool ParseNumber(const std::string& s, double* value) {
  return com::ParseDecimal(s, value);
}

std::string Position(size_t row, size_t col) {
  return "row " + std::to_string(row + 1) + ", column " + std::to_string(col + 1) + " of the copied block";
}

std::string LimitText(double lo, double hi) {
  return Format(lo, lo == std::trunc(lo) ? 0 : 3) + " to " + Format(hi, hi == std::trunc(hi) ? 0 : 3);
}

std::string Count(int rows, int cols) {
  return std::to_string(rows) + (rows == 1 ? " row x " : " rows x ") + std::to_string(cols) +
         (cols == 1 ? " column" : " columns");
}

}  // namespace

PasteResult PasteTableText(const std::string& text, int row, int col) {
  PasteResult result;
  std::vector<std::vector<std::string>> cells;
  MapShape shape;
  if (!ValidTableCell(row, col) || !CurrentShape(&shape)) {
    result.message = "Nothing pasted: no cell is active.";
    return result;
  }
  if (!SplitBlock(text, &cells, &result.message)) return result;
  const int rows = static_cast<int>(cells.size()), cols = static_cast<int>(cells.front().size());
  result.rows = rows;
  result.cols = cols;
  if (row + rows > kTableRows || col + cols > kMapCols) {
    result.message = "Nothing pasted: a block of " + Count(rows, cols) + " does not fit here (" +
                     Count(kTableRows - row, kMapCols - col) + " fit from this cell).";
    return result;
  }
  std::vector<double> values;
  for (int j = 0; j < rows; ++j) {
    double lo, hi;
    TableLimits(row + j, &lo, &hi);
    for (int k = 0; k < cols; ++k) {
      double v;
      if (!ParseNumber(cells[j][k], &v)) {
        result.message = "Nothing pasted: \"" + cells[j][k] + "\" (" + Position(j, k) + ") is not a number.";
        return result;
      }
      if (v < lo || v > hi) {
        result.message = "Nothing pasted: " + cells[j][k] + " (" + Position(j, k) + ") is outside " +
                         LimitText(lo, hi) + (row + j == 0 ? " (X axis)." : ".");
        return result;
      }
      values.push_back(v);
    }
  }
  for (int j = 0; j < rows; ++j)
    for (int k = 0; k < cols; ++k) StoreTableValue(row + j, col + k, values[j * cols + k]);
  GatherMapBlock(false);
  result.ok = true;
  result.message = "Pasted " + Count(rows, cols) + ".";
  return result;
}

PasteResult PasteYText(const std::string& text, int row) {
  PasteResult result;
  MapShape shape;
  if (row < 0 || row >= kMapRows || !CurrentShape(&shape)) {
    result.message = "Nothing pasted: no cell is active.";
    return result;
  }
  if (!shape.yEditable) {
    result.message = "Nothing pasted: the throttle axis of this map is fixed.";
    return result;
  }
  std::vector<std::vector<std::string>> cells;
  if (!SplitBlock(text, &cells, &result.message)) return result;
  const int rows = static_cast<int>(cells.size()), cols = static_cast<int>(cells.front().size());
  result.rows = rows;
  result.cols = cols;
  if (cols != 1 || row + rows > kMapRows) {
    result.message = "Nothing pasted: a block of " + Count(rows, cols) + " does not fit here (" +
                     Count(kMapRows - row, 1) + " fit from this cell).";
    return result;
  }
  std::vector<double> values;
  for (int j = 0; j < rows; ++j) {
    double v;
    if (!ParseNumber(cells[j][0], &v)) {
      result.message = "Nothing pasted: \"" + cells[j][0] + "\" (" + Position(j, 0) + ") is not a number.";
      return result;
    }
    if (v < shape.minY || v > shape.maxY) {
      result.message = "Nothing pasted: " + cells[j][0] + " (" + Position(j, 0) + ") is outside " +
                       LimitText(shape.minY, shape.maxY) + ".";
      return result;
    }
    values.push_back(v);
  }
  for (int j = 0; j < rows; ++j) StoreYValue(row + j, values[j]);
  GatherMapBlock(false);
  result.ok = true;
  result.message = "Pasted " + Count(rows, 1) + ".";
  return result;
}

PasteResult PasteBlock(const std::string& text, int row, int col, int tableRows, int tableCols,
                       const std::function<bool(int, int, double*, double*)>& limits,
                       const std::function<void(int, int, double)>& store) {
  PasteResult result;
  std::vector<std::vector<std::string>> cells;
  if (row < 0 || col < 0 || row >= tableRows || col >= tableCols) {
    result.message = "Nothing pasted: no cell is active.";
    return result;
  }
  if (!SplitBlock(text, &cells, &result.message)) return result;
  const int rows = static_cast<int>(cells.size()), cols = static_cast<int>(cells.front().size());
  result.rows = rows;
  result.cols = cols;
  if (row + rows > tableRows || col + cols > tableCols) {
    result.message = "Nothing pasted: a block of " + Count(rows, cols) + " does not fit here (" +
                     Count(tableRows - row, tableCols - col) + " fit from this cell).";
    return result;
  }
  std::vector<double> values;
  for (int j = 0; j < rows; ++j)
    for (int k = 0; k < cols; ++k) {
      double lo = 0, hi = 0, v = 0;
      if (!limits(row + j, col + k, &lo, &hi)) {
        result.message = "Nothing pasted: " + Position(j, k) + " falls on a cell that takes no value.";
        return result;
      }
      if (!ParseNumber(cells[j][k], &v)) {
        result.message = "Nothing pasted: \"" + cells[j][k] + "\" (" + Position(j, k) + ") is not a number.";
        return result;
      }
      if (v < lo || v > hi) {
        result.message = "Nothing pasted: " + cells[j][k] + " (" + Position(j, k) + ") is outside " +
                         LimitText(lo, hi) + ".";
        return result;
      }
      values.push_back(v);
    }
  for (int j = 0; j < rows; ++j)
    for (int k = 0; k < cols; ++k) store(row + j, col + k, values[j * cols + k]);
  result.ok = true;
  result.message = "Pasted " + Count(rows, cols) + ".";
  return result;
}

std::string CopyBlockText(const CellRect& selection, const std::function<double(int, int)>& value,
                          const std::function<int(int, int)>& precision) {
  std::string out;
  if (selection.Empty()) return out;
  for (int row = selection.top; row <= selection.Bottom(); ++row) {
    for (int col = selection.left; col <= selection.Right(); ++col) {
      if (col > selection.left) out += '\t';
      out += Format(value(row, col), precision(row, col));
    }
    out += '\n';
  }
  return out;
}

}  // namespace maps
