// Map tuning: the records and their wire order, the gains and their file, the enable
// codes and the working-point marker, manual keys and edits, the settings files, and
// the session cycle against an ECU whose tuning answers a test scripts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "ecudata/ecudata.h"
#include "ecudata/image.h"
#include "ecudata/init.h"
#include "link/bytes.h"
#include "link/com.h"
#include "link/commands.h"
#include "maps/map1.h"
#include "scripted_ui.h"
#include "sim/appsim.h"
#include "sim/simcore.h"
#include "sim_link.h"
#include "test_support.h"
#include "tuning/gains.h"
#include "tuning/manual.h"
#include "tuning/map2.h"
#include "tuning/tunerecords.h"
#include "tuning/tuneview.h"

namespace {

using test_support::Bytes;
using namespace tuning;

// ---------------------------------------------------------------- records

TEST(TuneRecords, InfoTravelsBigEndianWithItsPackedCellList) {
  Bytes wire(kInfoSize);
  com::Put16BE(&wire[0], 5230);
  com::Put16BE(&wire[8], static_cast<uint16_t>(-1));
  com::Put16BE(&wire[16], 1034);
  com::Put16BE(&wire[22], static_cast<uint16_t>(-15));
  wire[24] = 0xC0;
  wire[25] = 0x80 | kStateAuto;
  wire[26] = 0x80;
  com::Put16BE(&wire[28], PackCellId(kMapInj2, 31, 19));
  com::Put16BE(&wire[30], 4321);
  for (int i = 1; i < kCellEntries; ++i) com::Put16BE(&wire[28 + 4 * i], PackCellId(kMapNone, 0, 0));
  Info info;
  InfoFromWire(wire.data(), info);
  EXPECT_EQ(info.rpm, 5230);
  EXPECT_EQ(info.setpoint, -1);
  EXPECT_EQ(info.j1Cor, 1034);
  EXPECT_EQ(info.aCor, -15);
  EXPECT_EQ(info.State(), kStateAuto);
  EXPECT_TRUE(info.Lambda1Match() && info.Lambda2Match() && info.MatchEnabled());
  EXPECT_EQ(info.cells[0].type, kMapInj2);
  EXPECT_EQ(info.cells[0].col, 31);
  EXPECT_EQ(info.cells[0].row, 19);
  EXPECT_EQ(info.cells[0].value, 4321);
  Bytes back(kInfoSize);
  InfoToWire(info, back.data());
  EXPECT_EQ(back, wire);
}

TEST(TuneRecords, SettingsDefaultsAndWireOrder) {
  MtSettings s{};
  DefaultSettings(s, 65536, 524, 100);
  EXPECT_EQ(SettingsValue(s, kRpmMarginOffset), 150);
  EXPECT_EQ(SettingsValue(s, kMinTempOffset), 600);
  EXPECT_EQ(SettingsValue(s, kMaxTempOffset), 900);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(SettingsValue(s, kLambdaTargetOffset + 2 * i), 125);
  EXPECT_EQ(SettingsValue(s, kLambdaTolOffset), 5);
  EXPECT_EQ(SettingsValue(s, kMinTjOffset), 1000);
  EXPECT_EQ(SettingsValue(s, kMaxTjOffset), 32000);
  EXPECT_EQ(SettingsValue(s, kRpmTolOffset), 200);
  EXPECT_EQ(SettingsValue(s, kFarfTolOffset), 50);
  EXPECT_EQ(SettingsValue(s, kKpOffset), 65536);
  SetMaskWord(s, 0, 3, 0x80000001u);
  s[178] = 0xAB;  // padding travels as it stands
  Bytes wire(kSettingsSize);
  SettingsToWire(s, wire.data());
  EXPECT_EQ(com::Get32BE(&wire[12]), 0x80000001u);
  EXPECT_EQ(com::Get16BE(&wire[kRpmTolOffset]), 200);
  EXPECT_EQ(com::Get32BE(&wire[kKpOffset]), 65536u);
  EXPECT_EQ(wire[178], 0xAB);
  MtSettings back{};
  SettingsFromWire(wire.data(), back);
  EXPECT_EQ(back, s);

  uint8_t manual[kManualSize];
  ManualToWire(s, 3, manual);
  EXPECT_EQ(manual[0], 0);
  EXPECT_EQ(com::Get16BE(manual + 2), 200);
  EXPECT_EQ(com::Get16BE(manual + 4), 50);
  EXPECT_EQ(manual[8], 3);
}

TEST(TuneRecords, ResetKeepsOnlyBit2OfFlagsB) {
  Info info;
  info.flagsA = 0xFF;
  info.flagsB = 0xFF;
  info.flagsC = 0xFF;
  info.rpm = 9000;
  info.j1Cor = 900;
  info.cells[5] = {kMapInj1, 3, 4, 77};
  ResetInfo(info);
  EXPECT_EQ(info.flagsA, 0);
  EXPECT_EQ(info.flagsB, 0x04 | kStateOff);
  EXPECT_EQ(info.flagsC, 0);
  EXPECT_EQ(info.rpm, 0);
  EXPECT_EQ(info.j1Cor, 1000);
  EXPECT_EQ(info.j2Cor, 1000);
  for (const CellUpdate& c : info.cells) EXPECT_EQ(c.type, kMapNone);
}

// ---------------------------------------------------------------- gains

TEST(TuneGains, SliderPositionsAndTheirInverse) {
  GainRanges r;
  r.kp[0] = 20000, r.kp[1] = 80000;
  r.ki[0] = 100, r.ki[1] = 700;
  r.step[0] = 100, r.step[1] = 400;
  r.modeSteps = 6;
  EXPECT_EQ(GetCurLambdaMode(r, 3).kp, 50000);
  const Gains low = GetCurLambdaMode(r, 0);
  EXPECT_EQ(low.kp, 20000);
  EXPECT_EQ(low.ki, 100);
  EXPECT_EQ(low.step, 100);
  for (int m = 0; m <= 6; ++m) {
    const Gains g = GetCurLambdaMode(r, m);
    EXPECT_EQ(SetCurLambdaMode(r, g.kp, g.ki, g.step), m) << m;
  }
  // The fallback ranges run downwards; they still map back.
  for (int m = 0; m <= 6; ++m) {
    const Gains g = GetCurLambdaMode(kFallbackRanges, m);
    EXPECT_EQ(SetCurLambdaMode(kFallbackRanges, g.kp, g.ki, g.step), m) << m;
  }
  // Equal ends do not divide by zero.
  GainRanges flat = r;
  flat.kp[1] = flat.kp[0];
  flat.ki[1] = flat.ki[0];
  flat.step[1] = flat.step[0];
  EXPECT_EQ(GetCurLambdaMode(flat, 4).kp, 20000);
  EXPECT_EQ(SetCurLambdaMode(flat, 20000, 100, 100), 0);
  // Values beyond the ranges stay on the slider.
  EXPECT_EQ(SetCurLambdaMode(r, 2000000, 7000, 4000), 6);
  EXPECT_EQ(SetCurLambdaMode(r, -2000000, -7000, 0), 0);
}

TEST(TuneGains, MtInternLines) {
  struct Case {
    const char* text;
    GainRanges want;
  };
  const Case cases[] = {
      // A comma is not a separator: that line is skipped and the next valid one is Kp.
      {"# gains\n\n2,8\n2;8\n0.01;0.07\n0.1;0.4\n6\n", {{20000, 80000}, {100, 700}, {100, 400}, 6}},
      // CR LF, a second number that parses only in part, rounding half away from zero.
      {"1.00005;3.5x\r\n-0.00005;1\r\n0.0005;70\r\n0\r\n", {{10001, 35000}, {-1, 10000}, {1, 65535}, 1}},
      // Saturation; the end of the file keeps what was taken.
      {"1e9;-1e9\n-1;0.2\n", {{2147483647, -2147483647 - 1}, {-10000, 2000}, {100, 200}, 6}},
      // A first number followed by a blank before ';' does not parse.
      {"1 ;2\n3;4\n", {{30000, 40000}, {524, 33}, {100, 200}, 6}},
  };
  for (const Case& c : cases) {
    GainRanges r;
    ParseMtIntern(c.text, r);
    EXPECT_EQ(r.kp[0], c.want.kp[0]) << c.text;
    EXPECT_EQ(r.kp[1], c.want.kp[1]) << c.text;
    EXPECT_EQ(r.ki[0], c.want.ki[0]) << c.text;
    EXPECT_EQ(r.ki[1], c.want.ki[1]) << c.text;
    EXPECT_EQ(r.step[0], c.want.step[0]) << c.text;
    EXPECT_EQ(r.step[1], c.want.step[1]) << c.text;
    EXPECT_EQ(r.modeSteps, c.want.modeSteps) << c.text;
  }
  GainRanges r;
  r.modeSteps = 99;
  EXPECT_EQ(ReadMtInternFile("/nonexistent/mtintern.ini", r), 0);
  EXPECT_EQ(r.modeSteps, 6);
  EXPECT_EQ(r.kp[0], 65536);
}

// ---------------------------------------------------------------- view

TEST(TuneView, DoubleClicksCycleTheEnableCodes) {
  MtSettings s{};
  EnableCycle cycle;
  std::vector<int> codes;
  for (int i = 0; i < 4; ++i) {
    const int code = cycle.Next(5, 3, GroupCode(s, CellAt(2, 4)));
    SetGroupCode(s, CellAt(2, 4), code);
    codes.push_back(code);
  }
  EXPECT_EQ(codes, (std::vector<int>{1, 2, 3, 0}));
  // Bit 1 of a code lives in mask A, bit 0 in mask B.
  SetEnableCode(s, 2, 4, 2);
  EXPECT_EQ(MaskWord(s, 0, 2), 1u << 4);
  EXPECT_EQ(MaskWord(s, 1, 2), 0u);
  // A mixed column is cleared by a double click on it.
  SetEnableCode(s, 0, 7, 1);
  EXPECT_EQ(GroupCode(s, ColumnGroup(7)), -1);
  const int code = cycle.Next(8, 0, GroupCode(s, ColumnGroup(7)));
  EXPECT_EQ(code, 0);
  SetGroupCode(s, ColumnGroup(7), code);
  EXPECT_EQ(GroupCode(s, ColumnGroup(7)), 0);
  // A row becomes all ones in both masks for code 3.
  SetGroupCode(s, RowGroup(9), 3);
  EXPECT_EQ(MaskWord(s, 0, 9), 0xFFFFFFFFu);
  EXPECT_EQ(MaskWord(s, 1, 9), 0xFFFFFFFFu);
  // Outside the map: 0 and the remembered code starts again at 1.
  EXPECT_EQ(cycle.Next(33, 0, 0), 0);
  EXPECT_EQ(cycle.Next(1, 1, 0), 1);
}

TEST(TuneView, WorkingPointMarkerWithTolerances) {
  int16_t rpm[kTuneCols];
  for (int i = 0; i < kTuneCols; ++i) rpm[i] = static_cast<int16_t>(1000 * i);  // 3000 and 4000 at 3, 4
  int16_t farf[kTuneRows];
  for (int i = 0; i < kTuneRows; ++i) farf[i] = static_cast<int16_t>(50 * i);
  struct Case {
    int value;
    bool single;
    bool shown;
    int lo, hi;
  };
  const Case cases[] = {
      {3150, true, true, 3, 3},  {3500, true, false, 0, 0},   {3850, true, true, 4, 4},
      {3150, false, true, 3, 4}, {3500, false, true, 3, 4},   {3850, false, true, 3, 4},
      {3000, true, true, 3, 3},  {31150, true, true, 31, 31}, {31250, true, false, 0, 0},
      {-150, true, true, 0, 0},  {-250, true, false, 0, 0},
  };
  for (const Case& c : cases) {
    AxisMark m;
    EXPECT_EQ(MarkAxis(rpm, kTuneCols, c.value, c.single, 200, &m), c.shown) << c.value;
    if (c.shown) {
      EXPECT_EQ(m.lo, c.lo) << c.value;
      EXPECT_EQ(m.hi, c.hi) << c.value;
    }
  }
  MtSettings s{};
  DefaultSettings(s, 0, 0, 0);
  s[kSingleMulOffset] = 1;
  WorkingPointMarker marker;
  MarkerStep step = marker.Mark(rpm, farf, 3150, 100, s, true);
  EXPECT_TRUE(step.shown);
  EXPECT_EQ(step.farf.lo, 2);
  EXPECT_EQ(step.scrollToColumn, 7);  // column hi + 4, counted from 1 in the table
  step = marker.Mark(rpm, farf, 3500, 100, s, true);
  EXPECT_FALSE(step.shown);
  EXPECT_TRUE(step.clearPrevious);
}

// ---------------------------------------------------------------- manual keys

class TuneManualTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSession();
    tuneInfo.SetState(kStateManual);
  }
  void TearDown() override { ResetSession(); }
  testing_ui::ScriptedUi ui;
};

TEST_F(TuneManualTest, FunctionKeys) {
  KeyContext k;
  k.manualMode = true;
  k.j1 = 1.995;
  k.adv = -29.8;
  KeyOutcome out = TuneFunctionKey(TuneKey::F3, k);
  EXPECT_TRUE(out.consumed);
  EXPECT_TRUE(session.adjust[kCorInj1]);
  EXPECT_EQ(session.adjustRecord[kCorInj1].value, 2000);
  EXPECT_EQ(session.adjustRecord[kCorInj1].target, kTargetInj1);
  TuneFunctionKey(TuneKey::F9, k);
  EXPECT_EQ(static_cast<int16_t>(session.adjustRecord[kCorAdv].value), -300);
  EXPECT_EQ(session.adjustRecord[kCorAdv].target, kTargetAdvance);
  session.commonCorrection = true;
  k.j1 = 0.005;
  TuneFunctionKey(TuneKey::F2, k);
  EXPECT_EQ(session.adjustRecord[kCorInj1].value, 0);
  EXPECT_EQ(session.adjustRecord[kCorInj1].target, kTargetInjBoth);
  TuneFunctionKey(TuneKey::F11, k);
  EXPECT_TRUE(session.freeze[kCorAdv]);

  ResetSession();
  k.manualMode = false;
  out = TuneFunctionKey(TuneKey::F5, k);
  EXPECT_FALSE(out.consumed);
  EXPECT_FALSE(session.adjust[kCorInj2]);
  EXPECT_TRUE(TuneFunctionKey(TuneKey::F12, k).toggleScroll);
  k.shownMap = kMapAdv;
  EXPECT_EQ(TuneFunctionKey(TuneKey::PageUp, k).shownMap, kMapAdv);
  EXPECT_EQ(TuneFunctionKey(TuneKey::PageDown, k).shownMap, kMapInj2);
  k.shownMap = kMapInj1;
  EXPECT_EQ(TuneFunctionKey(TuneKey::PageDown, k).shownMap, kMapInj1);
}

TEST_F(TuneManualTest, CorrectionControlsAndDialogValues) {
  SetTuningAdjust(kCorInj2, 1.0235);
  EXPECT_EQ(session.adjustRecord[kCorInj2].value, 1024);
  EXPECT_EQ(session.adjustRecord[kCorInj2].target, kTargetInj2);
  SelectCorrection(true, 0.95);
  EXPECT_EQ(session.adjustRecord[kCorInj1].value, 950);
  EXPECT_EQ(session.adjustRecord[kCorInj1].target, kTargetInjBoth);
  // Outside state Manual the controls send nothing.
  ResetSession();
  SetTuningAdjust(kCorAdv, 2.0);
  EXPECT_FALSE(session.adjust[kCorAdv]);

  // Percent 10 on a cell of 5.000 ms gives 5.500 ms; set cannot go beyond 10 ms.
  EXPECT_DOUBLE_EQ(TuneResult(kMapInj1, kOpPercent, 10, 5.0), 5.5);
  EXPECT_DOUBLE_EQ(QuantiseTuneValue(kMapInj1, kOpPercent, 10.04), 10.0);
  EXPECT_DOUBLE_EQ(QuantiseTuneValue(kMapInj1, kOpAdd, 0.0125), 0.013);
  EXPECT_DOUBLE_EQ(QuantiseTuneValue(kMapAdv, kOpAdd, -0.25), -0.3);
  EXPECT_DOUBLE_EQ(TuneResult(kMapAdv, kOpAdd, -30, -710.0), -720.0);
  const TuneDialogSetup set = PrepareTuneDialog(kMapInj1, kOpSet, {0, 0, 0, 0});
  EXPECT_EQ(set.max, 10);
  EXPECT_EQ(set.label, "[ms]");
  const TuneDialogSetup percent = PrepareTuneDialog(kMapAdv, kOpPercent, {0, 0, 0, 0});
  EXPECT_EQ(percent.decimals, 1);
  EXPECT_EQ(percent.label, "[%]");
  EXPECT_EQ(DefaultTuneOperation(kMapAdv), kOpAdd);
}

TEST_F(TuneManualTest, SettingsFilesRoundTripTheirBytes) {
  char tmpl[] = "/tmp/kestra-mtp-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string dir = tmpl;
  ecu::SetInitFilePath(dir + "/tarvenco.ini");
  ecu::cfg = ecu::Config{};
  MtSettings stored{};
  for (size_t i = 0; i < stored.size(); ++i) stored[i] = static_cast<uint8_t>(i * 7 + 1);
  mtSettings = stored;
  ui.files.push_back({com::FileSelect::New, dir + "/track.txt"});
  ASSERT_EQ(StoreMtSettings(), 1);
  EXPECT_EQ(ui.dialogs.back().title, "Store map-tuning settings");
  EXPECT_EQ(ui.dialogs.back().proposal, "*.mtp");
  EXPECT_EQ(ecu::cfg.tuneFilePath, dir + "/track.mtp");
  EXPECT_EQ(test_support::ReadAll(dir + "/track.mtp"), Bytes(stored.begin(), stored.end()));

  mtSettings.fill(0);
  ASSERT_EQ(LoadMtSettings(false), 1);  // the last file, silently
  EXPECT_EQ(mtSettings, stored);

  // A file of another size is refused and the settings stay.
  ASSERT_TRUE(test_support::WriteAll(dir + "/short.mtp", Bytes(199, 0xEE)));
  ui.files.push_back({com::FileSelect::Existing, dir + "/short.mtp"});
  EXPECT_EQ(LoadMtSettings(true), 0);
  EXPECT_EQ(ui.popups.back().text, "Some error occurred...");
  EXPECT_EQ(ui.popups.back().title, "Load map-tuning settings");
  EXPECT_EQ(mtSettings, stored);
  EXPECT_EQ(ecu::cfg.tuneFilePath, dir + "/track.mtp");
  ecu::SetInitFilePath("");
}

// ---------------------------------------------------------------- the session

// An ECU whose tuning exchange answers from a held Info; every request is recorded.
class TuneSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSession();
    device.handlers[com::TuneExchange] = [this](const uint8_t* payload, uint8_t n) {
      requests.emplace_back(payload, payload + n);
      sim::Device::Reply reply;
      if (silent) {
        reply.send = false;
        return reply;
      }
      if (n == kRequestSize && payload[0] == kRequestSettings) {
        reply.payload.resize(kSettingsSize);
        SettingsToWire(ecuSettings, reply.payload.data());
        return reply;
      }
      if (n == kSettingsSize) {
        SettingsFromWire(payload, ecuSettings);
        ecuInfo.SetState(kStateAuto);
      }
      if (n == kManualSize) ecuInfo.SetState(kStateManual);
      if (n == kRequestSize && payload[0] == kRequestStop) ecuInfo.SetState(kStateOff);
      reply.payload.resize(kInfoSize);
      InfoToWire(ecuInfo, reply.payload.data());
      for (CellUpdate& c : ecuInfo.cells) c = CellUpdate{};  // each change is reported once
      return reply;
    };
    std::copy(device.parBlock.begin(), device.parBlock.end(), ecu::ecuParData);
    std::copy(device.mapping[0].begin(), device.mapping[0].end(), ecu::ecuMapData);
    ecu::InitEcuRefData();
    DefaultSettings(ecuSettings, 40000, 300, 150);
    ResetInfo(ecuInfo);
  }
  void TearDown() override { ResetSession(); }
  void Connect() { ASSERT_TRUE(link.Open()); }
  TickResult Tick() {
    TickResult r;
    BeginTick(r);
    TickHooks hooks;
    hooks.getDataName = [](std::string& name, int) {
      name = "*Tuned";
      return uint8_t{1};
    };
    RunTick(r, hooks);
    session.settingsChanged = false;
    return r;
  }
  // The sizes of the requests since the last call.
  std::vector<size_t> Sent() {
    std::vector<size_t> sizes;
    for (const Bytes& r : requests) sizes.push_back(r.size());
    requests.clear();
    return sizes;
  }

  testing_ui::ScriptedUi ui;
  sim::AppDevice device;
  test_support::SimLink link{device};
  std::vector<Bytes> requests;
  MtSettings ecuSettings{};
  Info ecuInfo;
  bool silent = false;
};

TEST_F(TuneSessionTest, ConnectingToARunningAutoSessionAdoptsItsModeAndSettings) {
  ecuInfo.SetState(kStateAuto);
  SetSettingsValue(ecuSettings, kRpmTolOffset, 321);
  Connect();
  const TickResult r = Tick();
  EXPECT_FALSE(r.failed);
  EXPECT_TRUE(r.justConnected);
  EXPECT_EQ(r.adoptMode, 2);
  EXPECT_TRUE(isTuningAuto);
  EXPECT_FALSE(isTuningManual);
  EXPECT_TRUE(r.settingsRead);
  EXPECT_EQ(SettingsValue(mtSettings, kRpmTolOffset), 321);
  EXPECT_EQ(SettingsValue(mtSettings, kKpOffset), 40000);
  // The session start reloads configuration, mapping and both map groups, with no question.
  EXPECT_TRUE(r.configLoaded);
  EXPECT_TRUE(
      std::none_of(ui.popups.begin(), ui.popups.end(), [](const auto& p) { return p.kind == "confirm"; }));
  EXPECT_EQ(IsMapTuning(), 1);
  // Request 1, then Request 2.
  EXPECT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0], Bytes{kRequestInfo});
  EXPECT_EQ(requests[1], Bytes{kRequestSettings});
  Sent();

  // A changed setting goes out as the whole Auto record on the next tick.
  session.settingsChanged = true;
  SetSettingsValue(mtSettings, kRpmTolOffset, 250);
  Tick();
  EXPECT_EQ(Sent(), std::vector<size_t>{kSettingsSize});
  EXPECT_EQ(SettingsValue(ecuSettings, kRpmTolOffset), 250);
  // Without a change only the status is asked.
  Tick();
  EXPECT_EQ(Sent(), std::vector<size_t>{kRequestSize});
}

TEST_F(TuneSessionTest, AFreezeAloneIsTheTicksOnlyExchange) {
  ecuInfo.SetState(kStateManual);
  Connect();
  Tick();
  Sent();
  tuneInfo.j2Cor = 1080;
  ecuInfo.j2Cor = 1080;
  ManualFreeze(kCorInj2);
  Tick();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].size(), kFreezeSize);
  EXPECT_EQ(com::Get16BE(requests[0].data()), 1080);
  EXPECT_EQ(requests[0][2], kTargetInj2);
}

TEST_F(TuneSessionTest, CellEntriesWithinTheMapAreWrittenOthersDiscarded) {
  ecuInfo.SetState(kStateAuto);
  Connect();
  Tick();
  maps::MapPlace inj2, adv;
  ASSERT_TRUE(maps::GetMapPlace(1, 1, &inj2));
  ASSERT_TRUE(maps::GetMapPlace(2, 0, &adv));
  const Bytes before(ecu::ecuMapData, ecu::ecuMapData + ecu::kMapSize);
  ecuInfo.cells[0] = {kMapInj2, 31, 19, 4444};
  ecuInfo.cells[1] = {kMapInj2, 0, 20, 5555};  // row 20: not a map row
  ecuInfo.cells[2] = {kMapAdv, 2, 1, static_cast<uint16_t>(-55)};
  ecuInfo.cells[3] = {5, 1, 1, 1};  // unknown map type
  const TickResult r = Tick();
  EXPECT_FALSE(r.failed);
  EXPECT_EQ(com::Get16LE(ecu::ecuMapData + inj2.matrix + 2 * (19 * 32 + 31)), 4444);
  EXPECT_EQ(static_cast<int16_t>(com::Get16LE(ecu::ecuMapData + adv.matrix + 2 * (1 * 32 + 2))), -55);
  size_t changed = 0;
  for (uint32_t i = 0; i < ecu::kMapSize; ++i) changed += ecu::ecuMapData[i] != before[i];
  EXPECT_LE(changed, 4u);  // the two cells, nothing else
  for (const CellUpdate& c : tuneInfo.cells) EXPECT_EQ(c.type, kMapNone);
}

TEST_F(TuneSessionTest, StartStopAndTheQuestionsAroundThem) {
  Connect();
  ui.confirms.push_back(false);  // "Load Map-Tuning Data?"
  TickResult r = Tick();
  ASSERT_FALSE(ui.popups.empty());
  EXPECT_EQ(ui.popups.back().title, "Map Tuning");
  EXPECT_EQ(ui.popups.back().text, "Load Map-Tuning Data?");
  EXPECT_FALSE(r.configLoaded);
  Sent();

  // Start manual: the Manual record with the ring's tracking mode; the session edge loads.
  session.startManual = true;
  session.settingsChanged = true;
  r = Tick();
  EXPECT_EQ(Sent(), std::vector<size_t>{kManualSize});
  EXPECT_EQ(tuneInfo.State(), kStateManual);
  EXPECT_TRUE(r.configLoaded);

  // Leaving asks "Abort?"; no keeps the session.
  ui.confirms.push_back(false);
  EXPECT_EQ(AbortManualTuning(), 0);
  EXPECT_EQ(tuneInfo.State(), kStateManual);
  ui.confirms.push_back(true);
  EXPECT_EQ(AbortManualTuning(), 1);
  EXPECT_EQ(ui.popups.back().text, "Abort?");
  EXPECT_EQ(requests.back(), Bytes{kRequestStop});
  EXPECT_EQ(IsMapTuning(), 0);
}

TEST_F(TuneSessionTest, AnEcuThatStopsAnsweringFailsTheTickAndLosesNothing) {
  ecuInfo.SetState(kStateAuto);
  Connect();
  Tick();
  const Bytes before(ecu::ecuMapData, ecu::ecuMapData + ecu::kMapSize);
  silent = true;
  const TickResult r = Tick();
  EXPECT_TRUE(r.failed);
  EXPECT_EQ(Bytes(ecu::ecuMapData, ecu::ecuMapData + ecu::kMapSize), before);
  // Port closed: the state returns to Off and the next connection adopts again.
  com::CloseComPort();
  Tick();
  EXPECT_EQ(tuneInfo.State(), kStateOff);
  EXPECT_TRUE(session.firstStatus);
  // With the port closed an exchange sends nothing and counts as done.
  EXPECT_EQ(SendTuneRequest(kRequestInfo), 1);
}

TEST_F(TuneSessionTest, AReconnectionWhileAnotherPageWasInFrontCountsAsNew) {
  Connect();
  Tick();
  // Disconnected and connected again on another page; the ECU started tuning meanwhile.
  com::CloseComPort();
  ecuInfo.SetState(kStateAuto);
  Connect();
  const TickResult r = Tick();
  EXPECT_TRUE(r.justConnected);
  EXPECT_EQ(r.adoptMode, 2);
  EXPECT_TRUE(r.settingsRead);
  EXPECT_TRUE(r.configLoaded);
}

TEST_F(TuneSessionTest, DirectEditsGoIntoTheEcuRowByRow) {
  ecuInfo.SetState(kStateManual);
  Connect();
  maps::MapPlace inj1;
  ASSERT_TRUE(maps::GetMapPlace(1, 0, &inj1));
  for (int c = 0; c < kTuneCols; ++c)
    com::Put16LE(ecu::ecuMapData + inj1.matrix + 2 * (4 * kTuneCols + c), 2000 + c);
  const Bytes before(ecu::ecuMapData, ecu::ecuMapData + ecu::kMapSize);
  // A cell of the ECU's map set as it holds it now.
  auto ecuCell = [&](int map, int row, int col) {
    maps::MapPlace place;
    EXPECT_TRUE(TuneMapPlace(map, &place));
    return static_cast<int16_t>(
        com::Get16LE(device.ActiveMap().data() + place.matrix + 2 * (row * kTuneCols + col)));
  };
  for (int c = 0; c < kTuneCols; ++c)
    com::Put16LE(device.ActiveMap().data() + inj1.matrix + 2 * (4 * kTuneCols + c), 2000 + c);
  // '+' with the injection step: 2.005 + 0.01 ms; the rest of the row as it stands.
  ASSERT_EQ(StepTuneCell(kMapInj1, 4, 5, true, kDefaultSteps, false), 1);
  EXPECT_EQ(ecuCell(kMapInj1, 4, 5), 2015);
  EXPECT_EQ(ecuCell(kMapInj1, 4, 6), 2006);
  // The working block waits for the ECU's cell list.
  EXPECT_EQ(Bytes(ecu::ecuMapData, ecu::ecuMapData + ecu::kMapSize), before);
  // Cylinder 2 needs a second cylinder.
  ecu::ecuParData[maps::kCylinderCountOffset] = 1;
  const int16_t untouched = ecuCell(kMapInj2, 0, 0);
  EXPECT_EQ(StepTuneCell(kMapInj2, 0, 0, true, kDefaultSteps, false), 1);
  EXPECT_EQ(ecuCell(kMapInj2, 0, 0), untouched);
  // The dialog on all cylinders: cylinder 1's rows first, each from its own map.
  ecu::ecuParData[maps::kCylinderCountOffset] = 2;
  const std::vector<TuneRow> rows = TuneDialogRows(kMapInj1, kOpPercent, 10, {3, 4, 5, 6}, true);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0].map, kMapInj1);
  EXPECT_EQ(rows[2].map, kMapInj2);
  EXPECT_EQ(rows[1].values[5], 2206);  // 2.005 ms + 10 %, to the microsecond
  EXPECT_EQ(rows[1].values[7], 2007);  // outside the selection
  for (const TuneRow& r : rows) ASSERT_EQ(SendTuneMapRow(r.map, r.row, r.values), 1);
  EXPECT_EQ(ecuCell(kMapInj1, 4, 5), 2206);
  EXPECT_EQ(ecuCell(kMapInj2, 4, 5), rows[3].values[5]);
  // The advance map: area 7, cylinder 0xFF, signed values.
  uint16_t adv[kTuneCols] = {};
  adv[0] = static_cast<uint16_t>(-125);
  ASSERT_EQ(SendTuneMapRow(kMapAdv, 19, adv), 1);
  EXPECT_EQ(ecuCell(kMapAdv, 19, 0), -125);
  // An ECU that does not echo the address fails the step with the generic message.
  device.handlers[com::WriteValues] = [](const uint8_t*, uint8_t) {
    sim::Device::Reply r;
    r.send = false;
    return r;
  };
  EXPECT_EQ(StepTuneCell(kMapInj1, 4, 5, false, kDefaultSteps, false), 0);
  EXPECT_EQ(ui.popups.back().title, "Map Tuning");
  EXPECT_EQ(ui.popups.back().text, "Some error occurred...");
}

TEST(TuneStatus, TextsByStateAndMatchBits) {
  Info i;
  i.SetState(kStateLocked);
  EXPECT_STREQ(TuneStatusText(i), "ECU locked");
  i.SetState(kStateManual);
  EXPECT_STREQ(TuneStatusText(i), "Manual tuning");
  i.SetState(kStateAuto);
  EXPECT_STREQ(TuneStatusText(i), "Waiting for match-enable...");
  i.flagsB |= kFlagMatchEnabled;
  EXPECT_STREQ(TuneStatusText(i), "Waiting for lambda...");
  i.flagsA = kFlagLambda2Match;
  EXPECT_STREQ(TuneStatusText(i), "Lambda 2 match!");
  i.flagsA |= kFlagLambda1Match;
  EXPECT_STREQ(TuneStatusText(i), "Lambda 1 & lambda 2 match!");
  SetTuneStatusInfo(0, 1, 1);
  EXPECT_EQ(tuneInfo.State(), kStateAuto);
  SetTuneStatusInfo(1, 1, 1);
  EXPECT_EQ(tuneInfo.State(), kStateLocked);
  SetTuneStatusInfo(0, 0, 1);
  EXPECT_EQ(tuneInfo.State(), kStateOff);
}

}  // namespace
