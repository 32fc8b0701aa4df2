// The editing model shared by the injection and the advance correction editors: four
// correction curves (air, water, oil temperature, barometric pressure; water and oil
// are alternatives), the injection phase curve of the injection editor, and a user
// correction map of 8 x 16 cells per cylinder with its own value dialog (set, add,
// percentage). Plain C++ over the map block; the pages only show what these
// functions compute.
//
// User-map table coordinates, counted from 0: row 0, columns 1 to 16 hold the X axis;
// column 0, rows 1 to 8 hold the Y axis; cell (r, c) is at row r + 1, column c + 1.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "maps/mapedit.h"

namespace maps {

inline constexpr int kUserCols = 16, kUserRows = 8;
inline constexpr int kUserTableRows = kUserRows + 1, kUserTableCols = kUserCols + 1;

// Which temperature curve a table is: shown always, only without or only with an oil
// temperature.
enum class CurveShow { Always, Water, Oil };

// A correction curve: `points` breakpoints at `axis`, as many values at `values`.
struct CorrCurve {
  const char* control;
  uint32_t values, axis;
  int points;
  double axisScale;
  int axisDecimals;
  double axisMin, axisMax;
  double valueScale;
  int valueDecimals;
  double valueMin, valueMax;
  int16_t defaultValue, defaultAxis;
  CurveShow show;
};

// The user correction map: X axis of 16, Y axis of 8, one 8 x 16 matrix per cylinder
// (row by row, X fastest).
struct CorrUserMap {
  const char* control[2];
  uint32_t matrix[2];
  uint32_t xAxis, yAxis;
  double xScale, xMin, xMax;
  double yScale, yMin, yMax;
  int xDecimals, yDecimals;
  double valueScale;
  int valueDecimals;
  double valueMin, valueMax;
  int16_t defaultValue;
};

enum class CorrMode { Set = 0, Add = 1, Perc = 2 };

// The number field of the value dialog for one option.
struct CorrOption {
  double min, max;
  int decimals;
  const char* label;
};

// One editor: its curves, its user map, its dialog options and titles.
struct CorrEditor {
  const char* title;      // "Injection" / "Advance"
  const char* editTitle;  // "Edit Injection" / "Edit Advance"
  std::vector<CorrCurve> curves;
  CorrUserMap user;
  std::array<CorrOption, 3> options;  // set, add, percentage
};

// True when the curve's table is shown for the given temperature kind.
bool CurveShown(const CorrCurve& curve, bool tempIsOil);

// Writes the default values and axes of every table into a map block.
void InitCorrData(const CorrEditor& editor, uint8_t* block);

// What the tables show, in display units (raw / scale).
struct CorrShown {
  std::vector<std::vector<double>> axis, values;  // per curve, in editor order
  std::array<double, kUserCols> x{};
  std::array<double, kUserRows> y{};
  std::array<std::array<double, kUserRows * kUserCols>, 2> cells{};  // per cylinder
};
CorrShown ShowCorr(const CorrEditor& editor, const uint8_t* block);

// Stores what the tables show into the block: each value as the nearest raw value (halves
// away from zero; the tables hold typed values to their limits, a value beyond them that
// came from a file is kept); then the axes are repaired
// (a breakpoint below its predecessor takes the predecessor's point and its value, on
// the user map its column or row in both cylinders' matrices). `repaired` tells whether
// the repair changed anything. 0 when the shown data does not fit the editor.
uint8_t GatherCorr(const CorrEditor& editor, const CorrShown& shown, uint8_t* block,
                   bool* repaired = nullptr);

// Raw cell (r, c) of a cylinder's user matrix; 0 outside the matrix.
int16_t UserCell(const CorrEditor& editor, const uint8_t* block, int cyl, int r, int c);

// Steps 1 and 2 of opening the value dialog, in user-map table coordinates: a selection
// of at most one cell becomes the active cell alone; a selection starting on the axis
// row or column starts one later and is one shorter. The result may be empty.
CellRect NormaliseUserSelection(const CellRect& selection, int activeRow, int activeCol);

// How the dialog's number field looks for an option; `first` is the display value of the
// first selected cell (the start value of the set option).
struct CorrDialogSetup {
  double min = 0, max = 0, step = 0, start = 0;
  int decimals = 0;
  std::string label;
};
CorrDialogSetup PrepareCorrDialog(const CorrEditor& editor, CorrMode mode, double first);

// The number as it is applied: a multiple of 1 / value scale in set and add, of 0.1 in
// percentage.
double QuantiseCorrValue(const CorrEditor& editor, CorrMode mode, double v);
// The previewed display values of the selection (user-map table coordinates), row by
// row, held to the value limits.
std::vector<double> PreviewCorr(const CorrEditor& editor, const uint8_t* block, int cyl, CorrMode mode,
                                double v, const CellRect& selection);
// Apply: the selected cells of the cylinder's matrix only, held to the limits, rounded
// half away from zero. 0 for a cylinder or selection outside the map.
uint8_t ApplyCorr(const CorrEditor& editor, uint8_t* block, int cyl, CorrMode mode, double v,
                  const CellRect& selection);

// ---- Clipboard ----

// A table of a page: curve `curve` (two rows: axis, values) or, with curve < 0, the user
// map table of cylinder `cyl` (user-map table coordinates).
struct CorrTable {
  int curve = -1;
  int cyl = 0;
};
int CorrTableRows(const CorrEditor& editor, CorrTable table);
int CorrTableCols(const CorrEditor& editor, CorrTable table);
// Limits and decimals of a table cell; false for the corner of a user map, for the axes
// on the cylinder 2 table (they are edited on cylinder 1) and outside the table.
bool CorrCellInfo(const CorrEditor& editor, CorrTable table, int row, int col, double* lo, double* hi,
                  int* decimals);
// The shown value of a table cell; nullptr where CorrCellInfo is false.
double* CorrCellRef(const CorrEditor& editor, CorrShown& shown, CorrTable table, int row, int col);

// Tab-separated text of a selection, display units with each cell's decimals.
std::string CopyCorrText(const CorrEditor& editor, const uint8_t* block, CorrTable table,
                         const CellRect& selection);
// Pastes a tab-separated block with its top left at (row, col), checked whole first
// (it must fit on cells that take values, every value a number within its limits);
// then the block is gathered with the axis repair. Nothing is written on refusal.
PasteResult PasteCorrText(const CorrEditor& editor, uint8_t* block, CorrTable table, const std::string& text,
                          int row, int col);

}  // namespace maps
