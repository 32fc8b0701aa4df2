#include "link/doctor.h"

#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "link/com.h"

namespace com {

namespace fs = std::filesystem;

namespace {

// A system path below the facts' root.
std::string Under(const SystemFacts& facts, const std::string& path) {
  return facts.Root() + path;
}

bool Exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

// The first line of a small file such as a sysfs attribute; false when unreadable.
bool ReadLine(const std::string& path, std::string* line) {
  std::ifstream in(path);
  if (!in || !std::getline(in, *line)) return false;
  while (!line->empty() && (line->back() == '\r' || line->back() == ' ')) line->pop_back();
  return true;
}

bool ReadInt(const std::string& path, int* value) {
  std::string line;
  if (!ReadLine(path, &line)) return false;
  const char* end = line.data() + line.size();
  auto [p, ec] = std::from_chars(line.data(), end, *value);
  return ec == std::errc() && p == end;
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.rfind(prefix, 0) == 0;
}

std::string Quoted(const std::string& text) {
  return "\"" + text + "\"";
}

std::string Octal(unsigned mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", mode & 07777u);
  return text;
}

std::string UsbNode(int bus, int address) {
  char text[32];
  std::snprintf(text, sizeof text, "/dev/bus/usb/%03d/%03d", bus, address);
  return text;
}

Finding Ok(std::string text) {
  return Finding{false, std::move(text)};
}
Finding Problem(std::string text) {
  return Finding{true, std::move(text)};
}

std::vector<std::string> SessionGroupNames(const SystemFacts& facts) {
  std::vector<std::string> names;
  for (gid_t gid : facts.SessionGids()) names.push_back(facts.GroupName(gid));
  return names;
}

bool Contains(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

// The device's path and kernel name after following symbolic links (a path given
// through a link such as /dev/serial/by-id/... is held open under its real name).
struct DevicePath {
  std::string system;  // as the system names it, without the root
  std::string name;    // last component, e.g. ttyUSB0
};

DevicePath Resolve(const SystemFacts& facts, const std::string& device) {
  DevicePath path{device, fs::path(device).filename().string()};
  std::error_code ec;
  const fs::path real = fs::canonical(Under(facts, device), ec);
  if (ec) return path;
  std::string text = real.string();
  const std::string root = facts.Root();
  if (!root.empty() && StartsWith(text, root)) text = text.substr(root.size());
  path.system = text;
  path.name = real.filename().string();
  return path;
}

bool IsUsbSerialName(const std::string& name) {
  return StartsWith(name, "ttyUSB") || StartsWith(name, "ttyACM");
}

// Kernel rules: the owner's bits for the owner, else the group's for a member, else
// the others'.
bool MayReadWrite(const SystemFacts& facts, const struct stat& st) {
  if (facts.Uid() == 0) return true;
  unsigned bits;
  const std::vector<gid_t> gids = facts.SessionGids();
  if (st.st_uid == facts.Uid())
    bits = (st.st_mode >> 6) & 7u;
  else if (std::find(gids.begin(), gids.end(), st.st_gid) != gids.end())
    bits = (st.st_mode >> 3) & 7u;
  else
    bits = st.st_mode & 7u;
  return (bits & 6u) == 6u;
}

struct Process {
  pid_t pid = 0;
  std::string command;
};

std::vector<Process> Processes(const SystemFacts& facts) {
  std::vector<Process> found;
  std::error_code ec;
  for (fs::directory_iterator it(Under(facts, "/proc"), ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    int pid = 0;
    auto [p, err] = std::from_chars(name.data(), name.data() + name.size(), pid);
    if (err != std::errc() || p != name.data() + name.size()) continue;
    Process process{pid, {}};
    ReadLine(it->path().string() + "/comm", &process.command);
    found.push_back(process);
  }
  return found;
}

// Processes other than this one with `device` open (only those whose descriptors this
// user may read: all of them for root, the user's own otherwise).
std::vector<Process> Holders(const SystemFacts& facts, const DevicePath& device, const std::string& given) {
  std::vector<Process> holders;
  for (const Process& process : Processes(facts)) {
    if (process.pid == facts.Pid()) continue;
    const std::string fdDir = Under(facts, "/proc/" + std::to_string(process.pid) + "/fd");
    std::error_code ec;
    for (fs::directory_iterator it(fdDir, ec), end; !ec && it != end; it.increment(ec)) {
      std::error_code linkError;
      const std::string target = fs::read_symlink(it->path(), linkError).string();
      if (!linkError && (target == device.system || target == given)) {
        holders.push_back(process);
        break;
      }
    }
  }
  return holders;
}

bool ProcessRunning(const SystemFacts& facts, const std::string& command) {
  for (const Process& process : Processes(facts))
    if (process.command == command) return true;
  return false;
}

// The product string of a USB device from sysfs (readable by everyone, also when the
// device itself is not).
std::string SysfsProduct(const SystemFacts& facts, int bus, int address) {
  std::error_code ec;
  for (fs::directory_iterator it(Under(facts, "/sys/bus/usb/devices"), ec), end; !ec && it != end;
       it.increment(ec)) {
    const std::string dir = it->path().string();
    int b = -1, a = -1;
    if (ReadInt(dir + "/busnum", &b) && ReadInt(dir + "/devnum", &a) && b == bus && a == address) {
      std::string product;
      return ReadLine(dir + "/product", &product) ? product : std::string();
    }
  }
  return {};
}

constexpr const char* kRuleName = "70-tarvenco.rules";

std::string InstalledRule(const SystemFacts& facts) {
  for (const char* dir : {"/etc/udev/rules.d/", "/usr/lib/udev/rules.d/", "/lib/udev/rules.d/"}) {
    const std::string path = std::string(dir) + kRuleName;
    if (Exists(Under(facts, path))) return path;
  }
  return {};
}

// logind marks the user of the active session at the seat; udev's uaccess tag gives
// that user the device.
bool ActiveSeatSession(const SystemFacts& facts) {
  std::ifstream in(Under(facts, "/run/systemd/users/" + std::to_string(facts.Uid())));
  std::string line;
  while (std::getline(in, line))
    if (line == "STATE=active") return true;
  return false;
}

std::string JoinGroupFix(const SystemFacts& facts, const std::string& group) {
  return "sudo usermod -aG " + group + " " + facts.UserName() + ", then log out and in again";
}

// Why the found adapter does not open for this user, one line per cause.
void ExplainUsbPermission(const SystemFacts& facts, const FtdiDevice& adapter, std::vector<Finding>& out) {
  const std::string node = UsbNode(adapter.bus, adapter.address);
  out.push_back(Problem("the USB adapter " + Quoted(adapter.description) + " is found but you may not open " +
                        node + ": fix its permission as the next lines say"));
  const std::string rule = InstalledRule(facts);
  if (rule.empty()) {
    out.push_back(Problem("the udev rule " + std::string(kRuleName) +
                          " is not installed: install the kestra package, or run: sudo cp packaging/" +
                          kRuleName +
                          " /etc/udev/rules.d/ && sudo udevadm control --reload && sudo udevadm trigger"));
    return;
  }
  out.push_back(Ok("the udev rule is installed: " + rule));
  const std::vector<std::string> session = SessionGroupNames(facts);
  const bool inPlugdev = Contains(session, "plugdev");
  const bool seat = ActiveSeatSession(facts);
  if (inPlugdev)
    out.push_back(Ok("you are in the group plugdev"));
  else if (Contains(facts.MemberOf(), "plugdev"))
    out.push_back(Problem("you joined the group plugdev after this login: log out and in again"));
  if (seat)
    out.push_back(Ok("your login is the active session at this seat, which may use the adapter (uaccess)"));
  else if (!inPlugdev && !Contains(facts.MemberOf(), "plugdev"))
    out.push_back(
        Problem("your login is not the active session at the seat (a remote login?), so uaccess "
                "does not apply, and you are not in plugdev: " +
                JoinGroupFix(facts, "plugdev")));
  if (inPlugdev || seat)
    out.push_back(
        Problem("the rule has not been applied to the adapter as it is plugged in now: "
                "sudo udevadm trigger, or unplug the adapter and plug it in again"));
}

}  // namespace

std::string FindingLine(const Finding& finding) {
  return (finding.problem ? "problem: " : "ok: ") + finding.text;
}

bool AnyProblem(const std::vector<Finding>& findings) {
  return std::any_of(findings.begin(), findings.end(), [](const Finding& f) { return f.problem; });
}

std::vector<Finding> CheckUsbAdapter(const SystemFacts& facts, const std::string& description) {
  std::vector<Finding> out;
  std::vector<FtdiDevice> devices;
  std::string error;
  if (!facts.FtdiDevices(&devices, &error)) {
    out.push_back(Problem("the USB devices cannot be listed (" + error +
                          "): without /dev/bus/usb no USB adapter can be used (in a container, pass the "
                          "USB bus through)"));
    return out;
  }
  const FtdiDevice* adapter = nullptr;
  for (FtdiDevice& device : devices) {
    if (device.description.empty()) device.description = SysfsProduct(facts, device.bus, device.address);
    out.push_back(
        Ok("FTDI device at " + UsbNode(device.bus, device.address) + ": " +
           (device.description.empty() ? std::string("(no description)") : Quoted(device.description))));
    if (!adapter && device.description == description) adapter = &device;
  }
  if (!adapter) {
    if (devices.empty() && !Exists(Under(facts, "/dev/bus/usb")))
      out.push_back(
          Problem("no USB device can be seen: /dev/bus/usb is missing (in a container, pass the "
                  "USB bus through)"));
    else if (devices.empty())
      out.push_back(Problem("no FTDI device is on the USB: the adapter " + Quoted(description) +
                            " is not plugged in (or its cable or hub is at fault)"));
    else
      out.push_back(Problem("none of the FTDI devices is the adapter " + Quoted(description) +
                            ": plug it in, or use the other adapter's serial device (/dev/ttyUSBn)"));
    return out;
  }
  switch (adapter->open) {
    case FtdiDevice::Open::Ok:
      out.push_back(Ok("the USB adapter " + Quoted(description) + " is found and opens"));
      break;
    case FtdiDevice::Open::NoPermission:
      ExplainUsbPermission(facts, *adapter, out);
      break;
    case FtdiDevice::Open::Failed:
      out.push_back(Problem("the USB adapter " + Quoted(description) + " is found but does not open (" +
                            adapter->error + "): close any other program that uses it, or plug it in again"));
      break;
  }
  return out;
}

std::vector<Finding> CheckSerialDevice(const SystemFacts& facts, const std::string& device) {
  std::vector<Finding> out;
  struct stat st {};
  if (::stat(Under(facts, device).c_str(), &st) != 0) {
    out.push_back(Problem(device + " does not exist: plug the adapter in, and look for its name with: "
                                   "ls /dev/ttyUSB* /dev/ttyACM*"));
    return out;
  }
  const DevicePath path = Resolve(facts, device);
  const std::string group = facts.GroupName(st.st_gid);
  if (MayReadWrite(facts, st)) {
    out.push_back(Ok(device + " is readable and writable for " + facts.UserName()));
  } else {
    const bool groupMay = ((st.st_mode >> 3) & 6u) == 6u;
    const std::string what = device + " (group " + group + ", mode " + Octal(st.st_mode) +
                             ") is not readable and writable for " + facts.UserName();
    if (groupMay && Contains(facts.MemberOf(), group))
      out.push_back(
          Problem(what + ": you joined the group " + group + " after this login: log out and in again"));
    else if (groupMay)
      out.push_back(Problem(what + ": join its group " + group + ": " + JoinGroupFix(facts, group)));
    else
      out.push_back(Problem(what + ", and its group may not use it either: a udev rule that sets "
                                   "MODE=\"0660\", GROUP=\"dialout\" for it fixes that"));
  }

  // The program at the other end of a pseudo-terminal (a simulator) keeps it open by
  // design; anyone else holding a real line takes its bytes.
  const bool pseudoTerminal = StartsWith(path.system, "/dev/pts/");
  if (!pseudoTerminal)
    for (const Process& holder : Holders(facts, path, device))
      out.push_back(Problem(device + " is held open by process " + std::to_string(holder.pid) + " (" +
                            holder.command + "): close that program, or end it with: kill " +
                            std::to_string(holder.pid)));

  if (IsUsbSerialName(path.name) && ProcessRunning(facts, "ModemManager"))
    out.push_back(Problem("ModemManager is running and probes new " + path.name +
                          " devices as modems, which disturbs the ECU: sudo systemctl stop ModemManager "
                          "(for good: sudo systemctl disable ModemManager)"));

  if (StartsWith(path.name, "ttyUSB")) {
    const std::string attribute = "/sys/bus/usb-serial/devices/" + path.name + "/latency_timer";
    int ms = 0;
    if (ReadInt(Under(facts, attribute), &ms)) {
      if (ms > 1) {
        // Kalvex waits for one reply per 253-byte block: 518 blocks for 128 KB.
        const int lost = (ms - 1) * 518 / 1000;
        out.push_back(Problem(
            "the latency timer of " + path.name + " is " + std::to_string(ms) +
            " ms: every reply waits up to " + std::to_string(ms) + " ms (up to " + std::to_string(lost) +
            " s more for 128 KB of firmware). Set 1 ms now: echo 1 | sudo tee " + attribute +
            "; for good, a udev rule line: ACTION==\"add\", SUBSYSTEM==\"usb-serial\", DRIVER==\"ftdi_sio\", "
            "ATTR{latency_timer}=\"1\""));
      } else {
        out.push_back(Ok("the latency timer of " + path.name + " is " + std::to_string(ms) + " ms"));
      }
    }
  }
  return out;
}

std::vector<Finding> CheckSystem(const SystemFacts& facts) {
  std::vector<Finding> out;
  for (const char* path : {"/usr/bin/brltty", "/bin/brltty", "/usr/sbin/brltty", "/sbin/brltty"}) {
    if (Exists(Under(facts, path))) {
      out.push_back(
          Problem("brltty is installed: it takes some USB serial adapters for braille displays, "
                  "and their device vanishes; unless you use a braille display: sudo apt remove brltty"));
      break;
    }
  }
  return out;
}

std::vector<std::string> UsbSerialDevices(const SystemFacts& facts) {
  std::vector<std::string> devices;
  std::error_code ec;
  for (fs::directory_iterator it(Under(facts, "/dev"), ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (IsUsbSerialName(name)) devices.push_back("/dev/" + name);
  }
  std::sort(devices.begin(), devices.end());
  return devices;
}

std::vector<Finding> CheckConnection(const SystemFacts& facts, const std::string& port) {
  std::vector<Finding> out;
  auto add = [&out](std::vector<Finding> more) { out.insert(out.end(), more.begin(), more.end()); };
  bool usbInvolved = true;
  if (port.empty() || port == "usb" || port == "USB") {
    add(CheckUsbAdapter(facts, kUsbDescription));
    if (port.empty())
      for (const std::string& device : UsbSerialDevices(facts)) add(CheckSerialDevice(facts, device));
  } else {
    add(CheckSerialDevice(facts, port));
    usbInvolved = IsUsbSerialName(Resolve(facts, port).name);
  }
  if (usbInvolved) add(CheckSystem(facts));
  return out;
}

std::vector<Finding> CheckSelectedPort(const SystemFacts& facts) {
  const auto& items = PortItems();
  const int index = PortIndex();
  if (index < 0 || index >= static_cast<int>(items.size()) || items[index].value < 0)
    return CheckConnection(facts, "usb");
  return CheckConnection(facts, items[index].device);
}

std::string ReportText(const std::vector<Finding>& findings) {
  std::string text;
  for (const Finding& finding : findings) text += (text.empty() ? "" : "\n") + FindingLine(finding);
  return text.empty() ? "Nothing to check." : text;
}

std::string FailedConnectText(const std::string& port, const std::string& portError,
                              const std::vector<Finding>& findings) {
  std::string problems;
  for (const Finding& finding : findings)
    if (finding.problem) problems += "\n- " + finding.text;
  if (portError.empty() && problems.empty()) return {};
  std::string text = portError.empty() ? "The ECU does not answer on " + port + "."
                                       : port + " does not open: " + portError + ".";
  if (!problems.empty()) text += "\nThe connection check found:" + problems;
  return text;
}

}  // namespace com
