// Manual tuning: the live corrections sent as Adjust records, the freezes, the
// function keys of the tuning panel, direct edits of the shown map written row by
// row into the ECU (the '+'/'-' keys and the tuning value dialog), and the files of
// tuning settings (".mtp", the 200 settings bytes as held in memory).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "tuning/tunerecords.h"

namespace tuning {

// The correction controls: 0 NSj1TuneCor, 1 NSj2TuneCor, 2 NSaTuneCor.
enum Correction : int { kCorInj1 = 0, kCorInj2 = 1, kCorAdv = 2 };

// Limits of the correction controls.
inline constexpr double kFactorMin = 0.0, kFactorMax = 2.0;
inline constexpr double kAdvOffsetMin = -30.0, kAdvOffsetMax = 30.0;

// The steps the keys use: the step controls in the manual panel mode, fixed values in
// the auto mode.
struct TuneSteps {
  double inj1 = 0.01, inj2 = 0.01, adv = 0.5;
};
inline constexpr TuneSteps kDefaultSteps{};

// A correction control changed to `v` (only in state Manual): the Adjust record of
// that correction becomes pending.
void SetTuningAdjust(int correction, double v);
// The common correction switched on (with the value of NSj1TuneCor) or off.
void SelectCorrection(bool on, double j1Value);
// Both corrections back to neutral at once (factor 1000 for both cylinders, advance 0);
// skipped while a transfer runs (`busy`). 0 when an exchange failed.
uint8_t ResetTuningAdjust(bool busy);
// The pause toggle: the corrections reset, then the pause record pending.
uint8_t ManPause(bool on, bool busy);
void ManualFreeze(int correction);

// ---- Keys of the tuning panel ----

enum class TuneKey { F1, F2, F3, F4, F5, F6, F7, F8, F9, F10, F11, F12, PageUp, PageDown, Other };

struct KeyContext {
  bool manualMode = false;
  double j1 = 1.0, j2 = 1.0, adv = 0.0;  // the correction controls as read
  TuneSteps steps;
  int shownMap = kMapInj1;
};
struct KeyOutcome {
  bool consumed = false;
  bool showHelp = false;
  bool toggleScroll = false;
  int shownMap = kMapInj1;  // the map to show (PgUp / PgDown)
};
KeyOutcome TuneFunctionKey(TuneKey key, const KeyContext& context);
// The text of the help pop-up "Map Tuning - Help".
const char* TuneHelpText();

// The next or previous map of the table: injection 1, injection 2, advance.
int NextTuneMap(int map, bool up);

// ---- The shown map ----

bool IsInjectionMap(int map);
// Cell (row, col) of a tuning map in the working map block, in its own units
// (injection microseconds unsigned, advance tenths of a degree signed).
int32_t TuneCell(int map, int row, int col);
// Display value and scale of a map's cells: injection ms (1000), advance degrees (10).
double TuneCellScale(int map);
// Cell limits in display units: 0..32 ms, -720..720 degrees.
void TuneCellLimits(int map, double* lo, double* hi);
// A display value limited, scaled and rounded into the map's units.
uint16_t TuneCellRaw(int map, double display);

// Writes one map row into the ECU (command 30, address 3, area 6 or 7, row, cylinder).
// 1 when the ECU echoed the address.
uint8_t SendTuneMapRow(int map, int row, const uint16_t values[kTuneCols]);

// '+' / '-' on a map cell (map row, column): the new value written into the ECU's
// row; the working block waits for the ECU's cell list. A cylinder-2 map without a
// second cylinder does nothing (result 1).
uint8_t StepTuneCell(int map, int row, int col, bool plus, const TuneSteps& steps, bool commonCorrection);

// ---- The tuning value dialog ----

enum TuneOperation : int { kOpSet = 0, kOpAdd = 1, kOpPercent = 2 };

struct TuneDialogSetup {
  double min = 0, max = 0, step = 0.001, start = 0;
  int decimals = 3;
  std::string label;  // "[ms]", "[deg]" or "[%]"
  bool allVisible = false;
};
// Map rows r0..r1 and columns c0..c1 (map coordinates from 0).
struct TuneSelection {
  int r0 = 0, r1 = 0, c0 = 0, c1 = 0;
};
int DefaultTuneOperation(int map);  // percent on an injection map, add on the advance map
TuneDialogSetup PrepareTuneDialog(int map, int operation, const TuneSelection& selection);
double QuantiseTuneValue(int map, int operation, double v);
// The value a cell gets (display units, limited).
double TuneResult(int map, int operation, double v, double cellDisplay);
// The rows as they are sent: with `allCylinders` on an injection map, for every
// cylinder of the configuration (at most two), cylinder 1 first. Each entry is the map,
// the row and its 32 values.
struct TuneRow {
  int map = kMapInj1;
  int row = 0;
  uint16_t values[kTuneCols] = {};
};
std::vector<TuneRow> TuneDialogRows(int map, int operation, double v, const TuneSelection& selection,
                                    bool allCylinders);

// ---- Settings files ----

// Save dialog "Store map-tuning settings"; the 200 bytes written atomically. 1 also when
// the dialog is cancelled.
uint8_t StoreMtSettings();
// ask 0: the last settings file without a dialog (start-up; nothing when none is
// remembered). ask 1: load dialog "Load map-tuning settings". A file must hold exactly
// 200 bytes. 1 on success or a cancelled dialog.
uint8_t LoadMtSettings(bool ask);

}  // namespace tuning
