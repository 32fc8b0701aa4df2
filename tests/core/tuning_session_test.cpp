// A whole auto-tuning session, as Kestra runs it, against the simulated ECU that
// tunes: Kestra's own copy of the enabled cells comes within 3 % of the engine's true
// map, every other cell stays as it was, and after the session Kestra's mapping equals
// the ECU's.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "ecudata/ecudata.h"
#include "ecudata/image.h"
#include "ecudata/restore.h"
#include "sim_link.h"
#include "test_support.h"
#include "link/bytes.h"
#include "link/com.h"
#include "maps/map1.h"
#include "scripted_ui.h"
#include "sim/appsim.h"
#include "sim/simcore.h"
#include "sim/tuner.h"
#include "tuning/gains.h"
#include "tuning/map2.h"
#include "tuning/tuneview.h"

namespace {

using namespace tuning;

class AutoSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSession();
    tuner.clock = [this] { return now; };
    tuner.Install(device);
    // Kestra starts from its own files: blocks that are not the ECU's.
    std::fill(ecu::ecuMapData, ecu::ecuMapData + ecu::kMapSize, 0);
    std::copy(device.parBlock.begin(), device.parBlock.end(), ecu::ecuParData);
    ecu::InitEcuRefData();
    const Gains g = GetCurLambdaMode(kFallbackRanges, 0);
    DefaultSettings(mtSettings, g.kp, g.ki, g.step);
  }
  void TearDown() override { ResetSession(); }
  void Tick() {
    now += 0.1;
    TickResult r;
    BeginTick(r);
    TickHooks hooks;
    hooks.getDataName = [](std::string& name, int) {
      name = "*SimMapping1";
      return uint8_t{1};
    };
    RunTick(r, hooks);
    session.settingsChanged = false;
    failures += r.failed ? 1 : 0;
  }

  testing_ui::ScriptedUi ui;
  sim::AppDevice device;
  sim::Tuner tuner;
  test_support::SimLink link{device};
  double now = 0;
  int failures = 0;
};

TEST_F(AutoSessionTest, SixtySecondsBringTheEnabledCellsToTheTrueMap) {
  // 40 cells away from the throttle's overrun row.
  const CellGroup block{5, 9, 10, 17};
  SetGroupCode(mtSettings, block, 1);
  ASSERT_TRUE(link.Open());
  ui.confirms.push_back(false);  // "Load Map-Tuning Data?": not now
  Tick();
  ASSERT_EQ(tuneInfo.State(), kStateOff);

  session.startAuto = true;  // Start Auto
  session.settingsChanged = true;
  Tick();
  ASSERT_EQ(tuneInfo.State(), kStateAuto);
  // The session start brought the ECU's mapping into Kestra.
  ASSERT_TRUE(std::equal(device.ActiveMap().begin(), device.ActiveMap().end(), ecu::ecuMapData));
  const std::vector<uint8_t> start(ecu::ecuMapData, ecu::ecuMapData + ecu::kMapSize);

  for (int i = 0; i < 600; ++i) Tick();
  EXPECT_EQ(failures, 0);

  // Tracking mode 0: lambda 1 tunes cylinder 1, lambda 2 cylinder 2, both by the masks.
  for (int cyl = 0; cyl < 2; ++cyl) {
    maps::MapPlace place;
    ASSERT_TRUE(TuneMapPlace(cyl == 0 ? kMapInj1 : kMapInj2, &place));
    double worst = 0;
    for (int r = 0; r < kTuneRows; ++r)
      for (int c = 0; c < kTuneCols; ++c) {
        const uint32_t at = place.matrix + 2 * (r * kTuneCols + c);
        if (r >= block.r0 && r <= block.r1 && c >= block.c0 && c <= block.c1) {
          const double truth = tuner.TrueCell(cyl, r, c);
          worst = std::max(worst, std::fabs(com::Get16LE(ecu::ecuMapData + at) - truth) / truth);
        } else {
          ASSERT_EQ(com::Get16LE(ecu::ecuMapData + at), com::Get16LE(start.data() + at))
              << cyl << ":" << r << "," << c;
        }
      }
    EXPECT_LT(worst, 0.03) << "cylinder " << cyl + 1;
  }
  // Nothing outside the two injection maps moved.
  maps::MapPlace inj1, inj2;
  ASSERT_TRUE(TuneMapPlace(kMapInj1, &inj1));
  ASSERT_TRUE(TuneMapPlace(kMapInj2, &inj2));
  for (uint32_t i = 0; i < ecu::kMapSize; ++i) {
    const bool inMap = (i >= inj1.matrix && i < inj1.matrix + 2 * maps::kMapCells) ||
                       (i >= inj2.matrix && i < inj2.matrix + 2 * maps::kMapCells);
    if (!inMap) {
      ASSERT_EQ(ecu::ecuMapData[i], start[i]) << i;
    }
  }
  // Kestra's copy of the tuned cells is the ECU's.
  EXPECT_TRUE(std::equal(device.ActiveMap().begin(), device.ActiveMap().end(), ecu::ecuMapData));

  session.stop = true;  // Tuning Off: the end of the session reloads the tuned maps
  Tick();
  EXPECT_EQ(tuneInfo.State(), kStateOff);
  EXPECT_EQ(failures, 0);
  EXPECT_TRUE(std::equal(device.ActiveMap().begin(), device.ActiveMap().end(), ecu::ecuMapData));
}

TEST_F(AutoSessionTest, ASessionStartKeepsAnUnstoredMappingFirst) {
  maps::MapPlace inj1;
  ASSERT_TRUE(TuneMapPlace(kMapInj1, &inj1));
  com::Put16LE(ecu::ecuMapData + inj1.matrix, 4242);  // an edit never stored
  ui.ShowConfigName("Unstored edit", 2);
  ASSERT_TRUE(link.Open());
  Tick();
  session.startAuto = true;
  session.settingsChanged = true;
  Tick();
  ASSERT_EQ(tuneInfo.State(), kStateAuto);
  // The status line names the restore point; the file holds the edit.
  const std::string status = ui.lastStatus;
  const size_t at = status.find("kept: ");
  ASSERT_NE(at, std::string::npos) << status;
  std::string path = status.substr(at + 6);
  if (path.front() != '/') path = ecu::RestoreDirectory() + "/" + path;
  EXPECT_EQ(status.find("kept", at + 6), std::string::npos) << "one restore point, not two: " << status;
  const test_support::Bytes kept = test_support::ReadAll(path);
  ASSERT_EQ(kept.size(), ecu::kMapSize) << path;
  EXPECT_EQ(com::Get16LE(kept.data() + inj1.matrix), 4242);
  // And the working block is the ECU's now.
  EXPECT_TRUE(std::equal(device.ActiveMap().begin(), device.ActiveMap().end(), ecu::ecuMapData));
}

}  // namespace
