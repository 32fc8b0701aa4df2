// Pieces shared by kestra-cli and kalvex-cli: the PORT argument, and a user
// interface for a terminal (messages on standard error, a progress bar while a
// transfer runs when standard error is a terminal).
#pragma once
#include <string>

#include "link/userio.h"

namespace cli {

// Selects the port named on the command line: "usb" for the adapter, otherwise a
// serial device path. Returns false (with a message in *error) for an empty name.
bool SelectPort(const std::string& port, std::string* error);

class TerminalUserIo : public com::HeadlessUserIo {
 public:
  TerminalUserIo();
  void MessagePopup(const std::string& title, const std::string& text) override;
  void SetProgressBar(uint32_t done, uint32_t total) override;
  void ShowStatus(const std::string& text) override;  // a line on standard error
  // Progress given in other units (kilobytes while flashing), with a text after it
  // (the time left).
  void ShowProgress(double done, double total, const char* unit, const std::string& after = "");
  void EndProgress();

 private:
  bool tty_;
  bool drawn_ = false;
  int lastPercent_ = -1;
  std::string lastAfter_;
};

}  // namespace cli
