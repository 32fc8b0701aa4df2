// The link to the ECU: the port selector's list, opening and closing of the one
// port, and the globals that every part consults before talking to the ECU.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "link/port.h"

namespace com {

extern uint8_t isComOpen;  // 1 while a port is open and usable
extern int32_t hPort;      // logical serial port number; always 1
extern double secTimeOut;  // read/write time-out of the open port, seconds
extern int16_t comPort;    // selected port: -1 the USB adapter, >= 0 a serial port (item value)

inline constexpr const char* kUsbDescription = "USB CAN Tarvenco";
inline constexpr int kUsbBaud = 312500;
inline constexpr int kSerialBaud = 38400;

// One item of the port selector (RINGport).
struct PortItem {
  std::string label;   // shown to the user: "USB" or the device path
  int16_t value = -1;  // stored in comPort: -1 USB, else a number that is stable per device
  std::string device;  // device path for serial items
};

// The selector's contents and current index, mirrored by the window's RINGport.
std::vector<PortItem>& PortItems();
int& PortIndex();

// A positive number that stays the same for the same device path across runs.
int16_t StablePortValue(const std::string& device);
// Device paths of serial lines that can be opened now.
std::vector<std::string> ScanSerialDevices();
// Fills the selector: "USB" (-1), then every serial device that opens, then the
// devices in `extraDevices` (given on the command line) not yet listed; selects the
// item whose value equals comPort, else the first.
void InitPortList(const std::vector<std::string>& extraDevices = {}, bool scanSerial = true);
// Adds (or finds) an item for a device path and returns its index.
int AddPortDevice(const std::string& device);
// Index of the item with this value, or -1.
int FindPortValue(int16_t value);
// The line rate of the selected item: the USB adapter's or a serial line's.
int SelectedLineBaud();

// Opens the selected port unless one is open already. On failure isComOpen = 0 and
// comPort = 0; the reason is kept for LastPortError().
void OpenComPort();
void CloseComPort();
const std::string& LastPortError();
// How many times a port has been opened since the program started: a part that looks
// at the link only now and then tells a new connection from the one it saw before.
uint32_t PortOpenings();

// The port in use (null when closed); the framing functions read and write through it.
Port* ActivePort();

// How ports are opened: by default the USB adapter through libftdi1 and serial items
// through termios. Tests install a factory that hands out pipes to the simulator.
using PortFactory = std::function<std::unique_ptr<Port>(const PortItem& item, std::string* error)>;
void SetPortFactory(PortFactory factory);  // empty restores the default
std::unique_ptr<Port> DefaultOpenPort(const PortItem& item, std::string* error);

}  // namespace com
