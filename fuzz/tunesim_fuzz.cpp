// The simulated ECU's map tuning: any sequence of tuning records (command 10) and map
// row writes (command 30), with time passing between them, is answered with an Info of
// 156 bytes, settings of 200 bytes or nothing; every cell the Info lists is a real cell
// carrying its value in the map as it is now; the map sets keep their size.
//
// Input: requests one after the other, each as: byte 0 bit 0 the command (10 or 30),
// bits 1-7 the time to pass before it in 20 ms steps; byte 1 the payload length; then
// the payload (cut at the end of the input).
#include <cstddef>
#include <cstdint>

#include "ecudata/image.h"
#include "link/bytes.h"
#include "sim/appsim.h"
#include "sim/tuner.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  sim::AppDevice device;
  sim::Tuner tuner;
  double now = 0;
  tuner.clock = [&now] { return now; };
  tuner.Install(device);
  size_t at = 0;
  while (at + 2 <= size) {
    const uint8_t command = (data[at] & 1) ? 30 : 10;
    now += (data[at] >> 1) * 0.02;
    const size_t n = std::min<size_t>(data[at + 1], size - at - 2);
    const uint8_t* payload = data + at + 2;
    at += 2 + n;
    const sim::Device::Reply reply = device.Handle(command, payload, static_cast<uint8_t>(n));
    Check(device.ActiveMap().size() == ecu::kMapSize);
    if (!reply.send) continue;
    if (command == 30) {
      Check(reply.payload.size() == 4);
      continue;
    }
    Check(reply.payload.size() == sim::kTuneInfoSize || reply.payload.size() == sim::kTuneSettingsSize);
    if (reply.payload.size() != sim::kTuneInfoSize) continue;
    const sim::TuneInfo info = sim::DecodeTuneInfo(reply.payload.data());
    Check(info.State() != sim::TuneState::Locked);
    for (const sim::TuneCell& c : info.cells) {
      if (c.type == sim::kTuneCellEmpty) {
        Check(c.row == 0 && c.column == 0 && c.value == 0);
        continue;
      }
      Check(c.type >= 2 && c.type <= 4 && c.row < 20 && c.column < 32);
      const uint8_t* cell =
          device.ActiveMap().data() + sim::AppDevice::MatrixOffset(c.type) + 2 * (c.row * 32 + c.column);
      Check(com::Get16LE(cell) == c.value);
    }
  }
  return 0;
}
