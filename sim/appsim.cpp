#include "sim/appsim.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

#include "link/bytes.h"
#include "link/commands.h"
#include "sim/simimage.h"

namespace sim {

namespace {

constexpr uint8_t kBikeFamily = 1;  // Monster
constexpr uint8_t kBikeModel = 10;  // S4R
constexpr uint8_t kBikeYear = 7;    // 2007
constexpr uint32_t kBikeCode = (uint32_t{kBikeFamily} << 16) | (uint32_t{kBikeModel} << 8) | kBikeYear;
constexpr uint32_t kCylinderOffset = 1180;
constexpr uint32_t kMapNotesOffset = 64;

// Map places in the map block: matrix, X axis, Y axis (20 x 32 matrices).
struct MapPlace {
  uint32_t matrix, xAxis, yAxis;
};
constexpr MapPlace kInjection1{464, 3024, 3088};
constexpr uint32_t kInjection2Matrix = 464 + 1280;
constexpr MapPlace kAdvance{3128, 4408, 4472};
constexpr MapPlace kAdvVelocity{4512, 5792, 5856};
constexpr MapPlace kInjVelocity{5896, 7176, 7240};
constexpr MapPlace kCranking{7280, 8560, 8624};

constexpr int16_t kThrottleAxis[20] = {0,   20,  40,  60,  80,  100, 125, 150, 200, 250,
                                       300, 350, 400, 450, 500, 600, 700, 800, 900, 1000};

void PutText(std::vector<uint8_t>& block, uint32_t offset, const std::string& text, size_t width) {
  std::fill(block.begin() + offset, block.begin() + offset + width, 0);
  std::memcpy(block.data() + offset, text.data(), std::min(text.size(), width - 1));
}

void PutS16(std::vector<uint8_t>& block, uint32_t offset, double value) {
  com::Put16LE(block.data() + offset, static_cast<uint16_t>(static_cast<int16_t>(std::lround(value))));
}

// Fills a 20 x 32 matrix with f(row, column) and writes its axes.
template <typename F>
void FillMap(std::vector<uint8_t>& block, uint32_t matrix, const MapPlace& axes, const int16_t* xAxis,
             const int16_t* yAxis, F f) {
  for (int r = 0; r < 20; ++r)
    for (int c = 0; c < 32; ++c) PutS16(block, matrix + 2 * (r * 32 + c), f(r, c));
  for (int c = 0; c < 32; ++c) PutS16(block, axes.xAxis + 2 * c, xAxis[c]);
  for (int r = 0; r < 20; ++r) PutS16(block, axes.yAxis + 2 * r, yAxis[r]);
}

void StampBlock(std::vector<uint8_t>& block, int type) {
  PutText(block, ecu::kAppStampOffset, "Kestra v1.3", ecu::kStampSize);
  PutText(block, ecu::kDataStampOffset, type == ecu::kParType ? "Q740_PAR_DATA_v1.00" : "Q740_MAP_DATA_v1.00",
          ecu::kStampSize);
  com::Put32LE(block.data() + ecu::BikeOffset(type), kBikeCode);
  com::Put16LE(block.data() + ecu::MarkerOffset(type), ecu::imageMarker);
}

bool ReadWholeFile(const std::string& path, size_t expected, std::vector<uint8_t>* out, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (error) *error = "cannot open " + path;
    return false;
  }
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) {
    if (error) *error = "cannot read " + path;
    return false;
  }
  if (bytes.size() != expected) {
    if (error)
      *error = path + ": " + std::to_string(bytes.size()) + " bytes, expected " + std::to_string(expected);
    return false;
  }
  *out = std::move(bytes);
  return true;
}

}  // namespace

std::vector<uint8_t> DefaultParBlock() {
  std::vector<uint8_t> block(ecu::kParSize, 0);
  StampBlock(block, ecu::kParType);
  block[kCylinderOffset] = 2;
  FillConfiguration(block);
  return block;
}

std::vector<uint8_t> DefaultMapBlock(int set) {
  std::vector<uint8_t> block(ecu::kMapSize, 0);
  StampBlock(block, ecu::kMapType);
  PutText(block, kMapNotesOffset, set == 2 ? "Simulated map set 2" : "Simulated map set 1", 400);
  const double richer = set == 2 ? 1.05 : 1.0;  // map set 2 is a slightly richer variant

  int16_t rpm[32], speed[32], revs[32], temp[20];
  for (int c = 0; c < 32; ++c) {
    rpm[c] = static_cast<int16_t>(800 + c * 350);  // 800 .. 11650 rpm
    speed[c] = static_cast<int16_t>(c * 8);        // 0 .. 248 km/h
    revs[c] = static_cast<int16_t>(c * 4);
  }
  for (int r = 0; r < 20; ++r) temp[r] = static_cast<int16_t>(-200 + r * 70);  // -20.0 .. 113.0 C

  // Injection time in microseconds: grows with throttle and a little with rpm.
  auto injection = [richer](int r, int c) { return (1500.0 + r * 320.0 + c * 40.0) * richer; };
  FillMap(block, kInjection1.matrix, kInjection1, rpm, kThrottleAxis, injection);
  FillMap(block, kInjection2Matrix, kInjection1, rpm, kThrottleAxis,
          [&](int r, int c) { return injection(r, c) * 1.02; });
  // Ignition advance in tenths of a degree.
  FillMap(block, kAdvance.matrix, kAdvance, rpm, kThrottleAxis,
          [](int r, int c) { return 100.0 + c * 9.0 - r * 3.0; });
  FillMap(block, kAdvVelocity.matrix, kAdvVelocity, speed, kThrottleAxis, [](int, int) { return 0.0; });
  FillMap(block, kInjVelocity.matrix, kInjVelocity, speed, kThrottleAxis, [](int, int) { return 1000.0; });
  FillMap(block, kCranking.matrix, kCranking, revs, temp,
          [](int r, int c) { return std::max(1000.0, 3000.0 - r * 100.0 - c * 20.0); });
  FillParameterPages(block, set);
  return block;
}

uint8_t AppIdentity::FlagsByte() const {
  return static_cast<uint8_t>((isProtected ? 0x80 : 0) | (flag6 ? 0x40 : 0) | (flag5 ? 0x20 : 0));
}

AppDevice::AppDevice() {
  SetDefaultBlocks();
}

void AppDevice::SetDefaultBlocks() {
  parBlock = DefaultParBlock();
  mapping[0] = DefaultMapBlock(1);
  mapping[1] = DefaultMapBlock(2);
  imageCache_.clear();
}

bool AppDevice::LoadConfigFile(const std::string& path, std::string* error) {
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(path, ecu::kParSize, &bytes, error)) return false;
  parBlock = std::move(bytes);
  return true;
}

bool AppDevice::LoadMappingFile(const std::string& path, int set, std::string* error) {
  if (set != 1 && set != 2) {
    if (error) *error = "map set must be 1 or 2";
    return false;
  }
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(path, ecu::kMapSize, &bytes, error)) return false;
  mapping[set - 1] = std::move(bytes);
  return true;
}

std::string AppDevice::DataName(uint8_t selector, bool* known) const {
  *known = true;
  auto it = dataNames.find(selector);
  if (it != dataNames.end()) return it->second;
  switch (selector) {
    case 0:  // the configuration
      return parName;
    case 1:  // mapping 1 and 2
    case 2:
      return mapName[selector - 1];
    case 8:
      return mapName[activeMapping == 2 ? 1 : 0];
    default:
      *known = false;
      return {};
  }
}

std::vector<uint8_t>* AppDevice::BlockForArea(uint16_t area) {
  switch (area) {
    case kAreaConfig:
      return &parBlock;
    case kAreaMapping1:
      return &mapping[0];
    case kAreaMapping2:
      return &mapping[1];
    case kAreaActiveMap:
      return &mapping[activeMapping == 2 ? 1 : 0];
    default:
      return nullptr;
  }
}

std::vector<uint8_t> AppDevice::AreaBytes(uint16_t area) const {
  const std::vector<uint8_t>& active = mapping[activeMapping == 2 ? 1 : 0];
  const std::vector<uint8_t>* block = nullptr;
  int type = ecu::kMapType;
  std::string name;
  uint32_t groupOffset = 0, groupSize = 0;
  switch (area) {
    case kAreaConfig:
      block = &parBlock, type = ecu::kParType, name = parName;
      break;
    case kAreaMapping1:
      block = &mapping[0], name = mapName[0];
      break;
    case kAreaMapping2:
      block = &mapping[1], name = mapName[1];
      break;
    case kAreaActiveMap:
      block = &active, name = mapName[activeMapping == 2 ? 1 : 0];
      break;
    case kAreaInjection:
      block = &mapping[0], groupOffset = kInjGroupOffset, groupSize = kInjGroupSize;
      break;
    case kAreaAdvance:
      block = &mapping[0], groupOffset = kAdvGroupOffset, groupSize = kAdvGroupSize;
      break;
    case kAreaTuneInj:
      block = &active, groupOffset = kInjGroupOffset, groupSize = kInjGroupSize;
      break;
    case kAreaTuneAdv:
      block = &active, groupOffset = kAdvGroupOffset, groupSize = kAdvGroupSize;
      break;
    default:
      return {};
  }
  if (block->size() != ecu::BlockSize(type)) return {};
  if (groupSize != 0) {  // a map group: every value is 16-bit, sent big-endian
    std::vector<uint8_t> out(block->begin() + groupOffset, block->begin() + groupOffset + groupSize);
    for (size_t i = 0; i + 1 < out.size(); i += 2) std::swap(out[i], out[i + 1]);
    return out;
  }
  // Whole image; rebuilt only when the block or its name changed since the last read.
  auto& cached = imageCache_[area];
  std::vector<uint8_t> key(block->begin(), block->end());
  key.insert(key.end(), name.begin(), name.end());
  if (cached.first != key || cached.second.empty()) {
    cached.first = std::move(key);
    cached.second =
        EncodeImage(type == ecu::kParType ? BlockKind::Parameters : BlockKind::Maps, *block, name);
  }
  return cached.second;
}

std::vector<uint8_t> AppDevice::IdentityRecord() const {
  std::vector<uint8_t> rec(16, 0);
  rec[0] = identity.FlagsByte();
  std::memcpy(rec.data() + 1, identity.family.data(), std::min<size_t>(identity.family.size(), 4));
  com::Put16BE(rec.data() + 6, identity.release);
  std::copy(identity.hardware.begin(), identity.hardware.end(), rec.begin() + 8);
  return rec;
}

Device::Reply AppDevice::Refuse() {
  ++malformed;
  Reply reply;
  reply.send = false;
  return reply;
}

Device::Reply AppDevice::Handle(uint8_t command, const uint8_t* payload, uint8_t n) {
  ++received[command];
  if (logRequests) requestLog.push_back({command, std::vector<uint8_t>(payload, payload + n)});
  if (auto it = handlers.find(command); it != handlers.end()) return it->second(payload, n);
  Reply reply;
  switch (command) {
    case com::GetFirmwareName: {
      if (n != 0) return Refuse();
      const std::string& t = firmwareText;
      reply.payload.assign(t.begin(), t.begin() + static_cast<long>(std::min<size_t>(t.size(), 255)));
      return reply;
    }
    case com::Identify:
      if (n != lastKeys.size()) return Refuse();
      std::copy(payload, payload + n, lastKeys.begin());
      reply.payload = IdentityRecord();
      return reply;
    case com::BeginWrite:
      return OnBeginWrite(payload, n);
    case com::WriteChunk:
      return OnWriteChunk(payload, n);
    case com::ReadChunk:
      return OnReadChunk(payload, n);
    case com::ThrottleSet:
      return OnThrottleSet(payload, n);
    case com::GetDataName: {
      if (n != 1) return Refuse();
      bool known = false;
      std::string name = DataName(payload[0], &known);
      if (!known) return Refuse();
      reply.payload.assign(name.begin(),
                           name.begin() + static_cast<long>(std::min<size_t>(name.size(), 255)));
      return reply;
    }
    case com::WriteValues:
      return OnWriteValues(payload, n);
    case com::ReadValues:
      return OnReadValues(payload, n);
    case com::ResetCoCorrection:
      return OnResetCoCorrection(payload, n);
    default:
      break;
  }
  reply.send = false;  // unknown commands are not answered
  return reply;
}

// ThrottleSet: one byte, 1; the reply is the throttle count, 16-bit big-endian.
Device::Reply AppDevice::OnThrottleSet(const uint8_t* payload, uint8_t n) {
  Reply reply;
  if (n != 1 || payload[0] != 1 || throttleReply == ThrottleReply::None) {
    if (n == 1 && payload[0] == 1) ++throttleReadings;
    reply.send = false;
    return reply;
  }
  int count = throttleCount;
  if (!throttleCounts.empty())
    count = throttleCounts[static_cast<size_t>(throttleReadings) % throttleCounts.size()];
  ++throttleReadings;
  count = std::clamp(count, 0, 0xFFFF);
  reply.payload = {static_cast<uint8_t>(count >> 8), static_cast<uint8_t>(count)};
  if (throttleReply == ThrottleReply::OneByte) reply.payload.resize(1);
  return reply;
}

// BeginWrite: image size (32-bit) and area code (16-bit). Only a writable area with
// the size of its image starts a reception; anything else is ignored.
Device::Reply AppDevice::OnBeginWrite(const uint8_t* payload, uint8_t n) {
  if (n != 6) return Refuse();
  const uint32_t size = com::Get32BE(payload);
  const uint16_t area = com::Get16BE(payload + 4);
  size_t expected = 0;
  if (area == kAreaConfig) expected = SimImageSize(BlockKind::Parameters);
  if (area == kAreaMapping1 || area == kAreaMapping2) expected = SimImageSize(BlockKind::Maps);
  if (expected == 0 || size != expected) return Refuse();
  upload = Upload{true, area, size, {}};
  upload.data.reserve(size);
  return Reply{};
}

// WriteChunk: appends the bytes and acknowledges the count held so far.
Device::Reply AppDevice::OnWriteChunk(const uint8_t* payload, uint8_t n) {
  // A chunk carries 1 to 255 bytes and never runs past the size announced.
  if (!upload.active || n == 0 || n > upload.size - upload.data.size()) return Refuse();
  Reply reply;
  upload.data.insert(upload.data.end(), payload, payload + n);
  const uint32_t held = static_cast<uint32_t>(upload.data.size());
  reply.payload.resize(4);
  com::Put32BE(reply.payload.data(), held);
  if (held == upload.size) FinishUpload();
  return reply;
}

// A complete image: stored only when its length word, marker and checksum are right.
void AppDevice::FinishUpload() {
  upload.active = false;
  const BlockKind kind = upload.area == kAreaConfig ? BlockKind::Parameters : BlockKind::Maps;
  std::vector<uint8_t> block;
  std::string name;
  if (DecodeImage(kind, upload.data, &block, &name)) {
    std::vector<uint8_t>* target = BlockForArea(upload.area);
    *target = std::move(block);
    if (upload.area == kAreaConfig)
      parName = name;
    else
      mapName[upload.area == kAreaMapping2 ? 1 : 0] = name;
    ++uploadsAccepted;
  } else {
    ++uploadsRefused;
  }
}

// ReadChunk: offset (32-bit), area (16-bit), count (8-bit). A request beyond the end
// of the area, or for an unknown area, is not answered.
Device::Reply AppDevice::OnReadChunk(const uint8_t* payload, uint8_t n) {
  if (n != 7) return Refuse();
  const uint32_t offset = com::Get32BE(payload);
  const uint16_t area = com::Get16BE(payload + 4);
  const uint8_t count = payload[6];
  std::vector<uint8_t> bytes = AreaBytes(area);
  if (count == 0 || bytes.empty() || offset > bytes.size() || bytes.size() - offset < count) return Refuse();
  Reply reply;
  reply.payload.assign(bytes.begin() + offset, bytes.begin() + offset + count);
  return reply;
}

uint32_t AppDevice::MatrixOffset(int type) {
  switch (type) {
    case 2:
      return kInjection1.matrix;
    case 3:
      return kInjection2Matrix;
    case 4:
      return kAdvance.matrix;
    default:
      return 0;
  }
}

bool AppDevice::WriteMapRow(uint8_t area, uint8_t row, uint8_t cylinder, const uint8_t* words) {
  int type = 0;
  if (area == 6 && cylinder <= 1) type = 2 + cylinder;
  if (area == 7 && cylinder == 0xFF) type = 4;
  std::vector<uint8_t>& block = ActiveMap();
  if (type == 0 || row >= 20 || block.size() != ecu::kMapSize) return false;
  uint8_t* cells = block.data() + MatrixOffset(type) + row * 64u;
  for (int c = 0; c < 32; ++c) {
    const uint16_t value = com::Get16BE(words + 2 * c);
    if (com::Get16LE(cells + 2 * c) == value) continue;
    com::Put16LE(cells + 2 * c, value);
    if (onMapCellChanged) onMapCellChanged(type, row, c);
  }
  ++rowWrites;
  return true;
}

// WriteValues: four address bytes, then the data to hold there; echoes the address.
// Addresses of the row-write space write a map row instead.
Device::Reply AppDevice::OnWriteValues(const uint8_t* payload, uint8_t n) {
  if (n < 4) return Refuse();
  Reply reply;
  if (payload[0] == kRowWriteAddress) {
    if (n != 4 + 64 || !WriteMapRow(payload[1], payload[2], payload[3], payload + 4)) return Refuse();
    reply.payload.assign(payload, payload + 4);
    return reply;
  }
  values[com::Get32BE(payload)].assign(payload + 4, payload + n);
  reply.payload.assign(payload, payload + 4);
  return reply;
}

// ReadValues: four address bytes; answers them followed by the bytes held there.
Device::Reply AppDevice::OnReadValues(const uint8_t* payload, uint8_t n) {
  if (n != 4) return Refuse();
  Reply reply;
  reply.payload.assign(payload, payload + 4);
  auto it = values.find(com::Get32BE(payload));
  if (it != values.end()) {
    const size_t take = std::min<size_t>(it->second.size(), 251);
    reply.payload.insert(reply.payload.end(), it->second.begin(),
                         it->second.begin() + static_cast<long>(take));
  }
  return reply;
}

// ResetCoCorrection: one byte, 1 or 2; the reply is empty. Anything else is not answered.
Device::Reply AppDevice::OnResetCoCorrection(const uint8_t* payload, uint8_t n) {
  Reply reply;
  if (n != 1 || (payload[0] != 1 && payload[0] != 2)) {
    reply.send = false;
    return reply;
  }
  if (payload[0] == 2 && !cocResetSteps.empty() && cocResetSteps.back() == 1) ++cocResets;
  cocResetSteps.push_back(payload[0]);
  return reply;
}

}  // namespace sim
