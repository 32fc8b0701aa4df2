// q740-sim: a simulated Q740 ECU on a pseudo-terminal. It prints the device path of
// the line on standard output; Kestra (or kestra-cli) connects to it as to a serial
// port. With --boot it plays the boot loader that Kalvex talks to.
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "link/appdirs.h"
#include "sim/appsim.h"
#include "sim/bootsim.h"
#include "sim/engine.h"
#include "sim/pty.h"
#include "sim/tuner.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;
void OnSignal(int) {
  stopRequested = 1;
}

const char* kUsage =
    "Usage: q740-sim [options]\n"
    "Simulated Q740 ECU on a pseudo-terminal; prints the device path on standard output.\n"
    "  --version               print the program's version\n"
    "\n"
    "Line:\n"
    "  --link PATH             also make a symbolic link PATH to the device (removed on exit)\n"
    "  --baud N                pace both directions as an 8N2 line of N baud (11 bits a byte)\n"
    "  --reply-delay MS        wait MS milliseconds before each reply\n"
    "  --drop-after N          answer nothing after N requests\n"
    "  --corrupt-checksum N    the reply to request N carries a wrong checksum\n"
    "  --short-reply N         the reply to request N is one byte short\n"
    "Application firmware (the default):\n"
    "  --load-config FILE      start with the configuration of FILE (.ecd, 1276 bytes)\n"
    "  --load-mapping FILE     start with map set 1 from FILE (.emd, 12344 bytes)\n"
    "  --load-mapping2 FILE    start with map set 2 from FILE\n"
    "  --protected             report the ECU as protected\n"
    "  --hw A,B,C,D            hardware version bytes (default 2,0,0,0)\n"
    "  --release 0xNNNN        firmware release (default 0x0103)\n"
    "  --family TEXT           firmware family, at most 4 characters (default Q740)\n"
    "  --firmware TEXT         firmware version text\n"
    "  --throttle COUNT        throttle sensor count for command 8: a number, idle (112), full (905),\n"
    "                          or cycle (four readings at idle, then four at full, in turn)\n"
    "  --throttle-noise N      readings vary by up to N counts around the throttle count\n"
    "  --throttle-fault KIND   command 8 answers nothing (none) or one byte (one-byte)\n"
    "Boot loader:\n"
    "  --boot                  play the boot loader instead of the application\n";

struct Options {
  std::string link;
  double baud = 0.0;
  sim::Faults faults;
  bool boot = false;
  std::vector<std::string> appOptions;   // given application options (for the --boot check)
  std::vector<std::string> bootOptions;  // given boot options (checked against --boot)
  std::string loadConfig, loadMapping, loadMapping2;
  std::optional<bool> isProtected;
  std::optional<std::array<uint8_t, 4>> hardware;
  std::optional<uint16_t> release;
  std::optional<std::string> family, firmware;
  std::optional<int> throttle, throttleNoise;
  bool throttleCycle = false;
  std::optional<sim::AppDevice::ThrottleReply> throttleFault;
  sim::BootOptions bootSettings;
  sim::EcuModel model;  // the engine and the records behind it
  sim::TuneOptions tune;
};

[[noreturn]] void Fail(const std::string& message) {
  std::cerr << "q740-sim: " << message << "\nTry 'q740-sim --help'.\n";
  std::exit(2);
}

long ParseInt(const std::string& name, const std::string& value, long lo, long hi) {
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(value.c_str(), &end, 0);
  if (value.empty() || *end != '\0' || errno != 0 || v < lo || v > hi)
    Fail("--" + name + ": '" + value + "' is not a number from " + std::to_string(lo) + " to " +
         std::to_string(hi));
  return v;
}

double ParseNumber(const std::string& name, const std::string& value, double lo, double hi) {
  char* end = nullptr;
  double v = std::strtod(value.c_str(), &end);
  if (value.empty() || *end != '\0' || !(v >= lo && v <= hi)) {
    char range[64];
    std::snprintf(range, sizeof range, " from %g to %g", lo, hi);
    Fail("--" + name + ": '" + value + "' is not a number" + range);
  }
  return v;
}

bool TakesValue(const std::string& name) {
  static const char* withValue[] = {
      "link",        "baud",        "reply-delay",  "drop-after",    "corrupt-checksum",
      "short-reply", "load-config", "load-mapping", "load-mapping2", "hw",
      "release",     "family",      "firmware"};
  if (name == "throttle" || name == "throttle-noise" || name == "throttle-fault") return true;
  for (const char* w : withValue)
    if (name == w) return true;
  return false;
}

Options Parse(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      std::cout << kUsage << sim::EngineOptionsHelp() << sim::TuneOptionsHelp() << sim::BootOptionsHelp();
      std::exit(0);
    }
    if (arg == "--version") {
      com::PrintVersion("q740-sim");
      std::exit(0);
    }
    if (arg.rfind("--", 0) != 0 || arg.size() == 2) Fail("unexpected argument '" + arg + "'");
    std::string name = arg.substr(2), value;
    bool hasInline = false;
    if (auto eq = name.find('='); eq != std::string::npos) {
      value = name.substr(eq + 1);
      name = name.substr(0, eq);
      hasInline = true;
    }
    const bool isEngineOption = sim::EngineOptionTakesValue(name) || sim::TuneOptionTakesValue(name);
    const bool isBootOption = !TakesValue(name) && !isEngineOption && name != "boot" && name != "protected" &&
                              sim::BootOptionTakesValue(name);
    const bool needsValue = TakesValue(name) || isEngineOption || isBootOption;
    if (needsValue && !hasInline) {
      if (i + 1 >= argc) Fail("--" + name + " needs a value");
      value = argv[++i];
    } else if (!needsValue && hasInline) {
      // A flag given a value: only boot flags may still take it below; ours may not.
      if (name == "boot" || name == "protected") Fail("--" + name + " takes no value");
    }

    bool engineUsed = false;
    std::string engineError;
    if (!sim::ParseEngineOption(name, value, o.model, &engineUsed, &engineError)) Fail(engineError);
    if (!engineUsed && !sim::ParseTuneOption(name, value, o.tune, &engineUsed, &engineError))
      Fail(engineError);
    if (engineUsed) {
      o.appOptions.push_back(name);
      continue;
    }

    if (name == "link") {
      if (value.empty()) Fail("--link needs a path");
      o.link = value;
    } else if (name == "baud") {
      o.baud = ParseNumber(name, value, 50, 20000000);
    } else if (name == "reply-delay") {
      o.faults.replyDelay = ParseNumber(name, value, 0, 600000) / 1000.0;
    } else if (name == "drop-after") {
      o.faults.dropAfterFrames = static_cast<int>(ParseInt(name, value, 0, 1000000000));
    } else if (name == "corrupt-checksum") {
      o.faults.corruptChecksumAt = static_cast<int>(ParseInt(name, value, 1, 1000000000));
    } else if (name == "short-reply") {
      o.faults.shortReplyAt = static_cast<int>(ParseInt(name, value, 1, 1000000000));
    } else if (name == "boot") {
      o.boot = true;
    } else if (name == "load-config" || name == "load-mapping" || name == "load-mapping2") {
      if (value.empty()) Fail("--" + name + " needs a file");
      (name == "load-config"    ? o.loadConfig
       : name == "load-mapping" ? o.loadMapping
                                : o.loadMapping2) = value;
      o.appOptions.push_back(name);
    } else if (name == "protected") {
      o.isProtected = true;
      o.appOptions.push_back(name);
    } else if (name == "hw") {
      std::array<uint8_t, 4> hw{};
      size_t start = 0;
      for (int k = 0; k < 4; ++k) {
        size_t comma = value.find(',', start);
        if ((k < 3) != (comma != std::string::npos)) Fail("--hw: give four bytes as A,B,C,D");
        std::string part = value.substr(start, k < 3 ? comma - start : std::string::npos);
        hw[k] = static_cast<uint8_t>(ParseInt(name, part, 0, 255));
        start = comma + 1;
      }
      o.hardware = hw;
      o.appOptions.push_back(name);
    } else if (name == "release") {
      o.release = static_cast<uint16_t>(ParseInt(name, value, 0, 0xFFFF));
      o.appOptions.push_back(name);
    } else if (name == "family") {
      if (value.size() > 4) Fail("--family: at most 4 characters");
      o.family = value;
      o.appOptions.push_back(name);
    } else if (name == "firmware") {
      if (value.size() > 255) Fail("--firmware: at most 255 characters");
      o.firmware = value;
      o.appOptions.push_back(name);
    } else if (name == "throttle") {
      o.throttleCycle = value == "cycle";
      o.throttle = value == "idle" || value == "cycle" ? sim::AppDevice::kThrottleIdle
                   : value == "full"                   ? sim::AppDevice::kThrottleFull
                                                       : static_cast<int>(ParseInt(name, value, 0, 0xFFFF));
      o.appOptions.push_back(name);
    } else if (name == "throttle-noise") {
      o.throttleNoise = static_cast<int>(ParseInt(name, value, 0, 1000));
      o.appOptions.push_back(name);
    } else if (name == "throttle-fault") {
      if (value == "none") {
        o.throttleFault = sim::AppDevice::ThrottleReply::None;
      } else if (value == "one-byte") {
        o.throttleFault = sim::AppDevice::ThrottleReply::OneByte;
      } else {
        Fail("--throttle-fault: 'none' or 'one-byte', not '" + value + "'");
      }
      o.appOptions.push_back(name);
    } else {
      std::string error;
      if (!sim::ParseBootOption(name, value, o.bootSettings, &error)) {
        if (!error.empty()) Fail(error.rfind("--", 0) == 0 ? error : "--" + name + ": " + error);
        Fail("unknown option '--" + name + "'");
      }
      if (!error.empty()) Fail(error.rfind("--", 0) == 0 ? error : "--" + name + ": " + error);
      o.bootOptions.push_back(name);
    }
  }
  if (o.boot && !o.appOptions.empty())
    Fail("--" + o.appOptions.front() + " is for the application side, not --boot");
  if (!o.boot && !o.bootOptions.empty()) Fail("--" + o.bootOptions.front() + " needs --boot");
  return o;
}

}  // namespace

int main(int argc, char** argv) {
  Options o = Parse(argc, argv);

  std::unique_ptr<sim::Device> device;
  sim::Tuner tuner;  // map tuning and the engine on the dyno
  if (o.boot) {
    device = std::make_unique<sim::BootDevice>(o.bootSettings);
  } else {
    auto app = std::make_unique<sim::AppDevice>();
    std::string error;
    if (!o.loadConfig.empty() && !app->LoadConfigFile(o.loadConfig, &error)) Fail("--load-config: " + error);
    if (!o.loadMapping.empty() && !app->LoadMappingFile(o.loadMapping, 1, &error))
      Fail("--load-mapping: " + error);
    if (!o.loadMapping2.empty() && !app->LoadMappingFile(o.loadMapping2, 2, &error))
      Fail("--load-mapping2: " + error);
    if (o.isProtected) app->identity.isProtected = *o.isProtected;
    if (o.hardware) app->identity.hardware = *o.hardware;
    if (o.release) app->identity.release = *o.release;
    if (o.family) app->identity.family = *o.family;
    if (o.firmware) app->firmwareText = *o.firmware;
    if (o.throttle) app->throttleCount = *o.throttle;
    const int noise = o.throttleNoise.value_or(0);
    const int noiseOffsets[] = {-noise, noise / 2, noise, -noise / 2};
    if (o.throttleCycle || noise > 0) {
      for (int count : {app->throttleCount, sim::AppDevice::kThrottleFull}) {
        for (int offset : noiseOffsets) app->throttleCounts.push_back(count + offset);
        if (!o.throttleCycle) break;
      }
    }
    if (o.throttleFault) app->throttleReply = *o.throttleFault;
    o.model.Install(*app);
    if (o.tune.state == sim::TuneState::Locked) app->identity.isProtected = true;
    sim::AppDevice* ecu = app.get();
    tuner.clock = o.model.clock;
    tuner.locked = [ecu, &o] { return ecu->identity.isProtected || o.model.IsLocked(); };
    tuner.fault = o.tune.fault;
    tuner.faultAt = o.tune.faultAt;
    tuner.Install(*app);
    if (o.tune.state) tuner.Start(*o.tune.state);
    o.model.dyno = &tuner;  // the live record shows the engine that the tuning works on
    device = std::move(app);
  }
  sim::Engine engine(*device, o.faults);

  // SIGINT and SIGTERM are let in only while the server waits.
  sigset_t block;
  sigemptyset(&block);
  sigaddset(&block, SIGINT);
  sigaddset(&block, SIGTERM);
  sigprocmask(SIG_BLOCK, &block, nullptr);
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  sim::PseudoTerminal pty;
  std::string error;
  if (!pty.Open(&error)) {
    std::cerr << "q740-sim: cannot open a pseudo-terminal: " << error << "\n";
    return 1;
  }
  if (!o.link.empty()) {
    struct stat st {};
    if (::lstat(o.link.c_str(), &st) == 0) {
      if (!S_ISLNK(st.st_mode)) {
        std::cerr << "q740-sim: --link: " << o.link << " exists and is not a symbolic link\n";
        return 2;
      }
      ::unlink(o.link.c_str());  // a stale link of an earlier run
    }
    if (::symlink(pty.SlavePath().c_str(), o.link.c_str()) != 0) {
      std::cerr << "q740-sim: --link: cannot create " << o.link << ": " << std::strerror(errno) << "\n";
      return 1;
    }
  }
  std::printf("%s\n", pty.SlavePath().c_str());
  std::fflush(stdout);

  int rc = sim::ServePty(engine, pty, o.baud, stopRequested, &error);
  if (rc != 0) std::cerr << "q740-sim: " << error << "\n";
  if (!o.link.empty()) ::unlink(o.link.c_str());
  return rc;
}
