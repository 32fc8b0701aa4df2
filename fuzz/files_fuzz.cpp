// Loaders of untrusted files: the silent load of configuration and mapping files,
// the settings record decoder and the check of a received transfer image.
//
// Input: byte 0 selects what runs (bits 0-1); for the file loads bit 2 makes the
// data-version stamp right and bit 3 pads the file with zeros to the block size (so
// that the accepting path is reached too); for the image check bit 2 picks the map
// image and bit 3 builds a correct image from the rest. The rest is the file.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ecudata/ecudata.h"
#include "ecudata/files.h"
#include "ecudata/image.h"
#include "ecudata/init.h"
#include "link/cp1252.h"
#include "link/userio.h"

namespace {

std::string dir;

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

void MakeDirectory() {
  char tmpl[] = "/tmp/kestra-files-fuzz.XXXXXX";
  if (mkdtemp(tmpl) == nullptr) std::abort();
  dir = tmpl;
  // A successful load remembers its path in the settings file. Point that at a
  // directory that does not exist: the write fails at once (silently, as designed)
  // instead of syncing a file to disk on every accepted input.
  ecu::SetInitFilePath(dir + "/absent/tarvenco.ini");
  std::atexit([] {
    for (const char* name : {"/fuzz.ecd", "/fuzz.emd"}) unlink((dir + name).c_str());
    rmdir(dir.c_str());
  });
}

void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
}

void LoadSilently(int type, const uint8_t* data, size_t size, bool stamp, bool pad) {
  const std::string path = dir + (type == ecu::kParType ? "/fuzz.ecd" : "/fuzz.emd");
  const uint32_t blockSize = ecu::BlockSize(type);
  std::vector<uint8_t> file(data, data + size);
  if (pad && file.size() < blockSize) file.resize(blockSize, 0);
  if (stamp && file.size() >= ecu::kDataStampOffset + ecu::kStampSize) {
    std::memset(file.data() + ecu::kDataStampOffset, 0, ecu::kStampSize);
    const char* text = ecu::DataVersionText(type);
    std::memcpy(file.data() + ecu::kDataStampOffset, text, std::strlen(text));
  }
  WriteFile(path, file.data(), file.size());

  uint8_t* block = ecu::WorkingBlock(type);
  std::vector<uint8_t> before(block, block + blockSize);
  (type == ecu::kParType ? ecu::cfg.parFilePath : ecu::cfg.mapFilePath) = path;
  const uint8_t rc = ecu::LoadEcu(0, type, 0);

  const bool longEnough = file.size() >= blockSize;
  const bool accepted =
      longEnough && std::strncmp(reinterpret_cast<const char*>(file.data() + ecu::kDataStampOffset),
                                 ecu::DataVersionText(type), ecu::kStampSize) == 0;
  if (!longEnough) Check(rc == 0);
  if (accepted) {
    Check(rc == 1 && std::memcmp(block, file.data(), blockSize) == 0);
  } else {
    Check(std::memcmp(block, before.data(), blockSize) == 0);  // a refused file never lands
  }
}

void DecodeSettings(const uint8_t* data, size_t size) {
  ecu::DecodeConfig(data, size);
  uint8_t first[ecu::kCfgSize], second[ecu::kCfgSize];
  ecu::EncodeConfig(first);
  ecu::DecodeConfig(first, sizeof first);  // what was written reads back the same
  ecu::EncodeConfig(second);
  Check(std::memcmp(first, second, sizeof first) == 0);
  Check(ecu::cfg.mapFilePath.size() < ecu::kPathSize && ecu::cfg.parFilePath.size() < ecu::kPathSize &&
        ecu::cfg.tuneFilePath.size() < ecu::kPathSize);
}

void CheckImage(int type, const uint8_t* data, size_t size, bool build) {
  const uint32_t imageSize = ecu::ImageSize(type), blockSize = ecu::BlockSize(type);
  std::vector<uint8_t> image(imageSize, 0);
  std::vector<uint8_t> block(blockSize, 0xA5);
  std::string name = "unchanged";
  if (build) {
    // A block and a name from the input: the image built from them reads back the same.
    std::vector<uint8_t> source(blockSize, 0);
    std::memcpy(source.data(), data, size < blockSize ? size : blockSize);
    const size_t nameLength = size > blockSize ? std::min<size_t>(size - blockSize, 40) : 0;
    std::string given(reinterpret_cast<const char*>(data) + (size > blockSize ? blockSize : 0), nameLength);
    ecu::BlockToImage(type, source.data(), given, image.data());
    Check(ecu::ImageToBlock(type, image.data(), block.data(), &name));
    source[ecu::MarkerOffset(type)] = static_cast<uint8_t>(ecu::imageMarker & 0xFF);
    source[ecu::MarkerOffset(type) + 1] = static_cast<uint8_t>(ecu::imageMarker >> 8);
    Check(block == source);
    // The name travels as Windows-1252, cut at 31 bytes and at its first NUL.
    std::string carried = com::ToCp1252(given, ecu::kImageNameSize - 1);
    carried = carried.substr(0, carried.find('\0'));
    Check(name == com::FromCp1252(carried));
    return;
  }
  std::memcpy(image.data(), data, size < imageSize ? size : imageSize);
  if (!ecu::ImageToBlock(type, image.data(), block.data(), &name)) {
    Check(name == "unchanged");
    for (uint8_t b : block) Check(b == 0xA5);
  } else {
    Check(com::ToCp1252(name).size() < ecu::kImageNameSize);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  if (dir.empty()) MakeDirectory();
  const uint8_t mode = data[0];
  ++data;
  --size;
  switch (mode & 3) {
    case 0:
      LoadSilently(ecu::kParType, data, size, (mode & 4) != 0, (mode & 8) != 0);
      break;
    case 1:
      LoadSilently(ecu::kMapType, data, size, (mode & 4) != 0, (mode & 8) != 0);
      break;
    case 2:
      DecodeSettings(data, size);
      break;
    case 3:
      CheckImage((mode & 4) ? ecu::kMapType : ecu::kParType, data, size, (mode & 8) != 0);
      break;
  }
  return 0;
}
