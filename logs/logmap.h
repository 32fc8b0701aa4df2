// A log laid onto a map: each record in the cell of the breakpoints nearest to the
// map's own quantities, the filters that choose the records worth looking at, and the
// proposal of a corrected injection map from the wideband readings.
//
// The window's map view and kestra-cli log bin|propose both call these, so every rule
// (nearest breakpoint, ties, filters, delay, minimum, rounding, limits) is one.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "logs/logcsv.h"
#include "maps/map1.h"

namespace logs {

// Index of the breakpoint nearest to `value`; of two equally near, the lower index.
int NearestBreakpoint(const double* breakpoints, int count, double value);

// The log channels that stand for map `id`'s X and Y quantities: rpm and farf for maps
// 1 and 2, velWheel and farf for maps 3 and 4, revs and the engine temperature (th2o,
// or toil when the bike measures oil temperature) for map 5. Empty for another id.
struct MapQuantities {
  std::string x, y;
};
MapQuantities QuantitiesOf(int id, bool tempIsOil);

// Which records count. The first three are on by default; the ranges (engine speed and
// throttle, inclusive) are off until set.
struct Filters {
  bool engineRunning = true;   // isEngineOn = 1, isCranking = 0, isCutOff = 0
  bool warm = true;            // engine temperature at least 60 degrees
  bool steadyThrottle = true;  // |farf(t) - farf(t - 0.1 s)| <= 2.0
  bool tempIsOil = false;      // the warm filter reads toil instead of th2o
  bool rpmRange = false;
  double rpmMin = 0, rpmMax = 0;
  bool farfRange = false;
  double farfMin = 0, farfMax = 0;
};
inline constexpr double kWarmDegrees = 60.0;
inline constexpr double kSteadySeconds = 0.1;
inline constexpr double kSteadyStep = 2.0;

// One flag per record: 1 when it passes every filter that is on. False with a message
// when a channel that a filter needs is not in the log.
bool ApplyFilters(const Log& log, const Filters& filters, std::vector<uint8_t>* pass, std::string* error);

// The axes of map `id` (plane 0) of a map block, in display units.
struct MapAxes {
  std::array<double, maps::kMapCols> x{};
  std::array<double, maps::kMapRows> y{};
};
bool ReadMapAxes(const uint8_t* block, int id, MapAxes* axes);

// The cell of each record (row * 32 + column), or -1 where the record does not pass
// or its X or Y quantity is a gap.
struct Binning {
  std::vector<int16_t> cell;
  std::array<uint32_t, maps::kMapCells> count{};
};
bool BinLog(const Log& log, int id, const MapAxes& axes, const Filters& filters, Binning* binning,
            std::string* error);
// Mean of a channel per cell over the binned records (gaps left out); NaN where none.
std::array<double, maps::kMapCells> CellMeans(const Binning& binning, const Column& channel);

// The proposal for one cylinder plane of map 1.
struct ProposalOptions {
  int cylinder = 0;  // 0 or 1
  double targetAfr = 13.2;
  // Target air-fuel ratio per cell (row-major, 640 values); empty: targetAfr everywhere.
  std::vector<double> targetTable;
  double delaySeconds = 0.1;
  uint32_t minRecords = 20;
  Filters filters;
};
inline constexpr int16_t kInjectionRawMax = 32000;

struct Proposal {
  std::string lambdaChannel;  // the wideband channel read
  std::array<int16_t, maps::kMapCells> before{}, after{};
  std::array<uint32_t, maps::kMapCells> count{};  // filtered records with a reading
  std::array<double, maps::kMapCells> ratio{};    // mean(reading / target); NaN where none
  int changed = 0;                                // cells whose value changes
};

// The wideband channel of a cylinder: lambdaCan1 for 0; lambdaCan2 for 1 unless the
// log lacks it or it is zero (or a gap) throughout, then lambdaCan1. Empty when the log
// has neither.
std::string LambdaChannel(const Log& log, int cylinder);

// Each record's reading taken `delay` later: the index of the first record at or
// after t + delay, or -1 when the log ends before.
std::vector<int32_t> DelayedIndex(const std::vector<double>& time, double delay);

// old x mean(reading / target) for the cells with at least minRecords records, rounded
// to the raw unit (halves away from zero) and held to 0..32000; other cells keep their
// value. False with a message for a log or options it cannot use.
bool ProposeInjection(const Log& log, const uint8_t* block, const ProposalOptions& options,
                      Proposal* proposal, std::string* error);
// Writes the proposed cells into the map block (both planes when the single-matrix flag
// is set). Only cells the proposal changes are written, and only where the block still
// holds the value the proposal started from: an edit made since is kept. Returns the
// cells written; *kept (when given) gets the cells left because they were edited since.
int ApplyProposal(const Proposal& proposal, int cylinder, uint8_t* block, int* kept = nullptr);

// The bike of a map block measures oil temperature rather than water temperature
// (its capability flags), so the warm filter and map 5 read toil.
bool MappingTempIsOil(const uint8_t* block);

// A target table in map export's shape (the air-fuel ratio per cell of map 1, read as
// map 1's values) against the axes of `block`; 640 values row by row.
bool TargetTableFromCsv(const std::string& text, const uint8_t* block, size_t blockSize,
                        std::vector<double>* table, std::string* error);

// Nearest integer, halves away from zero.
double RoundHalfAway(double value);

}  // namespace logs
