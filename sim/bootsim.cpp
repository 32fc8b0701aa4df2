// The simulated boot loader: answers the presence check in one form only, reports
// its system type, version and name and the installed application, erases the areas
// of its system type and takes numbered data blocks, checking that they run from 0
// without gaps. The end frame (block number only) closes the stream.
#include "sim/bootsim.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "link/bytes.h"
#include "link/commands.h"

namespace sim {

namespace {
Device::Reply Ack() {
  return Device::Reply{true, {}};
}
Device::Reply NoReply() {
  return Device::Reply{false, {}};
}
Device::Reply Text(const std::string& s) {
  return Device::Reply{true, std::vector<uint8_t>(s.begin(), s.end())};
}
Device::Reply Version(uint16_t major, uint16_t minor, const std::string& suffix = "") {
  Device::Reply r{true, std::vector<uint8_t>(4 + suffix.size())};
  com::Put16BE(r.payload.data(), major);
  com::Put16BE(r.payload.data() + 2, minor);
  std::copy(suffix.begin(), suffix.end(), r.payload.begin() + 4);
  return r;
}

// Area codes that the boot loader of a system type erases.
bool AreaAccepted(uint16_t sysType, uint8_t area) {
  if (sysType == 0x5600) return area <= 7;
  if (sysType == 0x5534) return (area >= 2 && area <= 12) || area == 14 || area == 15;
  return false;
}

bool ParseNumber(const std::string& text, long& out) {
  if (text.empty()) return false;
  char* end = nullptr;
  out = std::strtol(text.c_str(), &end, 0);
  return end && *end == 0;
}
}  // namespace

BootDevice::BootDevice(BootOptions options) : options_(std::move(options)) {}

void BootDevice::Reset() {
  stream_.clear();
  erased_.clear();
  nextBlock_ = 0;
  ended_ = false;
  sequenceError_ = false;
}

Device::Reply BootDevice::Handle(uint8_t command, const uint8_t* payload, uint8_t n) {
  switch (command) {
    case com::BootHello: {
      const bool plain = n == 0;
      const bool extended = n == 2 && payload[0] == 0x00 && payload[1] == 0x01;
      const bool answers = options_.hello == BootOptions::Hello::Plain ? plain : extended;
      return answers ? Ack() : NoReply();
    }
    case com::BootInfo: {
      if (n != 1) return NoReply();
      switch (payload[0]) {
        case 1: {
          Reply r{true, std::vector<uint8_t>(2)};
          com::Put16BE(r.payload.data(), options_.sysType);
          return r;
        }
        case 2:
          return Version(options_.versionMajor, options_.versionMinor);
        case 3:
          return Text(options_.name);
        default:
          return NoReply();
      }
    }
    case com::BootAppInfo: {
      if (n != 1) return NoReply();
      const uint8_t sub = payload[0];
      if (sub == 2) return Text(options_.hasApplication ? options_.appName : "");
      if (!options_.hasApplication) return NoReply();
      if (sub == 1) return Version(options_.appMajor, options_.appMinor, options_.appSuffix);
      if (sub == 3) return Text(options_.appText3);
      if (sub == 4) return Text(options_.appText4);
      return NoReply();
    }
    case com::BootErase: {
      if (n != 1 || !AreaAccepted(options_.sysType, payload[0])) return NoReply();
      if (ended_ || nextBlock_ > 0 || sequenceError_) Reset();  // a new programming run
      if (options_.eraseDelay > 0)
        std::this_thread::sleep_for(std::chrono::duration<double>(options_.eraseDelay));
      erased_.push_back(payload[0]);
      options_.hasApplication = false;
      return Ack();
    }
    case com::BootWriteBlock:
      break;
    default:
      return NoReply();
  }
  // BootWriteBlock: block number, then 0 to 253 data bytes.
  if (n < 2) return NoReply();
  const int number = com::Get16BE(payload);
  if (erased_.empty() || ended_ || sequenceError_ || number != nextBlock_) {
    // A gap, a repeat, data without an erase first: nothing more is taken until the
    // next erase.
    sequenceError_ = true;
    return NoReply();
  }
  if (n == 2) {  // end frame: its number is the count of data blocks
    ended_ = true;
    options_.hasApplication = true;  // the new application is in place
    if (!options_.streamOutPath.empty()) {
      if (FILE* f = std::fopen(options_.streamOutPath.c_str(), "wb")) {
        if (!stream_.empty()) std::fwrite(stream_.data(), 1, stream_.size(), f);
        std::fclose(f);
      }
    }
    return Ack();
  }
  if (number == options_.noAckForBlock) return NoReply();
  stream_.insert(stream_.end(), payload + 2, payload + n);
  ++nextBlock_;
  return Ack();
}

bool BootOptionTakesValue(const std::string& name) {
  return name == "boot-hello" || name == "sys-type" || name == "no-ack-block" || name == "erase-delay" ||
         name == "stream-out" || name == "boot-name" || name == "boot-version" || name == "app-name";
}

bool ParseBootOption(const std::string& name, const std::string& value, BootOptions& options,
                     std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return true;
  };
  long number = 0;
  if (name == "boot-hello") {
    if (value == "plain")
      options.hello = BootOptions::Hello::Plain;
    else if (value == "extended")
      options.hello = BootOptions::Hello::Extended;
    else
      return fail("expected plain or extended");
    return true;
  }
  if (name == "sys-type") {
    if (!ParseNumber(value, number) || number < 0 || number > 0xFFFF) return fail("expected a 16-bit number");
    options.sysType = static_cast<uint16_t>(number);
    return true;
  }
  if (name == "no-app") {
    options.hasApplication = false;
    return true;
  }
  if (name == "no-ack-block") {
    if (!ParseNumber(value, number) || number < 0 || number > 0xFFFF) return fail("expected a block number");
    options.noAckForBlock = static_cast<int>(number);
    return true;
  }
  if (name == "erase-delay") {
    char* end = nullptr;
    double seconds = std::strtod(value.c_str(), &end);
    if (value.empty() || *end != 0 || seconds < 0 || seconds > 60) return fail("expected seconds (0 to 60)");
    options.eraseDelay = seconds;
    return true;
  }
  if (name == "stream-out") {
    if (value.empty()) return fail("expected a file path");
    options.streamOutPath = value;
    return true;
  }
  if (name == "boot-name") {
    options.name = value.substr(0, 255);
    return true;
  }
  if (name == "app-name") {
    options.appName = value.substr(0, 255);
    options.hasApplication = !value.empty();
    return true;
  }
  if (name == "boot-version") {
    unsigned major = 0, minor = 0;
    char extra = 0;
    if (std::sscanf(value.c_str(), "%u.%u%c", &major, &minor, &extra) != 2 || major > 0xFFFF ||
        minor > 0xFFFF)
      return fail("expected MAJOR.MINOR");
    options.versionMajor = static_cast<uint16_t>(major);
    options.versionMinor = static_cast<uint16_t>(minor);
    return true;
  }
  return false;
}

std::string BootOptionsHelp() {
  return "  --boot-hello plain|extended  BootHello form the boot loader answers (default extended)\n"
         "  --sys-type N                 system type, 0x5600 (default) or 0x5534\n"
         "  --boot-name TEXT             boot-loader name (default \"Q740 Boot\")\n"
         "  --boot-version MAJOR.MINOR   boot-loader version (default 2.1)\n"
         "  --app-name TEXT              installed application's name (default \"Q740\")\n"
         "  --no-app                     no application installed\n"
         "  --no-ack-block N             never acknowledge data block N\n"
         "  --erase-delay SECONDS        time each erase takes before its acknowledgement\n"
         "  --stream-out PATH            write the programmed stream to PATH at the end frame\n";
}

}  // namespace sim
