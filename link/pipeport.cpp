#include "link/pipeport.h"

namespace com {

bool PipePort::PrepareWrite() {
  if (broken_) return false;
  input_.clear();  // behaves like a serial line: unread input is discarded
  return true;
}

int PipePort::Write(const uint8_t* data, size_t n) {
  if (broken_) return -1;
  written_.insert(written_.end(), data, data + n);
  if (peer_) peer_(data, n);
  return static_cast<int>(n);
}

int PipePort::Read(uint8_t* data, size_t n) {
  if (broken_) return -1;
  if (input_.size() < n && starve_) starve_(timeout_);
  size_t count = std::min(n, input_.size());
  for (size_t i = 0; i < count; ++i) {
    data[i] = input_.front();
    input_.pop_front();
  }
  return static_cast<int>(count);
}

}  // namespace com
