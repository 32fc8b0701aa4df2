// The working point on the maps (the cell nearest to the live record's quantities on
// each map and on the user correction maps, the two-second trail) and the link's rhythm
// on the pages that show the engine, against hand-built records and the simulator.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "ecudata/image.h"
#include "link/bytes.h"
#include "link/com.h"
#include "link/commands.h"
#include "live/enginepoll.h"
#include "live/liverecord.h"
#include "live/workpoint.h"
#include "maps/advance.h"
#include "maps/inject.h"
#include "maps/map1.h"
#include "maps/mapcsv.h"
#include "shell/connection.h"
#include "sim/appsim.h"
#include "sim/engine.h"
#include "sim_link.h"

namespace {

using live::LiveData;
using live::WorkCell;

// Sets a live field (by its datalog column) to a shown value.
void SetChannel(LiveData& r, const std::string& column, double value) {
  for (const live::LiveField& f : live::LiveFields())
    if (f.ColumnName() == column) {
      const long raw = std::lround(value * f.divisor);
      com::Put16BE(r.data() + f.offset, static_cast<uint16_t>(static_cast<int16_t>(raw)));
      return;
    }
  ADD_FAILURE() << "no field " << column;
}

void SetAxis(uint8_t* block, uint32_t offset, int n, double first, double step, double scale) {
  const maps::CellArray axis{block + offset};
  for (int i = 0; i < n; ++i) axis.Set(i, static_cast<int16_t>(std::lround((first + step * i) * scale)));
}

// Axes in display units: X at 100, 200, ... (step 100), Y at 5, 10, ... (step 5).
constexpr double kX0 = 100, kXStep = 100, kY0 = 5, kYStep = 5;

struct AxisCase {
  const char* what;
  double x, y;  // in steps from the first breakpoint
  int col, row;
};
// The same cases on every map: on, between (nearer either side, the tie goes to the
// lower breakpoint) and beyond breakpoints at both ends.
const AxisCase kCases[] = {
    {"on the first breakpoints", 0, 0, 0, 0}, {"on inner breakpoints", 7, 3, 7, 3},
    {"nearer the lower", 7.2, 3.2, 7, 3},     {"nearer the upper", 7.7, 3.8, 8, 4},
    {"half way: the lower", 7.5, 3.5, 7, 3},  {"below both axes", -0.9, -0.9, 0, 0},
    {"beyond both axes", 60, 40, -1, -1},  // -1: the last breakpoint
};

TEST(WorkPoint, NearestCellOnEveryMap) {
  for (int id = 1; id <= maps::kMapCount; ++id) {
    for (bool oil : {false, true}) {
      if (id != 5 && oil) continue;
      std::array<uint8_t, ecu::kMapSize> block{};
      maps::MapPlace place;
      maps::MapUnits units;
      ASSERT_TRUE(maps::GetMapPlace(id, 0, &place) && maps::GetMapUnits(id, &units));
      SetAxis(block.data(), place.xAxis, maps::kMapCols, kX0, kXStep, units.scaleX);
      SetAxis(block.data(), place.yAxis, maps::kMapRows, kY0, kYStep, units.scaleY);
      const std::string xName = id <= 2 ? "rpm" : id <= 4 ? "velWheel" : "revs";
      const std::string yName = id <= 4 ? "farf" : oil ? "toil" : "th2o";
      for (const AxisCase& c : kCases) {
        LiveData r{};
        SetChannel(r, xName, kX0 + c.x * kXStep);
        SetChannel(r, yName, kY0 + c.y * kYStep);
        // The other temperature far away: only the map's own quantity counts.
        SetChannel(r, oil ? "th2o" : "toil", 900);
        const WorkCell want{c.row < 0 ? maps::kMapRows - 1 : c.row, c.col < 0 ? maps::kMapCols - 1 : c.col};
        EXPECT_EQ(live::MapWorkCell(block.data(), id, r, oil), want)
            << "map " << id << (oil ? " oil, " : ", ") << c.what;
      }
    }
  }
  std::array<uint8_t, ecu::kMapSize> block{};
  EXPECT_FALSE(live::MapWorkCell(block.data(), 6, LiveData{}, false).Valid());
}

TEST(WorkPoint, NearestCellOnTheUserMaps) {
  for (const maps::CorrEditor* editor : {&maps::InjEditor(), &maps::AdvEditor()}) {
    const maps::CorrUserMap& user = editor->user;
    std::array<uint8_t, ecu::kMapSize> block{};
    SetAxis(block.data(), user.xAxis, maps::kUserCols, kX0, kXStep, user.xScale);
    SetAxis(block.data(), user.yAxis, maps::kUserRows, kY0, kYStep, user.yScale);
    for (const AxisCase& c : kCases) {
      LiveData r{};
      SetChannel(r, "rpm", kX0 + c.x * kXStep);
      SetChannel(r, "farf", kY0 + c.y * kYStep);
      const WorkCell want{c.row < 0 ? maps::kUserRows - 1 : c.row, c.col < 0 ? maps::kUserCols - 1 : c.col};
      EXPECT_EQ(live::UserMapWorkCell(user, block.data(), r), want) << editor->title << ", " << c.what;
    }
  }
}

TEST(WorkPoint, TrailKeepsTheCellsOfTheLastTwoSeconds) {
  live::WorkTrail trail;
  // 20 records a second for 3 s, the point moving one column every 0.25 s.
  double t = 0;
  for (int i = 0; i < 60; ++i, t += 0.05) trail.Add({2, i / 5}, t);
  const double now = t - 0.05;
  const auto marks = trail.Marks(now);
  // Columns 11 (current) back to the first one still seen within 2 s: 11 - 8 = 3.
  ASSERT_EQ(marks.size(), 9u);
  EXPECT_EQ(marks.front().cell, (WorkCell{2, 11}));
  EXPECT_DOUBLE_EQ(marks.front().age, 0);
  for (size_t i = 1; i < marks.size(); ++i) {
    EXPECT_EQ(marks[i].cell.col, 11 - static_cast<int>(i));
    EXPECT_GT(marks[i].age, marks[i - 1].age);
    EXPECT_LE(marks[i].age, live::WorkTrail::kSeconds);
  }
  // A cell visited again appears once, with its youngest age.
  trail.Add({2, 9}, now + 0.1);
  const auto again = trail.Marks(now + 0.1);
  EXPECT_EQ(again.front().cell, (WorkCell{2, 9}));
  int nines = 0;
  for (const auto& m : again) nines += m.cell == WorkCell{2, 9};
  EXPECT_EQ(nines, 1);
  // Nothing is left once the point stood still for more than the trail's time, but its cell.
  trail.Add({2, 9}, now + 5);
  ASSERT_EQ(trail.Marks(now + 5).size(), 1u);
  EXPECT_TRUE(trail.Marks(now + 7.5).empty());
}

// The link's rhythm against the simulated ECU with its engine.
class EnginePollTest : public ::testing::Test {
 protected:
  void SetUp() override {
    model.clock = [this] { return now; };
    model.Install(device);
    poll.clock = [this] { return now; };
    shell::fBusy = shell::fSending = shell::fReceiving = 0;
    shell::fEcuProtected = 0;
    ASSERT_TRUE(link.Open());
  }
  void TearDown() override { shell::fSending = 0; }
  int Count(uint8_t command) const { return device.received[command]; }

  double now = 10;
  sim::AppDevice device;
  sim::EcuModel model;
  test_support::SimLink link{device};
  live::EnginePoll poll;
};

TEST_F(EnginePollTest, RecordsEveryTickAndTheIdentityTwiceASecond) {
  // One second of ticks, 10 ms apart.
  for (int i = 0; i < 100; ++i, now += 0.01) ASSERT_EQ(poll.Tick(), 1) << i;
  EXPECT_EQ(Count(com::Identify), 2);
  EXPECT_EQ(Count(com::ReadLive), 98);
  EXPECT_EQ(poll.Records(), 98u);
  EXPECT_TRUE(poll.HasRecord());
  // A locked ECU is noticed by the next identity check, within kPingPeriod.
  device.identity.isProtected = true;
  for (double until = now + live::EnginePoll::kPingPeriod; now <= until; now += 0.01) poll.Tick();
  EXPECT_EQ(shell::fEcuProtected, 1);
}

TEST_F(EnginePollTest, AChangedEcuClosesTheLinkWithinASecond) {
  shell::pollFailures = 0;
  for (int i = 0; i < 20; ++i, now += 0.01) shell::CountTickResult(poll.Tick());
  device.identity.release = 0x0104;
  int ticks = 0;
  for (; ticks < 200 && com::isComOpen; ++ticks, now += 0.01) shell::CountTickResult(poll.Tick());
  EXPECT_FALSE(com::isComOpen);
  // The next check within the Ping period, then four failed checks on consecutive ticks.
  EXPECT_LE(ticks * 0.01, live::EnginePoll::kPingPeriod + 0.04 + 1e-9);
  shell::pollFailures = 0;
}

TEST_F(EnginePollTest, EveryFailedExchangeCountsAndNothingIsReadWhileACommandRuns) {
  ASSERT_EQ(poll.Tick(), 1);  // the first tick checks the identity
  now += 0.01;
  ASSERT_EQ(poll.Tick(), 1);
  ASSERT_TRUE(poll.HasRecord());
  device.handlers[com::ReadLive] = [](const uint8_t*, uint8_t) {
    sim::Device::Reply r;
    r.payload.assign(143, 0);  // one byte short
    return r;
  };
  now += 0.01;
  EXPECT_EQ(poll.Tick(), 0);
  EXPECT_TRUE(poll.HasRecord());  // the old values stay for one failure
  now += 0.01;
  EXPECT_EQ(poll.Tick(), 0);
  EXPECT_FALSE(poll.HasRecord());

  device.received.fill(0);
  shell::fSending = 1;
  for (int i = 0; i < 100; ++i, now += 0.01) poll.Tick();
  EXPECT_EQ(Count(com::ReadLive), 0);
  EXPECT_EQ(Count(com::Identify), 100);  // the ticks are the identity check, as elsewhere
  shell::fSending = 0;
  com::CloseComPort();
  device.received.fill(0);
  EXPECT_EQ(poll.Tick(), 1);  // closed: Ping succeeds, nothing is sent
  EXPECT_EQ(Count(com::Identify) + Count(com::ReadLive), 0);
}

}  // namespace
