// The connection check against a fake /dev, /sys, /proc and /etc tree in a temporary
// folder and a fake USB bus.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "link/doctor.h"

namespace {

namespace fs = std::filesystem;
using com::Finding;
using com::FtdiDevice;

class FakeFacts : public com::SystemFacts {
 public:
  FakeFacts() {
    root_ = (fs::path(::testing::TempDir()) /
             ("doctor" + std::to_string(::getpid()) + "_" + std::to_string(counter_++)))
                .string();
    fs::remove_all(root_);
    fs::create_directories(root_ + "/dev");
    fs::create_directories(root_ + "/proc");
    // Files made here belong to the test's user and group; the fake user is someone
    // else, and the files' group is called dialout.
    struct stat st {};
    ::stat(root_.c_str(), &st);
    fileGid = st.st_gid;
    uid = st.st_uid + 1;
    groups[fileGid] = "dialout";
  }
  ~FakeFacts() override { fs::remove_all(root_); }

  // A file below the root with its parent folders.
  void Write(const std::string& path, const std::string& text, unsigned mode = 0644) const {
    fs::create_directories(fs::path(root_ + path).parent_path());
    std::ofstream(root_ + path) << text;
    ::chmod((root_ + path).c_str(), mode);
  }
  void Link(const std::string& path, const std::string& target) const {
    fs::create_directories(fs::path(root_ + path).parent_path());
    fs::create_symlink(target, root_ + path);
  }
  void Process(int pid, const std::string& command, const std::vector<std::string>& open = {}) const {
    Write("/proc/" + std::to_string(pid) + "/comm", command + "\n");
    fs::create_directories(root_ + "/proc/" + std::to_string(pid) + "/fd");
    for (size_t fd = 0; fd < open.size(); ++fd)
      fs::create_symlink(open[fd], root_ + "/proc/" + std::to_string(pid) + "/fd/" + std::to_string(fd + 3));
  }

  std::string Root() const override { return root_; }
  uid_t Uid() const override { return uid; }
  std::string UserName() const override { return "rider"; }
  std::vector<gid_t> SessionGids() const override { return sessionGids; }
  std::vector<std::string> MemberOf() const override { return memberOf; }
  std::string GroupName(gid_t gid) const override {
    auto it = groups.find(gid);
    return it == groups.end() ? std::to_string(gid) : it->second;
  }
  pid_t Pid() const override { return 4242; }
  bool FtdiDevices(std::vector<FtdiDevice>* devices, std::string* error) const override {
    *devices = ftdi;
    *error = ftdiError;
    return ftdiError.empty();
  }

  uid_t uid;
  gid_t fileGid;
  std::vector<gid_t> sessionGids;
  std::vector<std::string> memberOf;
  std::map<gid_t, std::string> groups;
  std::vector<FtdiDevice> ftdi;
  std::string ftdiError;

 private:
  static inline int counter_ = 0;
  std::string root_;
};

std::string Problems(const std::vector<Finding>& findings) {
  std::string text;
  for (const Finding& f : findings)
    if (f.problem) text += f.text + "\n";
  return text;
}

std::string All(const std::vector<Finding>& findings) {
  std::string text;
  for (const Finding& f : findings) text += com::FindingLine(f) + "\n";
  return text;
}

TEST(Doctor, SerialDevicePermissionAndGroup) {
  struct Case {
    const char* name;
    unsigned mode;
    bool inSession;        // the session has the device's group
    bool inDatabase;       // the group database lists the user in it
    const char* expected;  // in the problem lines; empty: no problem
  };
  const Case cases[] = {
      {"member", 0660, true, true, ""},
      {"open to all", 0666, false, false, ""},
      {"not a member", 0660, false, false, "join its group dialout: sudo usermod -aG dialout rider"},
      {"joined after login", 0660, false, true,
       "joined the group dialout after this login: log out and in again"},
      {"group may not", 0600, true, true, "its group may not use it either"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeFacts facts;
    facts.Write("/dev/ttyUSB0", "", c.mode);
    if (c.inSession) facts.sessionGids = {facts.fileGid};
    if (c.inDatabase) facts.memberOf = {"dialout"};
    const auto findings = com::CheckSerialDevice(facts, "/dev/ttyUSB0");
    if (*c.expected) {
      EXPECT_NE(Problems(findings).find(c.expected), std::string::npos) << All(findings);
    } else {
      EXPECT_FALSE(com::AnyProblem(findings)) << All(findings);
      EXPECT_NE(All(findings).find("ok: /dev/ttyUSB0 is readable and writable for rider"), std::string::npos);
    }
  }
}

TEST(Doctor, MissingSerialDeviceIsTheOneFinding) {
  FakeFacts facts;
  const auto findings = com::CheckSerialDevice(facts, "/dev/ttyUSB3");
  ASSERT_EQ(findings.size(), 1u);
  EXPECT_TRUE(findings[0].problem);
  EXPECT_EQ(com::FindingLine(findings[0]),
            "problem: /dev/ttyUSB3 does not exist: plug the adapter in, and look for its name with: "
            "ls /dev/ttyUSB* /dev/ttyACM*");
}

TEST(Doctor, ProcessHoldingTheDeviceIsNamed) {
  FakeFacts facts;
  facts.Write("/dev/ttyUSB0", "", 0666);
  facts.Link("/dev/serial/by-id/usb-FTDI-if00-port0", "../../ttyUSB0");
  facts.Process(812, "minicom", {"/dev/pts/2", "/dev/ttyUSB0"});
  facts.Process(4242, "kestra-cli", {"/dev/ttyUSB0"});  // this process
  facts.Process(900, "bash", {"/dev/ttyUSB1"});
  for (const char* given : {"/dev/ttyUSB0", "/dev/serial/by-id/usb-FTDI-if00-port0"}) {
    SCOPED_TRACE(given);
    const std::string problems = Problems(com::CheckSerialDevice(facts, given));
    EXPECT_NE(
        problems.find(std::string(given) + " is held open by process 812 (minicom): close that program, "
                                           "or end it with: kill 812"),
        std::string::npos)
        << problems;
    EXPECT_EQ(problems.find("4242"), std::string::npos);
    EXPECT_EQ(problems.find("bash"), std::string::npos);
  }
}

TEST(Doctor, ModemManagerMattersForUsbSerialDevicesOnly) {
  FakeFacts facts;
  facts.Process(77, "ModemManager");
  for (const char* name : {"ttyUSB0", "ttyACM0", "ttyS0"}) facts.Write(std::string("/dev/") + name, "", 0666);
  EXPECT_NE(Problems(com::CheckSerialDevice(facts, "/dev/ttyUSB0")).find("ModemManager is running"),
            std::string::npos);
  EXPECT_NE(Problems(com::CheckSerialDevice(facts, "/dev/ttyACM0")).find("sudo systemctl stop ModemManager"),
            std::string::npos);
  EXPECT_FALSE(com::AnyProblem(com::CheckSerialDevice(facts, "/dev/ttyS0")));
}

TEST(Doctor, LatencyTimer) {
  FakeFacts facts;
  facts.Write("/dev/ttyUSB0", "", 0666);
  const std::string attribute = "/sys/bus/usb-serial/devices/ttyUSB0/latency_timer";
  facts.Write(attribute, "16\n");
  const std::string problems = Problems(com::CheckSerialDevice(facts, "/dev/ttyUSB0"));
  EXPECT_NE(
      problems.find("the latency timer of ttyUSB0 is 16 ms: every reply waits up to 16 ms (up to 7 s more"),
      std::string::npos)
      << problems;
  EXPECT_NE(problems.find("echo 1 | sudo tee " + attribute), std::string::npos);
  EXPECT_NE(problems.find("ACTION==\"add\", SUBSYSTEM==\"usb-serial\", DRIVER==\"ftdi_sio\", "
                          "ATTR{latency_timer}=\"1\""),
            std::string::npos);

  fs::remove(facts.Root() + attribute);
  facts.Write(attribute, "1\n");
  const auto findings = com::CheckSerialDevice(facts, "/dev/ttyUSB0");
  EXPECT_FALSE(com::AnyProblem(findings)) << All(findings);
  EXPECT_NE(All(findings).find("ok: the latency timer of ttyUSB0 is 1 ms"), std::string::npos);
}

TEST(Doctor, BrlttyIsReportedWhereUsbAdaptersAreUsed) {
  FakeFacts facts;
  facts.Write("/dev/ttyS0", "", 0666);
  facts.ftdi = {{1, 5, "USB CAN Tarvenco", FtdiDevice::Open::Ok, ""}};
  EXPECT_FALSE(com::AnyProblem(com::CheckConnection(facts, "usb")));
  facts.Write("/usr/bin/brltty", "", 0755);
  EXPECT_NE(Problems(com::CheckConnection(facts, "usb")).find("brltty is installed"), std::string::npos);
  EXPECT_FALSE(com::AnyProblem(com::CheckConnection(facts, "/dev/ttyS0")));  // not a USB device
}

TEST(Doctor, UsbAdapter) {
  using Open = FtdiDevice::Open;
  struct Case {
    const char* name;
    std::vector<FtdiDevice> devices;
    std::string listError;
    bool bus;                           // /dev/bus/usb is there
    bool ruleInstalled;                 // 70-tarvenco.rules
    bool inPlugdev;                     // the session has the group plugdev
    bool seat;                          // the login is the active session at the seat
    std::vector<std::string> expected;  // in the report, in any order
    bool problem;
  };
  const FtdiDevice other{1, 7, "FT232R USB UART", Open::Ok, ""};
  const FtdiDevice adapter{2, 12, "USB CAN Tarvenco", Open::Ok, ""};
  // A device that may not be opened has no description from libftdi1: it comes from sysfs.
  const FtdiDevice locked{2, 12, "", Open::NoPermission, ""};
  // clang-format off
  const Case cases[] = {
      {"bus not listed", {}, "libusb_init() failed", true, false, false, false,
       {"problem: the USB devices cannot be listed (libusb_init() failed)"}, true},
      {"no USB bus", {}, "", false, false, false, false,
       {"problem: no USB device can be seen: /dev/bus/usb is missing"}, true},
      {"nothing plugged", {}, "", true, false, false, false,
       {"problem: no FTDI device is on the USB: the adapter \"USB CAN Tarvenco\" is not plugged in"}, true},
      {"another adapter", {other}, "", true, false, false, false,
       {"ok: FTDI device at /dev/bus/usb/001/007: \"FT232R USB UART\"",
        "problem: none of the FTDI devices is the adapter \"USB CAN Tarvenco\""}, true},
      {"found", {other, adapter}, "", true, false, false, false,
       {"ok: the USB adapter \"USB CAN Tarvenco\" is found and opens"}, false},
      {"busy", {{2, 12, "USB CAN Tarvenco", Open::Failed, "Resource busy"}}, "", true, true, true, true,
       {"does not open (Resource busy)"}, true},
      {"no rule", {locked}, "", true, false, false, false,
       {"ok: FTDI device at /dev/bus/usb/002/012: \"USB CAN Tarvenco\"",
        "problem: the USB adapter \"USB CAN Tarvenco\" is found but you may not open /dev/bus/usb/002/012",
        "problem: the udev rule 70-tarvenco.rules is not installed"}, true},
      {"remote login", {locked}, "", true, true, false, false,
       {"ok: the udev rule is installed: /usr/lib/udev/rules.d/70-tarvenco.rules",
        "uaccess does not apply, and you are not in plugdev: sudo usermod -aG plugdev rider"}, true},
      {"rule not applied yet", {locked}, "", true, true, true, true,
       {"ok: you are in the group plugdev", "(uaccess)", "problem: the rule has not been applied"}, true},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeFacts facts;
    facts.ftdi = c.devices;
    facts.ftdiError = c.listError;
    if (c.bus) fs::create_directories(facts.Root() + "/dev/bus/usb/002");
    facts.Write("/sys/bus/usb/devices/2-1.4/busnum", "2\n");
    facts.Write("/sys/bus/usb/devices/2-1.4/devnum", "12\n");
    facts.Write("/sys/bus/usb/devices/2-1.4/product", "USB CAN Tarvenco\n");
    if (c.ruleInstalled) facts.Write("/usr/lib/udev/rules.d/70-tarvenco.rules", "");
    if (c.inPlugdev) {
      facts.groups[46] = "plugdev";
      facts.sessionGids = {46};
    }
    facts.Write("/run/systemd/users/" + std::to_string(facts.uid),
                c.seat ? "STATE=active\n" : "STATE=online\n");
    const auto findings = com::CheckUsbAdapter(facts, "USB CAN Tarvenco");
    const std::string report = All(findings);
    EXPECT_EQ(com::AnyProblem(findings), c.problem) << report;
    for (const std::string& line : c.expected)
      EXPECT_NE(report.find(line), std::string::npos) << line << "\n" << report;
  }
}

TEST(Doctor, WholeCheckCoversTheAdapterAndEveryUsbSerialDevice) {
  FakeFacts facts;
  facts.ftdi = {{2, 12, "USB CAN Tarvenco", FtdiDevice::Open::Ok, ""}};
  facts.Write("/dev/ttyUSB0", "", 0666);
  facts.Write("/dev/ttyACM1", "", 0600);
  facts.Write("/dev/ttyS0", "", 0600);
  const auto findings = com::CheckConnection(facts, "");
  const std::string report = All(findings);
  EXPECT_NE(report.find("ok: /dev/ttyUSB0 is readable"), std::string::npos) << report;
  EXPECT_NE(report.find("problem: /dev/ttyACM1 (group dialout, mode 0600)"), std::string::npos) << report;
  EXPECT_EQ(report.find("ttyS0"), std::string::npos) << report;
  EXPECT_TRUE(com::AnyProblem(findings));
}

TEST(Doctor, FailedConnectMessage) {
  const std::vector<Finding> findings = {{false, "fine"}, {true, "busy"}, {true, "slow"}};
  EXPECT_EQ(com::FailedConnectText("/dev/ttyUSB0", "", findings),
            "The ECU does not answer on /dev/ttyUSB0.\nThe connection check found:\n- busy\n- slow");
  EXPECT_EQ(com::FailedConnectText("USB", "no USB adapter \"USB CAN Tarvenco\" found", {{false, "fine"}}),
            "USB does not open: no USB adapter \"USB CAN Tarvenco\" found.");
  // A silent ECU with nothing wrong on this side: nothing beyond ">Connection?<".
  EXPECT_EQ(com::FailedConnectText("USB", "", {{false, "fine"}}), "");
}

}  // namespace
