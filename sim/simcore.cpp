#include "sim/simcore.h"

#include "link/pipeport.h"

namespace sim {

Engine::Engine(Device& device, Faults faults) : device_(device), faults_(faults) {}

std::vector<uint8_t> Engine::OnBytes(const uint8_t* data, size_t n) {
  std::vector<uint8_t> out;
  pending_.insert(pending_.end(), data, data + n);
  const com::FrameLayout layout = device_.Layout();
  const uint8_t start = layout == com::ApplicationFrame ? com::kAppStart : com::kBootStart;
  size_t pos = 0;
  while (pos < pending_.size()) {
    if (pending_[pos] != start) {  // resynchronise on the next start byte
      ++pos;
      continue;
    }
    if (pending_.size() - pos < 4) break;
    const uint8_t* f = pending_.data() + pos;
    const uint8_t len = layout == com::ApplicationFrame ? f[1] : f[3];
    const size_t total = static_cast<size_t>(len) + 4;
    if (pending_.size() - pos < total) break;
    const uint8_t command = f[2];
    const uint8_t* payload = f + (layout == com::ApplicationFrame ? 3 : 4);
    uint8_t sum = static_cast<uint8_t>(command + len);
    for (int i = 0; i < len; ++i) sum = static_cast<uint8_t>(sum + payload[i]);
    const uint8_t stored = layout == com::ApplicationFrame ? f[3 + len] : f[1];
    if (sum != stored) {  // a corrupt request is ignored, as the firmware does
      ++pos;
      continue;
    }
    OnFrame(command, payload, len, out);
    pos += total;
  }
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(pos));
  return out;
}

void Engine::OnFrame(uint8_t command, const uint8_t* payload, uint8_t n, std::vector<uint8_t>& out) {
  if (Dropped()) return;
  ++frames_;
  Device::Reply reply = device_.Handle(command, payload, n);
  if (!reply.send) return;
  if (reply.payload.size() > 255) reply.payload.resize(255);
  uint8_t frame[com::kFrameBufferSize];
  size_t len = com::EncodeFrame(device_.Layout(), command, reply.payload.data(),
                                static_cast<uint8_t>(reply.payload.size()), frame);
  if (frames_ == faults_.corruptChecksumAt) {
    size_t at = device_.Layout() == com::ApplicationFrame ? len - 1 : 1;
    frame[at] ^= 0x5A;
  }
  if (frames_ == faults_.shortReplyAt && len > 0) --len;
  out.insert(out.end(), frame, frame + len);
}

void AttachToPipe(Engine& engine, com::PipePort& pipe) {
  auto held = std::make_shared<std::deque<uint8_t>>();
  pipe.SetPeer([&engine, &pipe, held](const uint8_t* data, size_t n) {
    std::vector<uint8_t> reply = engine.OnBytes(data, n);
    if (engine.GetFaults().replyDelay > 0) {
      held->insert(held->end(), reply.begin(), reply.end());
    } else {
      pipe.Feed(reply);
    }
  });
  // A delayed reply arrives once a read has waited at least the delay.
  pipe.SetStarveHook([&engine, &pipe, held](double timeout) {
    if (!held->empty() && timeout >= engine.GetFaults().replyDelay) {
      std::vector<uint8_t> bytes(held->begin(), held->end());
      held->clear();
      pipe.Feed(bytes);
    }
  });
}

}  // namespace sim
