// In-memory port: what the program writes goes to a peer callback (the in-process
// ECU simulator), and what the peer feeds back is read as if it came off the line.
#pragma once
#include <deque>
#include <functional>
#include <vector>

#include "link/port.h"

namespace com {

class PipePort : public Port {
 public:
  using PeerFn = std::function<void(const uint8_t* data, size_t n)>;
  // Called when a read finds fewer bytes than asked for: the peer may deliver late
  // bytes, and a test clock may advance by the time-out. Receives the time-out.
  using StarveFn = std::function<void(double timeout)>;

  PipePort() = default;
  void SetPeer(PeerFn peer) { peer_ = std::move(peer); }
  void SetStarveHook(StarveFn starve) { starve_ = std::move(starve); }
  // Bytes that the program will read.
  void Feed(const uint8_t* data, size_t n) { input_.insert(input_.end(), data, data + n); }
  void Feed(const std::vector<uint8_t>& data) { Feed(data.data(), data.size()); }
  // Makes every driver call fail, as an unplugged adapter does.
  void SetBroken(bool broken) { broken_ = broken; }
  size_t Pending() const { return input_.size(); }
  // Everything the program has written so far (for tests that look at the wire).
  const std::vector<uint8_t>& Written() const { return written_; }
  void ClearWritten() { written_.clear(); }

  bool PrepareWrite() override;
  int Write(const uint8_t* data, size_t n) override;
  int Read(uint8_t* data, size_t n) override;
  void SetTimeout(double seconds) override { timeout_ = seconds; }
  double Timeout() const { return timeout_; }

 private:
  PeerFn peer_;
  StarveFn starve_;
  std::deque<uint8_t> input_;
  std::vector<uint8_t> written_;
  double timeout_ = 0.5;
  bool broken_ = false;
};

}  // namespace com
