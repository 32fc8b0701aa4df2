// Plausible configuration fields for the simulated ECU's parameter block: voltage
// tables, sensor linearisations, idle-control gains, engine geometry, CAN frames.
#include <cstring>
#include <string>

#include "link/bytes.h"
#include "sim/appsim.h"

namespace sim {

namespace {

void Put16(std::vector<uint8_t>& block, uint32_t offset, int i, int value) {
  com::Put16LE(block.data() + offset + 2 * i, static_cast<uint16_t>(static_cast<int16_t>(value)));
}

// 16 inputs rising evenly from `in0` to `in15` and outputs from `out0` to `out15`.
void Table(std::vector<uint8_t>& block, uint32_t outputs, uint32_t inputs, int in0, int in15, int out0,
           int out15) {
  for (int i = 0; i < 16; ++i) {
    Put16(block, inputs, i, in0 + (in15 - in0) * i / 15);
    Put16(block, outputs, i, out0 + (out15 - out0) * i / 15);
  }
}

}  // namespace

void FillConfiguration(std::vector<uint8_t>& block) {
  const std::string notes = "Simulated ECU: configuration of a Monster S4R.";
  std::memcpy(block.data() + 64, notes.data(), notes.size());
  for (int i = 0; i < 16; ++i) {
    Put16(block, 496, i, 80 + 5 * i);      // dwell voltage points 8.0 .. 15.5 V
    Put16(block, 464, i, 5000 - 200 * i);  // dwell 5.000 .. 2.000 ms
    Put16(block, 1104, i, 80 + 5 * i);     // injector offset voltage points
    Put16(block, 1040, i, 1600 - 70 * i);  // injector A offset 1.600 .. 0.550 ms
    Put16(block, 1072, i, 1650 - 70 * i);  // injector B
  }
  // Linearisations: throttle, coolant and oil (NTC: the count falls as it warms), air
  // temperature, air pressure, two lambda sensors, fuel level.
  static constexpr int kThrottleOutputs[16] = {0,   67,  133, 200, 267, 333, 400, 467,
                                               533, 600, 667, 733, 800, 867, 933, 1000};
  for (int i = 0; i < 16; ++i) {
    Put16(block, 528, i, kThrottleOutputs[i]);
    Put16(block, 560, i, 112 + (905 - 112) * i / 15);
  }
  Table(block, 592, 624, 60, 960, 1300, -200);
  Table(block, 720, 752, 60, 960, 1500, -200);
  Table(block, 656, 688, 60, 960, 1200, -200);
  Table(block, 784, 816, 100, 900, 300, 1050);
  Table(block, 848, 880, 0, 1000, 0, 10000);
  Table(block, 912, 944, 0, 1000, 0, 10000);
  Table(block, 976, 1008, 100, 900, 0, 1000);
  com::Put32LE(block.data() + 1136, 32768);  // idle gains Kp 0.50, Ki 0.0200, Kd 0.010
  com::Put32LE(block.data() + 1140, 1311);
  com::Put32LE(block.data() + 1144, 655);
  com::Put16LE(block.data() + 1148, 900);   // injector B from 0.900
  com::Put16LE(block.data() + 1150, 1000);  // ratio 1.000
  com::Put16LE(block.data() + 1152, 300);   // injector flow
  com::Put16LE(block.data() + 1160, 3300);
  // Engine geometry and crank wheel: two cylinders at 0 and 270 degrees, 48-2 wheel.
  static constexpr uint8_t kGeometry[] = {0, 1, 0, 1, 2, 3, 0, 1, 0, 0, 0, 0, 0, 0, 2, 48, 2, 1, 1, 5, 2};
  com::Put16LE(block.data() + 1162, 0);
  com::Put16LE(block.data() + 1164, 2700);
  std::memcpy(block.data() + 1166, kGeometry, sizeof kGeometry);
  std::memcpy(block.data() + 1187, "MONSTER S4R", 11);
  com::Put16LE(block.data() + 1202, 150);  // fuel reserve 15.0 %
  block[1204] = 1;
  block[1216] = 2;
  // CAN frames: four at 100 Hz, four at 50 Hz, the rest off.
  for (int i = 0; i < 20; ++i) {
    const int rate = i < 4 ? 2 : i < 8 ? 1 : 0;
    com::Put16LE(block.data() + 1232 + 2 * i, static_cast<uint16_t>((rate << 11) | (0x280 + i)));
  }
}

}  // namespace sim
