// The connection check's facts on the running system; the USB through libftdi1.
#include <grp.h>

#include <algorithm>
#include <libftdi1/ftdi.h>
#include <libusb.h>
#include <pwd.h>
#include <unistd.h>

#include "link/doctor.h"

namespace com {
namespace {

class RealFacts : public SystemFacts {
 public:
  std::string Root() const override { return {}; }
  uid_t Uid() const override { return ::getuid(); }

  std::string UserName() const override {
    const passwd* pw = ::getpwuid(::getuid());
    return pw ? pw->pw_name : std::to_string(::getuid());
  }

  std::vector<gid_t> SessionGids() const override {
    std::vector<gid_t> gids(static_cast<size_t>(std::max(0, ::getgroups(0, nullptr))));
    const int n = ::getgroups(static_cast<int>(gids.size()), gids.data());
    gids.resize(static_cast<size_t>(std::max(0, n)));
    gids.push_back(::getegid());
    return gids;
  }

  std::vector<std::string> MemberOf() const override {
    std::vector<std::string> names;
    const passwd* pw = ::getpwuid(::getuid());
    if (!pw) return names;
    const std::string user = pw->pw_name;
    const gid_t primary = pw->pw_gid;
    int count = 64;
    std::vector<gid_t> gids(static_cast<size_t>(count));
    if (::getgrouplist(user.c_str(), primary, gids.data(), &count) < 0) {
      gids.resize(static_cast<size_t>(count));
      if (::getgrouplist(user.c_str(), primary, gids.data(), &count) < 0) return names;
    }
    for (int i = 0; i < count; ++i) names.push_back(GroupName(gids[static_cast<size_t>(i)]));
    return names;
  }

  std::string GroupName(gid_t gid) const override {
    const group* gr = ::getgrgid(gid);
    return gr ? gr->gr_name : std::to_string(gid);
  }

  pid_t Pid() const override { return ::getpid(); }

  bool FtdiDevices(std::vector<FtdiDevice>* devices, std::string* error) const override {
    devices->clear();
    ftdi_context* ctx = ftdi_new();
    if (!ctx) {
      *error = "the USB driver does not start";
      return false;
    }
    ftdi_device_list* list = nullptr;
    const int count = ftdi_usb_find_all(ctx, &list, 0, 0);  // every FTDI vendor/product id
    if (count < 0) {
      *error = ftdi_get_error_string(ctx);
      ftdi_free(ctx);
      return false;
    }
    for (ftdi_device_list* d = list; d; d = d->next) {
      FtdiDevice device;
      device.bus = libusb_get_bus_number(d->dev);
      device.address = libusb_get_device_address(d->dev);
      // Opened only to read its strings: nothing is claimed, the serial driver keeps it.
      libusb_device_handle* handle = nullptr;
      const int rc = libusb_open(d->dev, &handle);
      if (rc == LIBUSB_ERROR_ACCESS) {
        device.open = FtdiDevice::Open::NoPermission;
      } else if (rc != 0) {
        device.open = FtdiDevice::Open::Failed;
        device.error = libusb_strerror(static_cast<libusb_error>(rc));
      } else {
        libusb_device_descriptor descriptor{};
        unsigned char text[128] = {0};
        if (libusb_get_device_descriptor(d->dev, &descriptor) == 0 && descriptor.iProduct != 0 &&
            libusb_get_string_descriptor_ascii(handle, descriptor.iProduct, text, sizeof text - 1) > 0)
          device.description = reinterpret_cast<const char*>(text);
        libusb_close(handle);
      }
      devices->push_back(device);
    }
    ftdi_list_free(&list);
    ftdi_free(ctx);
    return true;
  }
};

}  // namespace

std::unique_ptr<SystemFacts> RealSystemFacts() {
  return std::make_unique<RealFacts>();
}

}  // namespace com
