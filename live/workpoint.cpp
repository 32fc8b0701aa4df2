#include "live/workpoint.h"

#include <array>

#include "logs/logmap.h"

namespace live {

bool ChannelValue(const LiveData& record, std::string_view column, double* value) {
  for (const LiveField& field : LiveFields()) {
    if (field.ColumnName() != column) continue;
    *value = ShownValue(record, field);
    return true;
  }
  return false;
}

WorkCell MapWorkCell(const uint8_t* block, int id, const LiveData& record, bool tempIsOil) {
  const logs::MapQuantities q = logs::QuantitiesOf(id, tempIsOil);
  logs::MapAxes axes;
  double x = 0, y = 0;
  if (q.x.empty() || !logs::ReadMapAxes(block, id, &axes) || !ChannelValue(record, q.x, &x) ||
      !ChannelValue(record, q.y, &y))
    return {};
  return {logs::NearestBreakpoint(axes.y.data(), maps::kMapRows, y),
          logs::NearestBreakpoint(axes.x.data(), maps::kMapCols, x)};
}

WorkCell UserMapWorkCell(const maps::CorrUserMap& user, const uint8_t* block, const LiveData& record) {
  double rpm = 0, farf = 0;
  if (!ChannelValue(record, "rpm", &rpm) || !ChannelValue(record, "farf", &farf)) return {};
  uint8_t* base = const_cast<uint8_t*>(block);  // CellArray reads through a mutable view
  const maps::CellArray xs{base + user.xAxis}, ys{base + user.yAxis};
  std::array<double, maps::kUserCols> x{};
  std::array<double, maps::kUserRows> y{};
  for (int i = 0; i < maps::kUserCols; ++i) x[static_cast<size_t>(i)] = xs.Get(i) / user.xScale;
  for (int i = 0; i < maps::kUserRows; ++i) y[static_cast<size_t>(i)] = ys.Get(i) / user.yScale;
  return {logs::NearestBreakpoint(y.data(), maps::kUserRows, farf),
          logs::NearestBreakpoint(x.data(), maps::kUserCols, rpm)};
}

void WorkTrail::Add(const WorkCell& cell, double t) {
  if (!visits_.empty() && visits_.back().cell == cell)
    visits_.back().last = t;
  else
    visits_.push_back({cell, t});
  while (!visits_.empty() && t - visits_.front().last > kSeconds) visits_.pop_front();
}

std::vector<WorkTrail::Mark> WorkTrail::Marks(double now) const {
  std::vector<Mark> marks;
  for (auto it = visits_.rbegin(); it != visits_.rend(); ++it) {
    const double age = now - it->last;
    if (age > kSeconds) break;
    if (!it->cell.Valid()) continue;
    bool seen = false;
    for (const Mark& m : marks) seen = seen || m.cell == it->cell;
    if (!seen) marks.push_back({it->cell, age});
  }
  return marks;
}

}  // namespace live
