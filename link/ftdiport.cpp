// The USB adapter through libftdi1. The adapter is found by its product
// description among the FTDI devices on the bus, never by serial number or index.
#include <libftdi1/ftdi.h>
#include <poll.h>

#include <chrono>
#include <cstring>

#include "link/port.h"

namespace com {
namespace {

class FtdiPort : public Port {
 public:
  FtdiPort(ftdi_context* ctx, double timeout) : ctx_(ctx) { SetTimeout(timeout); }
  ~FtdiPort() override {
    ftdi_usb_close(ctx_);
    ftdi_free(ctx_);
  }

  bool PrepareWrite() override { return ftdi_tcoflush(ctx_) == 0; }

  int Write(const uint8_t* data, size_t n) override {
    int w = ftdi_write_data(ctx_, data, static_cast<int>(n));
    return w < 0 ? -1 : w;
  }

  int Read(uint8_t* data, size_t n) override {
    // ftdi_read_data returns what the chip has delivered so far; wait for the rest
    // up to the time-out, as the driver's blocking read does.
    using Clock = std::chrono::steady_clock;
    auto deadline = Clock::now() + std::chrono::microseconds(static_cast<int64_t>(timeout_ * 1e6));
    size_t done = 0;
    while (done < n) {
      int r = ftdi_read_data(ctx_, data + done, static_cast<int>(n - done));
      if (r < 0) return -1;
      done += static_cast<size_t>(r);
      if (done >= n || Clock::now() >= deadline) break;
      if (r == 0) ::poll(nullptr, 0, 0);
    }
    return static_cast<int>(done);
  }

  void SetTimeout(double seconds) override {
    timeout_ = seconds;
    int ms = static_cast<int>(static_cast<uint32_t>(seconds * 1000));
    ctx_->usb_read_timeout = ms;
    ctx_->usb_write_timeout = ms;
  }

 private:
  ftdi_context* ctx_;
  double timeout_ = 0.5;
};

}  // namespace

std::unique_ptr<Port> OpenFtdiPort(const std::string& description, int baud, double timeout,
                                   std::string* error) {
  auto fail = [&](ftdi_context* ctx, const char* what) -> std::unique_ptr<Port> {
    if (error) *error = std::string(what) + (ctx ? std::string(": ") + ftdi_get_error_string(ctx) : "");
    if (ctx) ftdi_free(ctx);
    return nullptr;
  };
  ftdi_context* ctx = ftdi_new();
  if (!ctx) return fail(nullptr, "cannot start the USB driver");

  ftdi_device_list* list = nullptr;
  int count = ftdi_usb_find_all(ctx, &list, 0, 0);  // every device with an FTDI vendor/product id
  if (count < 0) return fail(ctx, "cannot list the USB devices");
  libusb_device* found = nullptr;
  for (ftdi_device_list* d = list; d; d = d->next) {
    char desc[128] = {0};
    if (ftdi_usb_get_strings(ctx, d->dev, nullptr, 0, desc, sizeof desc, nullptr, 0) == 0 &&
        description == desc) {
      found = d->dev;
      break;
    }
  }
  if (!found) {
    ftdi_list_free(&list);
    if (error) *error = "no USB adapter \"" + description + "\" found";
    ftdi_free(ctx);
    return nullptr;
  }
  int rc = ftdi_usb_open_dev(ctx, found);
  ftdi_list_free(&list);
  if (rc < 0) return fail(ctx, "cannot open the USB adapter");

  auto port = std::make_unique<FtdiPort>(ctx, timeout);  // closes the device from here on
  if (ftdi_set_baudrate(ctx, baud) < 0 || ftdi_set_line_property(ctx, BITS_8, STOP_BIT_2, NONE) < 0 ||
      ftdi_set_latency_timer(ctx, 1) < 0) {
    if (error) *error = std::string("cannot set up the USB adapter: ") + ftdi_get_error_string(ctx);
    return nullptr;
  }
  return port;
}

}  // namespace com
