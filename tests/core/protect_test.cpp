// Access protection against the simulated ECU: the derived keys in their slot, the
// change with the erase warning and command 3, the lock lifted by the right keys, and
// the traction-control page's password.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "link/com.h"
#include "link/commands.h"
#include "link/pipeport.h"
#include "link/userio.h"
#include "protect/protect.h"
#include "shell/connection.h"
#include "sim/appsim.h"
#include "sim/engine.h"
#include "sim/simcore.h"

namespace {

class ScriptUi : public com::HeadlessUserIo {
 public:
  bool ConfirmPopup(const std::string& title, const std::string& text) override {
    asked.push_back(title + ": " + text);
    return answer;
  }
  void MessagePopup(const std::string& title, const std::string& text) override {
    messages.push_back(title + ": " + text);
  }
  bool answer = true;
  std::vector<std::string> asked, messages;
};

class ProtectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    model.clock = [] { return 0.0; };
    model.Install(device);
    engine = std::make_unique<sim::Engine>(device);
    com::SetPortFactory([this](const com::PortItem&, std::string*) {
      auto p = std::make_unique<com::PipePort>();
      sim::AttachToPipe(*engine, *p);
      return p;
    });
    com::CloseComPort();
    com::InitPortList({}, false);
    com::SetUi(&ui);
    dialog.Init();
    shell::fEcuProtected = 0;
    protect::fEnableDtcPage = 0;
  }
  void TearDown() override {
    com::SetUi(nullptr);
    com::CloseComPort();
    com::SetPortFactory({});
    std::memset(shell::aProtectKeys, 0, sizeof shell::aProtectKeys);
  }
  void Open() {
    com::OpenComPort();
    ASSERT_EQ(com::isComOpen, 1);
  }
  std::vector<uint8_t> Keys() { return {shell::aProtectKeys, shell::aProtectKeys + shell::kProtectKeysSize}; }

  sim::AppDevice device;
  sim::EcuModel model;
  std::unique_ptr<sim::Engine> engine;
  ScriptUi ui;
  protect::Protection dialog;
};

TEST_F(ProtectTest, KeysAreTheRotatedCharactersPaddedWithZeros) {
  EXPECT_EQ(protect::DeriveKey('a'), 0xC2);
  EXPECT_EQ(protect::DeriveKey(0x80), 0x01);
  EXPECT_EQ(protect::DeriveKey(0), 0);

  // Log-in with the link closed: the keys are stored, Ping succeeds at once, no message.
  dialog.Open(1);
  EXPECT_TRUE(dialog.visibleB);
  EXPECT_TRUE(dialog.dimmedB);
  EXPECT_TRUE(dialog.SetPwdA("ab"));
  std::vector<uint8_t> expected(30, 0);
  expected[0] = 0xC2;
  expected[2] = 0xC4;
  EXPECT_EQ(Keys(), expected);
  EXPECT_TRUE(ui.messages.empty());

  // The second mode: the key in the second byte of each pair, and no "Change".
  dialog.Open(0);
  EXPECT_FALSE(dialog.visibleB);
  EXPECT_TRUE(dialog.SetPwdA("ab"));
  std::vector<uint8_t> second(30, 0);
  second[1] = 0xC2;
  second[3] = 0xC4;
  EXPECT_EQ(Keys(), second);
}

TEST_F(ProtectTest, ThePasswordOfTheEcuOpensItsLock) {
  model.protectPassword = "sesame";
  Open();
  ASSERT_EQ(shell::Ping(), 1);
  EXPECT_EQ(shell::fEcuProtected, 1);

  dialog.Open(1);
  EXPECT_TRUE(dialog.SetPwdA("wrong"));
  EXPECT_EQ(ui.messages.back(), "Protection: Invalid password!");
  dialog.Open(1);
  EXPECT_TRUE(dialog.SetPwdA("sesame"));
  EXPECT_EQ(shell::fEcuProtected, 0);
  EXPECT_EQ(ui.messages.size(), 1u);
  dialog.Open(0);  // the second slot opens it too
  EXPECT_TRUE(dialog.SetPwdA("sesame"));
  EXPECT_EQ(shell::fEcuProtected, 0);
}

TEST_F(ProtectTest, ChangeAsksSendsTheTypedTextAndLocksTheEcu) {
  Open();
  device.parName = "Mine";
  dialog.Open(1);
  EXPECT_FALSE(dialog.dimmedB);
  EXPECT_FALSE(dialog.SetPwdB("k3y-15-chars-ok"));  // exactly 15 characters
  EXPECT_EQ(dialog.captionA, "Confirm");
  EXPECT_EQ(dialog.fieldLabel, "Re-enter password:");
  EXPECT_FALSE(dialog.visibleB);

  // Declined warning: nothing is sent, the keys stay.
  ui.answer = false;
  EXPECT_TRUE(dialog.SetPwdA("k3y-15-chars-ok"));
  EXPECT_EQ(device.received[com::WriteProtectKeys], 0);
  EXPECT_EQ(Keys(), std::vector<uint8_t>(30, 0));
  EXPECT_FALSE(dialog.changing);

  // A mismatch sends nothing either.
  dialog.Open(1);
  dialog.SetPwdB("k3y-15-chars-ok");
  EXPECT_TRUE(dialog.SetPwdA("k3y-15-chars-no"));
  EXPECT_EQ(ui.messages.back(), "Error!: Typed passwords do not match...");
  EXPECT_EQ(device.received[com::WriteProtectKeys], 0);

  ui.answer = true;
  dialog.Open(1);
  dialog.SetPwdB("k3y-15-chars-ok");
  EXPECT_TRUE(dialog.SetPwdA("k3y-15-chars-ok"));
  ASSERT_EQ(ui.asked.back(), "Warning!: All configurations will be erased...");
  EXPECT_EQ(device.received[com::WriteProtectKeys], 1);
  EXPECT_EQ(model.protectPassword, "k3y-15-chars-ok");
  EXPECT_EQ(device.parName, "Mine");
  EXPECT_EQ(shell::fEcuProtected, 0);  // our own keys open it
  EXPECT_EQ(shell::aProtectKeys[28], protect::DeriveKey('k'));

  // A change with the link closed fails the step.
  com::CloseComPort();
  dialog.Open(1);
  dialog.SetPwdB("x");
  EXPECT_TRUE(dialog.SetPwdA("x"));
  EXPECT_EQ(ui.messages.back(), "Protection: Some error occurred...");
}

TEST(DtcProtection, EightCharactersOrNothing) {
  com::HeadlessUserIo ui;
  com::SetUi(&ui);
  EXPECT_EQ(std::strlen(protect::szDtcPwd), 8u);
  EXPECT_EQ(protect::DtcProtection(protect::szDtcPwd), 1);
  EXPECT_EQ(protect::fEnableDtcPage, 1);
  EXPECT_EQ(protect::DtcProtection(std::string(protect::szDtcPwd) + "x"), 0);  // 9 characters
  EXPECT_EQ(protect::fEnableDtcPage, 0);
  EXPECT_EQ(ui.lastTitle, "DTC Protection");
  EXPECT_EQ(ui.lastMessage, "Invalid password!");
  EXPECT_EQ(protect::DtcProtection(std::string(protect::szDtcPwd).substr(0, 7)), 0);
  com::SetUi(nullptr);
}

}  // namespace
