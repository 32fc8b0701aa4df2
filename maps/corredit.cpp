#include "maps/corredit.h"

#include <algorithm>
#include <cmath>

#include "ecudata/fieldkeep.h"
#include "link/bytes.h"

namespace maps {

namespace {

int16_t Get(const uint8_t* block, uint32_t offset, int i) {
  return static_cast<int16_t>(com::Get16LE(block + offset + 2 * i));
}
void Put(uint8_t* block, uint32_t offset, int i, int16_t v) {
  com::Put16LE(block + offset + 2 * i, static_cast<uint16_t>(v));
}
// A display value as the nearest raw value. Not held to the limits here: typed and pasted
// values already are. A value that reads as the block's value did (at the table's
// decimals) was not edited and keeps its raw value, however fine or far beyond the limits.
int16_t Store(double d, int16_t old, double scale, int decimals, double lo) {
  if (std::isnan(d)) d = lo;
  if (ecu::ShownUnedited(old / scale, d, decimals, -HUGE_VAL, HUGE_VAL)) return old;
  return RawFromDisplay(d, scale);
}
// A raw result held to scale times the limits, rounded half away from zero.
int16_t HoldRaw(double raw, double scale, double lo, double hi) {
  raw = std::clamp(raw, lo * scale, hi * scale);
  return RawFromDisplay(raw, 1.0);
}
uint32_t Cell(const CorrUserMap& u, int cyl, int r, int c) {
  return u.matrix[cyl] + static_cast<uint32_t>(2 * (r * kUserCols + c));
}

}  // namespace

bool CurveShown(const CorrCurve& curve, bool tempIsOil) {
  switch (curve.show) {
    case CurveShow::Water:
      return !tempIsOil;
    case CurveShow::Oil:
      return tempIsOil;
    default:
      return true;
  }
}

void InitCorrData(const CorrEditor& editor, uint8_t* block) {
  for (const CorrCurve& k : editor.curves)
    for (int i = 0; i < k.points; ++i) {
      Put(block, k.values, i, k.defaultValue);
      Put(block, k.axis, i, k.defaultAxis);
    }
  const CorrUserMap& u = editor.user;
  for (int i = 0; i < kUserCols; ++i) Put(block, u.xAxis, i, 0);
  for (int j = 0; j < kUserRows; ++j) Put(block, u.yAxis, j, 0);
  for (int cyl = 0; cyl < 2; ++cyl)
    for (int i = 0; i < kUserRows * kUserCols; ++i) Put(block, u.matrix[cyl], i, u.defaultValue);
}

CorrShown ShowCorr(const CorrEditor& editor, const uint8_t* block) {
  CorrShown s;
  for (const CorrCurve& k : editor.curves) {
    std::vector<double> axis(k.points), values(k.points);
    for (int i = 0; i < k.points; ++i) {
      axis[i] = Get(block, k.axis, i) / k.axisScale;
      values[i] = Get(block, k.values, i) / k.valueScale;
    }
    s.axis.push_back(std::move(axis));
    s.values.push_back(std::move(values));
  }
  const CorrUserMap& u = editor.user;
  for (int i = 0; i < kUserCols; ++i) s.x[i] = Get(block, u.xAxis, i) / u.xScale;
  for (int j = 0; j < kUserRows; ++j) s.y[j] = Get(block, u.yAxis, j) / u.yScale;
  for (int cyl = 0; cyl < 2; ++cyl)
    for (int i = 0; i < kUserRows * kUserCols; ++i)
      s.cells[cyl][i] = Get(block, u.matrix[cyl], i) / u.valueScale;
  return s;
}

uint8_t GatherCorr(const CorrEditor& editor, const CorrShown& shown, uint8_t* block, bool* repaired) {
  if (shown.axis.size() != editor.curves.size() || shown.values.size() != editor.curves.size()) return 0;
  for (size_t n = 0; n < editor.curves.size(); ++n)
    if (shown.axis[n].size() != size_t(editor.curves[n].points) ||
        shown.values[n].size() != size_t(editor.curves[n].points))
      return 0;
  // Only an axis the user edited is repaired; one that came falling stays as it came.
  bool changed = false;
  for (size_t n = 0; n < editor.curves.size(); ++n) {
    const CorrCurve& k = editor.curves[n];
    std::vector<int16_t> axis(k.points), values(k.points);
    bool edited = false;
    for (int i = 0; i < k.points; ++i) {
      const int16_t oldAxis = Get(block, k.axis, i);
      axis[i] = Store(shown.axis[n][i], oldAxis, k.axisScale, k.axisDecimals, k.axisMin);
      values[i] =
          Store(shown.values[n][i], Get(block, k.values, i), k.valueScale, k.valueDecimals, k.valueMin);
      edited = edited || axis[i] != oldAxis;
    }
    for (int i = 1; i < k.points && edited; ++i)
      if (axis[i] < axis[i - 1]) {
        axis[i] = axis[i - 1];
        values[i] = values[i - 1];
        changed = true;
      }
    for (int i = 0; i < k.points; ++i) {
      Put(block, k.axis, i, axis[i]);
      Put(block, k.values, i, values[i]);
    }
  }
  const CorrUserMap& u = editor.user;
  std::array<int16_t, kUserCols> x;
  std::array<int16_t, kUserRows> y;
  std::array<std::array<int16_t, kUserRows * kUserCols>, 2> m;
  bool xEdited = false, yEdited = false;
  for (int i = 0; i < kUserCols; ++i) {
    const int16_t old = Get(block, u.xAxis, i);
    x[i] = Store(shown.x[i], old, u.xScale, u.xDecimals, u.xMin);
    xEdited = xEdited || x[i] != old;
  }
  for (int j = 0; j < kUserRows; ++j) {
    const int16_t old = Get(block, u.yAxis, j);
    y[j] = Store(shown.y[j], old, u.yScale, u.yDecimals, u.yMin);
    yEdited = yEdited || y[j] != old;
  }
  for (int cyl = 0; cyl < 2; ++cyl)
    for (int i = 0; i < kUserRows * kUserCols; ++i)
      m[cyl][i] =
          Store(shown.cells[cyl][i], Get(block, u.matrix[cyl], i), u.valueScale, u.valueDecimals, u.valueMin);
  for (int i = 1; i < kUserCols && xEdited; ++i)
    if (x[i] < x[i - 1]) {
      x[i] = x[i - 1];
      for (auto& plane : m)
        for (int r = 0; r < kUserRows; ++r) plane[r * kUserCols + i] = plane[r * kUserCols + i - 1];
      changed = true;
    }
  for (int j = 1; j < kUserRows && yEdited; ++j)
    if (y[j] < y[j - 1]) {
      y[j] = y[j - 1];
      for (auto& plane : m)
        for (int c = 0; c < kUserCols; ++c) plane[j * kUserCols + c] = plane[(j - 1) * kUserCols + c];
      changed = true;
    }
  for (int i = 0; i < kUserCols; ++i) Put(block, u.xAxis, i, x[i]);
  for (int j = 0; j < kUserRows; ++j) Put(block, u.yAxis, j, y[j]);
  for (int cyl = 0; cyl < 2; ++cyl)
    for (int i = 0; i < kUserRows * kUserCols; ++i) Put(block, u.matrix[cyl], i, m[cyl][i]);
  if (repaired) *repaired = changed;
  return 1;
}

int16_t UserCell(const CorrEditor& editor, const uint8_t* block, int cyl, int r, int c) {
  if (cyl < 0 || cyl > 1 || r < 0 || r >= kUserRows || c < 0 || c >= kUserCols) return 0;
  return static_cast<int16_t>(com::Get16LE(block + Cell(editor.user, cyl, r, c)));
}

CellRect NormaliseUserSelection(const CellRect& selection, int activeRow, int activeCol) {
  CellRect s = selection;
  if (s.height <= 1 && s.width <= 1) s = {activeRow, activeCol, 1, 1};
  if (s.top == 0) {
    s.top = 1;
    --s.height;
  }
  if (s.left == 0) {
    s.left = 1;
    --s.width;
  }
  // Never beyond the table.
  s.height = std::min(s.height, kUserTableRows - s.top);
  s.width = std::min(s.width, kUserTableCols - s.left);
  if (s.top < 1 || s.left < 1 || s.Empty()) return {};
  return s;
}

CorrDialogSetup PrepareCorrDialog(const CorrEditor& editor, CorrMode mode, double first) {
  const CorrOption& o = editor.options[static_cast<int>(mode)];
  CorrDialogSetup d;
  d.min = o.min;
  d.max = o.max;
  d.decimals = o.decimals;
  d.label = o.label;
  d.step = mode == CorrMode::Perc ? 0.1 : 1.0 / editor.user.valueScale;
  d.start = mode == CorrMode::Set ? std::clamp(first, o.min, o.max) : 0.0;
  return d;
}

double QuantiseCorrValue(const CorrEditor& editor, CorrMode mode, double v) {
  return Quantise(v, mode == CorrMode::Perc ? 10.0 : editor.user.valueScale);
}

namespace {
bool ValidSelection(const CellRect& s, int cyl) {
  return cyl >= 0 && cyl < 2 && !s.Empty() && s.top >= 1 && s.left >= 1 && s.Bottom() < kUserTableRows &&
         s.Right() < kUserTableCols;
}
}  // namespace

std::vector<double> PreviewCorr(const CorrEditor& editor, const uint8_t* block, int cyl, CorrMode mode,
                                double v, const CellRect& selection) {
  std::vector<double> out;
  if (!ValidSelection(selection, cyl)) return out;
  const CorrUserMap& u = editor.user;
  v = QuantiseCorrValue(editor, mode, v);
  const double m = 1.0 + v / 100.0;
  for (int row = selection.top; row <= selection.Bottom(); ++row)
    for (int col = selection.left; col <= selection.Right(); ++col) {
      const double c = UserCell(editor, block, cyl, row - 1, col - 1);
      double d = mode == CorrMode::Set   ? v
                 : mode == CorrMode::Add ? c / u.valueScale + v
                                         : c * m / u.valueScale;
      out.push_back(std::clamp(d, u.valueMin, u.valueMax));
    }
  return out;
}

uint8_t ApplyCorr(const CorrEditor& editor, uint8_t* block, int cyl, CorrMode mode, double v,
                  const CellRect& selection) {
  if (!ValidSelection(selection, cyl) || std::isnan(v)) return 0;
  const CorrUserMap& u = editor.user;
  v = QuantiseCorrValue(editor, mode, v);
  const double m = 1.0 + v / 100.0;
  for (int row = selection.top; row <= selection.Bottom(); ++row)
    for (int col = selection.left; col <= selection.Right(); ++col) {
      const double c = UserCell(editor, block, cyl, row - 1, col - 1);
      const double raw = mode == CorrMode::Set   ? u.valueScale * v
                         : mode == CorrMode::Add ? c + u.valueScale * v
                                                 : c * m;
      com::Put16LE(block + Cell(u, cyl, row - 1, col - 1),
                   static_cast<uint16_t>(HoldRaw(raw, u.valueScale, u.valueMin, u.valueMax)));
    }
  return 1;
}

// ---- Clipboard ----

int CorrTableRows(const CorrEditor& editor, CorrTable table) {
  if (table.curve < 0) return kUserTableRows;
  return table.curve < int(editor.curves.size()) ? 2 : 0;
}

int CorrTableCols(const CorrEditor& editor, CorrTable table) {
  if (table.curve < 0) return kUserTableCols;
  return table.curve < int(editor.curves.size()) ? editor.curves[table.curve].points : 0;
}

bool CorrCellInfo(const CorrEditor& editor, CorrTable table, int row, int col, double* lo, double* hi,
                  int* decimals) {
  if (row < 0 || col < 0 || row >= CorrTableRows(editor, table) || col >= CorrTableCols(editor, table))
    return false;
  if (table.curve >= 0) {
    const CorrCurve& k = editor.curves[table.curve];
    *lo = row == 0 ? k.axisMin : k.valueMin;
    *hi = row == 0 ? k.axisMax : k.valueMax;
    *decimals = row == 0 ? k.axisDecimals : k.valueDecimals;
    return true;
  }
  const CorrUserMap& u = editor.user;
  if (table.cyl < 0 || table.cyl > 1 || (row == 0 && col == 0)) return false;
  if ((row == 0 || col == 0) && table.cyl != 0) return false;
  if (row == 0) {
    *lo = u.xMin, *hi = u.xMax, *decimals = u.xDecimals;
  } else if (col == 0) {
    *lo = u.yMin, *hi = u.yMax, *decimals = u.yDecimals;
  } else {
    *lo = u.valueMin, *hi = u.valueMax, *decimals = u.valueDecimals;
  }
  return true;
}

double* CorrCellRef(const CorrEditor& editor, CorrShown& shown, CorrTable table, int row, int col) {
  double lo, hi;
  int decimals;
  if (!CorrCellInfo(editor, table, row, col, &lo, &hi, &decimals)) return nullptr;
  if (table.curve >= 0) return row == 0 ? &shown.axis[table.curve][col] : &shown.values[table.curve][col];
  if (row == 0) return &shown.x[col - 1];
  if (col == 0) return &shown.y[row - 1];
  return &shown.cells[table.cyl][(row - 1) * kUserCols + col - 1];
}

std::string CopyCorrText(const CorrEditor& editor, const uint8_t* block, CorrTable table,
                         const CellRect& selection) {
  CorrShown shown = ShowCorr(editor, block);
  CellRect s = selection;
  s.height = std::min(s.height, CorrTableRows(editor, table) - s.top);
  s.width = std::min(s.width, CorrTableCols(editor, table) - s.left);
  if (s.top < 0 || s.left < 0) return {};
  // The axes of the cylinder 2 table show those of cylinder 1.
  const CorrTable values{table.curve, 0};
  return CopyBlockText(
      s,
      [&](int row, int col) {
        const CorrTable t = (table.curve < 0 && (row == 0 || col == 0)) ? values : table;
        const double* v = CorrCellRef(editor, shown, t, row, col);
        return v ? *v : 0.0;
      },
      [&](int row, int col) {
        double lo, hi;
        int decimals = 0;
        const CorrTable t = (table.curve < 0 && (row == 0 || col == 0)) ? values : table;
        CorrCellInfo(editor, t, row, col, &lo, &hi, &decimals);
        return decimals;
      });
}

PasteResult PasteCorrText(const CorrEditor& editor, uint8_t* block, CorrTable table, const std::string& text,
                          int row, int col) {
  CorrShown shown = ShowCorr(editor, block);
  PasteResult r = PasteBlock(
      text, row, col, CorrTableRows(editor, table), CorrTableCols(editor, table),
      [&](int rr, int cc, double* lo, double* hi) {
        int decimals;
        return CorrCellInfo(editor, table, rr, cc, lo, hi, &decimals);
      },
      [&](int rr, int cc, double v) { *CorrCellRef(editor, shown, table, rr, cc) = v; });
  if (r.ok && !GatherCorr(editor, shown, block)) {
    r.ok = false;
    r.message = "Nothing pasted.";
  }
  return r;
}

}  // namespace maps
