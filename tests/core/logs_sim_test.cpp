// The tuner's loop end to end: the simulated ECU's rider is logged as the datalog
// writes it, the log proposes map 1, and the proposal brings the cells it has enough
// records for close to the engine's true map, leaving every other byte as it was.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "link/bytes.h"
#include "link/userio.h"
#include "live/datalog.h"
#include "live/live.h"
#include "logs/logcsv.h"
#include "logs/logmap.h"
#include "maps/map1.h"
#include "scripted_ui.h"
#include "shell/connection.h"
#include "sim/engine.h"
#include "sim/tuner.h"
#include "sim_link.h"

namespace {

TEST(LogsFromTheSimulator, AProposalFromARideBringsMapOneToTheTrueMap) {
  sim::AppDevice device;
  sim::EcuModel model;
  sim::Tuner tuner;
  double now = 0;
  model.clock = [&now] { return now; };
  tuner.clock = [&now] { return now; };
  model.Install(device);
  tuner.Install(device);
  model.dyno = &tuner;
  test_support::SimLink link(device);
  ASSERT_TRUE(link.Open());
  testing_ui::ScriptedUi ui;
  com::SetUi(&ui);
  shell::fEcuProtected = 0;

  // Four simulated minutes at the USB adapter's rate.
  std::string csv = live::CsvHeader();
  constexpr double kRate = 175;
  for (int i = 0; now < 240; ++i) {
    now = i / kRate;
    live::LiveData record;
    ASSERT_TRUE(live::ReadLiveRecord({}, &record)) << "record " << i;
    csv += live::CsvRow(now, record);
  }
  com::SetUi(nullptr);

  logs::Log log;
  std::string error;
  ASSERT_EQ(logs::ReadLogText(csv, {}, &log, &error), logs::ReadResult::Read) << error;
  const std::vector<uint8_t> before = device.ActiveMap();
  std::vector<uint8_t> after = before;
  std::vector<bool> proposed(before.size(), false);
  for (int cylinder = 0; cylinder < 2; ++cylinder) {
    logs::ProposalOptions options;  // target 13.2, 100 ms, 20 records, filters on
    options.cylinder = cylinder;
    logs::Proposal p;
    ASSERT_TRUE(logs::ProposeInjection(log, before.data(), options, &p, &error)) << error;
    EXPECT_EQ(p.lambdaChannel, cylinder == 0 ? "lambdaCan1" : "lambdaCan2");
    logs::ApplyProposal(p, cylinder, after.data());
    maps::MapPlace place;
    maps::GetMapPlace(1, cylinder, &place);
    int enough = 0, wereOff = 0;
    for (int c = 0; c < maps::kMapCells; ++c) {
      if (p.count[static_cast<size_t>(c)] < options.minRecords) continue;
      proposed[place.matrix + 2 * c] = proposed[place.matrix + 2 * c + 1] = true;
      // The closed-throttle row borders the overrun cut-off: when the rider's jitter
      // crosses its engine speed, the exhaust still carries the cut's air for a moment
      // after the fuel returns, so those cells are not held to the 3 %.
      if (c / 32 == 0) continue;
      ++enough;
      const double truth = tuner.TrueCell(cylinder, c / 32, c % 32);
      const double old = static_cast<int16_t>(com::Get16LE(before.data() + place.matrix + 2 * c));
      const double now = static_cast<int16_t>(com::Get16LE(after.data() + place.matrix + 2 * c));
      if (std::fabs(old - truth) > 0.03 * truth) ++wereOff;
      EXPECT_LE(std::fabs(now - truth), 0.03 * truth)
          << "cylinder " << cylinder + 1 << " row " << c / 32 << " column " << c % 32 << ": " << old << " -> "
          << now << ", true " << truth << " (" << p.count[static_cast<size_t>(c)] << " records)";
    }
    EXPECT_GE(enough, 60) << "cylinder " << cylinder + 1;
    EXPECT_GE(wereOff, enough / 2) << "the true map differs from the ECU's";
  }
  for (size_t i = 0; i < before.size(); ++i) {
    if (!proposed[i]) {
      ASSERT_EQ(after[i], before[i]) << "byte " << i;
    }
  }
}

TEST(LogsFromTheSimulator, TheAirFuelTargetIsAnOption) {
  const struct {
    const char* value;
    bool ok;
    double target;
  } cases[] = {{"14.7", true, 14.7},  {"8", true, 8},    {"7.9", false, 13.2},
               {"20.1", false, 13.2}, {"", false, 13.2}, {"13,2", false, 13.2}};
  for (const auto& c : cases) {
    sim::EcuModel model;
    bool used = false;
    std::string error;
    EXPECT_EQ(sim::ParseEngineOption("afr-target", c.value, model, &used, &error), c.ok) << c.value;
    EXPECT_TRUE(used);
    EXPECT_DOUBLE_EQ(model.afrTarget, c.target) << c.value;
    EXPECT_EQ(error.empty(), c.ok) << error;
  }
  EXPECT_TRUE(sim::EngineOptionTakesValue("afr-target"));
}

}  // namespace
