// The working data blocks, their reference copies and the transfer image.
//
// Blocks hold every multi-byte field little-endian (PC order); the ECU, the link and
// the transfer image are big-endian. The byte-order table below lists exactly the
// fields that are swapped between the two orders; everything else is bytes or text.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ecu {

inline constexpr uint32_t kParSize = 1276;
inline constexpr uint32_t kMapSize = 12344;
inline constexpr uint32_t kImageHeader = 36;
inline constexpr uint32_t zzzDimParBuf = kParSize + kImageHeader;  // 1312
inline constexpr uint32_t zzzDimMapBuf = kMapSize + kImageHeader;  // 12380
inline constexpr uint16_t imageMarker = 0xE0B5;

// Shared field offsets (same meaning in both blocks).
inline constexpr uint32_t kAppStampOffset = 0;
inline constexpr uint32_t kDataStampOffset = 32;
inline constexpr uint32_t kStampSize = 32;
inline constexpr uint32_t kParBikeOffset = 1156;
inline constexpr uint32_t kMapBikeOffset = 11876;
inline constexpr uint32_t kParMarkerOffset = 1272;
inline constexpr uint32_t kMapMarkerOffset = 12340;
inline constexpr uint32_t kImageNameSize = 32;

// Block types: 1 the parameter block ("configuration"), 2 the map block ("mapping").
inline constexpr int kParType = 1;
inline constexpr int kMapType = 2;

extern uint8_t ecuParData[kParSize];
extern uint8_t ecuMapData[kMapSize];
extern uint8_t ecuParRefData[kParSize];
extern uint8_t ecuMapRefData[kMapSize];

// One run of fields to swap: `count` fields of `width` bytes (2 or 4), the first at
// `offset`, each `stride` bytes after the previous one.
struct SwapRun {
  uint32_t offset;
  uint32_t count;
  uint8_t width;
  uint32_t stride;
};
const std::vector<SwapRun>& ByteOrderTable(int type);

uint32_t BlockSize(int type);  // 1276, 12344, or 0 for another type
uint32_t ImageSize(int type);  // 1312, 12380, or 0
uint32_t MarkerOffset(int type);
uint32_t BikeOffset(int type);

// Working block and reference copy by type (null for another type).
uint8_t* WorkingBlock(int type);
uint8_t* ReferenceBlock(int type);

// Swaps every field of the byte-order table of `type` in a block (both directions).
void SwapBlockOrder(int type, uint8_t* block);

// Builds the transfer image from a block: name at offset 4 (cut at 31 characters),
// length word, marker, big-endian conversion, checksum.
void BlockToImage(int type, const uint8_t* block, const std::string& name, uint8_t* image);
// Checks and converts a received image in place: true when the length word, the
// marker and the checksum are right; then the block and the name are copied out.
// On false neither `block` nor `name` is touched.
bool ImageToBlock(int type, uint8_t* image, uint8_t* block, std::string* name);

}  // namespace ecu
