// The import of older data files: the exact-size check and read of a file, and the
// conversion of whatever an old file of the right size holds (axes out of order,
// extreme cells) into the current blocks.
//
// Input: byte 0 selects the block (bit 0: mapping) and the family (bit 1: Talaris);
// bit 2 takes the rest as a file through the size check (so short and long files are
// refused), otherwise the rest is cut or padded with zeros to the old layout's size and
// converted directly. The rest is the old file.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ecudata/ecudata.h"
#include "ecudata/image.h"
#include "ecudata/import.h"
#include "ecudata/init.h"
#include "link/bytes.h"
#include "maps/map1.h"

namespace {

std::string dir;

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

void MakeDirectory() {
  char tmpl[] = "/tmp/kestra-import-fuzz.XXXXXX";
  if (mkdtemp(tmpl) == nullptr) std::abort();
  dir = tmpl;
  ecu::SetInitFilePath(dir + "/absent/tarvenco.ini");
  // No restore points: the blocks always equal their reference copies here.
  setenv("XDG_DATA_HOME", (dir + "/absent").c_str(), 1);
  std::atexit([] {
    for (const char* name : {"/fuzz.ecd", "/fuzz.emd"}) unlink((dir + name).c_str());
    rmdir(dir.c_str());
  });
}

int16_t S16(const uint8_t* block, uint32_t offset) {
  return static_cast<int16_t>(com::Get16LE(block + offset));
}

// What holds for any old file: the re-gridded groups stand on the fixed throttle axis,
// and each new cell lies between the two old cells it comes from.
void CheckMapping(const uint8_t* old) {
  const uint8_t* block = ecu::ecuMapData;
  const struct {
    uint32_t group, oldGroup;
    int tables;
  } groups[] = {{464, 400, 2}, {3128, 3064, 1}, {4512, 4448, 1}, {5896, 5832, 1}};
  for (const auto& g : groups) {
    const uint32_t rowAxis = g.tables * 1280 + 64;
    for (int r = 0; r < 20; ++r) Check(S16(block, g.group + rowAxis + 2 * r) == maps::bpMapThrottle[r]);
    for (int k = 0; k < g.tables; ++k)
      for (int r = 1; r < 19; ++r)
        for (int c = 0; c < 32; c += 7) {
          const int16_t v = S16(block, g.group + k * 1280 + 2 * (r * 32 + c));
          int16_t lo = INT16_MAX, hi = INT16_MIN;
          for (int o = 0; o < 20; ++o) {
            const int16_t x = S16(old, g.oldGroup + k * 1280 + 2 * (o * 32 + c));
            lo = std::min(lo, x);
            hi = std::max(hi, x);
          }
          Check(v >= lo && v <= hi);
        }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (dir.empty()) MakeDirectory();
  if (size < 1) return 0;
  const int type = (data[0] & 1) ? ecu::kMapType : ecu::kParType;
  const int version = (data[0] & 2) ? ecu::kImportTalaris : ecu::kImportV12;
  const uint8_t* file = data + 1;
  const size_t fileSize = size - 1;
  const uint32_t oldSize = ecu::ImportSize(type, version);
  ecu::InitEcuRefData();

  if (data[0] & 4) {
    const std::string path = dir + (type == ecu::kParType ? "/fuzz.ecd" : "/fuzz.emd");
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) std::abort();
    if (fileSize > 0 && std::fwrite(file, 1, fileSize, f) != fileSize) std::abort();
    std::fclose(f);
    const std::vector<uint8_t> before(ecu::WorkingBlock(type),
                                      ecu::WorkingBlock(type) + ecu::BlockSize(type));
    const ecu::ImportResult result = ecu::ImportEcuFile(type, version, path, 0);
    Check((result == ecu::ImportResult::Imported) == (fileSize == oldSize));
    if (result != ecu::ImportResult::Imported)
      Check(std::equal(before.begin(), before.end(), ecu::WorkingBlock(type)));
    else
      Check(std::memcmp(ecu::WorkingBlock(type), ecu::ReferenceBlock(type), ecu::BlockSize(type)) == 0);
  } else {
    uint8_t* buffer = ecu::ImportBuffer(type, version);
    std::memset(buffer, 0, oldSize);
    std::memcpy(buffer, file, std::min<size_t>(fileSize, oldSize));
    ecu::ConvertImportData(type, version);
  }
  if (type == ecu::kMapType && (!(data[0] & 4) || fileSize == oldSize))
    CheckMapping(ecu::ImportBuffer(type, version));
  return 0;
}
