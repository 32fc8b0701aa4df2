// Runs the q740-sim program as a child process, for the tests and benchmarks that
// go through a real pseudo-terminal. The simulator is ready once it has printed the
// path of its device.
#pragma once
#include <sys/types.h>

#include <string>
#include <vector>

namespace sim {

class SimProcess {
 public:
  SimProcess() = default;
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;
  ~SimProcess() { Stop(); }

  // Starts `binary` with `args`; true once it has printed its device path.
  bool Start(const std::string& binary, const std::vector<std::string>& args);
  // Ends it with SIGTERM and waits; returns its exit status, or -1.
  int Stop();
  const std::string& Device() const { return device_; }

 private:
  pid_t pid_ = -1;
  std::string device_;
};

}  // namespace sim
