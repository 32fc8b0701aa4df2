// The editing model of the map editor: what its two tables show, how a typed or
// stepped value is stored, the gather rules (fixed throttle axis, axis repair,
// single-matrix copy), the cell-value dialog's operations (set, add, percentage,
// interpolations, restore, copy across cylinders), the edit history and the
// clipboard text. Plain C++ over the map block; the editor's widgets only show
// what these functions compute and pass on what the user asks.
//
// Table coordinates are those of the editor's matrix table, counted from 0:
// row 0 is the X axis (column c = breakpoint c), rows 1 to 20 are the map rows
// 0 to 19 (column c = cell (row - 1, c)). The Y-axis table has 20 rows, one per
// map row.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ecudata/image.h"
#include "maps/map1.h"

namespace maps {

inline constexpr int kTableRows = kMapRows + 1;  // X axis row + the map rows
inline constexpr int kNotesChars = 399;

// A rectangle of table cells.
struct CellRect {
  int top = 0, left = 0, height = 0, width = 0;
  bool Empty() const { return height < 1 || width < 1; }
  bool Contains(int row, int col) const {
    return row >= top && row < top + height && col >= left && col < left + width;
  }
  int Bottom() const { return top + height - 1; }
  int Right() const { return left + width - 1; }
  bool operator==(const CellRect&) const = default;
};

// The nearest raw value of a display value: halves away from zero, as typed entries
// are stored; the product is first snapped to a millionth, so that 1.2345 * 1000
// counts as the half it stands for. Saturates at the 16-bit range; NaN gives 0.
int16_t RawFromDisplay(double display, double scale);
// v rounded to a multiple of 1 / f, halves away from zero (same snapping).
double Quantise(double v, double f);

// The current map as the editor shows it.
struct MapShape {
  int id = 0, plane = 0;
  double scaleX = 1, scaleY = 10, scaleZ = 1;
  int precX = 0, precY = 1, precZ = 0;
  double minX = 0, maxX = 0, minY = 0, maxY = 0, minZ = 0, maxZ = 0;
  bool yEditable = false;  // only map 5 has its own Y axis
};
// False for an invalid selector.
bool CurrentShape(MapShape* shape);

// What the tables show (display units) and whether it differs from the reference copy.
// Out-of-range coordinates read 0 / false.
double TableValue(int row, int col);
bool TableDiffers(int row, int col);
double YValue(int row);
bool YDiffers(int row);
// Precision and limits of a matrix-table cell (row 0: the X axis) and of the Y table.
int TablePrecision(int row);
void TableLimits(int row, double* min, double* max);

// A value typed into a table cell, held to the cell's limits and stored as the nearest
// raw value (no further gather step). 0 for an invalid selector, coordinates or NaN.
uint8_t StoreTableValue(int row, int col, double display);
// The same for the Y table; on maps 1 to 4 the fixed throttle axis stays (returns 1).
uint8_t StoreYValue(int row, double display);

// The block-side steps of the editor's gather: the fixed throttle axis into maps 1 to 4
// (always), with checkAxes the repair of the current map's axes where they were edited
// (differ from the baseline below: a breakpoint below its predecessor takes its value
// and the predecessor's column or row of cells), and the single-matrix copy of
// cylinder 1 over cylinder 2 (the cells edited since the baseline). A checked gather
// makes the block the new baseline. Nothing else is written: what nobody edited keeps its bytes.
// `repaired` tells whether the repair changed anything. 0 for an invalid selector.
uint8_t GatherMapBlock(bool checkAxes, bool* repaired = nullptr);

// The notes text (UTF-8) and storing it (Windows-1252, at most 399 characters, the rest
// of the field zeroed). StoreNotes returns true when the block changed.
std::string NotesText();
bool StoreNotes(const std::string& utf8);

// The baseline of the gather rules: the map block as it came (the editor takes it when a
// block arrives: start-up, Load, Receive, Import, a tuning session's reading). What
// differs from it was edited. Without a baseline (DropMapBaseline) everything counts as
// edited.
void TakeMapBaseline();
void DropMapBaseline();
// Cylinder 1's matrix of map 1 over cylinder 2's (the user sets one matrix for both).
void AlignMatrixes();
// Bit 0 of the map block's flag byte: one matrix serves both cylinders of map 1.
bool SingleMatrixFlag();
void SetSingleMatrixFlag(bool on);
// Label of the cylinder button for plane `jcyl`: "Cyl. 2" for 1, else "Cyl. 1".
const char* CylinderLabel(int jcyl);

// Raw step of the "+" / "-" keys: 1, with Ctrl 10, with Alt 100 (Alt wins).
int KeyStep(bool ctrl, bool alt);
// Adds `delta` raw units to the map cell at table (row, col), held to the map's limits,
// then gathers with the axis check. Rows 1 to 20 only; elsewhere nothing happens and
// the result is 1.
uint8_t StepCell(int row, int col, int delta);

// ---- The cell-value dialog ----

enum class ValueMode { Set, Add, PercAdd, Interp, InterpRow, InterpCol, Reset, Copy };

ValueMode DefaultValueMode(int mapId);  // percentage on maps 1, 3, 5; add on 2, 4
// Steps 1 and 2 of opening the dialog: a selection of at most one cell becomes the
// active cell; a selection starting on the X axis row loses that row.
CellRect NormaliseSelection(const CellRect& selection, int activeRow, int activeCol);

// How the dialog looks for a mode and a selection (the number field, the dimmed
// controls, the labels).
struct ValueDialogSetup {
  ValueMode mode = ValueMode::PercAdd;  // copy where it is not available becomes percentage
  bool copyAvailable = false;           // the copy mode and "All Cylinders" are shown
  double min = 0, max = 0, step = 0.001, start = 0;
  int decimals = 3;
  std::string label;        // "[ms]", "[deg]", "K" or "[%]"
  std::string toggleLabel;  // "All Cylinders" on map 1
  bool numberDimmed = false;
  bool interpEnabled = false, interpRowEnabled = false, interpColEnabled = false;
};
ValueDialogSetup PrepareValueDialog(ValueMode requested, const CellRect& selection);

// The number as it is applied: a multiple of 1 / value scale in set and add mode, of
// 0.1 in percentage mode.
double QuantiseDialogValue(ValueMode mode, double v);
// The previewed display values of the selection, row by row (set, add, percentage);
// empty for the other modes or an invalid selector.
std::vector<double> PreviewValues(ValueMode mode, double v, const CellRect& selection);
// Apply of set, add or percentage; with allCylinders on map 1 every cylinder plane.
uint8_t ApplyValue(ValueMode mode, double v, const CellRect& selection, bool allCylinders);
// Row, column or full interpolation with their fall-backs by selection size.
uint8_t InterpolateSelection(ValueMode mode, const CellRect& selection);
// Every selected cell back from the reference copy.
uint8_t RestoreSelection(const CellRect& selection);
// Every selected cell of the current cylinder into the same cell of every cylinder (map 1).
uint8_t CopyToAllCylinders(const CellRect& selection);
// The planes that "All Cylinders" and copy reach: the cylinder count of the parameter
// block, but never more than the planes that exist.
int CylinderPlanes();

// ---- Edit history ----

// Snapshots of the whole map block taken before and after each edit: an undo puts back
// exactly the earlier bytes of what the step changed (and a redo its later ones), so the
// histories of two editors of the same block never undo each other's edits. Begin() is
// called before an edit; the snapshot becomes a step only when the block has changed by
// the next Begin, Undo, Redo or Flush, so edits that change nothing leave no step, and a
// drag that runs many small edits after one Begin is one step.
// Where an edit was made, so that undo can show it again.
struct EditPlace {
  uint8_t map = 1, cyl = 0;
  int row = 1, col = 0;  // active cell of the matrix table
};

class EditHistory {
 public:
  using Place = EditPlace;

  explicit EditHistory(size_t capacity = 256) : capacity_(capacity) {}

  void Begin(const Place& where);
  void Flush();
  // Restore the block before the last step (after the last undo); `where` gets its place.
  bool Undo(Place* where = nullptr);
  bool Redo(Place* where = nullptr);
  void Clear();
  bool CanUndo() const;
  bool CanRedo() const { return !redo_.empty() && !PendingChanged(); }
  size_t UndoSteps() const;
  size_t RedoSteps() const { return PendingChanged() ? 0 : redo_.size(); }
  size_t Capacity() const { return capacity_; }

 private:
  struct Step {
    std::array<uint8_t, ecu::kMapSize> bytes;  // before the edit
    std::array<uint8_t, ecu::kMapSize> after;  // after it (taken when the step is kept)
    Place where;
  };
  bool PendingChanged() const;

  size_t capacity_;
  std::deque<Step> undo_, redo_;
  std::optional<Step> pending_;
};

// ---- Clipboard ----

// Tab-separated text of a selection of the matrix table (X axis row included), display
// units with each value's precision, one line per row ending in '\n'.
std::string CopyTableText(const CellRect& selection);
// The same for rows of the Y table.
std::string CopyYText(int top, int height);

struct PasteResult {
  bool ok = false;
  int rows = 0, cols = 0;
  std::string message;  // for the status line
};
// Pastes a tab-separated block with its top left at table (row, col). The whole block
// is checked first (it must fit, every value must be a number within its cell's display
// limits); only then is every value stored as the nearest raw value and the block
// gathered (without the axis check). Nothing is written on refusal.
PasteResult PasteTableText(const std::string& text, int row, int col);
// The same into the Y table (one column); only map 5 has an editable Y axis.
PasteResult PasteYText(const std::string& text, int row);

// The same rules for any table of `tableRows` x `tableCols` cells: `limits` gives a cell's
// display limits (false: the cell takes no value), `store` writes one value. Nothing is
// stored unless the whole block fits and every value is a number within its limits.
PasteResult PasteBlock(const std::string& text, int row, int col, int tableRows, int tableCols,
                       const std::function<bool(int, int, double*, double*)>& limits,
                       const std::function<void(int, int, double)>& store);
// Tab-separated text of a selection of any table.
std::string CopyBlockText(const CellRect& selection, const std::function<double(int, int)>& value,
                          const std::function<int(int, int)>& precision);

}  // namespace maps
