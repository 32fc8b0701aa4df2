// Linearisation tables, their sorting and the throttle setting against the simulator.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>
#include <vector>

#include "config/bike.h"
#include "ecudata/image.h"
#include "link/bytes.h"
#include "link/com.h"
#include "link/commands.h"
#include "link/pipeport.h"
#include "live/lineariz.h"
#include "scripted_ui.h"
#include "sim/appsim.h"

namespace {

using live::kLnrPoints;

int16_t At(const uint8_t* block, uint32_t offset, int i) {
  return static_cast<int16_t>(com::Get16LE(block + offset + 2 * i));
}
void Set(uint8_t* block, uint32_t offset, int i, int v) {
  com::Put16LE(block + offset + 2 * i, static_cast<uint16_t>(static_cast<int16_t>(v)));
}

TEST(LinearisationTest, DefaultsAndFixedThrottleOutputs) {
  std::vector<uint8_t> block(ecu::kParSize, 0x5A);
  live::InitLnrData(block.data());
  for (int i = 0; i < kLnrPoints; ++i) {
    EXPECT_EQ(At(block.data(), 528, i), live::bpLinearizThrottle[i]);
    EXPECT_EQ(At(block.data(), 560, i), 0);
    EXPECT_EQ(At(block.data(), 784, i), 1000);  // air pressure outputs
    EXPECT_EQ(At(block.data(), 816, i), 0);
    for (uint32_t other : {592u, 624u, 656u, 688u, 720u, 752u, 848u, 880u, 912u, 944u, 976u, 1008u})
      EXPECT_EQ(At(block.data(), other, i), 0) << other;
  }
  EXPECT_EQ(com::Get16LE(block.data() + live::kFuelReserveOffset), 0);
  EXPECT_EQ(block[1040], 0x5A);  // nothing outside the tables
  EXPECT_EQ(block[1204], 0x5A);

  // Edited throttle outputs come back as the fixed breakpoints.
  Set(block.data(), 528, 3, 555);
  live::FixThrottleOutputs(block.data());
  EXPECT_EQ(At(block.data(), 528, 3), 200);
}

TEST(LinearisationTest, SortingRepairsFallingAndEqualInputs) {
  std::vector<uint8_t> block(ecu::kParSize, 0);
  live::InitLnrData(block.data());
  for (int i = 0; i < kLnrPoints; ++i) {
    Set(block.data(), 560, i, 60 * i);   // throttle: rising
    Set(block.data(), 624, i, 100 * i);  // coolant: rising everywhere
    Set(block.data(), 592, i, 10 * i);
  }
  EXPECT_FALSE(live::SortLinearisations(block.data()));

  // Inputs 10, 30, 20: the third point becomes a copy of the second.
  Set(block.data(), 624, 0, 10);
  Set(block.data(), 624, 1, 30);
  Set(block.data(), 624, 2, 20);
  Set(block.data(), 592, 1, 111);
  Set(block.data(), 592, 2, 222);
  // Fuel level: an equal input takes its predecessor's output.
  for (int i = 0; i < kLnrPoints; ++i) Set(block.data(), 1008, i, 50 * i);
  Set(block.data(), 1008, 5, 200);
  Set(block.data(), 976, 4, 40);
  Set(block.data(), 976, 5, 77);
  EXPECT_TRUE(live::SortLinearisations(block.data()));
  EXPECT_EQ(At(block.data(), 624, 2), 30);
  EXPECT_EQ(At(block.data(), 592, 2), 111);
  EXPECT_EQ(At(block.data(), 624, 3), 300);  // the rest stays
  EXPECT_EQ(At(block.data(), 976, 5), 40);
  EXPECT_EQ(At(block.data(), 1008, 5), 200);
  // Other tables with all inputs equal are flat: their outputs follow the first point.
  EXPECT_EQ(At(block.data(), 784, 7), 1000);
  EXPECT_EQ(At(block.data(), 528, 7), 467);
}

TEST(LinearisationTest, OnlyEditedTablesAreSortedOrGivenTheFixedOutputs) {
  std::vector<uint8_t> before(ecu::kParSize, 0);
  for (size_t i = 0; i < before.size(); ++i)
    before[i] = static_cast<uint8_t>(255 - i * 7);  // falling everywhere
  std::vector<uint8_t> block = before;
  live::FixThrottleOutputs(block.data(), before.data());
  EXPECT_FALSE(live::SortLinearisations(block.data(), before.data()));
  EXPECT_EQ(block, before);
  // The coolant table edited: it alone is sorted; the throttle table edited: its outputs are fixed.
  Set(block.data(), 624, 0, 1023);
  Set(block.data(), 560, 0, 5);
  live::FixThrottleOutputs(block.data(), before.data());
  for (int i = 0; i < kLnrPoints; ++i) EXPECT_EQ(At(block.data(), 528, i), live::bpLinearizThrottle[i]);
  EXPECT_TRUE(live::SortLinearisations(block.data(), before.data()));
  for (int i = 1; i < kLnrPoints; ++i) EXPECT_GE(At(block.data(), 624, i), At(block.data(), 624, i - 1));
  EXPECT_EQ(std::memcmp(block.data() + 1008, before.data() + 1008, 32), 0);  // fuel level untouched
}

TEST(LinearisationTest, TablesShownByTheEquipmentFlags) {
  struct Case {
    uint32_t bike;  // family, model, year
    std::vector<const char*> shown;
    bool reserve;
  };
  const Case cases[] = {
      // Monster S4R 2007 (pattern H): oil temperature, analogue air, lambda 1.
      {0x010A07, {"TABfarf", "TABtoil", "TABtair", "TABpAir", "TABnbego1"}, false},
      // Superbike 1098R 2008 (A): coolant, two lambda sensors, no analogue air.
      {0x060508, {"TABfarf", "TABth2o", "TABnbego1", "TABnbego2"}, false},
      // Multistrada 1000 2004 (J): oil, fuel control without a reserve sensor.
      {0x020104, {"TABfarf", "TABtoil", "TABnbego1", "TABfuelLevel"}, true},
      // Multistrada 1100 2007 (K): fuel control with a reserve sensor.
      {0x020207, {"TABfarf", "TABtoil", "TABnbego1", "TABfuelLevel"}, false},
  };
  for (const Case& c : cases) {
    config::ConfigFlagBikeCode(c.bike);
    std::vector<const char*> shown;
    for (const live::LnrTable& t : live::LnrTables())
      if (live::IsLnrTableShown(t)) shown.push_back(t.control);
    ASSERT_EQ(shown.size(), c.shown.size()) << std::hex << c.bike;
    for (size_t i = 0; i < shown.size(); ++i) EXPECT_STREQ(shown[i], c.shown[i]);
    EXPECT_EQ(live::IsFuelReserveShown(), c.reserve) << std::hex << c.bike;
  }
}

TEST(LinearisationTest, ThrottleArithmetic) {
  const std::array<int16_t, kLnrPoints> expected{100, 153, 206, 260, 313, 366, 420, 473,
                                                 526, 580, 633, 686, 740, 793, 846, 900};
  EXPECT_EQ(live::SpreadThrottleInputs(100, 900), expected);
  EXPECT_EQ(live::SpreadThrottleInputs(900, 100)[1], 846);  // truncated toward zero
  const auto w = live::ThrottleWindow(1000);
  EXPECT_EQ(w.lo, 850);
  EXPECT_EQ(w.hi, 1023);
  EXPECT_EQ(live::ThrottleWindow(20).lo, 0);
  const auto row = live::InterpolateRow(0, 150);
  EXPECT_DOUBLE_EQ(row[1], 10);
  EXPECT_DOUBLE_EQ(row[15], 150);
}

class ThrottleLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    com::SetPortFactory([this](const com::PortItem&, std::string*) {
      auto p = std::make_unique<com::PipePort>();
      sim::AttachToPipe(engine, *p);
      return p;
    });
    com::CloseComPort();
    com::InitPortList({}, false);
    com::OpenComPort();
    ASSERT_EQ(com::isComOpen, 1);
  }
  void TearDown() override {
    com::CloseComPort();
    com::SetPortFactory({});
  }
  sim::AppDevice device;
  sim::Engine engine{device};
  testing_ui::ScriptedUi ui;
};

TEST_F(ThrottleLinkTest, ReadThrottleCountAveragesFourReadings) {
  device.throttleCounts = {100, 101, 101, 101};
  int count = 0;
  ASSERT_EQ(live::ReadThrottleCount(count), 1);
  EXPECT_EQ(count, 101);
  EXPECT_EQ(device.received[com::ThrottleSet], 4);

  device.throttleCounts = {0xFFFF};  // limited to 32767
  ASSERT_EQ(live::ReadThrottleCount(count), 1);
  EXPECT_EQ(count, 32767);

  // No answer, or a one-byte answer: failure.
  for (auto fault : {sim::AppDevice::ThrottleReply::None, sim::AppDevice::ThrottleReply::OneByte}) {
    device.throttleReply = fault;
    count = -1;
    EXPECT_EQ(live::ReadThrottleCount(count), 0);
    EXPECT_EQ(count, -1);
  }
}

TEST_F(ThrottleLinkTest, TwoStepsGiveEvenlySpreadInputs) {
  live::ThrottleSetting setting;
  setting.Begin();
  EXPECT_STREQ(setting.Instruction(), live::szCloseGas);
  device.throttleCount = 100;
  EXPECT_EQ(setting.Set(120), live::ThrottleSetting::Outcome::Stay);
  EXPECT_EQ(setting.Step(), 1);
  EXPECT_STREQ(setting.Instruction(), live::szOpenGas);
  device.throttleCount = 900;
  EXPECT_EQ(setting.Set(880), live::ThrottleSetting::Outcome::Finished);
  EXPECT_EQ(setting.Inputs()[0], 100);
  EXPECT_EQ(setting.Inputs()[15], 900);
  EXPECT_TRUE(ui.popups.empty());
}

TEST_F(ThrottleLinkTest, ImplausibleReadingAsksAndFailuresSaySo) {
  live::ThrottleSetting setting;
  setting.Begin();
  device.throttleCount = 400;                                          // far from the current first input 100
  EXPECT_EQ(setting.Set(100), live::ThrottleSetting::Outcome::Close);  // answered no
  ASSERT_EQ(ui.popups.size(), 1u);
  EXPECT_EQ(ui.popups[0].kind, "confirm");
  EXPECT_EQ(ui.popups[0].title, "Warning!");
  EXPECT_EQ(ui.popups[0].text, "Possible error\nContinue?");

  ui.confirms = {true};
  setting.Begin();
  EXPECT_EQ(setting.Set(100), live::ThrottleSetting::Outcome::Stay);
  EXPECT_EQ(setting.Step(), 1);
  EXPECT_EQ(setting.Idle(), 400);

  // The reading fails: the generic error, and the step stays.
  ui.popups.clear();
  device.throttleReply = sim::AppDevice::ThrottleReply::OneByte;
  EXPECT_EQ(setting.Set(900), live::ThrottleSetting::Outcome::Stay);
  EXPECT_EQ(setting.Step(), 1);
  ASSERT_EQ(ui.popups.size(), 1u);
  EXPECT_EQ(ui.popups[0].title, "Throttle Setting");
  EXPECT_EQ(ui.popups[0].text, "Some error occurred...");

  // With the port closed: "COMM error...", nothing is sent.
  com::CloseComPort();
  ui.popups.clear();
  const int before = device.received[com::ThrottleSet];
  EXPECT_EQ(setting.Set(900), live::ThrottleSetting::Outcome::Stay);
  ASSERT_EQ(ui.popups.size(), 1u);
  EXPECT_EQ(ui.popups[0].text, "COMM error...");
  EXPECT_EQ(device.received[com::ThrottleSet], before);
}

}  // namespace
