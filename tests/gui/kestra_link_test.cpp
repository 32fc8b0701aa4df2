// Connection toggle, identity check and the main timer of the Kestra window.
#include "kestra_fixture.h"

#include <ostream>
#include <QComboBox>
#include <QLabel>

#include "link/commands.h"
#include "link/doctor.h"

namespace kestra_test {
namespace {

struct ConnectCase {
  const char* name;
  uint16_t release;
  const char* family;
  bool isProtected;
  bool connects;
  const char* color;  // TBcom's on-colour, or "" when closed
};

void PrintTo(const ConnectCase& c, std::ostream* os) {
  *os << c.name;
}

class ConnectTest : public KestraWindowTest, public ::testing::WithParamInterface<ConnectCase> {};

TEST_P(ConnectTest, IdentityDecidesTheConnection) {
  const ConnectCase& c = GetParam();
  device.identity.release = c.release;
  device.identity.family = c.family;
  device.identity.isProtected = c.isProtected;
  Start();
  EXPECT_FALSE(F().TBcom->isChecked());
  EXPECT_FALSE(F().CBsend->isEnabled());
  EXPECT_FALSE(F().CBreceive->isEnabled());

  EXPECT_EQ(Connect(), c.connects);
  EXPECT_EQ(F().TBcom->isChecked(), c.connects);
  EXPECT_EQ(F().RINGport->isEnabled(), !c.connects);
  EXPECT_EQ(F().CBsend->isEnabled(), c.connects);
  EXPECT_EQ(F().CBreceive->isEnabled(), c.connects);
  // The firmware text is shown whether or not the identity is accepted.
  EXPECT_EQ(F().TMversion->text().toStdString(), device.firmwareText);
  EXPECT_EQ(shell::ecuFirmwareText, device.firmwareText);
  if (std::string(c.color).empty())
    EXPECT_TRUE(F().TBcom->styleSheet().isEmpty());
  else
    EXPECT_TRUE(F().TBcom->styleSheet().contains(QLatin1String(c.color)));
  EXPECT_EQ(shell::fEcuProtected, c.connects && c.isProtected ? 1 : 0);

  const auto messages = io.Messages();
  if (c.connects) {
    EXPECT_TRUE(messages.empty());
  } else {
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].title, "Failure ECU connect");
    EXPECT_EQ(messages[0].text,
              "The ECU firmware version (" + device.firmwareText + ")\nis incompatible with this monitor.");
  }
}

INSTANTIATE_TEST_SUITE_P(Kestra, ConnectTest,
                         ::testing::Values(ConnectCase{"Accepted", 0x0103, "Q740", false, true, "#00FF00"},
                                           ConnectCase{"Protected", 0x0103, "Q740", true, true, "#FF0000"},
                                           ConnectCase{"NewerRelease", 0x0104, "Q740", false, false, ""},
                                           ConnectCase{"OtherFamily", 0x0103, "Q741", false, false, ""}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(KestraWindowTest, SilentEcuShowsNoConnectionAndClosesThePort) {
  engine_->MutableFaults().dropAfterFrames = 0;
  Start();
  EXPECT_FALSE(Connect());
  EXPECT_EQ(F().TMversion->text(), QStringLiteral(">Connection?<"));
  EXPECT_TRUE(io.Messages().empty());
  EXPECT_FALSE(F().TBcom->isChecked());
}

// A computer with nothing on its USB and no devices.
class NothingPlugged : public com::SystemFacts {
 public:
  std::string Root() const override { return "/nonexistent/doctor-root"; }
  uid_t Uid() const override { return 1000; }
  std::string UserName() const override { return "rider"; }
  std::vector<gid_t> SessionGids() const override { return {}; }
  std::vector<std::string> MemberOf() const override { return {}; }
  std::string GroupName(gid_t gid) const override { return std::to_string(gid); }
  pid_t Pid() const override { return 1; }
  bool FtdiDevices(std::vector<com::FtdiDevice>* devices, std::string*) const override {
    devices->clear();
    return true;
  }
};

TEST_F(KestraWindowTest, FailedConnectAndCheckConnectionSayWhatTheCheckFound) {
  engine_->MutableFaults().dropAfterFrames = 0;
  window->Link().systemFacts = [] { return std::make_unique<NothingPlugged>(); };
  Start();
  EXPECT_FALSE(Connect());
  EXPECT_EQ(F().TMversion->text(), QStringLiteral(">Connection?<"));
  // The device given on the command line is the selected port.
  const std::string absent =
      "/dev/simulated does not exist: plug the adapter in, and look for its name with: ls /dev/ttyUSB* "
      "/dev/ttyACM*";
  auto messages = io.Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].title, "Failure ECU connect");
  EXPECT_EQ(messages[0].text,
            "The ECU does not answer on /dev/simulated.\nThe connection check found:\n- " + absent);

  Click(F().CBcheckLink);
  messages = io.Messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[1].title, "Check connection");
  EXPECT_EQ(messages[1].text, "problem: " + absent);
}

TEST_F(KestraWindowTest, DisconnectGathersAndClosesThePort) {
  FakePage* page = AddPage(shell::PageId::Config);
  Start();
  ASSERT_TRUE(Connect());
  const int gathers = page->gathers;
  Click(F().TBcom);
  EXPECT_EQ(com::isComOpen, 0);
  EXPECT_EQ(page->gathers, gathers + 1);
  EXPECT_FALSE(F().TBcom->isChecked());
  EXPECT_TRUE(F().RINGport->isEnabled());
}

TEST_F(KestraWindowTest, FourthFailedTickClosesTheLink) {
  Start();
  ASSERT_TRUE(Connect());
  window->Link().MainTimer();
  EXPECT_EQ(shell::pollFailures, 0);
  // The ECU falls silent.
  engine_->MutableFaults().dropAfterFrames = engine_->FramesSeen();
  for (int tick = 1; tick <= 3; ++tick) {
    window->Link().MainTimer();
    EXPECT_EQ(com::isComOpen, 1) << "tick " << tick;
    EXPECT_EQ(shell::pollFailures, tick);
  }
  window->Link().MainTimer();
  EXPECT_EQ(com::isComOpen, 0);
  EXPECT_FALSE(F().TBcom->isChecked());
  EXPECT_TRUE(F().RINGport->isEnabled());
  EXPECT_FALSE(F().CBsend->isEnabled());
  EXPECT_TRUE(io.Messages().empty());  // failed ticks are silent

  // With the link closed the main panel's tick succeeds and forgets the ECU's state.
  shell::fEcuProtected = 1;
  shell::fOldHwConfig = 1;
  window->Link().MainTimer();
  EXPECT_EQ(shell::fEcuProtected, 0);
  EXPECT_EQ(shell::fOldHwConfig, 0);
  EXPECT_EQ(shell::pollFailures, 0);
}

TEST_F(KestraWindowTest, TickPingsOnlyWhenNotBusy) {
  Start();
  ASSERT_TRUE(Connect());
  const int before = device.received[com::Identify];
  window->Link().MainTimer();
  EXPECT_EQ(device.received[com::Identify], before + 1);
  shell::fBusy = 1;
  window->Link().MainTimer();
  Click(F().TBcom);  // the toggle ignores the click and keeps showing the open link
  shell::fBusy = 0;
  EXPECT_EQ(device.received[com::Identify], before + 1);
  EXPECT_EQ(com::isComOpen, 1);
  EXPECT_TRUE(F().TBcom->isChecked());
}

TEST_F(KestraWindowTest, PortChoiceIsRememberedInTheSettings) {
  Start();
  ASSERT_EQ(F().RINGport->count(), 2);  // "USB" and the device from the command line
  EXPECT_EQ(F().RINGport->currentIndex(), 1);
  F().RINGport->setCurrentIndex(0);
  emit F().RINGport->activated(0);
  EXPECT_EQ(com::comPort, -1);
  ecu::ReadInitFile();
  EXPECT_EQ(com::comPort, -1);
  EXPECT_EQ(F().RINGport->currentText(), QStringLiteral("USB"));
}

// Identity records straight against the model (no window).
struct HardwareCase {
  std::array<uint8_t, 4> bytes;
  uint8_t old;
};

TEST(KestraConnection, HardwareBytesDecideOldHardware) {
  const HardwareCase cases[] = {
      {{1, 0, 0, 1}, 1}, {{0, 1, 0, 0}, 0}, {{2, 0, 0, 0}, 0}, {{0, 0, 0, 0}, 1},
      {{1, 0, 1, 0}, 0}, {{1, 0, 0, 2}, 0}, {{0, 0, 0, 1}, 1},
  };
  sim::AppDevice device;
  sim::Engine engine(device);
  com::SetPortFactory([&](const com::PortItem&, std::string*) -> std::unique_ptr<com::Port> {
    auto pipe = std::make_unique<com::PipePort>();
    sim::AttachToPipe(engine, *pipe);
    return pipe;
  });
  com::InitPortList({"/dev/simulated"}, false);
  com::PortIndex() = 1;
  com::OpenComPort();
  ASSERT_EQ(com::isComOpen, 1);
  for (const HardwareCase& c : cases) {
    device.identity.hardware = c.bytes;
    shell::fOldHwConfig = 7;
    EXPECT_EQ(shell::Ping(), 1);
    EXPECT_EQ(shell::fOldHwConfig, c.old)
        << int(c.bytes[0]) << int(c.bytes[1]) << int(c.bytes[2]) << int(c.bytes[3]);
  }

  // Data names: the request goes out twice; selector 8 is the tuned map, marked "*".
  device.dataNames[8] = "Tuned";
  device.mapName[0] = "Conf";
  std::string name;
  const int before = device.received[com::GetDataName];
  EXPECT_EQ(shell::GetEcuDataName(name, 8), 1);
  EXPECT_EQ(name, "*Tuned");
  EXPECT_EQ(device.received[com::GetDataName], before + 2);
  EXPECT_EQ(shell::GetEcuDataName(name, 1), 1);
  EXPECT_EQ(name, "Conf");
  EXPECT_EQ(shell::GetEcuDataName(name, 3), 0);
  EXPECT_EQ(name, "");
  EXPECT_EQ(device.received[com::GetDataName], before + 4);  // selector 3 is not sent

  com::CloseComPort();
  com::SetPortFactory(nullptr);
}

}  // namespace
}  // namespace kestra_test
