// One physical connection to the ECU. Three kinds implement it: the USB adapter
// (libftdi1), a serial device (termios) and an in-memory pipe used by the tests.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace com {

class Port {
 public:
  virtual ~Port() = default;
  // Called before every request frame: the USB adapter purges its transmit buffer,
  // a serial line discards unread input. False on a driver error.
  virtual bool PrepareWrite() = 0;
  // Writes the bytes; returns the count written or -1 on a driver error.
  virtual int Write(const uint8_t* data, size_t n) = 0;
  // Reads up to n bytes, waiting at most the port time-out for all of them.
  // Returns the count that arrived (0 when nothing did) or -1 on a driver error.
  virtual int Read(uint8_t* data, size_t n) = 0;
  // Read/write time-out in seconds.
  virtual void SetTimeout(double seconds) = 0;
};

// A serial device opened with termios: `baud` 8N2, no parity, raw.
std::unique_ptr<Port> OpenSerialPort(const std::string& device, int baud, double timeout, std::string* error);
// True when the device can be opened as a serial line (used to fill the port list).
bool ProbeSerialDevice(const std::string& device);

// The FTDI USB adapter whose product description is `description`.
std::unique_ptr<Port> OpenFtdiPort(const std::string& description, int baud, double timeout,
                                   std::string* error);

}  // namespace com
