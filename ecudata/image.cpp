#include "ecudata/image.h"

#include <cstring>

#include "link/bytes.h"
#include "link/cp1252.h"
#include "link/utils.h"

namespace ecu {

uint8_t ecuParData[kParSize];
uint8_t ecuMapData[kMapSize];
uint8_t ecuParRefData[kParSize];
uint8_t ecuMapRefData[kMapSize];

namespace {
// Until a file or the ECU fills them, both blocks name no bike (family 255).
[[maybe_unused]] const bool blocksStartWithoutBike = [] {
  for (uint8_t* block : {ecuParData, ecuParRefData}) com::Put32LE(block + kParBikeOffset, 0xFF0000);
  for (uint8_t* block : {ecuMapData, ecuMapRefData}) com::Put32LE(block + kMapBikeOffset, 0xFF0000);
  return true;
}();
}  // namespace

namespace {

// Runs of 16-bit values.
constexpr SwapRun W16(uint32_t offset, uint32_t count) {
  return SwapRun{offset, count, 2, 2};
}
constexpr SwapRun W32(uint32_t offset, uint32_t count, uint32_t stride = 4) {
  return SwapRun{offset, count, 4, stride};
}

// One line per row of the byte-order list; the layout is kept by hand.
// clang-format off
const std::vector<SwapRun> kParTable = {
    W16(464, 288),            // 18 runs of 16
    W16(1040, 48),            // 3 runs of 16
    W32(1136, 3),             // 1136, 1140, 1144
    W16(1148, 3),             // 1148, 1150, 1152
    W32(1156, 1),             // bike type word
    W16(1160, 3),             // 1160, 1162, 1164
    W16(1202, 1),
    W16(1232, 20),
    W16(kParMarkerOffset, 1),  // marker
};
// clang-format on

// A table group: `tables` row-major tables of rows x cols values, then the
// cols-entry axis and the rows-entry axis, all 16-bit and consecutive.
constexpr SwapRun Group(uint32_t offset, uint32_t tables, uint32_t rows, uint32_t cols) {
  return W16(offset, tables * rows * cols + cols + rows);
}

const std::vector<SwapRun> kMapTable = {
    Group(464, 2, 20, 32),
    Group(3128, 1, 20, 32),
    Group(4512, 1, 20, 32),
    Group(5896, 1, 20, 32),
    Group(7280, 1, 20, 32),
    Group(8664, 2, 8, 16),
    Group(9224, 2, 8, 16),
    Group(9784, 1, 8, 16),
    Group(10088, 1, 8, 16),
    W16(10392, 256),
    W16(10904, 336),
    W16(11576, 12),
    W16(11600, 48),
    W16(11696, 5),
    W16(11706, 48),
    W16(11802, 3),
    W16(11808, 4),
    W16(11816, 9),
    W16(11836, 19),
    W32(kMapBikeOffset, 1),
    SwapRun{11892, 32, 2, 14},  // record offset 0 of 32 records of 14 bytes
    SwapRun{11894, 32, 2, 14},  // record offset 2
    W16(kMapMarkerOffset, 1),
};

const std::vector<SwapRun> kNoTable;

}  // namespace

const std::vector<SwapRun>& ByteOrderTable(int type) {
  if (type == kParType) return kParTable;
  if (type == kMapType) return kMapTable;
  return kNoTable;
}

uint32_t BlockSize(int type) {
  return type == kParType ? kParSize : type == kMapType ? kMapSize : 0;
}
uint32_t ImageSize(int type) {
  return type == kParType ? zzzDimParBuf : type == kMapType ? zzzDimMapBuf : 0;
}
uint32_t MarkerOffset(int type) {
  return type == kParType ? kParMarkerOffset : type == kMapType ? kMapMarkerOffset : 0;
}
uint32_t BikeOffset(int type) {
  return type == kParType ? kParBikeOffset : type == kMapType ? kMapBikeOffset : 0;
}

uint8_t* WorkingBlock(int type) {
  return type == kParType ? ecuParData : type == kMapType ? ecuMapData : nullptr;
}
uint8_t* ReferenceBlock(int type) {
  return type == kParType ? ecuParRefData : type == kMapType ? ecuMapRefData : nullptr;
}

void SwapBlockOrder(int type, uint8_t* block) {
  for (const SwapRun& run : ByteOrderTable(type)) {
    uint8_t* p = block + run.offset;
    for (uint32_t i = 0; i < run.count; ++i, p += run.stride) {
      if (run.width == 2) {
        std::swap(p[0], p[1]);
      } else {
        std::swap(p[0], p[3]);
        std::swap(p[1], p[2]);
      }
    }
  }
}

static void SwapHeader(uint8_t* image) {
  std::swap(image[0], image[1]);
  std::swap(image[2], image[3]);
}

void BlockToImage(int type, const uint8_t* block, const std::string& name, uint8_t* image) {
  const uint32_t blockSize = BlockSize(type);
  const uint32_t imageSize = ImageSize(type);
  if (blockSize == 0) return;
  std::memcpy(image + kImageHeader, block, blockSize);
  // The name travels as Windows-1252 bytes, cut at 31 of them.
  com::SetFieldText(image + 4, kImageNameSize, com::ToCp1252(name, kImageNameSize - 1));
  com::Put16LE(image, static_cast<uint16_t>(imageSize - 4));
  com::Put16LE(image + 2, 0);
  com::Put16LE(image + kImageHeader + MarkerOffset(type), imageMarker);
  SwapHeader(image);
  SwapBlockOrder(type, image + kImageHeader);
  uint16_t sum = com::GetChecksum(image + 4, imageSize - 4);
  com::Put16BE(image + 2, sum);
}

bool ImageToBlock(int type, uint8_t* image, uint8_t* block, std::string* name) {
  const uint32_t blockSize = BlockSize(type);
  const uint32_t imageSize = ImageSize(type);
  if (blockSize == 0) return false;
  uint16_t sum = com::GetChecksum(image + 4, imageSize - 4);
  SwapHeader(image);
  SwapBlockOrder(type, image + kImageHeader);
  if (com::Get16LE(image) != imageSize - 4) return false;
  if (com::Get16LE(image + kImageHeader + MarkerOffset(type)) != imageMarker) return false;
  if (com::Get16LE(image + 2) != sum) return false;
  if (name) *name = com::FromCp1252(com::FieldText(image + 4, kImageNameSize - 1));
  std::memcpy(block, image + kImageHeader, blockSize);
  return true;
}

}  // namespace ecu
