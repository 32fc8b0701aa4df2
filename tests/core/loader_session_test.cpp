// The boot-loader session against the in-process simulator: connection state
// machine, identity texts, programming runs, result display and the commands.
#include <ostream>
#include <gtest/gtest.h>

#include "link/commands.h"
#include "loader/commands.h"
#include "loader/info.h"
#include "loader/live.h"
#include "loader_fixture.h"
#include "scripted_ui.h"

namespace {

using namespace loader_testing;
using Hello = sim::BootOptions::Hello;

const Bytes kPlainHello = {0x6A, 0x01, 0x01, 0x00};
const Bytes kExtendedHello = {0x6A, 0x04, 0x01, 0x02, 0x00, 0x01};

// ---------------------------------------------------------------- state machine

struct FindCase {
  const char* name;
  Hello hello;
  int foundAtTick;  // tick whose presence check is answered
  uint32_t colour;  // RINGport once connected
};

void PrintTo(const FindCase& c, std::ostream* os) {
  *os << c.name;
}

class FindBootLoader : public BootSessionTest, public ::testing::WithParamInterface<FindCase> {};

TEST_P(FindBootLoader, AlternatingHelloAndColours) {
  const FindCase& c = GetParam();
  device.Options().hello = c.hello;
  // The first attempt uses the plain form; a failed one closes the port and the next
  // attempt, three ticks later, uses the other form.
  loader::MainTimer();
  EXPECT_EQ(requests.back(), kPlainHello);
  EXPECT_EQ(view.colours.back(), loader::kColourClosed);
  if (c.foundAtTick > 1) {
    EXPECT_EQ(com::isComOpen, 0);
    EXPECT_EQ(view.title, "Kalvex v3.0    <disconnected>");
    loader::MainTimer();
    loader::MainTimer();
    EXPECT_EQ(opens, 1) << "a closed port is retried on every third tick only";
    loader::MainTimer();
    EXPECT_EQ(opens, 2);
    EXPECT_EQ(requests.back(), kExtendedHello);
  }
  ASSERT_EQ(com::isComOpen, 1);
  EXPECT_EQ(loader::fOldBload, c.hello == Hello::Plain);

  loader::MainTimer();  // BootInfo 1
  EXPECT_EQ(view.colours.back(), c.colour);
  EXPECT_TRUE(loader::fBloadFound);
  EXPECT_EQ(loader::sysType, 0x5600);
  loader::MainTimer();  // identity
  EXPECT_EQ(view.title, "Kalvex v3.0    <Q740 Boot v2.1>");
  loader::MainTimer();  // installed application
  EXPECT_EQ(view.appText, "Q740 v1.3\n(MLF 740 - 2009-04-16)");
  loader::MainTimer();  // keep-alive in the form that was answered
  EXPECT_EQ(requests.back(), c.hello == Hello::Plain ? kPlainHello : kExtendedHello);
  EXPECT_EQ(view.colours.back(), c.colour);
  EXPECT_EQ(com::isComOpen, 1);
}

INSTANTIATE_TEST_SUITE_P(Forms, FindBootLoader,
                         ::testing::Values(FindCase{"Plain", Hello::Plain, 1, loader::kColourOldBload},
                                           FindCase{"Extended", Hello::Extended, 4, loader::kColourOpen}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(BootSessionTest, AbsentAdapterRetriedEveryThirdTick) {
  present = false;
  std::vector<int> openedAt;
  for (int tick = 1; tick <= 10; ++tick) {
    int before = opens;
    loader::MainTimer();
    if (opens > before) openedAt.push_back(tick);
    EXPECT_EQ(view.colours.back(), loader::kColourClosed);
  }
  EXPECT_EQ(openedAt, (std::vector<int>{1, 4, 7, 10}));
  EXPECT_EQ(view.title, "Kalvex v3.0    <disconnected>");
  EXPECT_EQ(com::comPort, 0);  // a failed open resets the port number
}

TEST_F(BootSessionTest, WrongSystemTypeClosesThePort) {
  device.Options().sysType = 0x1234;
  device.Options().hello = Hello::Plain;
  loader::MainTimer();
  ASSERT_EQ(com::isComOpen, 1);
  loader::MainTimer();
  EXPECT_EQ(com::isComOpen, 0);
  EXPECT_EQ(loader::sysType, 0);
  EXPECT_FALSE(loader::fBloadFound);
  EXPECT_EQ(view.title, "Kalvex v3.0    <disconnected>");
  EXPECT_EQ(view.appText, "");
  loader::MainTimer();  // no delay after a failed identification
  EXPECT_EQ(opens, 2);
}

TEST_F(BootSessionTest, NoApplication) {
  device.Options().hasApplication = false;
  com::OpenComPort();
  loader::sysType = 0x5600;
  ASSERT_TRUE(loader::ShowApplicationVersion());
  EXPECT_EQ(view.appText, "_  _  _");
  EXPECT_EQ(CountSent(com::BootAppInfo), 1u) << "no version is asked for when there is no application";
}

TEST_F(BootSessionTest, ApplicationSuffixAndFailedReadKeepsText) {
  device.Options().appSuffix = "b";
  com::OpenComPort();
  ASSERT_TRUE(loader::ShowApplicationVersion());
  EXPECT_EQ(view.appText, "Q740 v1.3b\n(MLF 740 - 2009-04-16)");
  engine.MutableFaults().dropAfterFrames = engine.FramesSeen() + 2;  // sub-code 3 unanswered
  EXPECT_FALSE(loader::ShowApplicationVersion());
  EXPECT_EQ(view.appText, "Q740 v1.3b\n(MLF 740 - 2009-04-16)");
  view.title = "before";
  EXPECT_FALSE(loader::ShowBootLoaderIdentity());
  EXPECT_EQ(view.title, "before");
}

TEST_F(BootSessionTest, ThreeFailuresCloseThenTwoTicksPause) {
  device.Options().hello = Hello::Plain;
  for (int i = 0; i < 4; ++i) loader::MainTimer();  // open, info, identity, application
  ASSERT_EQ(com::isComOpen, 1);
  ASSERT_FALSE(loader::fUpdUfwVersion);
  engine.MutableFaults().dropAfterFrames = engine.FramesSeen();
  loader::MainTimer();
  loader::MainTimer();
  EXPECT_EQ(com::isComOpen, 1);
  EXPECT_EQ(loader::linkRetry, 2);
  loader::MainTimer();
  EXPECT_EQ(com::isComOpen, 0);
  EXPECT_EQ(view.title, "Kalvex v3.0    <disconnected>");
  const int before = opens;
  loader::MainTimer();
  loader::MainTimer();
  EXPECT_EQ(opens, before);
  loader::MainTimer();
  EXPECT_EQ(opens, before + 1);
}

struct InfoReplyCase {
  const char* name;
  Bytes payload;  // reply payload; empty with `reply` false: no reply at all
  bool reply;
  bool ok;
  uint16_t sysType;  // afterwards (0x5534 before)
};

void PrintTo(const InfoReplyCase& c, std::ostream* os) {
  *os << c.name;
}

class CheckBloadInfoReply : public BootSessionTest, public ::testing::WithParamInterface<InfoReplyCase> {};

TEST_P(CheckBloadInfoReply, SystemType) {
  const InfoReplyCase& c = GetParam();
  com::OpenComPort();
  pipe->SetPeer([this, c](const uint8_t*, size_t) {
    if (!c.reply) return;
    uint8_t frame[260];
    size_t n = com::EncodeFrame(com::BootFrame, com::BootInfo, c.payload.data(),
                                static_cast<uint8_t>(c.payload.size()), frame);
    pipe->Feed(frame, n);
  });
  loader::sysType = 0x5534;
  EXPECT_EQ(loader::CheckBloadInfo(), c.ok);
  EXPECT_EQ(loader::sysType, c.sysType);
}

INSTANTIATE_TEST_SUITE_P(Replies, CheckBloadInfoReply,
                         ::testing::Values(InfoReplyCase{"Sys5600", {0x56, 0x00}, true, true, 0x5600},
                                           InfoReplyCase{"Sys5534", {0x55, 0x34}, true, true, 0x5534},
                                           InfoReplyCase{"ByteSwapped", {0x00, 0x56}, true, false, 0},
                                           InfoReplyCase{"OtherSystem", {0x12, 0x34}, true, false, 0},
                                           InfoReplyCase{"OneByte", {0x56}, true, false, 0},
                                           InfoReplyCase{"ThreeBytes", {0x56, 0x00, 0x00}, true, false, 0},
                                           InfoReplyCase{"NoReply", {}, false, false, 0x5534}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(MainTitle, Suffixes) {
  EXPECT_EQ(loader::MainTitle(std::nullopt), "Kalvex v3.0");
  EXPECT_EQ(loader::MainTitle("disconnected"), "Kalvex v3.0    <disconnected>");
  EXPECT_EQ(loader::MainTitle(""), "Kalvex v3.0    <>");
  const std::string longSuffix(500, 'x');
  const std::string title = loader::MainTitle(longSuffix);
  EXPECT_EQ(title.size(), 200u);  // prefix, 199 - 16 suffix characters, ">"
  EXPECT_EQ(title.substr(0, 16), "Kalvex v3.0    <");
  EXPECT_EQ(title.back(), '>');
}

// ---------------------------------------------------------------- erase

TEST_F(BootSessionTest, EraseAreaAcceptsOnlyTheCodesOfTheSystem) {
  for (uint16_t sys : {uint16_t{0x5600}, uint16_t{0x5534}, uint16_t{0x1234}, uint16_t{0}}) {
    device.Options().sysType = sys;
    for (int code = 0; code <= 16; ++code) {
      SCOPED_TRACE(testing::Message() << std::hex << sys << " area " << std::dec << code);
      com::CloseComPort();
      com::OpenComPort();
      loader::sysType = sys;
      bool accepted = sys == 0x5600   ? code <= 7
                      : sys == 0x5534 ? (code >= 2 && code <= 12) || code == 14 || code == 15
                                      : false;
      EXPECT_EQ(loader::EraseArea(static_cast<uint8_t>(code)), accepted);
      EXPECT_EQ(CountSent(com::BootErase), accepted ? 1u : 0u) << "a refused code is never sent";
    }
  }
}

TEST_F(BootSessionTest, UnansweredEraseGivesUpAfterItsWindow) {
  com::OpenComPort();
  loader::sysType = 0x5600;
  device.Options().sysType = 0x5534;  // the simulator ignores area 1 then
  const double start = now;
  EXPECT_FALSE(loader::EraseArea(1));
  EXPECT_GT(now - start, 5.0);
  EXPECT_LT(now - start, 6.0);
}

// ---------------------------------------------------------------- programming runs

struct RunCase {
  const char* name;
  Hello hello;
  uint16_t sysType;
  Bytes file;
  int result;
  Bytes stream;  // what the boot loader received (empty: nothing written)
  Bytes erased;
};

void PrintTo(const RunCase& c, std::ostream* os) {
  *os << c.name;
}

Bytes WithTag(const char* tag, const Bytes& image) {
  Bytes b = TagBytes(tag);
  b.insert(b.end(), image.begin(), image.end());
  return b;
}

const Bytes kImage = Pattern(1000, 5);
const Bytes kErase5600 = {1, 2, 3, 4, 5, 6, 7};
const Bytes kErase5534 = {14};

class ProgramRun : public BootSessionTest, public ::testing::WithParamInterface<RunCase> {};

TEST_P(ProgramRun, StreamErasesAndResult) {
  const RunCase& c = GetParam();
  device.Options().hello = c.hello;
  device.Options().sysType = c.sysType;
  const std::string path = dir.Write("fw.mlf", c.file);
  Connect();
  pipe->ClearWritten();
  EXPECT_EQ(loader::SendFirmware(path), c.result);
  EXPECT_EQ(device.Stream(), c.stream);
  EXPECT_EQ(device.ErasedAreas(), c.erased);
  EXPECT_EQ(device.EndFrameSeen(), c.result == loader::kResultDone);
  EXPECT_FALSE(device.SequenceError());
  if (c.result != loader::kResultDone) {
    EXPECT_EQ(CountSent(com::BootErase), 0u);
    EXPECT_EQ(CountSent(com::BootWriteBlock), 0u);
  }
  EXPECT_TRUE(dir.List("copies").empty()) << "the transmission copy is deleted";
}

INSTANTIATE_TEST_SUITE_P(
    Files, ProgramRun,
    ::testing::Values(
        RunCase{"SecondGen5600Extended", Hello::Extended, 0x5600, SecondGenFile("TrvcoCrv", kImage),
                loader::kResultDone, WithTag("TrvcoCrv", kImage), kErase5600},
        RunCase{"SecondGen55To5600Extended", Hello::Extended, 0x5600, SecondGenFile("TrvCrv55", kImage),
                loader::kResultDone, WithTag("TrvCrv55", kImage), kErase5600},
        RunCase{"SecondGen55To5600Plain", Hello::Plain, 0x5600, SecondGenFile("TrvCrv55", kImage),
                loader::kResultDone, WithTag("TrvcoBsz", kImage), kErase5600},
        RunCase{"SecondGenTo5534Plain", Hello::Plain, 0x5534, SecondGenFile("TrvcoCrv", kImage),
                loader::kResultDone, WithTag("TrvBsz55", kImage), kErase5534},
        RunCase{"SecondGenTo5534Extended", Hello::Extended, 0x5534, SecondGenFile("TrvCrv55", kImage),
                loader::kResultDone, WithTag("TrvCrv55", kImage), kErase5534},
        RunCase{"FirstGenPlainWhole", Hello::Plain, 0x5600, FirstGenFile("TrvBsz55", kImage),
                loader::kResultDone, WithTag("TrvBsz55", kImage), kErase5600},
        RunCase{"FirstGenExtendedRefused",
                Hello::Extended,
                0x5600,
                FirstGenFile("TrvcoBsz", kImage),
                loader::kResultInvalidFile,
                {},
                {}},
        RunCase{"BadChecksum",
                Hello::Extended,
                0x5600,
                SecondGenFile("TrvcoCrv", kImage, false),
                loader::kResultInvalidFile,
                {},
                {}},
        RunCase{"UnknownTag",
                Hello::Plain,
                0x5600,
                FirstGenFile("TrvcoXyz", kImage),
                loader::kResultInvalidFile,
                {},
                {}},
        RunCase{"SevenBytes",
                Hello::Plain,
                0x5600,
                Bytes{'T', 'r', 'v', 'c', 'o', 'B', 's'},
                loader::kResultProgrammingError,
                {},
                {}},
        RunCase{"Empty", Hello::Plain, 0x5600, Bytes{}, loader::kResultProgrammingError, {}, {}},
        RunCase{"SecondGenShort",
                Hello::Plain,
                0x5600,
                [] {
                  Bytes b = SecondGenFile("TrvcoCrv", {});
                  b.pop_back();
                  return b;
                }(),
                loader::kResultProgrammingError,
                {},
                {}}),
    [](const auto& info) { return std::string(info.param.name); });

struct BlockCase {
  const char* name;
  size_t copySize;  // bytes of the transmission copy
  std::vector<size_t> blockSizes;
};

void PrintTo(const BlockCase& c, std::ostream* os) {
  *os << c.name;
}

class BlockFraming : public BootSessionTest, public ::testing::WithParamInterface<BlockCase> {};

TEST_P(BlockFraming, NumbersSizesAndEndFrame) {
  const BlockCase& c = GetParam();
  const std::string path = dir.Write("fw.mlf", SecondGenFile("TrvcoCrv", Pattern(c.copySize - 8)));
  Connect();
  pipe->ClearWritten();
  ASSERT_EQ(loader::SendFirmware(path), loader::kResultDone);
  std::vector<Frame> writes;
  for (const auto& f : Sent())
    if (f.command == com::BootWriteBlock) writes.push_back(f);
  ASSERT_EQ(writes.size(), c.blockSizes.size() + 1);
  for (size_t i = 0; i < c.blockSizes.size(); ++i) {
    ASSERT_GE(writes[i].payload.size(), 2u);
    EXPECT_EQ(com::Get16BE(writes[i].payload.data()), i);
    EXPECT_EQ(writes[i].payload.size() - 2, c.blockSizes[i]) << "block " << i;
  }
  // The end frame carries the block number only: the count of data blocks.
  EXPECT_EQ(writes.back().payload, (Bytes{static_cast<uint8_t>(c.blockSizes.size() >> 8),
                                          static_cast<uint8_t>(c.blockSizes.size())}));
}

INSTANTIATE_TEST_SUITE_P(Sizes, BlockFraming,
                         ::testing::Values(BlockCase{"TagOnly", 8, {8}}, BlockCase{"OneFull", 253, {253}},
                                           BlockCase{"ThreeFull", 759, {253, 253, 253}},
                                           BlockCase{"OneOver", 254, {253, 1}},
                                           BlockCase{"Many", 253 * 300 + 17,
                                                     [] {
                                                       std::vector<size_t> v(300, 253);
                                                       v.push_back(17);
                                                       return v;
                                                     }()}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(BootSessionTest, GaugeShowsAmountBeforeEachBlock) {
  const std::string path = dir.Write("fw.mlf", SecondGenFile("TrvcoCrv", Pattern(700 - 8)));
  Connect();
  ASSERT_EQ(loader::SendFirmware(path), loader::kResultDone);
  EXPECT_DOUBLE_EQ(view.gaugeMaximum, 700 / 1024.0);
  EXPECT_EQ(view.gaugeValues, (std::vector<double>{0.0, 0.0, 253 / 1024.0, 506 / 1024.0, 700 / 1024.0}));
  EXPECT_EQ(view.gaugeLabels, (std::vector<std::string>{"|", ")", "|", ""}));
  // The activity character carries on where the last run stopped.
  view.gaugeLabels.clear();
  ASSERT_EQ(loader::SendFirmware(path), loader::kResultDone);
  EXPECT_EQ(view.gaugeLabels, (std::vector<std::string>{"(", "|", ")", ""}));
}

TEST_F(BootSessionTest, UnacknowledgedBlockEndsTheRun) {
  device.Options().noAckForBlock = 2;
  const std::string path = dir.Write("fw.mlf", SecondGenFile("TrvcoCrv", Pattern(253 * 5)));
  Connect();
  pipe->ClearWritten();
  const double start = now;
  EXPECT_EQ(loader::SendFirmware(path), loader::kResultProgrammingError);
  EXPECT_GT(now - start, 2.5);  // waited out the acknowledgement window once
  EXPECT_EQ(device.BlocksReceived(), 2);
  EXPECT_FALSE(device.EndFrameSeen());
  EXPECT_EQ(CountSent(com::BootWriteBlock), 3u) << "nothing is retried within a run";
  EXPECT_EQ(view.gaugeValue, 0.0);
  EXPECT_EQ(view.gaugeLabel, "");
  EXPECT_TRUE(dir.List("copies").empty());
}

TEST_F(BootSessionTest, LostLinkDuringEraseEndsTheRun) {
  const std::string path = dir.Write("fw.mlf", SecondGenFile("TrvcoCrv", Pattern(2000)));
  Connect();
  engine.MutableFaults().dropAfterFrames = engine.FramesSeen() + 4;  // hello, info, two erases
  pipe->ClearWritten();
  EXPECT_EQ(loader::SendFirmware(path), loader::kResultProgrammingError);
  EXPECT_EQ(CountSent(com::BootErase), 3u);
  EXPECT_EQ(CountSent(com::BootWriteBlock), 0u);
  EXPECT_TRUE(dir.List("copies").empty());
}

TEST_F(BootSessionTest, CopyTooLongForSixteenBitBlockNumbersIsRefused) {
  // One byte more than blocks 0..65534 can carry: the numbers would wrap, so nothing
  // may be erased or written.
  const std::string path = dir.Write("fw.mlf", SecondGenFile("TrvcoCrv", {}));
  ASSERT_EQ(
      ::truncate(path.c_str(), static_cast<off_t>(loader::kPreambleSize + loader::kMaxCopySize - 8 + 1)), 0);
  Connect();
  pipe->ClearWritten();
  EXPECT_EQ(loader::SendFirmware(path), loader::kResultInvalidFile);
  EXPECT_EQ(CountSent(com::BootErase), 0u);
  EXPECT_EQ(CountSent(com::BootWriteBlock), 0u);
  EXPECT_TRUE(dir.List("copies").empty());
}

TEST_F(BootSessionTest, BootLoaderGoneBeforeTheRunSendsNothingDestructive) {
  const std::string path = dir.Write("fw.mlf", SecondGenFile("TrvcoCrv", Pattern(2000)));
  Connect();
  engine.MutableFaults().dropAfterFrames = engine.FramesSeen();
  pipe->ClearWritten();
  EXPECT_EQ(loader::SendFirmware(path), loader::kResultProgrammingError);
  EXPECT_EQ(CountSent(com::BootErase), 0u);
  EXPECT_EQ(CountSent(com::BootWriteBlock), 0u);
}

// ---------------------------------------------------------------- result display

struct ResultCase {
  const char* name;
  int result;
  const char* text;
  bool clearedAfter10s;
};

void PrintTo(const ResultCase& c, std::ostream* os) {
  *os << c.name;
}

class ResultDisplay : public BootSessionTest, public ::testing::WithParamInterface<ResultCase> {};

TEST_P(ResultDisplay, TextBeepAndClearing) {
  const ResultCase& c = GetParam();
  com::OpenComPort();
  loader::programResult = c.result;
  now = 200.0;
  loader::MainTimer(false);
  EXPECT_EQ(view.status, c.text);
  EXPECT_EQ(view.beeps, 1);
  EXPECT_EQ(loader::programResult, -1);
  // "Done!" is emptied on the first tick after 10.0 s have passed (at 210.0 it stays).
  EXPECT_EQ(loader::msgClearTime, c.clearedAfter10s ? 210.0 : 0.0);
  now = 210.0;
  loader::MainTimer(false);
  EXPECT_EQ(view.status, c.text);
  now = 210.001;
  loader::MainTimer(false);
  EXPECT_EQ(view.status, c.clearedAfter10s ? "" : c.text);
  now += 1000;
  loader::MainTimer(false);
  EXPECT_EQ(view.beeps, 1);
  EXPECT_EQ(view.status, c.clearedAfter10s ? "" : c.text);
  // Closing the port empties the line.
  com::CloseComPort();
  loader::MainTimer(false);
  EXPECT_EQ(view.status, "");
}

INSTANTIATE_TEST_SUITE_P(
    Results, ResultDisplay,
    ::testing::Values(ResultCase{"Done", loader::kResultDone, "Done!", true},
                      ResultCase{"Invalid", loader::kResultInvalidFile, "Invalid firmware file...", false},
                      ResultCase{"Error", loader::kResultProgrammingError, "Programming error...", false},
                      ResultCase{"Other", 7, "Application error...", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(BootSessionTest, ResultDroppedWhenThePortCloses) {
  loader::programResult = loader::kResultDone;
  view.status = "Programming...";
  loader::MainTimer(false);
  EXPECT_EQ(view.status, "");
  EXPECT_EQ(loader::programResult, -1);
  EXPECT_EQ(view.beeps, 0);
}

TEST_F(BootSessionTest, NothingHappensDuringARun) {
  loader::fProgramming = true;
  loader::programResult = loader::kResultDone;
  loader::MainTimer();
  EXPECT_EQ(opens, 0);
  EXPECT_EQ(loader::programResult, loader::kResultDone);
  EXPECT_TRUE(view.colours.empty());
}

// ---------------------------------------------------------------- commands

class SendCommand : public BootSessionTest {
 protected:
  testing_ui::ScriptedUi ui;
};

TEST_F(SendCommand, ConnectionErrorWhenClosed) {
  loader::Send();
  ASSERT_EQ(ui.popups.size(), 1u);
  EXPECT_EQ(ui.popups[0].title, "Firmware Programming");
  EXPECT_EQ(ui.popups[0].text, "Connection error...");
  EXPECT_TRUE(ui.dialogs.empty());
}

TEST_F(SendCommand, CancelOrNewFileDoesNothing) {
  Connect();
  loader::Send();  // cancelled
  ui.files.push_back({com::FileSelect::New, dir.Path() + "/new.mlf"});
  loader::Send();
  ui.files.push_back({com::FileSelect::Error, ""});
  loader::Send();
  EXPECT_EQ(ui.dialogs.size(), 3u);
  EXPECT_TRUE(view.dims.empty());
  EXPECT_EQ(loader::programResult, -1);
  EXPECT_TRUE(device.ErasedAreas().empty());
}

TEST_F(SendCommand, ProgramsTheChosenFile) {
  const Bytes image = Pattern(3000);
  ASSERT_EQ(::mkdir((dir.Path() + "/fw").c_str(), 0755), 0);
  const std::string path = dir.Write("fw/new.mlf", SecondGenFile("TrvcoCrv", image));
  loader::cfg.lastFwDir = "/somewhere";
  Connect();
  ui.files.push_back({com::FileSelect::Existing, path});
  loader::Send();
  ASSERT_EQ(ui.dialogs.size(), 1u);
  EXPECT_EQ(ui.dialogs[0].title, "Firmware File");
  EXPECT_EQ(ui.dialogs[0].directory, "/somewhere");
  EXPECT_EQ(ui.dialogs[0].proposal, "*.mlf");
  EXPECT_FALSE(ui.dialogs[0].save);
  EXPECT_EQ(view.dims, (std::vector<bool>{true, false}));
  EXPECT_EQ(ui.cursors, (std::vector<int>{com::kCursorWait, com::kCursorNormal}));
  EXPECT_EQ(view.status, "Programming...");
  EXPECT_EQ(loader::programResult, loader::kResultDone);
  EXPECT_TRUE(loader::fUpdUfwVersion);
  EXPECT_FALSE(loader::fProgramming);
  EXPECT_EQ(device.Stream(), WithTag("TrvcoCrv", image));
  // The directory is remembered in the settings file.
  EXPECT_EQ(loader::cfg.lastFwDir, dir.Path() + "/fw");
  loader::cfg.lastFwDir.clear();
  loader::ReadInitFile();
  EXPECT_EQ(loader::cfg.lastFwDir, dir.Path() + "/fw");
  loader::MainTimer(false);
  EXPECT_EQ(view.status, "Done!");
}

// While the run lets events through, the commands must not start anything.
class ReentrantUi : public testing_ui::ScriptedUi {
 public:
  void ProcessEvents(bool) override {
    ++pumps;
    loader::Send();
    loader::Exit();
    loader::SetComPort(1);
    loader::MainTimer();
  }
  int pumps = 0;
};

TEST_F(BootSessionTest, CommandsDuringARunAreIgnored) {
  ReentrantUi ui;
  com::AddPortDevice("/dev/ttyFAKE0");
  const std::string path = dir.Write("fw.mlf", SecondGenFile("TrvcoCrv", Pattern(2000)));
  Connect();
  const int opensBefore = opens;
  ui.files.push_back({com::FileSelect::Existing, path});
  loader::Send();
  EXPECT_GT(ui.pumps, 8);
  EXPECT_EQ(ui.dialogs.size(), 1u);
  EXPECT_FALSE(loader::fQuit);
  EXPECT_EQ(com::PortIndex(), 0);
  EXPECT_EQ(view.selectedPort, 0) << "the port selector is put back";
  EXPECT_EQ(opens, opensBefore);
  EXPECT_EQ(loader::programResult, loader::kResultDone);
}

TEST_F(BootSessionTest, SetComPortReopensAndRemembers) {
  com::AddPortDevice("/dev/ttyFAKE0");
  com::OpenComPort();
  loader::SetComPort(1);
  EXPECT_EQ(opens, 2);
  EXPECT_EQ(com::isComOpen, 1);
  EXPECT_EQ(com::comPort, com::PortItems()[1].value);
  com::comPort = 0;
  loader::ReadInitFile();
  EXPECT_EQ(com::comPort, com::PortItems()[1].value);
}

TEST_F(BootSessionTest, ExitQuitsOnTheNextTick) {
  loader::Exit();
  EXPECT_FALSE(view.quit);
  loader::MainTimer();
  EXPECT_TRUE(view.quit);
  EXPECT_EQ(opens, 0);
}

// ---------------------------------------------------------------- settings

TEST_F(BootSessionTest, SettingsRecord) {
  const std::string file = dir.Path() + "/tarvenco.ini";
  com::comPort = 5;
  loader::cfg.lastFwDir = "x";
  loader::ReadInitFile();  // missing file
  EXPECT_EQ(com::comPort, 0);
  EXPECT_EQ(loader::cfg.lastFwDir, "");

  com::comPort = -1;
  loader::cfg.lastFwDir = std::string(300, 'd');
  ASSERT_TRUE(loader::WriteInitFile());
  Bytes stored = ReadAll(file);
  ASSERT_EQ(stored.size(), 262u);
  EXPECT_EQ(stored[0], 0xFF);
  EXPECT_EQ(stored[1], 0xFF);
  EXPECT_EQ(stored[2 + 258], 'd');
  EXPECT_EQ(stored[2 + 259], 0);
  loader::ReadInitFile();
  EXPECT_EQ(com::comPort, -1);
  EXPECT_EQ(loader::cfg.lastFwDir, std::string(259, 'd'));

  // A longer file (Kestra's record) is read for its first 262 bytes.
  Bytes kestra(804, 0);
  kestra[0] = 3;
  const char* dirText = "/home/tech/fw";
  std::copy(dirText, dirText + std::strlen(dirText), kestra.begin() + 2);
  dir.Write("tarvenco.ini", kestra);
  loader::ReadInitFile();
  EXPECT_EQ(com::comPort, 3);
  EXPECT_EQ(loader::cfg.lastFwDir, dirText);

  dir.Write("tarvenco.ini", Bytes(261, 1));  // too short
  loader::ReadInitFile();
  EXPECT_EQ(com::comPort, 0);
  EXPECT_EQ(loader::cfg.lastFwDir, "");
}

}  // namespace
