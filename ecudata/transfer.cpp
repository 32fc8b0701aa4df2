#include "ecudata/transfer.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "ecudata/ecudata.h"
#include "ecudata/image.h"
#include "ecudata/restore.h"
#include "link/bytes.h"
#include "link/com.h"
#include "link/commands.h"
#include "link/frame.h"
#include "link/userio.h"
#include "link/utils.h"

namespace ecu {

namespace {

// One static image buffer per block.
uint8_t parImage[zzzDimParBuf];
uint8_t mapImage[zzzDimMapBuf];
// Staging buffer of the single map-group reads (the largest group).
uint8_t groupImage[kMapGroupMaxBytes];

constexpr uint32_t kChunk = 255;
// An ECU that keeps acknowledging counts without ever getting further than it has
// been would keep the upload going for ever. An acknowledgement that neither passes
// the furthest count so far nor catches up after a rewind is a stall; after this many
// stalls in a row the upload fails. A rewind, however deep, may take as many chunks
// as it needs to catch up again (one per 255 bytes rewound), and costs one stall.
constexpr int kMaxStalledChunks = 8;

// Block type (1 or 2), area code and image buffer of a transfer type.
struct Target {
  int block = 0;
  uint16_t area = 0;
  uint8_t* image = nullptr;
};

Target SendTarget(int type) {
  if (type == 1) return {kParType, kAreaConfiguration, parImage};
  if (type == 2) return {kMapType, kAreaMapping1, mapImage};
  if (type == 3) return {kMapType, kAreaMapping2, mapImage};
  return {};
}

Target RequestTarget(int type) {
  if (type == 13) return {kMapType, kAreaMapRead, mapImage};
  return SendTarget(type);
}

// Reads `size` bytes of `area` in chunks into `dest`; updates the progress bar before
// each chunk. True when every chunk arrived complete.
bool ReadArea(uint16_t area, uint8_t* dest, uint32_t size) {
  uint32_t position = 0;
  while (position < size) {
    com::Ui().SetProgressBar(position, size);
    const uint8_t n = static_cast<uint8_t>(std::min(kChunk, size - position));
    uint8_t request[7];
    com::Put32BE(request, position);
    com::Put16BE(request + 4, area);
    request[6] = n;
    if (!com::TxCommand(com::ReadChunk, request, sizeof request)) return false;
    uint8_t got = 0;
    if (com::RxResponse(com::ReadChunk, dest + position, n, &got) != 0 || got != n) return false;
    position += n;
  }
  return true;
}

}  // namespace

uint8_t SendEcu(int type, int cursor) {
  const Target t = SendTarget(type);
  if (!t.image) return 0;

  AlignTypeBike(t.block);
  com::Ui().SetMouseCursor(cursor);

  const uint32_t size = ImageSize(t.block);
  BlockToImage(t.block, WorkingBlock(t.block), com::Ui().GetConfigName(t.block), t.image);

  uint8_t begin[6];
  com::Put32BE(begin, size);
  com::Put16BE(begin + 4, t.area);
  if (!com::TxCommand(com::BeginWrite, begin, sizeof begin)) return 0;
  uint8_t reply[255];
  uint8_t got = 0;
  if (com::RxResponsePolled(com::BeginWrite, reply, sizeof reply, &got, com::Timer(), com::kPollBeginWrite) !=
      0)
    return 0;

  uint32_t position = 0;
  uint32_t furthest = 0;  // the highest count the ECU has acknowledged
  uint32_t catchUp = 0;   // chunks still allowed to regain `furthest` after a rewind
  int stalled = 0;
  while (position < size) {
    com::Ui().SetProgressBar(position, size);
    const uint32_t n = std::min(kChunk, size - position);
    if (!com::TxCommand(com::WriteChunk, t.image + position, static_cast<uint8_t>(n))) return 0;
    if (com::RxResponse(com::WriteChunk, reply, sizeof reply, &got) != 0 || got < 4) return 0;
    const uint32_t count = com::Get32BE(reply);
    if (count > position + n) return 0;  // the ECU claims more than it was sent
    if (count > furthest) {
      furthest = count;
      catchUp = 0;
      stalled = 0;
    } else if (count > position && catchUp > 0) {
      --catchUp;  // regaining ground lost in a rewind
    } else {
      if (count < position) catchUp = (furthest - count + kChunk - 1) / kChunk;
      if (++stalled >= kMaxStalledChunks) return 0;
    }
    position = count;  // a smaller count resumes at the ECU's own count
  }
  com::Ui().SetProgressBar(position, size);
  return 1;
}

uint8_t RequestEcu(int type, int cursor) {
  const Target t = RequestTarget(type);
  if (!t.image) return 0;
  const uint32_t size = ImageSize(t.block);
  if (!ReadArea(t.area, t.image, size)) return 0;
  // The block about to be replaced may hold changes that were never stored.
  KeepRestorePoint(t.block);

  std::string name;
  // ImageToBlock touches neither the block nor the name unless the image is sound.
  if (!ImageToBlock(t.block, t.image, WorkingBlock(t.block), &name)) return 0;
  com::Ui().ShowConfigName(name, t.block);
  com::Ui().SetProgressBar(size, size);
  com::Ui().SetMouseCursor(cursor);
  WarnTypeBike();
  return 1;
}

uint8_t RequestEcuCopy(int type, uint8_t* block, std::string* name) {
  const Target t = RequestTarget(type);
  if (!t.image || !block || !name) return 0;
  const uint32_t size = ImageSize(t.block);
  if (!ReadArea(t.area, t.image, size)) return 0;
  if (!ImageToBlock(t.block, t.image, block, name)) return 0;
  com::Ui().SetProgressBar(size, size);
  return 1;
}

uint8_t RequestEcuMap(int id, uint16_t* buffer) {
  uint16_t area = 0;
  uint32_t size = 0;
  switch (id) {
    case 1:
      area = 9, size = kMapGroupTwoTables;
      break;
    case 2:
      area = 10, size = kMapGroupOneTable;
      break;
    case 6:
      area = 11, size = kMapGroupTwoTables;
      break;
    case 7:
      area = 12, size = kMapGroupOneTable;
      break;
    default:
      return 0;
  }
  if (!buffer) return 0;
  // Read into a staging buffer so that a failed read leaves the caller's buffer alone.
  if (!ReadArea(area, groupImage, size)) return 0;
  // Every field of a group (tables and axes) is a 16-bit value.
  for (uint32_t i = 0; i < size / 2; ++i) buffer[i] = com::Get16BE(groupImage + 2 * i);
  com::Ui().SetProgressBar(size, size);
  return 1;
}

uint8_t DoGetValues(uint8_t a0, uint8_t a1, uint8_t a2, uint8_t a3, uint8_t* destination, uint8_t n) {
  if (!com::isComOpen || n + 4 > 255 || (n > 0 && !destination)) return 0;
  const uint8_t address[4] = {a0, a1, a2, a3};
  if (!com::TxCommand(com::ReadValues, address, 4)) return 0;
  uint8_t reply[255];
  uint8_t got = 0;
  if (com::RxResponse(com::ReadValues, reply, sizeof reply, &got) != 0) return 0;
  if (got != n + 4 || std::memcmp(reply, address, 4) != 0) return 0;
  if (n > 0) std::memcpy(destination, reply + 4, n);
  return 1;
}

uint8_t DoSendValues(uint8_t a0, uint8_t a1, uint8_t a2, uint8_t a3, const uint8_t* source, uint8_t n) {
  if (!com::isComOpen || n + 4 > 255 || (n > 0 && !source)) return 0;
  uint8_t request[255] = {a0, a1, a2, a3};
  if (n > 0) std::memcpy(request + 4, source, n);
  if (!com::TxCommand(com::WriteValues, request, static_cast<uint8_t>(n + 4))) return 0;
  uint8_t reply[255];
  uint8_t got = 0;
  if (com::RxResponse(com::WriteValues, reply, sizeof reply, &got) != 0) return 0;
  return got == 4 && std::memcmp(reply, request, 4) == 0 ? 1 : 0;
}

}  // namespace ecu
