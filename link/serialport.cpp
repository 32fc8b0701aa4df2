// Serial line through termios.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "link/port.h"

namespace com {
namespace {

speed_t BaudConstant(int baud) {
  switch (baud) {
    case 9600:
      return B9600;
    case 19200:
      return B19200;
    case 38400:
      return B38400;
    case 57600:
      return B57600;
    case 115200:
      return B115200;
    case 230400:
      return B230400;
    default:
      return B38400;
  }
}

class SerialPort : public Port {
 public:
  explicit SerialPort(int fd, double timeout) : fd_(fd), timeout_(timeout) {}
  ~SerialPort() override { ::close(fd_); }

  bool PrepareWrite() override { return tcflush(fd_, TCIFLUSH) == 0; }

  int Write(const uint8_t* data, size_t n) override {
    size_t done = 0;
    auto deadline = Deadline();
    while (done < n) {
      ssize_t w = ::write(fd_, data + done, n - done);
      if (w > 0) {
        done += static_cast<size_t>(w);
        continue;
      }
      if (w < 0 && errno != EAGAIN && errno != EINTR) return -1;
      int left = MillisLeft(deadline);
      if (left <= 0) break;
      pollfd p{fd_, POLLOUT, 0};
      if (::poll(&p, 1, left) < 0 && errno != EINTR) return -1;
    }
    return static_cast<int>(done);
  }

  int Read(uint8_t* data, size_t n) override {
    size_t done = 0;
    auto deadline = Deadline();
    while (done < n) {
      ssize_t r = ::read(fd_, data + done, n - done);
      if (r > 0) {
        done += static_cast<size_t>(r);
        continue;
      }
      if (r < 0 && errno != EAGAIN && errno != EINTR) return -1;
      // r == 0 (the other end of a pseudo-terminal went away) is waited out like silence.
      int left = MillisLeft(deadline);
      if (left <= 0) break;
      pollfd p{fd_, POLLIN, 0};
      int rc = ::poll(&p, 1, left);
      if (rc < 0 && errno != EINTR) return -1;
      if (rc > 0 && (p.revents & (POLLHUP | POLLERR)) && !(p.revents & POLLIN)) {
        // Nothing will come; sleep out the time-out as a silent line would.
        ::poll(nullptr, 0, MillisLeft(deadline));
        break;
      }
    }
    return static_cast<int>(done);
  }

  void SetTimeout(double seconds) override { timeout_ = seconds; }

 private:
  using Clock = std::chrono::steady_clock;
  Clock::time_point Deadline() const {
    return Clock::now() + std::chrono::microseconds(static_cast<int64_t>(timeout_ * 1e6));
  }
  static int MillisLeft(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()).count();
    if (left <= 0) return 0;
    return static_cast<int>((left + 999) / 1000);
  }

  int fd_;
  double timeout_;
};

int OpenRaw(const std::string& device, int baud, std::string* error) {
  int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (error) *error = device + ": " + std::strerror(errno);
    return -1;
  }
  termios tio{};
  if (tcgetattr(fd, &tio) != 0) {
    if (error) *error = device + ": not a serial device";
    ::close(fd);
    return -1;
  }
  cfmakeraw(&tio);
  tio.c_cflag &= ~(PARENB | CSIZE | CRTSCTS);
  tio.c_cflag |= CS8 | CSTOPB | CLOCAL | CREAD;
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  cfsetispeed(&tio, BaudConstant(baud));
  cfsetospeed(&tio, BaudConstant(baud));
  if (tcsetattr(fd, TCSANOW, &tio) != 0) {
    if (error) *error = device + ": cannot set the line (" + std::strerror(errno) + ")";
    ::close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

std::unique_ptr<Port> OpenSerialPort(const std::string& device, int baud, double timeout,
                                     std::string* error) {
  int fd = OpenRaw(device, baud, error);
  if (fd < 0) return nullptr;
  tcflush(fd, TCIOFLUSH);
  return std::make_unique<SerialPort>(fd, timeout);
}

bool ProbeSerialDevice(const std::string& device) {
  int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  termios tio{};
  bool ok = tcgetattr(fd, &tio) == 0;
  ::close(fd);
  return ok;
}

}  // namespace com
