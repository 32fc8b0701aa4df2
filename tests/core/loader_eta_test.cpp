// The time left of a programming run, on the test clock: a boot loader in the same
// process behind a pipe that costs wire time at the line's rate.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "link/commands.h"
#include "loader/eta.h"
#include "loader_fixture.h"

namespace loader_testing {
namespace {

// A line of `baud` (8N2) with a fixed cost per request (adapter latency) and the
// boot loader's own time: an erase takes 0.3 s, and every 64th block a flash
// sector costs 20 ms more.
class PacedPipe : public com::PipePort {
 public:
  PacedPipe(double& now, int baud, double perRequest)
      : now_(now), byte_(11.0 / baud), perRequest_(perRequest) {}
  int Write(const uint8_t* data, size_t n) override {
    now_ += static_cast<double>(n) * byte_ + perRequest_;
    if (n > 2 && data[2] == com::BootErase) now_ += 0.3;
    if (n > 5 && data[2] == com::BootWriteBlock && data[5] % 64 == 63) now_ += 0.020;
    return PipePort::Write(data, n);
  }
  int Read(uint8_t* data, size_t n) override {
    const int r = PipePort::Read(data, n);
    if (r > 0) now_ += r * byte_;
    return r;
  }

 private:
  double& now_;
  double byte_, perRequest_;
};

struct Shown {
  loader::RunTime time;
  double at;
};

class TimeView : public RecordingView {
 public:
  explicit TimeView(const double& now) : now_(now) {}
  void SetRunTime(const loader::RunTime& t) override {
    RecordingView::SetRunTime(t);
    shown.push_back({t, now_});
  }
  std::vector<Shown> shown;

 private:
  const double& now_;
};

struct Line {
  const char* name;
  int baud;
  bool serial;  // a serial item (38400) rather than the USB adapter (312500)
  double perRequest;
};

class TimeLeftOnTheLine : public BootSessionTest, public ::testing::WithParamInterface<Line> {};

TEST_P(TimeLeftOnTheLine, WithinATenthOfTheRealRemainingTimeFromTenPercentOn) {
  const Line& line = GetParam();
  if (line.serial) com::PortIndex() = com::AddPortDevice("/dev/ttyUSB7");
  ASSERT_EQ(com::SelectedLineBaud(), line.baud);
  com::SetPortFactory([this, &line](const com::PortItem&, std::string*) -> std::unique_ptr<com::Port> {
    auto p = std::make_unique<PacedPipe>(now, line.baud, line.perRequest);
    pipe = p.get();
    sim::AttachToPipe(engine, *p);
    p->SetStarveHook([this](double timeout) { now += timeout; });
    return p;
  });
  TimeView timeView(now);
  loader::SetView(&timeView);
  const std::string path = dir.Write("fw.mlf", SecondGenFile("TrvcoCrv", Pattern(96 * 1024)));
  Connect();
  ASSERT_EQ(loader::SendFirmware(path), loader::kResultDone);

  ASSERT_GE(timeView.shown.size(), 3u);
  const Shown& last = timeView.shown.back();
  ASSERT_GE(last.time.took, 0.0);
  EXPECT_EQ(loader::RunTimeText(last.time).rfind("took ", 0), 0u);
  const double end = last.at;
  int checked = 0;
  for (const Shown& s : timeView.shown) {
    if (s.time.took >= 0 || s.time.fraction < 0.10 || s.time.fraction > 0.90) continue;
    const double real = end - s.at;
    EXPECT_NEAR(s.time.secondsLeft, real, 0.10 * real) << "at " << s.time.fraction * 100 << " %";
    ++checked;
  }
  EXPECT_GT(checked, 100);
  // The run took the erase and every block: more than the blocks' wire time alone.
  const loader::TimeLeft wire(96 * 1024, line.baud);
  EXPECT_GT(last.time.took, wire.WireSeconds(96 * 1024, true));
}

INSTANTIATE_TEST_SUITE_P(Lines, TimeLeftOnTheLine,
                         ::testing::Values(Line{"serial38400", 38400, true, 0.0004},
                                           Line{"usb312500", 312500, false, 0.0010}),
                         [](const ::testing::TestParamInfo<Line>& info) {
                           return std::string(info.param.name);
                         });

TEST(TimeLeft, WireFigureUntilMeasuredThenTheMeasuredRate) {
  loader::TimeLeft t(253 * 100, 38400);
  t.Start(10.0);
  const double wire = t.WireSeconds(253 * 100, true);
  EXPECT_NEAR(wire, (253.0 * 100 + 101 * 10) * 11 / 38400, 1e-9);
  EXPECT_DOUBLE_EQ(t.SecondsLeft(), wire);
  // Twenty blocks took twice their wire time: the rest will too.
  t.Sent(253 * 20, 10.0 + 2 * t.WireSeconds(253 * 20, false));
  EXPECT_NEAR(t.SecondsLeft(), 2 * t.WireSeconds(253 * 80, true), 1e-9);
  EXPECT_DOUBLE_EQ(t.Fraction(), 0.2);
  // One block measured counts for an eighth only.
  loader::TimeLeft early(253 * 100, 38400);
  early.Start(0.0);
  early.Sent(253, 3 * early.WireSeconds(253, false));
  EXPECT_NEAR(early.SecondsLeft(), early.WireSeconds(253 * 99, true) * (1 + 2.0 / 8), 1e-9);
}

TEST(TimeLeft, Texts) {
  EXPECT_EQ(loader::RunTimeText({0.424, 65.4, -1}), "42 %, 1:05 left");
  EXPECT_EQ(loader::RunTimeText({0.05, 44.6, -1}), "5 %, 45 s left");
  EXPECT_EQ(loader::RunTimeText({1.0, -1, 80.2}), "took 1:20");
  EXPECT_EQ(loader::RunTimeText({}), "");
  EXPECT_EQ(loader::DurationText(3723), "1:02:03");
  EXPECT_EQ(loader::DurationText(-3), "0 s");
}

}  // namespace
}  // namespace loader_testing
