// The DTC map file reader: a file of any size, content or kind under a preset's name.
//
// Input: byte 0 picks the traction-control type (its preset file gets the rest of the
// input); the rest is the file. A file shorter than 1056 bytes leaves the map block as
// it was; a longer one lands with its first 1056 bytes and nothing else of the block
// moves. The page's repair of what landed is complete after one pass.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ecudata/image.h"
#include "params/param3.h"

namespace {

std::string dir;

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

void MakeDirectory() {
  char tmpl[] = "/tmp/kestra-dtc-fuzz.XXXXXX";
  if (mkdtemp(tmpl) == nullptr) std::abort();
  dir = tmpl;
  params::SetDtcSystemDirectory(dir);
  std::atexit([] {
    for (int type = 0; type < 4; ++type) unlink(params::DtcPresetPath(type).c_str());
    rmdir(dir.c_str());
  });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  if (dir.empty()) MakeDirectory();
  const int type = data[0] % 5;  // 4: "undefined" as well
  ++data;
  --size;
  const std::string path = params::DtcPresetPath(type);
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);

  for (uint32_t i = 0; i < ecu::kMapSize; ++i) ecu::ecuMapData[i] = static_cast<uint8_t>(i * 31);
  const std::vector<uint8_t> before(ecu::ecuMapData, ecu::ecuMapData + ecu::kMapSize);
  int scatters = 0;
  const uint8_t rc = params::LoadDTCmap(0, type, [&] { return uint8_t(++scatters); });
  if (size < params::kDtcFileSize) {
    Check(rc == 0 && scatters == 0);
    Check(std::memcmp(before.data(), ecu::ecuMapData, ecu::kMapSize) == 0);
    return 0;
  }
  Check(rc == 1 && scatters == 1);
  uint8_t file[params::kDtcFileSize];
  params::DtcToFile(ecu::ecuMapData, file);
  Check(std::memcmp(file, data, params::kDtcFileSize) == 0);
  std::vector<uint8_t> after(ecu::ecuMapData, ecu::ecuMapData + ecu::kMapSize);
  std::vector<uint8_t> restored = before;
  params::DtcFromFile(file, restored.data());
  Check(restored == after);

  params::CheckPr3Values();
  Check(params::CheckPr3Values() == 0);
  return 0;
}
