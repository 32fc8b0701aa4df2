#include "logs/rolling.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace logs {

RollingLog::RollingLog(std::vector<std::string> names, double keepSeconds) : keep_(keepSeconds) {
  log_.names = std::move(names);
  log_.channels.resize(log_.names.size());
  log_.stats.resize(log_.names.size());
  log_.timeName = "time_s";
}

void RollingLog::Clear() {
  log_.time.clear();
  for (Column& c : log_.channels) c.clear();
}

void RollingLog::Append(double time, const std::vector<float>& values) {
  if (!log_.time.empty()) time = std::max(time, log_.time.back());
  log_.time.push_back(time);
  for (size_t c = 0; c < log_.channels.size(); ++c)
    log_.channels[c].push_back(c < values.size() ? values[c] : std::numeric_limits<float>::quiet_NaN());
  // Drop the oldest once a tenth more than kept has gathered: one move per chunk.
  const double from = time - keep_;
  if (log_.time.front() < from - keep_ / 10) {
    const size_t drop =
        static_cast<size_t>(std::lower_bound(log_.time.begin(), log_.time.end(), from) - log_.time.begin());
    log_.time.erase(log_.time.begin(), log_.time.begin() + static_cast<std::ptrdiff_t>(drop));
    for (Column& c : log_.channels) c.erase(c.begin(), c.begin() + static_cast<std::ptrdiff_t>(drop));
  }
}

}  // namespace logs
