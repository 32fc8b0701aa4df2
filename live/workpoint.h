// Where the engine runs on a map: the cell nearest to the working point in the map's
// own quantities (maps 1 and 2: rpm and throttle; 3 and 4: wheel speed and throttle;
// 5: revolutions and engine temperature; the user correction maps: rpm and throttle),
// and the trail of the cells of the last two seconds. Plain C++ over the live record
// and the map block; the editors, their graphs and the gauge strip show what it says.
//
// The nearest breakpoint and the map's quantities are those of the log's map view
// (logs/logmap), so a cell marked live is the cell a log of the same run bins into.
#pragma once
#include <cstdint>
#include <deque>
#include <string_view>
#include <vector>

#include "live/liverecord.h"
#include "maps/corredit.h"

namespace live {

// A map cell: row = index on the Y axis, col = index on the X axis, counted from 0.
struct WorkCell {
  int row = -1, col = -1;
  bool Valid() const { return row >= 0 && col >= 0; }
  bool operator==(const WorkCell&) const = default;
};

// The shown value of a live record field named by its datalog column ("rpm", "farf",
// "velWheel"); false when the record has no such field.
bool ChannelValue(const LiveData& record, std::string_view column, double* value);

// The working point's cell on map `id` (1 to 5, its plane 0 axes) of a map block; an
// invalid cell for another id. `tempIsOil`: map 5 reads the oil temperature.
WorkCell MapWorkCell(const uint8_t* block, int id, const LiveData& record, bool tempIsOil);

// The working point's cell on a user correction map (8 x 16: rpm and throttle).
WorkCell UserMapWorkCell(const maps::CorrUserMap& user, const uint8_t* block, const LiveData& record);

// The cells the working point passed through in the last kSeconds: the current cell
// and the trail behind it, each with the time since the point was last in it.
class WorkTrail {
 public:
  static constexpr double kSeconds = 2.0;

  struct Mark {
    WorkCell cell;
    double age = 0;  // seconds since the working point was last in the cell
  };

  // The working point is in `cell` at time `t` (seconds, non-decreasing).
  void Add(const WorkCell& cell, double t);
  // Each cell once, youngest first (the first one is the current cell), none older
  // than kSeconds at `now`.
  std::vector<Mark> Marks(double now) const;
  void Clear() { visits_.clear(); }

 private:
  struct Visit {
    WorkCell cell;
    double last;  // time the point was last seen in the cell on this visit
  };
  std::deque<Visit> visits_;  // oldest first
};

}  // namespace live
