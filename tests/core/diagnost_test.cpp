// Diagnostics against the simulated ECU: the records and their conversion, the
// tolerance of the timer duty, resets, value writes with their clamps, the defaults
// and the diagnostics password.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "diagnostics/diagnost.h"
#include "link/bytes.h"
#include "link/com.h"
#include "link/commands.h"
#include "link/pipeport.h"
#include "link/userio.h"
#include "link/utils.h"
#include "sim/appsim.h"
#include "sim/engine.h"
#include "sim/simcore.h"

namespace {

TEST(Diagnostics, TimeTextAndWriteClamps) {
  EXPECT_EQ(dgn::ConvertTime(90061), "   1d  1h  1m  1s");
  EXPECT_EQ(dgn::ConvertTime(0), "   0d  0h  0m  0s");
  EXPECT_EQ(dgn::ConvertTime(4294967295u), "49710d  6h 28m 15s");
  struct Case {
    const char* control;
    double typed;
    uint16_t sent;
  } cases[] = {{"NUMrpmLimit", 7000.5, 7000},   {"NUMrpmLimit", 70000, 65535}, {"NUMrpmLimit", -5, 0},
               {"NUMthrottleLimit", 70.0, 700}, {"NUMdistLimit", 1500, 150},   {"NUMfarfADmin", 99.9, 99}};
  for (const Case& c : cases) {
    const dgn::ParamField* f = dgn::FindParamField(c.control);
    ASSERT_NE(f, nullptr) << c.control;
    EXPECT_EQ(dgn::WriteValue(c.typed, f->factor), c.sent) << c.control << " " << c.typed;
  }
  EXPECT_EQ(dgn::PasswordBytes("abc"), (std::array<uint8_t, 8>{'a', 'b', 'c', 0, 0, 0, 0, 0}));
}

TEST(Diagnostics, SensorRowsStackWithoutGaps) {
  std::array<bool, 9> visible{true, false, true, false, false, true, true, false, true};
  const auto tops = dgn::SensorRowTops(538, visible);
  EXPECT_EQ(tops[0], 352);
  EXPECT_EQ(tops[1], -1);
  EXPECT_EQ(tops[2], 371);
  EXPECT_EQ(tops[5], 390);
  EXPECT_EQ(tops[8], 428);
  EXPECT_EQ(dgn::SensorRowTops(1076, visible)[2], 704 + 38);
}

TEST(Diagnostics, TablesNameEveryControlOnce) {
  std::vector<std::string> names;
  for (const auto& f : dgn::StatusFields()) names.push_back(f.control);
  for (const auto& f : dgn::ParamFields()) names.push_back(f.control);
  EXPECT_EQ(dgn::StatusFields().size(), 14u + 12 + 1 + 9);
  EXPECT_EQ(dgn::ParamFields().size(), 4u + 9 * 7);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(std::adjacent_find(names.begin(), names.end()), names.end());
  EXPECT_EQ(dgn::FindParamField("NUMpBaroMin")->divisor, 1);
  EXPECT_EQ(dgn::FindParamField("NUMvBatMax")->divisor, 10);
  EXPECT_EQ(dgn::FindParamField("NUMnbego2ADrecov")->item, 35);
  EXPECT_EQ(dgn::FindParamField("NUMnbego2ADrecov")->sub, 5);
}

class DiagExchangeTest : public ::testing::Test {
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
  }
  void TearDown() override {
    com::SetUi(nullptr);
    com::CloseComPort();
    com::SetPortFactory({});
  }
  uint32_t Status(const char* control) {
    for (const auto& f : dgn::StatusFields())
      if (std::string(f.control) == control) return dgn_.StatusValue(f);
    ADD_FAILURE() << control;
    return 0;
  }
  int32_t Param(const char* control) { return dgn_.ParamRaw(*dgn::FindParamField(control)); }

  class Recorder : public com::HeadlessUserIo {
   public:
    bool ConfirmPopup(const std::string& title, const std::string& text) override {
      questions.push_back(title + ": " + text);
      return answer;
    }
    void MessagePopup(const std::string& title, const std::string& text) override {
      HeadlessUserIo::MessagePopup(title, text);
      messages.push_back(title + ": " + text);
    }
    void SetProgressBar(uint32_t done, uint32_t total) override { progress.push_back({done, total}); }
    bool answer = true;
    std::vector<std::string> questions, messages;
    std::vector<std::pair<uint32_t, uint32_t>> progress;
  };

  double now = 0;
  sim::AppDevice device;
  sim::EcuModel model;
  std::unique_ptr<sim::Engine> engine;
  Recorder ui;
  dgn::DiagModel dgn_;
};

TEST_F(DiagExchangeTest, FirstTickReadsParametersProbesThePasswordAndReadsStatus) {
  ASSERT_EQ(dgn_.DgnTimer(), 1);
  EXPECT_TRUE(dgn_.pwdRead);
  EXPECT_EQ(dgn_.fDgnUnlocked, 1);  // the ECU has no password
  EXPECT_FALSE(dgn_.pwdFieldEnabled);
  EXPECT_EQ(Param("NUMrpmLimit"), 9000);
  EXPECT_EQ(dgn_.ParamText(*dgn::FindParamField("NUMthrottleLimit")), "70.0");
  EXPECT_EQ(dgn_.ParamText(*dgn::FindParamField("NUMdistLimit")), "10000");
  EXPECT_EQ(Status("NUMcntStarterIn"), 412u);
  EXPECT_EQ(Status("STRonTime"), 3u * 86400 + 4 * 3600 + 25 * 60 + 12);
  EXPECT_EQ(device.received[com::DiagnosticPassword], 1);

  // A reset travels with the next status read, once.
  dgn_.SetResetItem(15);
  ASSERT_EQ(dgn_.DgnTimer(), 1);
  EXPECT_EQ(Status("NUMcntStarterIn"), 0u);
  EXPECT_EQ(dgn_.dgnResetItem, 0);
}

TEST_F(DiagExchangeTest, OneShortStatusIsToleratedTwoFail) {
  ASSERT_EQ(dgn_.DgnTimer(), 1);
  device.handlers[com::ReadDiagnostics] = [](const uint8_t*, uint8_t) {
    sim::Device::Reply r;
    r.payload.assign(91, 1);
    return r;
  };
  const uint32_t onTime = Status("STRonTime");
  EXPECT_EQ(dgn_.DgnTimer(), 1);  // 91 bytes: one failure, the old record stays
  EXPECT_EQ(Status("STRonTime"), onTime);
  EXPECT_EQ(dgn_.DgnTimer(), 0);  // the second clears
  EXPECT_EQ(Status("STRonTime"), 0u);
  EXPECT_TRUE(dgn_.SwitchBit(dgn::Sensors()[0]));  // cleared records have every switch bit set

  com::CloseComPort();
  dgn_.fDgnUnlocked = 1;
  EXPECT_EQ(dgn_.DgnTimer(), 0);
  EXPECT_EQ(dgn_.fDgnUnlocked, 0);
  EXPECT_FALSE(dgn_.pwdRead);
  EXPECT_EQ(dgn_.WriteDiagParam(0, 0, 0), 0);
}

TEST_F(DiagExchangeTest, ValueWritesSwitchesAndResetColours) {
  model.faultySensors = {"th2o"};
  ASSERT_EQ(dgn_.DgnTimer(), 1);
  EXPECT_EQ(dgn_.SetValue(*dgn::FindParamField("NUMrpmLimit"), 7000.5), 1);
  EXPECT_EQ(Param("NUMrpmLimit"), 7000);
  EXPECT_EQ(dgn_.SetValue(*dgn::FindParamField("NUMthrottleLimit"), 70.0), 1);
  EXPECT_EQ(Param("NUMthrottleLimit"), 700);
  EXPECT_EQ(dgn_.SetValue(*dgn::FindParamField("NUMdistLimit"), 1500), 1);
  EXPECT_EQ(Param("NUMdistLimit"), 150);
  EXPECT_EQ(dgn_.SetValue(*dgn::FindParamField("NUMtairADmax"), 3900), 1);
  EXPECT_EQ(Param("NUMtairADmax"), 3900);

  const dgn::Sensor& th2o = dgn::Sensors()[1];
  EXPECT_TRUE(dgn_.ResetHighlighted(th2o));
  EXPECT_EQ(dgn_.ToggleSwitch(th2o), 1);  // monitoring off: the colour goes
  EXPECT_TRUE(dgn_.SwitchBit(th2o));
  EXPECT_FALSE(dgn_.ResetHighlighted(th2o));
  EXPECT_FALSE(dgn_.SwitchBit(dgn::Sensors()[8]));
}

TEST_F(DiagExchangeTest, DefaultsIn49StepsWritingOnlyWhatDiffers) {
  ASSERT_EQ(dgn_.DgnTimer(), 1);
  const int before = device.received[com::WriteDiagParam];
  EXPECT_EQ(dgn_.DefaultParms(), 1);
  ASSERT_EQ(ui.questions.size(), 1u);
  EXPECT_EQ(ui.questions[0], "Set Defaults: Set all parameters to default values?");
  EXPECT_EQ(ui.messages.back(), "Set Defaults:  Done!");
  // Rpm, throttle and speed limits are at their defaults already: distance + 36 sensor
  // values + 9 switches.
  EXPECT_EQ(device.received[com::WriteDiagParam] - before, 1 + 36 + 9);
  ASSERT_GE(ui.progress.size(), 51u);
  EXPECT_EQ(ui.progress.front(), (std::pair<uint32_t, uint32_t>{0, 49}));
  EXPECT_EQ(ui.progress[48], (std::pair<uint32_t, uint32_t>{48, 49}));
  EXPECT_EQ(ui.progress[49], (std::pair<uint32_t, uint32_t>{49, 49}));
  EXPECT_EQ(ui.progress.back(), (std::pair<uint32_t, uint32_t>{0, 0}));
  EXPECT_EQ(Param("NUMvBatADmin"), 65535);
  EXPECT_EQ(Param("NUMfarfADrecov"), 0);
  EXPECT_TRUE(dgn_.SwitchBit(dgn::Sensors()[3]));

  // Declined: nothing is written; a failing write ends the sequence with the error.
  ui.answer = false;
  EXPECT_EQ(dgn_.DefaultParms(), 0);
  ui.answer = true;
  dgn_.param.fill(0);
  device.handlers[com::WriteDiagParam] = [](const uint8_t*, uint8_t) {
    sim::Device::Reply r;
    r.send = false;
    return r;
  };
  now = 0;
  com::SetTimerSource([this] { return now += 1.0; });  // the 5 s poll window passes at once
  EXPECT_EQ(dgn_.SetDiagDefaults(), 0);
  com::SetTimerSource({});
  EXPECT_EQ(ui.messages.back(), "Set Defaults: Some error occurred...");
}

TEST_F(DiagExchangeTest, PasswordLogInAndChange) {
  model.diagPassword = "abc";
  ASSERT_EQ(dgn_.DgnTimer(), 1);
  EXPECT_EQ(dgn_.fDgnUnlocked, 0);  // the zero probe does not open it
  EXPECT_TRUE(dgn_.pwdFieldEnabled);

  dgn_.LogIn("wrong");
  EXPECT_EQ(ui.messages.back(), "Error!: Invalid passwords...");
  dgn_.LogIn("abc");  // sent as 'a' 'b' 'c' and five zero bytes
  EXPECT_EQ(dgn_.fDgnUnlocked, 1);
  EXPECT_FALSE(dgn_.pwdFieldEnabled);

  dgn_.ChangePassword("");
  EXPECT_EQ(dgn_.pwdSetLabel, "Enter");
  dgn_.ChangePassword("new1");
  EXPECT_EQ(dgn_.pwdSetLabel, "Re-enter");
  dgn_.ChangePassword("new2");
  EXPECT_EQ(dgn_.pwdSetLabel, "Change");
  EXPECT_EQ(ui.messages.back(), "Error!: Typed passwords do not match...");
  EXPECT_EQ(model.diagPassword, "abc");

  dgn_.ChangePassword("");
  dgn_.ChangePassword("new1");
  dgn_.ChangePassword("new1");
  EXPECT_EQ(model.diagPassword, "new1");
  EXPECT_EQ(dgn_.fDgnUnlocked, 1);
  EXPECT_EQ(dgn_.dgnPwdStep, 0);
}

}  // namespace
