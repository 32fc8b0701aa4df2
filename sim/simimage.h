// The simulated firmware's own transfer-image code.
//
// The ECU stores its blocks and checks what it receives independently of the PC
// program, so the simulator does not borrow the program's conversion: it has its own
// list of the multi-byte fields of each block, its own header handling and its own
// checksum. A fault in either side shows as a refused or garbled transfer in tests.
//
// Image layout: 0 length (image size - 4), big-endian; 2 checksum, big-endian; 4 the
// data-set name, NUL-terminated within 32 bytes; 36 the block with every multi-byte
// field big-endian and the marker 0xE0B5 in place. The checksum is the complement of
// the end-around-carry sum of the little-endian byte pairs of the image from offset 6
// (the pairs of the range from offset 4, leaving out its first pair) to the end.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

enum class BlockKind { Parameters, Maps };

// Block and image sizes, and where the marker lies in the block.
size_t SimBlockSize(BlockKind kind);  // 1276 or 12344
size_t SimImageSize(BlockKind kind);  // 1312 or 12380
size_t SimMarkerOffset(BlockKind kind);

// Width of the multi-byte field starting at each byte of the block: 2 or 4 at the
// first byte of a 16- or 32-bit field, 0 elsewhere (single bytes, text, and the
// later bytes of a field).
const std::vector<uint8_t>& FieldStarts(BlockKind kind);

// The image checksum over a whole image (header included; the range it covers is
// fixed by the layout above).
uint16_t SimImageChecksum(const uint8_t* image, size_t imageSize);

// A block (little-endian fields) as the ECU sends it: header, name (cut at 31
// characters), big-endian fields, marker, checksum. `block` must have the block size.
std::vector<uint8_t> EncodeImage(BlockKind kind, const std::vector<uint8_t>& block, const std::string& name);

// A received image back to a block: false (nothing written) unless the image has the
// right size, its length word, marker and checksum are right.
bool DecodeImage(BlockKind kind, const std::vector<uint8_t>& image, std::vector<uint8_t>* block,
                 std::string* name);

}  // namespace sim
