// The connection check: why the link to the ECU does not open, and how to fix it.
// Every check reads the system through SystemFacts, so the tests point it at a fake
// /dev, /sys, /proc and /etc tree in a temporary folder and a fake USB bus.
#pragma once
#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

namespace com {

// One FTDI device on the USB as libftdi1 lists it.
struct FtdiDevice {
  int bus = 0;
  int address = 0;
  std::string description;  // product string; empty when it could not be read
  enum class Open { Ok, NoPermission, Failed } open = Open::Ok;
  std::string error;  // why it did not open
};

class SystemFacts {
 public:
  virtual ~SystemFacts() = default;
  // The folder that stands for "/": /dev, /sys, /proc, /etc, /run and /usr are read below it.
  virtual std::string Root() const = 0;
  virtual uid_t Uid() const = 0;
  virtual std::string UserName() const = 0;
  // Groups of this login session (what the kernel checks).
  virtual std::vector<gid_t> SessionGids() const = 0;
  // Groups the user is a member of in the group database (joined after login too).
  virtual std::vector<std::string> MemberOf() const = 0;
  virtual std::string GroupName(gid_t gid) const = 0;
  // This process, left out when looking for processes that hold a device.
  virtual pid_t Pid() const = 0;
  // The FTDI devices on the bus; false (with *error) when the USB cannot be listed.
  virtual bool FtdiDevices(std::vector<FtdiDevice>* devices, std::string* error) const = 0;
};

// The running system, with libftdi1 for the USB.
std::unique_ptr<SystemFacts> RealSystemFacts();

// One line of the report: what was found; for a problem, what is wrong and how to fix it.
struct Finding {
  bool problem = false;
  std::string text;
};

// "ok: ..." or "problem: ...".
std::string FindingLine(const Finding& finding);
bool AnyProblem(const std::vector<Finding>& findings);

// The USB adapter with the product description `description`.
std::vector<Finding> CheckUsbAdapter(const SystemFacts& facts, const std::string& description);
// A serial device such as /dev/ttyUSB0 (a path as the user gives it).
std::vector<Finding> CheckSerialDevice(const SystemFacts& facts, const std::string& device);
// Programs that take USB serial adapters (brltty).
std::vector<Finding> CheckSystem(const SystemFacts& facts);
// USB serial devices present (/dev/ttyUSB*, /dev/ttyACM*).
std::vector<std::string> UsbSerialDevices(const SystemFacts& facts);

// The whole check for one port: "usb" (or empty: the adapter and every USB serial
// device) or a device path.
std::vector<Finding> CheckConnection(const SystemFacts& facts, const std::string& port);

// The check of the port selected in the port list.
std::vector<Finding> CheckSelectedPort(const SystemFacts& facts);
// Every finding, one line each (the window's "Check connection...").
std::string ReportText(const std::vector<Finding>& findings);
// The message of a failed connect on the port labelled `port`: why the port did not
// open (`portError`, empty when it opened and the ECU stayed silent) and the problems
// the check found. Empty when there is nothing to tell beyond the silence.
std::string FailedConnectText(const std::string& port, const std::string& portError,
                              const std::vector<Finding>& findings);

}  // namespace com
