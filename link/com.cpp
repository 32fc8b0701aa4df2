#include "link/com.h"

#include <glob.h>

#include <algorithm>

namespace com {

uint8_t isComOpen = 0;
int32_t hPort = 1;
double secTimeOut = 0.5;
int16_t comPort = 0;

namespace {
std::unique_ptr<Port> activePort;
PortFactory portFactory;
std::string lastError;
}  // namespace

std::vector<PortItem>& PortItems() {
  static std::vector<PortItem> items;
  return items;
}

int& PortIndex() {
  static int index = 0;
  return index;
}

int16_t StablePortValue(const std::string& device) {
  uint32_t h = 2166136261u;  // FNV-1a
  for (unsigned char c : device) {
    h ^= c;
    h *= 16777619u;
  }
  return static_cast<int16_t>(1 + h % 32000);
}

std::vector<std::string> ScanSerialDevices() {
  std::vector<std::string> found;
  for (const char* pattern : {"/dev/ttyUSB*", "/dev/ttyACM*", "/dev/ttyS*"}) {
    glob_t g{};
    if (glob(pattern, 0, nullptr, &g) == 0) {
      for (size_t i = 0; i < g.gl_pathc; ++i) {
        std::string dev = g.gl_pathv[i];
        if (ProbeSerialDevice(dev)) found.push_back(dev);
      }
    }
    globfree(&g);
  }
  return found;
}

int FindPortValue(int16_t value) {
  auto& items = PortItems();
  for (size_t i = 0; i < items.size(); ++i)
    if (items[i].value == value) return static_cast<int>(i);
  return -1;
}

int AddPortDevice(const std::string& device) {
  auto& items = PortItems();
  for (size_t i = 0; i < items.size(); ++i)
    if (items[i].value >= 0 && items[i].device == device) return static_cast<int>(i);
  int16_t value = StablePortValue(device);
  while (FindPortValue(value) >= 0) value = static_cast<int16_t>(value % 32000 + 1);  // rare clash
  items.push_back(PortItem{device, value, device});
  return static_cast<int>(items.size() - 1);
}

void InitPortList(const std::vector<std::string>& extraDevices, bool scanSerial) {
  auto& items = PortItems();
  items.clear();
  items.push_back(PortItem{"USB", -1, ""});
  if (scanSerial)
    for (const auto& dev : ScanSerialDevices()) AddPortDevice(dev);
  for (const auto& dev : extraDevices) AddPortDevice(dev);
  int index = FindPortValue(comPort);
  PortIndex() = index < 0 ? 0 : index;
}

int SelectedLineBaud() {
  const auto& items = PortItems();
  const int index = PortIndex();
  const bool serial = index >= 0 && index < static_cast<int>(items.size()) && items[index].value >= 0;
  return serial ? kSerialBaud : kUsbBaud;
}

std::unique_ptr<Port> DefaultOpenPort(const PortItem& item, std::string* error) {
  if (item.value < 0) return OpenFtdiPort(kUsbDescription, kUsbBaud, secTimeOut, error);
  return OpenSerialPort(item.device, kSerialBaud, secTimeOut, error);
}

void SetPortFactory(PortFactory factory) {
  portFactory = std::move(factory);
}

namespace {
uint32_t portOpenings = 0;
}  // namespace

uint32_t PortOpenings() {
  return portOpenings;
}

void OpenComPort() {
  if (isComOpen) return;
  auto& items = PortItems();
  int index = PortIndex();
  if (index < 0 || index >= static_cast<int>(items.size())) {
    lastError = "no port selected";
    isComOpen = 0;
    comPort = 0;
    return;
  }
  const PortItem item = items[index];
  comPort = item.value;
  lastError.clear();
  activePort = portFactory ? portFactory(item, &lastError) : DefaultOpenPort(item, &lastError);
  if (!activePort) {
    if (lastError.empty()) lastError = "cannot open " + item.label;
    isComOpen = 0;
    comPort = 0;
    return;
  }
  activePort->SetTimeout(secTimeOut);
  isComOpen = 1;
  ++portOpenings;
}

void CloseComPort() {
  activePort.reset();
  isComOpen = 0;
}

const std::string& LastPortError() {
  return lastError;
}

Port* ActivePort() {
  return activePort.get();
}

}  // namespace com
