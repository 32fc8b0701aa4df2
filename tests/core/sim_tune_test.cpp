// The simulated ECU's map tuning, through the real framing over an in-memory pipe:
// the records of command 10 and their lengths, the states and the identity's tuning
// bits, the cell list, map row writes, manual corrections and freezes, and an auto
// session that tunes the enabled cells to the engine's true map.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <ostream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ecudata/image.h"
#include "link/bytes.h"
#include "link/com.h"
#include "link/commands.h"
#include "link/frame.h"
#include "sim_link.h"
#include "link/utils.h"
#include "sim/appsim.h"
#include "sim/simprocess.h"
#include "sim/tuner.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kInj1 = 464, kInj2 = 464 + 1280, kAdv = 3128;

class TuneSimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tuner.clock = [this] { return now; };
    tuner.Install(device);
    ASSERT_TRUE(link.Open());
  }

  // One request, one read: RxResponse's result (1: no answer).
  int32_t Exchange(uint8_t command, const Bytes& request, Bytes* reply = nullptr) {
    if (com::TxCommand(command, request.data(), static_cast<uint8_t>(request.size())) != 1) return -2;
    uint8_t buf[255];
    uint8_t n = 0;
    const int32_t rc = com::RxResponse(command, buf, 255, &n);
    if (reply) reply->assign(buf, buf + (rc == 0 ? n : 0));
    return rc;
  }
  // A tuning record answered with Info; fails the test otherwise.
  sim::TuneInfo Tune(const Bytes& record) {
    Bytes reply;
    EXPECT_EQ(Exchange(com::TuneExchange, record, &reply), 0);
    EXPECT_EQ(reply.size(), sim::kTuneInfoSize);
    if (reply.size() != sim::kTuneInfoSize) return {};
    return sim::DecodeTuneInfo(reply.data());
  }
  sim::TuneInfo Poll() { return Tune({1}); }
  uint8_t IdentityFlags() {
    Bytes rec;
    EXPECT_EQ(Exchange(com::Identify, Bytes(30, 0), &rec), 0);
    return rec.empty() ? 0xFF : rec[0];
  }
  static Bytes Adjust(int value, uint8_t target, uint8_t pause = 0) {
    Bytes r(4);
    com::Put16BE(r.data(), static_cast<uint16_t>(value));
    r[2] = target;
    r[3] = pause;
    return r;
  }
  static Bytes Freeze(int value, uint8_t target) {
    Bytes r(6, 0);
    com::Put16BE(r.data(), static_cast<uint16_t>(value));
    r[2] = target;
    return r;
  }
  static Bytes Manual(uint8_t single, uint16_t rpmTol = 200, uint16_t throttleTol = 50, uint8_t mode = 0) {
    Bytes r(10, 0);
    r[0] = single;
    com::Put16BE(r.data() + 2, rpmTol);
    com::Put16BE(r.data() + 4, throttleTol);
    r[8] = mode;
    return r;
  }
  static Bytes RowWrite(uint8_t area, uint8_t row, uint8_t cylinder, const std::vector<int>& values) {
    Bytes r{3, area, row, cylinder};
    for (int v : values) r.insert(r.end(), {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)});
    return r;
  }
  uint16_t Cell(uint32_t matrix, int row, int column) const {
    return com::Get16LE(device.ActiveMap().data() + matrix + 2 * (row * 32 + column));
  }

  double now = 100;
  sim::AppDevice device;
  sim::Tuner tuner;
  test_support::SimLink link{device};
};

// Every record by its length, and what gets no answer at all.
TEST_F(TuneSimTest, RecordsAndLengths) {
  struct Case {
    const char* what;
    Bytes record;
    size_t replySize;  // 0: no answer
  };
  const Case cases[] = {
      {"Request Info", {1}, 156},
      {"Request Parms", {2}, 200},
      {"Request stop", {3}, 156},
      {"Manual", Manual(0), 156},
      {"Freeze", Freeze(1000, 2), 156},
      {"Adjust", Adjust(1000, 2), 156},
      {"Auto", sim::EncodeTuneSettings({}), 156},
      {"Request 0", {0}, 0},
      {"Request 4", {4}, 0},
      {"Freeze target 0", Freeze(1000, 0), 0},
      {"Freeze target 5", Freeze(1000, 5), 0},
      {"Adjust target 5", Adjust(1000, 5), 0},
      {"Empty", {}, 0},
      {"Two bytes", {1, 0}, 0},
      {"Five bytes", Bytes(5, 0), 0},
      {"Settings one short", Bytes(199, 0), 0},
      {"Settings one long", Bytes(201, 0), 0},
  };
  int refused = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes reply;
    const int32_t rc = Exchange(com::TuneExchange, c.record, &reply);
    if (c.replySize == 0) {
      EXPECT_EQ(rc, 1);
      EXPECT_EQ(tuner.refused, ++refused);
    } else {
      ASSERT_EQ(rc, 0);
      EXPECT_EQ(reply.size(), c.replySize);
    }
  }
}

// The Info fields where the table puts them, and the settings back as they were sent.
TEST_F(TuneSimTest, InfoLayoutAndSettingsRoundTrip) {
  Bytes raw;
  ASSERT_EQ(Exchange(com::TuneExchange, {1}, &raw), 0);
  ASSERT_EQ(raw.size(), 156u);
  EXPECT_EQ(com::Get16BE(raw.data()), std::lround(tuner.Rpm()));
  EXPECT_EQ(com::Get16BE(raw.data() + 2), std::lround(tuner.Throttle()));
  EXPECT_EQ(com::Get16BE(raw.data() + 8), 0xFFFF);  // no target in use while off
  EXPECT_EQ(com::Get16BE(raw.data() + 10), 800);    // 80.0 degrees
  EXPECT_EQ(com::Get16BE(raw.data() + 16), 1000);
  EXPECT_EQ(com::Get16BE(raw.data() + 18), 1000);
  EXPECT_EQ(raw[25] & 3, 1);  // Off
  for (int i = 0; i < 32; ++i) {
    EXPECT_EQ(com::Get16BE(raw.data() + 28 + 4 * i), 7 << 10) << i;  // empty entries
    EXPECT_EQ(com::Get16BE(raw.data() + 30 + 4 * i), 0) << i;
  }
  // The base injection time is the map at the working point: between the smallest and
  // largest cell of the active map set's cylinder-2 map.
  const uint16_t base2 = com::Get16BE(raw.data() + 14);
  EXPECT_GE(base2, 1500);
  EXPECT_LE(base2, 9000);

  sim::TuneSettings s;
  s.enableMaskA[3] = 0x80000001;
  s.enableMaskB[19] = 0xFFFFFFFF;
  s.rpmMargin = 321;
  s.minTemp = -50;
  s.maxTemp = 1100;
  s.targets = {120, 130, -1};
  s.lambdaTolerance = 7;
  s.minInjTime = 900;
  s.maxInjTime = 20000;
  s.kp = -70000;
  s.ki = 123456;
  s.step = 65535;
  s.singleCell = 1;
  s.rpmTolerance = 350;
  s.throttleTolerance = 20;
  s.cellHold = 500;
  s.trackingMode = 3;
  const Bytes sent = sim::EncodeTuneSettings(s);
  EXPECT_EQ(com::Get32BE(sent.data() + 12), 0x80000001u);  // row 3 of mask A
  EXPECT_EQ(com::Get16BE(sent.data() + 166 + 2), 130);     // target 2
  EXPECT_EQ(sent[198], 3);
  ASSERT_EQ(Tune(sent).State(), sim::TuneState::Auto);
  Bytes parms;
  ASSERT_EQ(Exchange(com::TuneExchange, {2}, &parms), 0);
  EXPECT_EQ(parms, sent);
  EXPECT_EQ(tuner.settings.kp, -70000);
  EXPECT_EQ(tuner.settings.EnableCode(19, 4), 1);
  EXPECT_EQ(tuner.settings.EnableCode(3, 31), 2);
}

// State changes by the records, the identity's tuning bits in step (bit 6 tuning,
// bit 5 auto), and a lock that stops a session and refuses new ones.
TEST_F(TuneSimTest, StatesAndIdentityBits) {
  using S = sim::TuneState;
  EXPECT_EQ(IdentityFlags(), 0x00);
  EXPECT_EQ(Tune(Manual(1)).State(), S::Manual);
  EXPECT_EQ(IdentityFlags(), 0x40);
  EXPECT_EQ(tuner.settings.singleCell, 1);
  EXPECT_EQ(Tune(sim::EncodeTuneSettings({})).State(), S::Auto);
  EXPECT_EQ(IdentityFlags(), 0x60);
  EXPECT_EQ(Tune({3}).State(), S::Off);
  EXPECT_EQ(IdentityFlags(), 0x00);

  EXPECT_EQ(Tune(sim::EncodeTuneSettings({})).State(), S::Auto);
  device.identity.isProtected = true;  // locked while tuning: the session ends
  EXPECT_EQ(Poll().State(), S::Locked);
  EXPECT_EQ(IdentityFlags(), 0x80);
  EXPECT_EQ(Tune(Manual(0)).State(), S::Locked);
  EXPECT_EQ(Tune(sim::EncodeTuneSettings({})).State(), S::Locked);
  Bytes parms;
  EXPECT_EQ(Exchange(com::TuneExchange, {2}, &parms), 0);
  EXPECT_EQ(parms.size(), 200u);
  device.identity.isProtected = false;
  EXPECT_EQ(Poll().State(), S::Off);
  EXPECT_EQ(IdentityFlags(), 0x00);

  tuner.Start(S::Auto);  // what --tune-state does
  EXPECT_EQ(IdentityFlags(), 0x60);
  EXPECT_EQ(Poll().State(), S::Auto);
}

// Command 30 at address 3.area.row.cylinder writes a row of the active map set; a bad
// address or length is not answered and changes nothing; other addresses keep their
// generic store.
TEST_F(TuneSimTest, RowWrites) {
  device.activeMapping = 2;
  std::vector<int> row(32);
  for (int c = 0; c < 32; ++c) row[c] = 4000 + c;
  std::vector<int> advance(32, -120);

  struct Case {
    const char* what;
    Bytes request;
    uint32_t matrix;  // 0: refused
    int row;
  };
  Bytes shortData = RowWrite(6, 0, 0, row);
  shortData.pop_back();
  const Case cases[] = {
      {"Cylinder 1 row 0", RowWrite(6, 0, 0, row), kInj1, 0},
      {"Cylinder 2 row 19", RowWrite(6, 19, 1, row), kInj2, 19},
      {"Advance row 5", RowWrite(7, 5, 0xFF, advance), kAdv, 5},
      {"Row 20", RowWrite(6, 20, 0, row), 0, 0},
      {"Area 8", RowWrite(8, 0, 0, row), 0, 0},
      {"Cylinder 2 of the advance", RowWrite(7, 0, 1, advance), 0, 0},
      {"Cylinder 3", RowWrite(6, 0, 2, row), 0, 0},
      {"Advance as cylinder 0xFF of injection", RowWrite(6, 0, 0xFF, row), 0, 0},
      {"One byte short", shortData, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Bytes set1 = device.mapping[0], set2 = device.mapping[1];
    Bytes reply;
    const int32_t rc = Exchange(com::WriteValues, c.request, &reply);
    EXPECT_EQ(device.mapping[0], set1);  // map set 1 is not the active one
    if (c.matrix == 0) {
      EXPECT_EQ(rc, 1);
      EXPECT_EQ(device.mapping[1], set2);
      continue;
    }
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(reply, Bytes(c.request.begin(), c.request.begin() + 4));
    for (int col = 0; col < 32; ++col)
      EXPECT_EQ(Cell(c.matrix, c.row, col), static_cast<uint16_t>(c.matrix == kAdv ? -120 : 4000 + col));
  }
  EXPECT_TRUE(device.values.empty());

  const Bytes other{0x07, 0x06, 0x01, 0x00, 9, 8};
  Bytes reply;
  ASSERT_EQ(Exchange(com::WriteValues, other, &reply), 0);
  EXPECT_EQ(reply, Bytes(other.begin(), other.begin() + 4));
  EXPECT_EQ(device.values[0x07060100], (Bytes{9, 8}));
}

// Changed cells wait in a list: 32 an Info in the order of their first change, a cell
// changed twice once with its latest value, unchanged cells of a row write not at all.
TEST_F(TuneSimTest, CellListQueuesAndMergesChanges) {
  std::vector<int> row0(32), row1(32);
  for (int c = 0; c < 32; ++c) {
    row0[c] = 5000 + c;
    row1[c] = Cell(kInj2, 1, c);  // unchanged but for two cells
  }
  row1[3] = 6003;
  row1[4] = 6004;
  std::vector<int> advance(32);
  for (int c = 0; c < 32; ++c) advance[c] = static_cast<int16_t>(Cell(kAdv, 2, c));
  advance[31] = -7200;
  ASSERT_EQ(Exchange(com::WriteValues, RowWrite(6, 0, 0, row0)), 0);
  ASSERT_EQ(Exchange(com::WriteValues, RowWrite(6, 1, 1, row1)), 0);
  ASSERT_EQ(Exchange(com::WriteValues, RowWrite(7, 2, 0xFF, advance)), 0);
  row0[0] = 5999;  // cylinder 1, row 0, column 0 again before it was reported
  ASSERT_EQ(Exchange(com::WriteValues, RowWrite(6, 0, 0, row0)), 0);
  EXPECT_EQ(tuner.PendingCells(), 35u);

  std::vector<sim::TuneCell> reported;
  for (int i = 0; i < 3; ++i) {
    const sim::TuneInfo info = Poll();
    int used = 0;
    for (const sim::TuneCell& c : info.cells)
      if (c.type != 7) reported.push_back(c), ++used;
    EXPECT_EQ(used, i == 0 ? 32 : i == 1 ? 3 : 0);
  }
  ASSERT_EQ(reported.size(), 35u);
  for (int c = 0; c < 32; ++c) {
    EXPECT_EQ(reported[c].type, 2);
    EXPECT_EQ(reported[c].row, 0);
    EXPECT_EQ(reported[c].column, c);
    EXPECT_EQ(reported[c].value, c == 0 ? 5999 : 5000 + c);
  }
  EXPECT_EQ(reported[32].type, 3);
  EXPECT_EQ(reported[32].column, 3);
  EXPECT_EQ(reported[32].value, 6003);
  EXPECT_EQ(reported[33].column, 4);
  EXPECT_EQ(reported[34].type, 4);
  EXPECT_EQ(reported[34].row, 2);
  EXPECT_EQ(reported[34].column, 31);
  EXPECT_EQ(reported[34].value, static_cast<uint16_t>(-7200));
}

// Manual: the adjusts set the corrections and lambda follows them (after the exhaust's
// delay); the pause takes them out and refuses freezes; a freeze writes the factor into
// the cell at the working point, reports it and sets the correction back to neutral.
TEST_F(TuneSimTest, ManualAdjustPauseAndFreeze) {
  tuner.holdTime = 30;  // not used by the whole-map ride; the rider holds 2 s a cell
  sim::TuneInfo info = Tune(Manual(1, 200, 50));
  ASSERT_EQ(info.State(), sim::TuneState::Manual);
  EXPECT_EQ(info.target, 125);
  auto settle = [&] {
    now += 0.2;
    return Poll();
  };
  const sim::TuneInfo plain = settle();

  info = Tune(Adjust(1100, 2));
  EXPECT_EQ(info.factor[0], 1100);
  EXPECT_EQ(info.factor[1], 1000);
  info = settle();
  // Richer by 10 %: lambda 1 falls by about that much, lambda 2 stays.
  EXPECT_NEAR(info.lambda[0], plain.lambda[0] / 1.1, 3);
  EXPECT_NEAR(info.lambda[1], plain.lambda[1], 3);
  EXPECT_EQ(Tune(Adjust(1050, 1)).factor, (std::array<uint16_t, 2>{1050, 1050}));
  EXPECT_EQ(Tune(Adjust(static_cast<uint16_t>(-50), 4)).advanceCorrection, -50);
  EXPECT_EQ(Tune(Adjust(5000, 3)).factor[1], 2000);  // limited to x2.000
  EXPECT_EQ(Tune(Adjust(static_cast<uint16_t>(-900), 4)).advanceCorrection, -300);
  ASSERT_EQ(Tune(Adjust(1000, 3)).factor[1], 1000);

  // Pause: the corrections are not applied, and freezes are ignored.
  info = Tune(Adjust(1000, 0, 1));
  EXPECT_TRUE(info.flagsB & sim::kTunePause);
  info = settle();
  EXPECT_NEAR(info.lambda[0], plain.lambda[0], 3);
  const Bytes before = device.ActiveMap();
  Tune(Freeze(1050, 2));
  EXPECT_EQ(device.ActiveMap(), before);
  EXPECT_EQ(tuner.PendingCells(), 0u);
  info = Tune(Adjust(1000, 0, 0));
  EXPECT_FALSE(info.flagsB & sim::kTunePause);

  // Freeze cylinder 1 and the advance at the working point (single cell: the breakpoints
  // nearest to it; the rider holds them).
  int16_t rpmAxis[32], throttleAxis[20];
  for (int c = 0; c < 32; ++c) rpmAxis[c] = static_cast<int16_t>(com::Get16LE(before.data() + 3024 + 2 * c));
  for (int r = 0; r < 20; ++r)
    throttleAxis[r] = static_cast<int16_t>(com::Get16LE(before.data() + 3088 + 2 * r));
  int column = 0, row = 0;
  for (int c = 0; c < 32; ++c)
    if (std::abs(rpmAxis[c] - tuner.Rpm()) < std::abs(rpmAxis[column] - tuner.Rpm())) column = c;
  for (int r = 0; r < 20; ++r)
    if (std::abs(throttleAxis[r] - tuner.Throttle()) < std::abs(throttleAxis[row] - tuner.Throttle()))
      row = r;
  const uint16_t inj = Cell(kInj1, row, column), inj2 = Cell(kInj2, row, column);
  const auto adv = static_cast<int16_t>(Cell(kAdv, row, column));
  Tune(Adjust(1050, 2));
  Tune(Adjust(25, 4));
  std::vector<sim::TuneCell> reported;
  auto collect = [&](const sim::TuneInfo& i) {
    for (const sim::TuneCell& c : i.cells)
      if (c.type != 7) reported.push_back(c);
    return i;
  };
  EXPECT_EQ(collect(Tune(Freeze(1050, 2))).factor[0], 1000);
  EXPECT_EQ(collect(Tune(Freeze(25, 4))).advanceCorrection, 0);
  collect(Poll());
  EXPECT_EQ(Cell(kInj1, row, column), std::lround(inj * 1.05));
  EXPECT_EQ(Cell(kInj2, row, column), inj2);
  EXPECT_EQ(static_cast<int16_t>(Cell(kAdv, row, column)), adv + 25);
  ASSERT_EQ(reported.size(), 2u);
  EXPECT_EQ(reported[0].type, 2);
  EXPECT_EQ(reported[0].row, row);
  EXPECT_EQ(reported[0].column, column);
  EXPECT_EQ(reported[0].value, Cell(kInj1, row, column));
  EXPECT_EQ(reported[1].type, 4);
  EXPECT_EQ(reported[1].value, Cell(kAdv, row, column));
  Bytes after = device.ActiveMap();
  for (uint32_t at : {kInj1 + 2 * (row * 32 + column), kAdv + 2 * (row * 32 + column)}) {
    after[at] = before[at];
    after[at + 1] = before[at + 1];
  }
  EXPECT_EQ(after, before);  // nothing else changed
}

// An auto session of 60 simulated seconds, polled every 100 ms with the default
// settings, brings the enabled cells within 3 % of the true map (scaled by the target
// of their code), leaves every other byte of the map sets as it was, and the cell
// lists carry every change: a copy kept from them equals the ECU's map.
struct ConvergenceCase {
  const char* name;
  int code;
  int16_t target;
  uint8_t single;
};

void PrintTo(const ConvergenceCase& c, std::ostream* os) {
  *os << c.name;
}

class TuneConvergenceTest : public TuneSimTest, public ::testing::WithParamInterface<ConvergenceCase> {};

TEST_P(TuneConvergenceTest, AutoSessionConverges) {
  // 24 cells at 2 % to 8 % throttle and 800 to 2550 rpm, 4 % to 19 % lean at the start.
  constexpr int kRow0 = 1, kRow1 = 4, kCol0 = 0, kCol1 = 5;
  const ConvergenceCase& p = GetParam();
  sim::TuneSettings s;  // defaults: slider position 0 of the fallback gain ranges
  s.singleCell = p.single;
  s.targets[p.code - 1] = p.target;
  for (int r = kRow0; r <= kRow1; ++r)
    for (int c = kCol0; c <= kCol1; ++c) s.SetEnableCode(r, c, p.code);
  const Bytes start = device.ActiveMap(), other = device.mapping[1];
  Bytes copy = start;
  double worstStart = 0;
  for (int r = kRow0; r <= kRow1; ++r)
    for (int c = kCol0; c <= kCol1; ++c)
      worstStart = std::max(worstStart, std::abs(Cell(kInj1, r, c) / double(tuner.TrueCell(0, r, c)) - 1));
  EXPECT_GT(worstStart, 0.12);  // the session has something to do

  auto apply = [&](const sim::TuneInfo& info) {
    for (const sim::TuneCell& c : info.cells) {
      if (c.type == 7) continue;
      ASSERT_TRUE(c.type == 2 || c.type == 3) << int(c.type);
      ASSERT_TRUE(s.EnableCode(c.row, c.column) != 0) << int(c.row) << "," << int(c.column);
      com::Put16LE(copy.data() + (c.type == 2 ? kInj1 : kInj2) + 2 * (c.row * 32 + c.column), c.value);
    }
  };
  apply(Tune(sim::EncodeTuneSettings(s)));
  bool matched = false, waited = false;
  for (int tick = 0; tick < 600; ++tick) {
    now += 0.1;
    const sim::TuneInfo info = Poll();
    apply(info);
    ASSERT_EQ(info.State(), sim::TuneState::Auto);
    if (info.flagsB & sim::kTuneMatchEnabled) {
      EXPECT_EQ(info.target, p.target);
      matched |= (info.flagsA & sim::kTuneLambda1Match) && (info.flagsA & sim::kTuneLambda2Match);
    } else {
      waited = true;
    }
  }
  ASSERT_EQ(Tune({3}).State(), sim::TuneState::Off);
  apply(Poll());
  EXPECT_TRUE(matched);
  EXPECT_TRUE(waited);  // moving between cells

  const double scale = 125.0 / p.target;
  double worst = 0;
  for (int cyl = 0; cyl < 2; ++cyl)
    for (int r = kRow0; r <= kRow1; ++r)
      for (int c = kCol0; c <= kCol1; ++c) {
        const double want = tuner.TrueCell(cyl, r, c) * scale;
        const double error = std::abs(Cell(cyl ? kInj2 : kInj1, r, c) / want - 1);
        worst = std::max(worst, error);
        EXPECT_LT(error, 0.03) << "cylinder " << cyl + 1 << " row " << r << " column " << c;
      }
  std::printf("[          ] worst cell %.2f %% off at the start, %.2f %% after 60 s\n", worstStart * 100,
              worst * 100);
  EXPECT_EQ(copy, device.ActiveMap());
  // Every disabled cell, and everything else, byte for byte as it was.
  Bytes restored = device.ActiveMap();
  for (uint32_t matrix : {kInj1, kInj2})
    for (int r = kRow0; r <= kRow1; ++r)
      for (int c = kCol0; c <= kCol1; ++c)
        for (int b = 0; b < 2; ++b)
          restored[matrix + 2 * (r * 32 + c) + b] = start[matrix + 2 * (r * 32 + c) + b];
  EXPECT_EQ(restored, start);
  EXPECT_EQ(device.mapping[1], other);
}

INSTANTIATE_TEST_SUITE_P(Sim, TuneConvergenceTest,
                         ::testing::Values(ConvergenceCase{"MultipleCode1", 1, 125, 0},
                                           ConvergenceCase{"SingleCode3Leaner", 3, 135, 1}),
                         [](const ::testing::TestParamInfo<ConvergenceCase>& info) {
                           return std::string(info.param.name);
                         });

// What keeps cells from changing: the tracking mode leaves a cylinder out, the
// temperature window, the injection-time limits.
TEST_F(TuneSimTest, WindowsModesAndLimits) {
  struct Case {
    const char* what;
    std::function<void(sim::TuneSettings&)> set;
    double engineTemp;
    bool cyl1Changes, cyl2Changes;
    uint8_t flagsA, flagsB, flagsC;  // seen at least once
  };
  auto overrun = [](sim::TuneSettings& s) {
    s = {};
    for (int col = 10; col <= 13; ++col) s.SetEnableCode(0, col, 2);  // closed throttle, 4300 rpm up
  };
  const Case cases[] = {
      {"Mode 2: cylinder 1 only", [](sim::TuneSettings& s) { s.trackingMode = 2; }, 80, true, false, 0, 0, 0},
      {"Mode 3: cylinder 2 only", [](sim::TuneSettings& s) { s.trackingMode = 3; }, 80, false, true, 0, 0, 0},
      {"Mode 7: none", [](sim::TuneSettings& s) { s.trackingMode = 7; }, 80, false, false, 0, 0, 0},
      {"Too cold", [](sim::TuneSettings&) {}, 55, false, false, sim::kTuneTempWindow, 0, 0},
      {"Too hot", [](sim::TuneSettings& s) { s.maxTemp = 700; }, 80, false, false, sim::kTuneTempWindow, 0,
       0},
      {"No rpm margin", [](sim::TuneSettings& s) { s.rpmMargin = 0; }, 80, false, false, sim::kTuneRpmWindow,
       0, 0},
      {"Overrun cut-off", overrun, 80, false, false, 0, sim::kTuneCutOff, 0},
      {"Cells held at the limit", [](sim::TuneSettings& s) { s.maxInjTime = 3000; }, 80, true, true, 0, 0,
       sim::kTuneOverLimit1 | sim::kTuneOverLimit2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    device.SetDefaultBlocks();
    tuner.ResetTrueMap();
    tuner.engineTemp = c.engineTemp;
    sim::TuneSettings s;
    for (int col = 2; col <= 5; ++col) s.SetEnableCode(4, col, 1);  // 2.5 to 3.0 ms
    c.set(s);
    const Bytes start = device.ActiveMap();
    Tune(sim::EncodeTuneSettings(s));
    uint8_t a = 0, b = 0, cFlags = 0;
    for (int tick = 0; tick < 100; ++tick) {
      now += 0.1;
      const sim::TuneInfo info = Poll();
      a |= info.flagsA;
      b |= info.flagsB;
      cFlags |= info.flagsC;
      if (!c.cyl1Changes && !c.cyl2Changes) {
        EXPECT_FALSE(info.flagsB & sim::kTuneMatchEnabled);
      }
    }
    Tune({3});
    const Bytes& end = device.ActiveMap();
    auto changed = [&](uint32_t matrix) {
      return !std::equal(start.begin() + matrix, start.begin() + matrix + 1280, end.begin() + matrix);
    };
    EXPECT_EQ(changed(kInj1), c.cyl1Changes);
    EXPECT_EQ(changed(kInj2), c.cyl2Changes);
    EXPECT_EQ(a & c.flagsA, c.flagsA);
    EXPECT_EQ(b & c.flagsB, c.flagsB);
    EXPECT_EQ(cFlags & c.flagsC, c.flagsC);
    if (c.flagsC)
      for (int col = 2; col <= 5; ++col) {
        EXPECT_LE(Cell(kInj1, 4, col), 3000);
        EXPECT_LE(Cell(kInj2, 4, col), 3000);
      }
  }
}

// q740-sim --tune-state and --tune-fault, through the real serial code.
TEST(TuneSimProcessTest, StartStateAndFaults) {
  struct stat st {};
  if (stat(SIM_BINARY, &st) != 0) GTEST_SKIP() << "q740-sim not built at " << SIM_BINARY;
  struct Case {
    std::vector<std::string> args;
    uint8_t identityFlags;
    std::vector<size_t> infoSizes;  // of three Request 1 in turn; 0 no answer
    int state;
  };
  const Case cases[] = {
      {{"--tune-state", "auto", "--tune-fault", "short", "--tune-fault-at", "2"}, 0x60, {156, 155, 156}, 3},
      {{"--tune-state", "manual", "--tune-fault", "no-answer", "--tune-fault-at", "1"},
       0x40,
       {0, 156, 156},
       2},
      {{"--tune-state", "locked", "--tune-fault", "long"}, 0x80, {157, 157, 157}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[1]);
    sim::SimProcess sim;
    ASSERT_TRUE(sim.Start(SIM_BINARY, c.args));
    com::SetPortFactory({});
    com::CloseComPort();
    com::InitPortList({sim.Device()}, false);
    com::PortIndex() = com::AddPortDevice(sim.Device());
    com::OpenComPort();
    ASSERT_EQ(com::isComOpen, 1) << com::LastPortError();
    auto exchange = [](uint8_t command, const Bytes& request, double timeout, Bytes* reply) {
      com::TxCommand(command, request.data(), static_cast<uint8_t>(request.size()));
      uint8_t buf[255];
      uint8_t n = 0;
      const int32_t rc = com::RxResponsePolled(command, buf, 255, &n, com::Timer(), timeout);
      reply->assign(buf, buf + (rc == 0 ? n : 0));
      return rc;
    };
    Bytes reply;
    ASSERT_EQ(exchange(com::Identify, Bytes(30, 0), 1.5, &reply), 0);
    ASSERT_EQ(reply.size(), 16u);
    EXPECT_EQ(reply[0], c.identityFlags);
    for (size_t size : c.infoSizes) {
      const int32_t rc = exchange(com::TuneExchange, {1}, size ? 1.5 : 0.3, &reply);
      EXPECT_EQ(rc, size ? 0 : -1);
      EXPECT_EQ(reply.size(), size);
      if (reply.size() > 25) {
        EXPECT_EQ(reply[25] & 3, c.state);
      }
    }
    com::CloseComPort();
    EXPECT_EQ(sim.Stop(), 0);
  }
}

}  // namespace
