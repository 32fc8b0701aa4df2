// The live record table, the live exchange with its tolerance and bench adjustments,
// the equipment records, the output tests and the datalog's CSV, against hand-built
// records and the in-process simulator with its engine.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "config/bike.h"
#include "link/bytes.h"
#include "link/com.h"
#include "link/commands.h"
#include "link/pipeport.h"
#include "link/userio.h"
#include "live/datalog.h"
#include "live/live.h"
#include "live/liverecord.h"
#include "shell/connection.h"
#include "sim/appsim.h"
#include "sim/engine.h"
#include "sim/simcore.h"

namespace {

using live::LiveData;

std::vector<std::string> Split(std::string line) {
  if (!line.empty() && line.back() == '\n') line.pop_back();
  std::vector<std::string> cells;
  std::stringstream in(line);
  std::string cell;
  while (std::getline(in, cell, ',')) cells.push_back(cell);
  return cells;
}

size_t Column(const std::vector<std::string>& header, const std::string& name) {
  for (size_t i = 0; i < header.size(); ++i)
    if (header[i] == name) return i;
  ADD_FAILURE() << "no column " << name;
  return 0;
}

void Put(LiveData& r, size_t offset, uint16_t word) {
  com::Put16BE(r.data() + offset, word);
}

TEST(LiveRecord, ShownValuesFollowTheTable) {
  LiveData r{};
  Put(r, 8, 0x8FFF);   // NUMfarfAD: fault flag and count 4095
  Put(r, 12, 0x7FFF);  // NUMth2oAD: bits 14..12 are ignored, no fault
  Put(r, 14, 0xFF9C);  // NUMth2o: -100 / 10
  Put(r, 40, 1);       // map set 1 -> shown 2
  Put(r, 46, 25);      // NUMjTrans
  Put(r, 72, 998);     // NSkInjBanco1
  Put(r, 98, 3205);    // NUMfase1 and NUMfase2
  const auto* farfAD = live::FindLiveField("NUMfarfAD");
  const auto* th2oAD = live::FindLiveField("NUMth2oAD");
  ASSERT_TRUE(farfAD && th2oAD);
  EXPECT_EQ(live::ShownText(r, *farfAD), "4095");
  EXPECT_TRUE(live::AnalogFault(live::RawWord(r, *farfAD)));
  EXPECT_EQ(live::ShownText(r, *th2oAD), "4095");
  EXPECT_FALSE(live::AnalogFault(live::RawWord(r, *th2oAD)));
  EXPECT_EQ(live::ShownText(r, *live::FindLiveField("NUMth2o")), "-10.0");
  EXPECT_EQ(live::ShownText(r, *live::FindLiveField("NUMmappa")), "2");
  EXPECT_EQ(live::ShownText(r, *live::FindLiveField("NSkInjBanco1")), "0.998");
  EXPECT_EQ(live::FindLiveField("NUMfase2"), live::FindLiveField("NUMfase1"));
  EXPECT_EQ(live::ShownText(r, *live::FindLiveField("NUMfase2")), "320.5");

  const auto* jTrans = live::FindLiveField("NUMjTrans");
  EXPECT_EQ(live::ShownText(r, *jTrans), "25");
  r[live::kStatusOffset + 1] = 0x02;  // bit 1 of status byte 1: tenths
  EXPECT_EQ(live::ShownText(r, *jTrans), "2.5");
}

TEST(LiveRecord, TableCoversTheRecordOnce) {
  // Every word from 0 to 136 belongs to exactly one field, except the two not shown.
  std::vector<int> owner(138, 0);
  for (const live::LiveField& f : live::LiveFields()) {
    ++owner[f.offset];
    ++owner[f.offset + 1];
  }
  for (int offset = 0; offset < 138; ++offset) {
    const bool hidden = offset == 86 || offset == 87 || offset == 128 || offset == 129;
    EXPECT_EQ(owner[offset], hidden ? 0 : 1) << "offset " << offset;
  }
  // LEDs: in byte order, within a byte from bit 7 down, no bit twice.
  int last = 1000;
  for (const live::LiveLed& l : live::LiveLeds()) {
    const int position = l.byte * 8 + (7 - l.bit);
    EXPECT_LT(last == 1000 ? -1 : last, position) << l.column;
    last = position;
  }
}

TEST(Datalog, HeaderAndRowFromAHandBuiltRecord) {
  const std::vector<std::string> header = Split(live::CsvHeader());
  ASSERT_GE(header.size(), 5u);
  EXPECT_EQ(header[0], "time_s");
  EXPECT_EQ(header[1], "smotIrqs");
  EXPECT_EQ(header[4], "rpm");
  EXPECT_EQ(header[5], "farfAD");
  for (const char* name : {"kInjBanco1", "kInjBanco", "degFaseBanco", "fase1", "dwell1", "mappa", "jTrans",
                           "protectionOff", "isEngineOn", "fShiftCutOff", "isNeutral", "stopOrDrop"})
    Column(header, name);
  for (const std::string& cell : header) {
    EXPECT_NE(cell, "fase2");
    EXPECT_NE(cell, "dwell2");
    EXPECT_NE(cell, "NUMrpm");
  }
  // Fields, then LEDs: the first LED column is protectionOff, the last isNeutral.
  EXPECT_EQ(header.size(), 1 + live::LiveFields().size() + live::LiveLeds().size());
  EXPECT_EQ(header[1 + live::LiveFields().size()], "protectionOff");
  EXPECT_EQ(header.back(), "isNeutral");

  LiveData r{};
  Put(r, 6, 7250);                    // rpm
  Put(r, 8, 0x8123);                  // farfAD: the count only
  Put(r, 10, 0xFFFB);                 // farf -0.5
  Put(r, 40, 0);                      // mappa 1
  Put(r, 46, 25);                     // jTrans, unscaled
  Put(r, 54, 4321);                   // terog1A 4.321
  Put(r, 132, 2900);                  // dwell1 2.900
  r[live::kStatusOffset + 0] = 0x90;  // protection off, engine on
  r[live::kStatusOffset + 3] = 0x02;  // shift cut-off
  r[live::kStatusOffset + 5] = 0x01;  // neutral
  const std::vector<std::string> row = Split(live::CsvRow(1.23456, r));
  ASSERT_EQ(row.size(), header.size());
  EXPECT_EQ(row[0], "1.235");
  EXPECT_EQ(row[Column(header, "rpm")], "7250");
  EXPECT_EQ(row[Column(header, "farfAD")], "291");
  EXPECT_EQ(row[Column(header, "farf")], "-0.5");
  EXPECT_EQ(row[Column(header, "mappa")], "1");
  EXPECT_EQ(row[Column(header, "jTrans")], "25");
  EXPECT_EQ(row[Column(header, "terog1A")], "4.321");
  EXPECT_EQ(row[Column(header, "dwell1")], "2.900");
  EXPECT_EQ(row[Column(header, "protectionOff")], "1");
  EXPECT_EQ(row[Column(header, "isEngineOn")], "1");
  EXPECT_EQ(row[Column(header, "isCutOff")], "0");
  EXPECT_EQ(row[Column(header, "fShiftCutOff")], "1");
  EXPECT_EQ(row[Column(header, "isNeutral")], "1");
  r[live::kStatusOffset + 1] = 0x02;
  EXPECT_EQ(Split(live::CsvRow(0, r))[Column(header, "jTrans")], "2.5");
}

TEST(Datalog, FileHoldsWholeLinesAndTimeFromTheFirstRecord) {
  const std::string path = std::string(BUILD_DIR) + "/live_test_log.csv";
  {
    live::Datalog log;
    std::string error;
    ASSERT_TRUE(log.Open(path, &error)) << error;
    LiveData r{};
    ASSERT_TRUE(log.Write(r, 100.0, &error));
    ASSERT_TRUE(log.Write(r, 100.5, &error));
    ASSERT_TRUE(log.Write(r, 101.0, &error));
    EXPECT_EQ(log.Count(), 3u);
    EXPECT_DOUBLE_EQ(log.Rate(), 2.0);
  }
  std::ifstream in(path);
  std::string line;
  std::vector<std::string> lines;
  while (std::getline(in, line)) lines.push_back(line);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[1].substr(0, 6), "0.000,");
  EXPECT_EQ(lines[3].substr(0, 6), "1.000,");
  std::remove(path.c_str());

  live::Datalog refused;
  std::string error;
  EXPECT_FALSE(refused.Open(std::string(BUILD_DIR) + "/no/such/dir/log.csv", &error));
  EXPECT_NE(error.find("No such file"), std::string::npos) << error;
}

TEST(BenchAdjust, ScalesAndRoundsHalvesAwayFromZero) {
  struct Case {
    const char* control;
    double value;
    uint8_t code;
    uint16_t sent;
  } cases[] = {
      {"NSkInjBanco", 1.0005, 2, 1001},    {"NSkInjBanco1", 0.95, 3, 950},
      {"NSkInjBanco2", -1, 4, 0},          {"NSdegFaseBanco", -2.5, 5, 0xFFFD},
      {"NSddgAdvBanco", -1.25, 6, 0xFFF3}, {"NSddgAdvBanco1", 2.05, 7, 21},
      {"NSddgAdvBanco2", 4000, 8, 32767},  {"NUMrpm", 5, 0, 0},
  };
  for (const Case& c : cases) {
    const live::BenchAdjust a = live::MakeBenchAdjust(c.control, c.value);
    EXPECT_EQ(a.code, c.code) << c.control;
    EXPECT_EQ(a.value, c.sent) << c.control;
  }
}

TEST(LiveControls, EquipmentDecidesDimsAndVisibility) {
  live::LiveConfig closed;  // the port closed: every record as the closed values
  auto s = live::ControlStates(closed);
  for (const char* dimmed :
       {"NUMterog1A", "NUMteta2", "CBtestTrigCyl1", "LEDisOverInj2", "NUMterog1B", "TBtestFan", "TBtestHeat",
        "LEDisCoc", "NUMvelWheel", "TBtestFuelPump", "CBchangeMap"})
    EXPECT_FALSE(live::StateOf(s.enabled, dimmed)) << dimmed;
  EXPECT_TRUE(live::StateOf(s.visible, "NUMth2o"));
  EXPECT_FALSE(live::StateOf(s.visible, "NUMtoilAD"));
  EXPECT_FALSE(s.bikeEnabled);

  live::LiveConfig bike;
  bike.portOpen = true;
  bike.outputs.ignition[0] = 0;
  bike.outputs.ignition[1] = 0;  // both cylinders on coil output 0
  bike.outputs.injection[0] = 1;
  bike.outputs.injection[1] = 7;  // cylinder 2 has no injector output
  bike.bike.identity = (1u << 16) | (10u << 8) | 7u;
  bike.bike.flags[5 - 4] = 1;   // oil temperature
  bike.bike.flags[12 - 4] = 1;  // second fan only
  bike.bike.flags[17 - 4] = 1;  // lambda sensor 2 only
  s = live::ControlStates(bike);
  EXPECT_TRUE(live::StateOf(s.enabled, "NUMteta2"));
  EXPECT_FALSE(live::StateOf(s.enabled, "CBtestTrigCyl2"));  // no cylinder uses coil output 1
  EXPECT_TRUE(live::StateOf(s.enabled, "NUMterog1A"));
  EXPECT_FALSE(live::StateOf(s.enabled, "NUMterog1B"));  // single injection
  EXPECT_FALSE(live::StateOf(s.enabled, "NUMfase2"));
  EXPECT_FALSE(live::StateOf(s.enabled, "CBtestInjCyl1A"));  // injection output 0 unused
  EXPECT_TRUE(live::StateOf(s.enabled, "CBtestInjCyl2A"));
  EXPECT_TRUE(live::StateOf(s.enabled, "TBtestFan"));
  EXPECT_TRUE(live::StateOf(s.enabled, "TBtestHeat"));
  EXPECT_FALSE(live::StateOf(s.enabled, "NUMnbego1"));
  EXPECT_TRUE(live::StateOf(s.enabled, "NUMnbego2AD"));
  EXPECT_TRUE(live::StateOf(s.visible, "NUMtoil"));
  EXPECT_FALSE(live::StateOf(s.visible, "NUMth2oAD"));
  EXPECT_TRUE(live::StateOf(s.enabled, "CBchangeMap"));
  EXPECT_TRUE(s.bikeEnabled);
  EXPECT_EQ(s.bikeText, config::BikeText(bike.bike.identity));
}

// The live model against the simulated ECU over an in-memory pipe.
class LiveExchangeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    model.clock = [this] { return now; };
    model.Install(device);
    engine = std::make_unique<sim::Engine>(device);
    com::SetPortFactory([this](const com::PortItem&, std::string*) {
      auto p = std::make_unique<com::PipePort>();
      sim::AttachToPipe(*engine, *p);
      return p;
    });
    com::CloseComPort();
    com::InitPortList({}, false);
    com::OpenComPort();
    ASSERT_EQ(com::isComOpen, 1);
    com::SetUi(&ui);
    shell::fEcuProtected = 0;
  }
  void TearDown() override {
    com::SetUi(nullptr);
    com::CloseComPort();
    com::SetPortFactory({});
  }
  // Replaces the ECU's live answer; records every request payload.
  void ScriptLive(std::function<sim::Device::Reply()> answer) {
    device.handlers[com::ReadLive] = [this, answer](const uint8_t* p, uint8_t n) {
      requests.emplace_back(p, p + n);
      return answer();
    };
  }
  static sim::Device::Reply Record(size_t size, uint8_t status0 = 0x80) {
    sim::Device::Reply r;
    r.payload.assign(size, 0);
    com::Put16BE(r.payload.data() + 6, 3000);
    if (size > 138) r.payload[138] = status0;
    return r;
  }

  double now = 0;
  sim::AppDevice device;
  sim::EcuModel model;
  std::unique_ptr<sim::Engine> engine;
  com::HeadlessUserIo ui;
  live::LiveModel live;
  std::vector<std::vector<uint8_t>> requests;
};

TEST_F(LiveExchangeTest, OnlyTheLastBenchChangeOfATickIsSentOnce) {
  ScriptLive([] { return Record(144); });
  live.SetBancoAdjust("NSkInjBanco", 1.05);
  live.SetBancoAdjust("NSddgAdvBanco1", -1.5);  // replaces the first
  ASSERT_EQ(live.LiveExchange(), 1);
  ASSERT_EQ(live.LiveExchange(), 1);
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0], (std::vector<uint8_t>{0xFF, 0xF1, 7}));
  EXPECT_EQ(requests[1], (std::vector<uint8_t>{0, 0, 0}));
}

TEST_F(LiveExchangeTest, OneShortReplyIsToleratedTheSecondClears) {
  int calls = 0;
  ScriptLive([&calls] { return Record(++calls == 1 ? 144 : 143); });
  ASSERT_EQ(live.LiveExchange(), 1);
  EXPECT_EQ(com::Get16BE(live.record.data() + 6), 3000);
  EXPECT_EQ(live.LiveExchange(), 1);  // 143 bytes: tolerated, the old values stay
  EXPECT_EQ(com::Get16BE(live.record.data() + 6), 3000);
  EXPECT_EQ(live.LiveExchange(), 0);  // the second in a row clears
  EXPECT_EQ(com::Get16BE(live.record.data() + 6), 0);
  EXPECT_EQ(live.Failures(), 2);
  EXPECT_TRUE(com::isComOpen);  // closing is the main timer's business
}

TEST_F(LiveExchangeTest, TheRecordSetsProtectionAndEngineFlags) {
  ScriptLive([] { return Record(144, 0x10); });  // engine on, protection bit clear
  ASSERT_EQ(live.LiveExchange(), 1);
  EXPECT_EQ(shell::fEcuProtected, 1);
  EXPECT_TRUE(live.engineRunning);
  ScriptLive([] { return Record(144, 0x80); });
  ASSERT_EQ(live.LiveExchange(), 1);
  EXPECT_EQ(shell::fEcuProtected, 0);
  EXPECT_FALSE(live.engineRunning);
  com::CloseComPort();
  EXPECT_EQ(live.LiveExchange(), 0);
  EXPECT_EQ(shell::fEcuProtected, 0);
}

TEST_F(LiveExchangeTest, EngineModelRunsAndEchoesTheBench) {
  live::LiveData r{};
  now = 0.5;
  ASSERT_TRUE(live::ReadLiveRecord({}, &r));
  EXPECT_FALSE(live::EngineOn(r));
  for (now = 0.6; now < 8; now += 0.05) ASSERT_TRUE(live::ReadLiveRecord({}, &r));
  EXPECT_TRUE(live::EngineOn(r));
  EXPECT_TRUE(live::ProtectionOff(r));
  EXPECT_GT(live::ShownValue(r, *live::FindLiveField("NUMrpm")), 1000);
  const double water = live::ShownValue(r, *live::FindLiveField("NUMth2o"));
  for (int i = 0; i < 200; ++i, now += 0.5) ASSERT_TRUE(live::ReadLiveRecord({}, &r));
  EXPECT_GT(live::ShownValue(r, *live::FindLiveField("NUMth2o")), water + 20);  // it warms up

  ASSERT_TRUE(live::ReadLiveRecord(live::MakeBenchAdjust("NSkInjBanco", 1.1), &r));
  EXPECT_EQ(live::ShownText(r, *live::FindLiveField("NSkInjBanco")), "1.100");
  ASSERT_TRUE(live::ReadLiveRecord(live::MakeBenchAdjust("NSddgAdvBanco2", -2.5), &r));
  EXPECT_EQ(live::ShownText(r, *live::FindLiveField("NSddgAdvBanco2")), "-2.5");
  EXPECT_EQ(live::ShownText(r, *live::FindLiveField("NSkInjBanco")), "1.100");  // kept
}

TEST_F(LiveExchangeTest, RefreshReadsNamesAndEquipment) {
  model.equipment.oilTemperature = true;
  model.equipment.lambdaSensors = 2;
  model.UpdateEquipmentValues();
  ASSERT_EQ(live.RefreshLiveConfig(), 1);
  EXPECT_EQ(live.config.ecuMap1, "SimMapping1");
  EXPECT_EQ(live.config.ecuMap2, "SimMapping2");
  EXPECT_EQ(live.config.ecuPar, "SimConfig");
  EXPECT_EQ(live.config.outputs.ignition[1], 1);
  EXPECT_EQ(live.config.bike.Flag(5), 1);
  EXPECT_EQ(live.config.bike.Flag(17), 1);
  EXPECT_EQ(live.config.record72.bytes[5], 1);
  const auto states = live::ControlStates(live.config);
  EXPECT_TRUE(states.bikeEnabled);
  EXPECT_TRUE(live::StateOf(states.visible, "NUMtoil"));

  device.values.erase(0x07030000);  // the ECU does not know record 7.3: the echo alone
  device.handlers.erase(com::ReadLive);
  live.record[6] = 1;
  EXPECT_EQ(live.RefreshLiveConfig(), 0);
  EXPECT_EQ(live.config.bike.identity, 0xFF0000u);  // as with the port closed
  EXPECT_EQ(live.record[6], 0);                     // the record is cleared
}

TEST_F(LiveExchangeTest, OutputTests) {
  EXPECT_EQ(live.TestOneShotOutput(8, 1), 1);
  EXPECT_TRUE(model.testFan);
  EXPECT_EQ(live.TestOneShotOutput(12, 0), 1);
  EXPECT_EQ(device.activeMapping, 2);
  EXPECT_TRUE(ui.lastMessage.empty());

  device.handlers[com::TestOutput] = [](const uint8_t*, uint8_t) {
    sim::Device::Reply r;
    r.payload = {1};  // not the empty reply
    return r;
  };
  EXPECT_EQ(live.TestOneShotOutput(1, 0), 0);
  EXPECT_EQ(ui.lastTitle, "One-Shot Output Test");
  EXPECT_EQ(ui.lastMessage, "Some error occurred...");
  com::CloseComPort();
  EXPECT_EQ(live.TestOneShotOutput(1, 0), 0);
  EXPECT_EQ(ui.lastMessage, "COMM error...");
}

}  // namespace
