#include "sim/simprocess.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

namespace sim {

bool SimProcess::Start(const std::string& binary, const std::vector<std::string>& args) {
  Stop();
  device_.clear();
  if (::access(binary.c_str(), X_OK) != 0) return false;
  int out[2];
  if (::pipe(out) != 0) return false;
  std::vector<std::string> all{binary};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_ = ::fork();
  if (pid_ == 0) {
    ::dup2(out[1], STDOUT_FILENO);
    ::close(out[0]);
    ::close(out[1]);
    ::execv(binary.c_str(), argv.data());
    ::_exit(127);
  }
  ::close(out[1]);
  if (pid_ < 0) {
    ::close(out[0]);
    return false;
  }
  FILE* f = ::fdopen(out[0], "r");
  char line[256] = {};
  if (f && std::fgets(line, sizeof line, f)) {
    device_ = line;
    while (!device_.empty() && (device_.back() == '\n' || device_.back() == '\r')) device_.pop_back();
  }
  if (f)
    std::fclose(f);
  else
    ::close(out[0]);
  return !device_.empty();
}

int SimProcess::Stop() {
  if (pid_ <= 0) return -1;
  ::kill(pid_, SIGTERM);
  int status = 0;
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace sim
