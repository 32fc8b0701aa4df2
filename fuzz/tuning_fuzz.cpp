// The tuning records and "mtintern.ini": any bytes as the gains file give usable
// ranges whose slider positions map back onto the slider; any bytes as an Info reply
// or a settings record convert back to the same bytes, and a cell list writes only
// into the cells of the three tuning maps.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "ecudata/image.h"
#include "maps/map1.h"
#include "tuning/gains.h"
#include "tuning/map2.h"
#include "tuning/tunerecords.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

bool InTuneMap(uint32_t offset) {
  for (auto [id, plane] : {std::pair{1, 0}, std::pair{1, 1}, std::pair{2, 0}}) {
    maps::MapPlace place;
    if (!maps::GetMapPlace(id, plane, &place)) continue;
    if (offset >= place.matrix && offset < place.matrix + 2 * maps::kMapCells) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tuning::GainRanges r;
  tuning::ParseMtIntern(std::string_view(reinterpret_cast<const char*>(data), size), r);
  Check(r.modeSteps >= 1);
  for (int m = 0; m <= r.modeSteps && m <= 64; ++m) {
    const tuning::Gains g = tuning::GetCurLambdaMode(r, m);
    const int back = tuning::SetCurLambdaMode(r, g.kp, g.ki, g.step);
    Check(back >= 0 && back <= r.modeSteps);
  }

  if (size >= tuning::kInfoSize) {
    tuning::Info info;
    tuning::InfoFromWire(data, info);
    uint8_t wire[tuning::kInfoSize];
    tuning::InfoToWire(info, wire);
    Check(std::memcmp(wire, data, tuning::kInfoSize) == 0);
    const std::vector<uint8_t> before(ecu::ecuMapData, ecu::ecuMapData + ecu::kMapSize);
    tuning::ApplyCellList(info);
    for (uint32_t i = 0; i < ecu::kMapSize; ++i)
      if (ecu::ecuMapData[i] != before[i]) Check(InTuneMap(i));
    for (const tuning::CellUpdate& c : info.cells) Check(c.type == tuning::kMapNone);
  }
  if (size >= tuning::kSettingsSize) {
    tuning::MtSettings s{};
    tuning::SettingsFromWire(data, s);
    uint8_t wire[tuning::kSettingsSize];
    tuning::SettingsToWire(s, wire);
    Check(std::memcmp(wire, data, tuning::kSettingsSize) == 0);
  }
  return 0;
}
