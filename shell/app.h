// The program's entry: command line, start-up, main loop, shut-down.
#pragma once
#include <QStringList>
#include <string>
#include <vector>

namespace shell {

struct Options {
  std::vector<std::string> ports;  // --port DEVICE (repeatable)
  bool exitWhenShown = false;      // --exit-when-shown: print "shown" and quit (start-up benchmark)
  bool noSerialScan = false;       // --no-serial-scan: list only "USB" and the --port devices
  std::string log;                 // --log FILE: open the Logs page on this datalog
  bool help = false;
  std::string error;
};
Options ParseOptions(const QStringList& arguments);

int RunKestra(int argc, char** argv);

}  // namespace shell
