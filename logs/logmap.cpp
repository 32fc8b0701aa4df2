#include "logs/logmap.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "config/bike.h"
#include "ecudata/image.h"
#include "link/bytes.h"
#include "maps/mapcsv.h"

namespace logs {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// Log times are written in milliseconds; comparisons of times allow for the binary
// fraction of a decimal millisecond.
constexpr double kTimeSlack = 1e-6;

const Column* Channel(const Log& log, const std::string& name) {
  const int i = log.Find(name);
  return i < 0 ? nullptr : &log.channels[static_cast<size_t>(i)];
}

std::string Missing(const std::string& channel, const char* need) {
  return "the log has no column " + channel + " (" + need + ")";
}

}  // namespace

double RoundHalfAway(double value) {
  return value < 0 ? std::ceil(value - 0.5) : std::floor(value + 0.5);
}

int NearestBreakpoint(const double* breakpoints, int count, double value) {
  int best = 0;
  double bestDistance = std::fabs(value - breakpoints[0]);
  for (int i = 1; i < count; ++i) {
    const double d = std::fabs(value - breakpoints[i]);
    if (d < bestDistance) {
      best = i;
      bestDistance = d;
    }
  }
  return best;
}

MapQuantities QuantitiesOf(int id, bool tempIsOil) {
  switch (id) {
    case 1:
    case 2:
      return {"rpm", "farf"};
    case 3:
    case 4:
      return {"velWheel", "farf"};
    case 5:
      return {"revs", tempIsOil ? "toil" : "th2o"};
    default:
      return {};
  }
}

bool ApplyFilters(const Log& log, const Filters& f, std::vector<uint8_t>* pass, std::string* error) {
  const size_t n = log.Records();
  pass->assign(n, 1);
  if (f.engineRunning) {
    const Column* on = Channel(log, "isEngineOn");
    const Column* cranking = Channel(log, "isCranking");
    const Column* cut = Channel(log, "isCutOff");
    for (const auto& [column, name] :
         {std::pair{on, "isEngineOn"}, std::pair{cranking, "isCranking"}, std::pair{cut, "isCutOff"}})
      if (column == nullptr) {
        *error = Missing(name, "the engine-running filter");
        return false;
      }
    for (size_t i = 0; i < n; ++i)
      if (!((*on)[i] == 1.0f && (*cranking)[i] == 0.0f && (*cut)[i] == 0.0f)) (*pass)[i] = 0;
  }
  if (f.warm) {
    const char* name = f.tempIsOil ? "toil" : "th2o";
    const Column* temp = Channel(log, name);
    if (temp == nullptr) {
      *error = Missing(name, "the engine-temperature filter");
      return false;
    }
    for (size_t i = 0; i < n; ++i)
      if (!((*temp)[i] >= kWarmDegrees)) (*pass)[i] = 0;
  }
  const Column* farf = Channel(log, "farf");
  if ((f.steadyThrottle || f.farfRange) && farf == nullptr) {
    *error = Missing("farf", "the throttle filters");
    return false;
  }
  if (f.steadyThrottle) {
    // j: the last record at or before t - 0.1 s (none for the log's first 0.1 s).
    size_t next = 0;
    for (size_t i = 0; i < n; ++i) {
      const double edge = log.time[i] - kSteadySeconds + kTimeSlack;
      while (next < n && log.time[next] <= edge) ++next;
      if (next == 0) {
        (*pass)[i] = 0;
        continue;
      }
      const float now = (*farf)[i], before = (*farf)[next - 1];
      if (!(std::fabs(static_cast<double>(now) - before) <= kSteadyStep)) (*pass)[i] = 0;
    }
  }
  if (f.farfRange)
    for (size_t i = 0; i < n; ++i)
      if (!((*farf)[i] >= f.farfMin && (*farf)[i] <= f.farfMax)) (*pass)[i] = 0;
  if (f.rpmRange) {
    const Column* rpm = Channel(log, "rpm");
    if (rpm == nullptr) {
      *error = Missing("rpm", "the engine-speed range");
      return false;
    }
    for (size_t i = 0; i < n; ++i)
      if (!((*rpm)[i] >= f.rpmMin && (*rpm)[i] <= f.rpmMax)) (*pass)[i] = 0;
  }
  return true;
}

bool ReadMapAxes(const uint8_t* block, int id, MapAxes* axes) {
  maps::MapPlace place;
  maps::MapUnits units;
  if (!maps::GetMapPlace(id, 0, &place) || !maps::GetMapUnits(id, &units)) return false;
  uint8_t* base = const_cast<uint8_t*>(block);  // CellArray reads through a mutable view
  const maps::CellArray x{base + place.xAxis}, y{base + place.yAxis};
  for (int i = 0; i < maps::kMapCols; ++i) axes->x[static_cast<size_t>(i)] = x.Get(i) / units.scaleX;
  for (int i = 0; i < maps::kMapRows; ++i) axes->y[static_cast<size_t>(i)] = y.Get(i) / units.scaleY;
  return true;
}

bool BinLog(const Log& log, int id, const MapAxes& axes, const Filters& filters, Binning* binning,
            std::string* error) {
  const MapQuantities q = QuantitiesOf(id, filters.tempIsOil);
  if (q.x.empty()) {
    *error = "no map " + std::to_string(id);
    return false;
  }
  const Column* xs = Channel(log, q.x);
  const Column* ys = Channel(log, q.y);
  if (xs == nullptr || ys == nullptr) {
    *error = Missing(xs == nullptr ? q.x : q.y, "an axis quantity of the map");
    return false;
  }
  std::vector<uint8_t> pass;
  if (!ApplyFilters(log, filters, &pass, error)) return false;
  const size_t n = log.Records();
  binning->cell.assign(n, -1);
  binning->count.fill(0);
  for (size_t i = 0; i < n; ++i) {
    if (!pass[i] || std::isnan((*xs)[i]) || std::isnan((*ys)[i])) continue;
    const int col = NearestBreakpoint(axes.x.data(), maps::kMapCols, (*xs)[i]);
    const int row = NearestBreakpoint(axes.y.data(), maps::kMapRows, (*ys)[i]);
    const int cell = row * maps::kMapCols + col;
    binning->cell[i] = static_cast<int16_t>(cell);
    ++binning->count[static_cast<size_t>(cell)];
  }
  return true;
}

std::array<double, maps::kMapCells> CellMeans(const Binning& binning, const Column& channel) {
  std::array<double, maps::kMapCells> sum{};
  std::array<uint32_t, maps::kMapCells> count{};
  for (size_t i = 0; i < binning.cell.size() && i < channel.size(); ++i) {
    const int cell = binning.cell[i];
    if (cell < 0 || std::isnan(channel[i])) continue;
    sum[static_cast<size_t>(cell)] += channel[i];
    ++count[static_cast<size_t>(cell)];
  }
  std::array<double, maps::kMapCells> mean;
  for (size_t c = 0; c < mean.size(); ++c) mean[c] = count[c] ? sum[c] / count[c] : kNaN;
  return mean;
}

std::string LambdaChannel(const Log& log, int cylinder) {
  if (cylinder == 1) {
    if (const Column* second = Channel(log, "lambdaCan2"))
      for (float v : *second)
        if (!std::isnan(v) && v != 0.0f) return "lambdaCan2";
  }
  return Channel(log, "lambdaCan1") ? "lambdaCan1" : "";
}

std::vector<int32_t> DelayedIndex(const std::vector<double>& time, double delay) {
  std::vector<int32_t> index(time.size(), -1);
  size_t j = 0;
  for (size_t i = 0; i < time.size(); ++i) {
    const double edge = time[i] + delay - kTimeSlack;
    if (j < i) j = i;
    while (j < time.size() && time[j] < edge) ++j;
    if (j == time.size()) break;
    index[i] = static_cast<int32_t>(j);
  }
  return index;
}

bool ProposeInjection(const Log& log, const uint8_t* block, const ProposalOptions& o, Proposal* p,
                      std::string* error) {
  if (o.cylinder != 0 && o.cylinder != 1) {
    *error = "the cylinder is 1 or 2";
    return false;
  }
  if (o.cylinder == 1 && (block[maps::kSingleMatrixOffset] & 1)) {
    *error = "the single-matrix flag is set: one matrix serves both cylinders; propose for cylinder 1";
    return false;
  }
  if (!(o.delaySeconds >= 0)) {
    *error = "the delay cannot be negative";
    return false;
  }
  if (!o.targetTable.empty() && o.targetTable.size() != maps::kMapCells) {
    *error = "the target table has " + std::to_string(o.targetTable.size()) + " cells, not 640";
    return false;
  }
  for (double t : o.targetTable.empty() ? std::vector<double>{o.targetAfr} : o.targetTable)
    if (!(t > 0) || !std::isfinite(t)) {
      *error = "a target air-fuel ratio must be above 0";
      return false;
    }
  *p = Proposal();
  p->lambdaChannel = LambdaChannel(log, o.cylinder);
  if (p->lambdaChannel.empty()) {
    *error = Missing("lambdaCan1", "the wideband reading");
    return false;
  }
  MapAxes axes;
  ReadMapAxes(block, 1, &axes);
  Binning binning;
  if (!BinLog(log, 1, axes, o.filters, &binning, error)) return false;
  const Column& reading = *Channel(log, p->lambdaChannel);
  const std::vector<int32_t> later = DelayedIndex(log.time, o.delaySeconds);

  std::array<double, maps::kMapCells> sum{};
  for (size_t i = 0; i < binning.cell.size(); ++i) {
    const int cell = binning.cell[i];
    if (cell < 0 || later[i] < 0) continue;
    const float r = reading[static_cast<size_t>(later[i])];
    // No reading yet (a gap, or the sensor's 0 while it warms up) says nothing of the mixture.
    if (!(r > 0)) continue;
    const size_t c = static_cast<size_t>(cell);
    sum[c] += r / (o.targetTable.empty() ? o.targetAfr : o.targetTable[c]);
    ++p->count[c];
  }
  maps::MapPlace place;
  maps::GetMapPlace(1, o.cylinder, &place);
  const maps::CellArray cells{const_cast<uint8_t*>(block) + place.matrix};
  for (size_t c = 0; c < maps::kMapCells; ++c) {
    const int16_t old = cells.Get(static_cast<int>(c));
    p->before[c] = p->after[c] = old;
    p->ratio[c] = p->count[c] ? sum[c] / p->count[c] : kNaN;
    if (p->count[c] == 0 || p->count[c] < o.minRecords) continue;
    const double value = std::clamp(RoundHalfAway(old * p->ratio[c]), 0.0, double{kInjectionRawMax});
    p->after[c] = static_cast<int16_t>(value);
    if (p->after[c] != old) ++p->changed;
  }
  return true;
}

int ApplyProposal(const Proposal& proposal, int cylinder, uint8_t* block, int* kept) {
  const bool single = block[maps::kSingleMatrixOffset] & 1;
  maps::MapPlace own;
  maps::GetMapPlace(1, cylinder, &own);
  const maps::CellArray ownCells{block + own.matrix};
  std::array<bool, maps::kMapCells> write{};
  int written = 0, left = 0;
  for (int c = 0; c < maps::kMapCells; ++c) {
    const auto i = static_cast<size_t>(c);
    if (proposal.after[i] == proposal.before[i]) continue;
    if (ownCells.Get(c) != proposal.before[i]) {
      ++left;
      continue;
    }
    write[i] = true;
    ++written;
  }
  for (int plane = 0; plane < maps::MapPlanes(1); ++plane) {
    if (plane != cylinder && !single) continue;
    maps::MapPlace place;
    maps::GetMapPlace(1, plane, &place);
    const maps::CellArray cells{block + place.matrix};
    for (int c = 0; c < maps::kMapCells; ++c)
      if (write[static_cast<size_t>(c)]) cells.Set(c, proposal.after[static_cast<size_t>(c)]);
  }
  if (kept) *kept = left;
  return written;
}

bool MappingTempIsOil(const uint8_t* block) {
  const uint8_t saved = config::fTempIsOil;
  config::fTempIsOil = 0;
  config::ConfigFlagBikeCode(com::Get32LE(block + ecu::kMapBikeOffset));
  const bool oil = config::fTempIsOil != 0;
  config::fTempIsOil = saved;
  return oil;
}

bool TargetTableFromCsv(const std::string& text, const uint8_t* block, size_t blockSize,
                        std::vector<double>* table, std::string* error) {
  std::vector<uint8_t> scratch(block, block + blockSize);
  scratch[maps::kSingleMatrixOffset] &= static_cast<uint8_t>(~1u);
  if (!maps::ImportMapCsv(text, scratch.data(), 1, 0, error)) return false;
  maps::MapPlace place;
  maps::GetMapPlace(1, 0, &place);
  const maps::CellArray cells{scratch.data() + place.matrix};
  table->resize(maps::kMapCells);
  for (int c = 0; c < maps::kMapCells; ++c) (*table)[static_cast<size_t>(c)] = cells.Get(c) / 1000.0;
  return true;
}

}  // namespace logs
