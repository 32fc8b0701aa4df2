#include "sim/pty.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace sim {

double NowSeconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

PseudoTerminal::~PseudoTerminal() {
  if (slaveKeep_ >= 0) ::close(slaveKeep_);
  if (master_ >= 0) ::close(master_);
}

bool PseudoTerminal::Open(std::string* error) {
  auto fail = [&](const char* what) {
    if (error) *error = std::string(what) + ": " + std::strerror(errno);
    return false;
  };
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0) return fail("posix_openpt");
  if (::grantpt(master_) != 0) return fail("grantpt");
  if (::unlockpt(master_) != 0) return fail("unlockpt");
  char name[256];
  if (::ptsname_r(master_, name, sizeof name) != 0) return fail("ptsname");
  slavePath_ = name;
  slaveKeep_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slaveKeep_ < 0) return fail(name);
  termios tio{};
  if (tcgetattr(slaveKeep_, &tio) != 0) return fail("tcgetattr");
  cfmakeraw(&tio);  // no echo, no line editing, no translation: a plain byte line
  tio.c_cflag |= CLOCAL | CREAD | CSTOPB;
  if (tcsetattr(slaveKeep_, TCSANOW, &tio) != 0) return fail("tcsetattr");
  const int flags = ::fcntl(master_, F_GETFL);
  if (flags < 0 || ::fcntl(master_, F_SETFL, flags | O_NONBLOCK) != 0) return fail("fcntl");
  return true;
}

double LineModel::Received(double now) {
  rxFree_ = std::max(now, rxFree_) + byteTime_;
  return byteTime_ > 0 ? rxFree_ : now;
}

double LineModel::Sent(double ready, size_t length) {
  if (byteTime_ <= 0) return ready;
  const double start = std::max(ready, txFree_);
  txFree_ = start + static_cast<double>(length) * byteTime_;
  return txFree_;
}

void FeedLine(Engine& engine, LineModel& line, double now, const uint8_t* data, size_t n,
              std::deque<ScheduledReply>& out) {
  for (size_t i = 0; i < n; ++i) {
    const double complete = line.Received(now);
    std::vector<uint8_t> reply = engine.OnBytes(data + i, 1);
    if (reply.empty()) continue;
    const double ready = complete + engine.GetFaults().replyDelay;
    out.push_back({line.Sent(ready, reply.size()), std::move(reply)});
  }
}

// Paced replies: the last stretch before a reply is due is waited out on the clock,
// since a sleeping process is often woken a good part of a millisecond late on a busy
// machine, which would lengthen every exchange.
constexpr double kSpinMargin = 300e-6;
double FrameGapRule::OnArrival(Engine& engine) {
  const double arrival = clock_();
  if (engine.Receiving() && arrival - lastByte_ > gap_) engine.ResetReception();
  lastByte_ = arrival;
  return arrival;
}

int ServePty(Engine& engine, const PseudoTerminal& pty, double baud, volatile std::sig_atomic_t& stop,
             std::string* error) {
  // Wake-ups on time: the default timer slack (50 us) would add to every paced reply.
  ::prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
  sigset_t waitMask;
  sigprocmask(SIG_SETMASK, nullptr, &waitMask);
  sigdelset(&waitMask, SIGINT);
  sigdelset(&waitMask, SIGTERM);

  LineModel line(baud);
  std::deque<ScheduledReply> replies;
  std::vector<uint8_t> buffer(4096);
  const int fd = pty.MasterFd();
  FrameGapRule frameGap;
  while (!stop) {
    double now = NowSeconds();
    while (!replies.empty() && replies.front().at <= now) {
      const std::vector<uint8_t>& bytes = replies.front().bytes;
      // Nobody reading and the line full: what does not fit is lost, as on a real line.
      ssize_t w = ::write(fd, bytes.data(), bytes.size());
      if (w < 0 && errno != EAGAIN && errno != EINTR && errno != EIO) {
        if (error) *error = std::string("write: ") + std::strerror(errno);
        return 1;
      }
      replies.pop_front();
    }
    timespec wait{};
    timespec* waitPtr = nullptr;  // nothing scheduled: wait for bytes or a signal
    if (!replies.empty()) {
      double left = replies.front().at - now;
      if (line.ByteTime() > 0 && left <= kSpinMargin) {
        // A paced reply is due within the margin: wait for it here rather than
        // trusting the scheduler to wake us on time.
        while (NowSeconds() < replies.front().at) {
        }
        continue;
      }
      if (line.ByteTime() > 0) left -= kSpinMargin;
      left = std::max(0.0, left);
      wait.tv_sec = static_cast<time_t>(left);
      wait.tv_nsec = static_cast<long>((left - std::floor(left)) * 1e9);
      waitPtr = &wait;
    }
    pollfd p{fd, POLLIN, 0};
    const int rc = ::ppoll(&p, 1, waitPtr, &waitMask);
    if (rc < 0) {
      if (errno == EINTR) continue;
      if (error) *error = std::string("poll: ") + std::strerror(errno);
      return 1;
    }
    if (rc == 0) continue;
    if (p.revents & POLLIN) {
      const ssize_t r = ::read(fd, buffer.data(), buffer.size());
      if (r > 0) {
        const double arrival = frameGap.OnArrival(engine);
        FeedLine(engine, line, arrival, buffer.data(), static_cast<size_t>(r), replies);
        continue;
      }
      if (r < 0 && errno != EAGAIN && errno != EINTR && errno != EIO) {
        if (error) *error = std::string("read: ") + std::strerror(errno);
        return 1;
      }
    }
    if (p.revents & (POLLHUP | POLLERR)) {
      // Should not happen while we hold the slave open; do not spin if it does.
      timespec pause{0, 10 * 1000 * 1000};
      ::ppoll(nullptr, 0, &pause, &waitMask);
    }
  }
  return 0;
}

}  // namespace sim
