#include "cli/cli_common.h"

#include <unistd.h>

#include <cstdio>

#include "link/com.h"

namespace cli {

bool SelectPort(const std::string& port, std::string* error) {
  if (port.empty()) {
    if (error) *error = "no port given (use --port usb or --port /dev/ttyXXX)";
    return false;
  }
  com::InitPortList({}, false);
  if (port == "usb" || port == "USB") {
    com::PortIndex() = 0;
  } else {
    com::PortIndex() = com::AddPortDevice(port);
  }
  return true;
}

TerminalUserIo::TerminalUserIo() : tty_(isatty(STDERR_FILENO) == 1) {}

void TerminalUserIo::MessagePopup(const std::string& title, const std::string& text) {
  HeadlessUserIo::MessagePopup(title, text);
  EndProgress();
  // The text as the program words it, line breaks included.
  std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
}

void TerminalUserIo::ShowStatus(const std::string& text) {
  HeadlessUserIo::ShowStatus(text);
  EndProgress();
  std::fprintf(stderr, "%s\n", text.c_str());
}

void TerminalUserIo::SetProgressBar(uint32_t done, uint32_t total) {
  if (total == 0) {
    EndProgress();
    return;
  }
  ShowProgress(done, total, "bytes");
}

void TerminalUserIo::ShowProgress(double done, double total, const char* unit, const std::string& after) {
  if (!tty_ || total <= 0) return;
  int percent = static_cast<int>(done / total * 100.0);
  if (percent == lastPercent_ && after == lastAfter_) return;
  lastPercent_ = percent;
  lastAfter_ = after;
  const int width = 40;
  int fill = percent * width / 100;
  // "\x1b[K" clears what a longer line before left behind.
  std::fprintf(stderr, "\r[%.*s%*s] %3d%%  %.0f/%.0f %s%s%s\x1b[K", fill,
               "########################################", width - fill, "", percent, done, total, unit,
               after.empty() ? "" : "  ", after.c_str());
  std::fflush(stderr);
  drawn_ = true;
}

void TerminalUserIo::EndProgress() {
  if (drawn_) std::fputc('\n', stderr);
  drawn_ = false;
  lastPercent_ = -1;
  lastAfter_.clear();
}

}  // namespace cli
