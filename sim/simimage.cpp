#include "sim/simimage.h"

#include <algorithm>

namespace sim {

namespace {

constexpr size_t kHeader = 36;
constexpr size_t kNameOffset = 4;
constexpr size_t kNameField = 32;
constexpr uint16_t kMarker = 0xE0B5;

// One line of a block's field list: the 16- or 32-bit fields from `first` to `last`
// (byte offsets, both inclusive).
struct Fields {
  size_t first, last;
  uint8_t width;
};

// Byte counts of the map groups: tables of rows x columns 16-bit values, then the
// columns axis and the rows axis.
constexpr size_t GroupBytes(size_t tables, size_t rows, size_t columns) {
  return 2 * (tables * rows * columns + columns + rows);
}
constexpr size_t kBigPair = GroupBytes(2, 20, 32);   // 2664
constexpr size_t kBigOne = GroupBytes(1, 20, 32);    // 1384
constexpr size_t kSmallPair = GroupBytes(2, 8, 16);  // 560
constexpr size_t kSmallOne = GroupBytes(1, 8, 16);   // 304

// One line per row of the parameter block's list (the layout is kept by hand).
// clang-format off
const Fields kParFields[] = {
    {464, 1039, 2},                                    // 288 values, 18 runs of 16
    {1040, 1135, 2},                                   // 48 values, 3 runs of 16
    {1136, 1136, 4}, {1140, 1140, 4}, {1144, 1144, 4}, // three 32-bit values
    {1148, 1148, 2}, {1150, 1150, 2}, {1152, 1152, 2}, // three 16-bit values
    {1156, 1156, 4},                                   // bike type word
    {1160, 1160, 2}, {1162, 1162, 2}, {1164, 1164, 2}, // three 16-bit values
    {1202, 1202, 2},
    {1232, 1271, 2},                                   // 20 values
    {1272, 1272, 2},                                   // marker
};
// clang-format on

const Fields kMapFields[] = {
    {464, 464 + kBigPair - 1, 2},
    {3128, 3128 + kBigOne - 1, 2},
    {4512, 4512 + kBigOne - 1, 2},
    {5896, 5896 + kBigOne - 1, 2},
    {7280, 7280 + kBigOne - 1, 2},
    {8664, 8664 + kSmallPair - 1, 2},
    {9224, 9224 + kSmallPair - 1, 2},
    {9784, 9784 + kSmallOne - 1, 2},
    {10088, 10088 + kSmallOne - 1, 2},
    {10392, 10903, 2},
    {10904, 11575, 2},
    {11576, 11599, 2},
    {11600, 11695, 2},
    {11696, 11705, 2},
    {11706, 11801, 2},
    {11802, 11807, 2},
    {11808, 11815, 2},
    {11816, 11833, 2},
    {11836, 11873, 2},
    {11876, 11876, 4},
    {12340, 12340, 2},
};
constexpr size_t kRecordsStart = 11892, kRecordSize = 14, kRecords = 32;

std::vector<uint8_t> MakeStarts(BlockKind kind) {
  std::vector<uint8_t> starts(SimBlockSize(kind), 0);
  auto mark = [&starts](const Fields& f) {
    for (size_t at = f.first; at <= f.last; at += f.width) starts[at] = f.width;
  };
  if (kind == BlockKind::Parameters) {
    for (const Fields& f : kParFields) mark(f);
  } else {
    for (const Fields& f : kMapFields) mark(f);
    for (size_t r = 0; r < kRecords; ++r) {
      const size_t record = kRecordsStart + r * kRecordSize;
      mark({record, record, 2});
      mark({record + 2, record + 2, 2});
    }
  }
  return starts;
}

// Reverses the bytes of every multi-byte field of a block lying at `block`.
void FlipFields(BlockKind kind, uint8_t* block) {
  const std::vector<uint8_t>& starts = FieldStarts(kind);
  for (size_t at = 0; at < starts.size(); ++at)
    if (starts[at] != 0) std::reverse(block + at, block + at + starts[at]);
}

}  // namespace

size_t SimBlockSize(BlockKind kind) {
  return kind == BlockKind::Parameters ? 1276 : 12344;
}
size_t SimImageSize(BlockKind kind) {
  return SimBlockSize(kind) + kHeader;
}
size_t SimMarkerOffset(BlockKind kind) {
  return kind == BlockKind::Parameters ? 1272 : 12340;
}

const std::vector<uint8_t>& FieldStarts(BlockKind kind) {
  static const std::vector<uint8_t> par = MakeStarts(BlockKind::Parameters);
  static const std::vector<uint8_t> map = MakeStarts(BlockKind::Maps);
  return kind == BlockKind::Parameters ? par : map;
}

uint16_t SimImageChecksum(const uint8_t* image, size_t imageSize) {
  uint64_t total = 0;
  for (size_t at = kNameOffset + 2; at + 1 < imageSize; at += 2) total += image[at] | (image[at + 1] << 8);
  while (total > 0xFFFF) total = (total & 0xFFFF) + (total >> 16);
  return static_cast<uint16_t>(0xFFFF - total);
}

std::vector<uint8_t> EncodeImage(BlockKind kind, const std::vector<uint8_t>& block, const std::string& name) {
  const size_t size = SimImageSize(kind);
  std::vector<uint8_t> image(size, 0);
  const size_t length = size - 4;
  image[0] = static_cast<uint8_t>(length >> 8);
  image[1] = static_cast<uint8_t>(length & 0xFF);
  const size_t nameLength = std::min(name.size(), kNameField - 1);
  std::copy(name.begin(), name.begin() + static_cast<long>(nameLength), image.begin() + kNameOffset);
  std::copy(block.begin(), block.begin() + static_cast<long>(SimBlockSize(kind)), image.begin() + kHeader);
  FlipFields(kind, image.data() + kHeader);
  image[kHeader + SimMarkerOffset(kind)] = kMarker >> 8;
  image[kHeader + SimMarkerOffset(kind) + 1] = kMarker & 0xFF;
  const uint16_t sum = SimImageChecksum(image.data(), size);
  image[2] = static_cast<uint8_t>(sum >> 8);
  image[3] = static_cast<uint8_t>(sum & 0xFF);
  return image;
}

bool DecodeImage(BlockKind kind, const std::vector<uint8_t>& image, std::vector<uint8_t>* block,
                 std::string* name) {
  const size_t size = SimImageSize(kind);
  if (image.size() != size) return false;
  const size_t length = (size_t{image[0]} << 8) | image[1];
  const uint16_t sum = static_cast<uint16_t>((image[2] << 8) | image[3]);
  const size_t marker = kHeader + SimMarkerOffset(kind);
  const uint16_t markerWord = static_cast<uint16_t>((image[marker] << 8) | image[marker + 1]);
  if (length != size - 4 || markerWord != kMarker || sum != SimImageChecksum(image.data(), size))
    return false;
  std::vector<uint8_t> out(image.begin() + kHeader, image.end());
  FlipFields(kind, out.data());
  if (name) {
    const auto first = image.begin() + kNameOffset;
    *name = std::string(first, std::find(first, first + kNameField - 1, uint8_t{0}));
  }
  *block = std::move(out);
  return true;
}

}  // namespace sim
