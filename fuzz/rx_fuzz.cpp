// Reply reading over arbitrary byte streams, in both frame layouts.
//
// Input: byte 0 flags (bit 0 boot layout, bit 1 null reply buffer, bit 2 polled read,
// bit 3 a well-formed frame built from the rest), byte 1 the command, byte 2 maxLength,
// then the bytes that arrive on the line. The reply buffer is exactly maxLength bytes,
// so any write past it is caught by AddressSanitizer.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "link/com.h"
#include "link/frame.h"
#include "link/pipeport.h"
#include "link/utils.h"

namespace {

com::PipePort* linePipe = nullptr;
double fakeClock = 0.0;

void OpenPipe() {
  com::SetPortFactory([](const com::PortItem&, std::string*) {
    auto port = std::make_unique<com::PipePort>();
    linePipe = port.get();
    return port;
  });
  com::InitPortList({}, false);
  com::OpenComPort();
  if (!com::isComOpen || linePipe == nullptr) std::abort();
  // Polled reads run on a fakeClock that advances with every look at it.
  com::SetTimerSource([] { return fakeClock += 0.25; });
}

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  if (linePipe == nullptr) OpenPipe();
  const uint8_t flags = data[0], command = data[1], maxLength = data[2];
  const bool nullBuffer = (flags & 2) != 0, polled = (flags & 4) != 0, wellFormed = (flags & 8) != 0;
  com::frameLayout = (flags & 1) ? com::BootFrame : com::ApplicationFrame;
  data += 3;
  size -= 3;

  linePipe->PrepareWrite();  // drops what the previous input left unread
  uint8_t frame[com::kFrameBufferSize];
  const uint8_t n = static_cast<uint8_t>(size > 255 ? 255 : size);
  if (wellFormed) {
    const size_t length = com::EncodeFrame(com::frameLayout, command, data, n, frame);
    linePipe->Feed(frame, length);
  } else {
    linePipe->Feed(data, size);
  }

  // Read replies until the stream is used up (a bounded number of tries).
  for (int round = 0; round < 64; ++round) {
    std::unique_ptr<uint8_t[]> reply(nullBuffer ? nullptr : new uint8_t[maxLength]);
    uint8_t received = 0xEE;
    const int32_t rc = polled
                           ? com::RxResponsePolled(command, reply.get(), maxLength, &received, fakeClock, 1.0)
                           : com::RxResponse(command, reply.get(), maxLength, &received);
    Check(rc == 0 || rc == 1 || rc == -1);
    if (rc == 0) {
      Check(received <= maxLength);
      Check(!nullBuffer || received == 0);
    }
    if (wellFormed && round == 0 && !nullBuffer && n <= maxLength) {
      // A correct frame for the command is read whole.
      Check(rc == 0 && received == n && std::memcmp(reply.get(), data, n) == 0);
    }
    if (rc == 1 || linePipe->Pending() == 0) break;
  }
  return 0;
}
