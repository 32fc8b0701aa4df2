// kalvex-cli: the firmware loader without a window, for scripted and headless jobs.
//
//   kalvex-cli info --port PORT           boot-loader identity and installed application
//   kalvex-cli program --port PORT FILE   programs a firmware file (.mlf)
//
// PORT is "usb" (the adapter) or a serial device path. The result of "program" is
// printed exactly as the window shows it: "Done!", "Invalid firmware file..." or
// "Programming error..."; only "Done!" exits with status 0.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/cli_common.h"
#include "link/appdirs.h"
#include "link/com.h"
#include "link/frame.h"
#include "loader/eta.h"
#include "loader/info.h"
#include "loader/program.h"
#include "loader/view.h"

namespace {

const char* kUsage =
    "Usage: kalvex-cli info --port PORT\n"
    "  or:  kalvex-cli program --port PORT FILE\n"
    "  or:  kalvex-cli --version\n"
    "\n"
    "PORT is 'usb' for the USB adapter or a serial device path (e.g. /dev/ttyUSB0).\n"
    "Exit status: 0 done, 1 programming or connection error, 2 usage, 3 invalid firmware file.\n";

enum Exit { kExitOk = 0, kExitError = 1, kExitUsage = 2, kExitInvalidFile = 3 };

// Shows the kilobyte gauge as a progress line on a terminal, with the time left while
// programming and the time the run took at its end.
class CliView : public loader::HeadlessView {
 public:
  explicit CliView(cli::TerminalUserIo& ui) : ui_(ui) {}
  void SetGaugeValue(double kb) override {
    HeadlessView::SetGaugeValue(kb);
    ui_.ShowProgress(kb, gaugeMaximum, "KB", TimeText(runTime));
  }
  void SetRunTime(const loader::RunTime& t) override {
    HeadlessView::SetRunTime(t);
    ui_.ShowProgress(gaugeValue, gaugeMaximum, "KB", TimeText(t));
  }

 private:
  // The bar gives the percentage already.
  static std::string TimeText(const loader::RunTime& t) {
    if (t.took >= 0 || t.secondsLeft < 0) return loader::RunTimeText(t);
    return loader::DurationText(t.secondsLeft) + " left";
  }
  cli::TerminalUserIo& ui_;
};

int Usage(const std::string& error) {
  if (!error.empty()) std::fprintf(stderr, "kalvex-cli: %s\n", error.c_str());
  std::fputs(kUsage, stderr);
  return kExitUsage;
}

// Opens the port and finds the boot loader as the window does: the presence check in
// alternating forms, at most four attempts, then its system type.
bool Connect(const std::string& port) {
  com::OpenComPort();
  if (!com::isComOpen) {
    std::fprintf(stderr, "kalvex-cli: cannot open %s: %s\n", port.c_str(), com::LastPortError().c_str());
    return false;
  }
  bool found = false;
  for (int attempt = 0; attempt < 4 && !found; ++attempt) found = loader::Ping();
  if (!found) {
    std::fprintf(stderr, "kalvex-cli: no boot loader answers on %s\n", port.c_str());
    return false;
  }
  if (!loader::CheckBloadInfo()) {
    std::fprintf(stderr, "kalvex-cli: the boot loader on %s reports an unknown system type\n", port.c_str());
    return false;
  }
  return true;
}

int Info(const std::string& port) {
  if (!Connect(port)) return kExitError;
  std::string identity, application;
  if (!loader::ReadBootLoaderIdentity(identity)) {
    std::fprintf(stderr, "kalvex-cli: the boot loader's identity could not be read\n");
    return kExitError;
  }
  if (!loader::ReadApplicationVersion(application)) {
    std::fprintf(stderr, "kalvex-cli: the installed application could not be read\n");
    return kExitError;
  }
  std::printf("%s\n%s\n", identity.c_str(), application.c_str());
  return kExitOk;
}

int Program(const std::string& port, const std::string& file, cli::TerminalUserIo& ui) {
  if (::access(file.c_str(), R_OK) != 0) {
    std::fprintf(stderr, "kalvex-cli: %s: %s\n", file.c_str(), std::strerror(errno));
    std::printf("Programming error...\n");
    return kExitError;
  }
  if (!Connect(port)) {
    std::printf("Programming error...\n");
    return kExitError;
  }
  const int result = loader::SendFirmware(file);
  ui.EndProgress();
  switch (result) {
    case loader::kResultDone:
      std::printf("Done!\n");
      return kExitOk;
    case loader::kResultInvalidFile:
      std::printf("Invalid firmware file...\n");
      return kExitInvalidFile;
    default:
      std::printf("Programming error...\n");
      return kExitError;
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::string release =
      std::to_string(loader::appRelease >> 8) + "." + std::to_string(loader::appRelease & 0xFF);
  if (com::AnswerVersion(argc, argv, "kalvex-cli", release)) return kExitOk;
  std::string command, port;
  std::vector<std::string> rest;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      std::fputs(kUsage, stdout);
      return kExitOk;
    }
    if (arg == "--port") {
      if (i + 1 >= argc) return Usage("--port needs a value");
      port = argv[++i];
    } else if (arg.rfind("--port=", 0) == 0) {
      port = arg.substr(7);
    } else if (arg.rfind("--", 0) == 0) {
      return Usage("unknown option " + arg);
    } else if (command.empty()) {
      command = arg;
    } else {
      rest.push_back(arg);
    }
  }
  if (command != "info" && command != "program")
    return Usage(command.empty() ? "" : "unknown command " + command);
  if (command == "info" && !rest.empty()) return Usage("info takes no file");
  if (command == "program" && rest.size() != 1) return Usage("program needs exactly one FILE");
  std::string error;
  if (!cli::SelectPort(port, &error)) return Usage(error);

  com::frameLayout = com::BootFrame;
  cli::TerminalUserIo ui;
  com::SetUi(&ui);
  CliView view(ui);
  loader::SetView(&view);

  const int rc = command == "info" ? Info(port) : Program(port, rest[0], ui);
  com::CloseComPort();
  loader::SetView(nullptr);
  com::SetUi(nullptr);
  return rc;
}
