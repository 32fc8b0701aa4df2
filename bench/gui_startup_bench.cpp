// Start-up of the Kestra window: from starting the real `kestra` program to its
// main window painted for the first time (the program prints "shown" then and
// quits when given --exit-when-shown). Median of several runs beside the goal.
// Without a display the offscreen platform is used.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern char** environ;

namespace {

constexpr int kRuns = 9;
constexpr double kGoal = 0.5;  // seconds
const std::string kKestra = std::string(BUILD_DIR) + "/shell/kestra";

// Seconds until the program says "shown", or a negative value on failure.
double OneRun(const std::vector<std::string>& extra) {
  int fds[2];
  if (pipe(fds) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);  // Qt's chatter
  std::vector<std::string> args{kKestra, "--exit-when-shown"};
  args.insert(args.end(), extra.begin(), extra.end());
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  const auto start = std::chrono::steady_clock::now();
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, kKestra.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (rc != 0) {
    close(fds[0]);
    return -1;
  }
  std::string out;
  char buffer[256];
  double seconds = -1;
  ssize_t n;
  while ((n = read(fds[0], buffer, sizeof buffer)) > 0) {
    out.append(buffer, static_cast<size_t>(n));
    if (out.find("shown\n") != std::string::npos) {
      seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      break;
    }
  }
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return seconds;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main() {
  if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !std::getenv("QT_QPA_PLATFORM"))
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  std::printf("kestra start-up to main window shown (%s platform), %d runs each\n",
              std::getenv("QT_QPA_PLATFORM") ? std::getenv("QT_QPA_PLATFORM") : "display", kRuns);
  OneRun({});  // warm the file cache
  bool ok = true;
  const struct {
    const char* name;
    std::vector<std::string> args;
  } variants[] = {{"with the serial port scan", {}}, {"--no-serial-scan", {"--no-serial-scan"}}};
  for (const auto& v : variants) {
    std::vector<double> times;
    for (int i = 0; i < kRuns; ++i) {
      const double t = OneRun(v.args);
      if (t < 0) {
        std::fprintf(stderr, "gui_startup_bench: %s did not show its window\n", kKestra.c_str());
        return 1;
      }
      times.push_back(t);
    }
    const double median = Median(times);
    const double best = *std::min_element(times.begin(), times.end());
    const double worst = *std::max_element(times.begin(), times.end());
    std::printf("  %-28s median %.3f s (min %.3f, max %.3f)   goal <= %.2f s   %s\n", v.name, median, best,
                worst, kGoal, median <= kGoal ? "ok" : "SLOW");
    ok = ok && median <= kGoal;
  }
  return ok ? 0 : 1;
}
