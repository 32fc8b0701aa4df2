// The simulated application firmware of the Q740 ECU (what Kestra talks to).
//
// It keeps its own copies of the parameter block and of two map sets, in PC order
// (little-endian), and answers the application commands from them: firmware text,
// identity record, data names, image uploads and downloads, map groups and a table of
// addressed values. All state is public so that tests can set it up and inspect it.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ecudata/image.h"
#include "sim/simcore.h"

namespace sim {

// Link area codes of the application firmware.
enum AppArea : uint16_t {
  kAreaConfig = 1,      // parameter block
  kAreaMapping1 = 2,    // map set 1
  kAreaMapping2 = 3,    // map set 2
  kAreaInjection = 9,   // injection group (2664 bytes) of map set 1
  kAreaAdvance = 10,    // advance group (1384 bytes) of map set 1
  kAreaTuneInj = 11,    // injection group of the active (tuned) map set
  kAreaTuneAdv = 12,    // advance group of the active (tuned) map set
  kAreaActiveMap = 13,  // the whole active map set, read only
};

// Map groups served by areas 9 to 12: offset in the map block, byte count.
inline constexpr uint32_t kInjGroupOffset = 464;
inline constexpr uint32_t kInjGroupSize = 2664;  // two 20 x 32 tables, 32 + 20 axis
inline constexpr uint32_t kAdvGroupOffset = 3128;
inline constexpr uint32_t kAdvGroupSize = 1384;  // one 20 x 32 table, 32 + 20 axis

// Identity record (reply to Identify, 16 bytes):
//   0 flags (bit 7 protected, bits 6 and 5 tuning status), 1..5 family text NUL-terminated,
//   6..7 release big-endian, 8..11 hardware bytes h0..h3, 12..15 zero.
struct AppIdentity {
  bool isProtected = false;  // flags bit 7
  bool flag6 = false;        // flags bit 6
  bool flag5 = false;        // flags bit 5
  std::string family = "Q740";
  uint16_t release = 0x0103;
  std::array<uint8_t, 4> hardware{2, 0, 0, 0};
  uint8_t FlagsByte() const;
};

class AppDevice : public Device {
 public:
  AppDevice();  // plausible default blocks, identity and names
  com::FrameLayout Layout() const override { return com::ApplicationFrame; }
  Reply Handle(uint8_t command, const uint8_t* payload, uint8_t n) override;

  // --- state, settable by tests and by q740-sim's options ---
  AppIdentity identity;
  std::string firmwareText = "Q740 Firmware v1.3 (sim)";
  // Names answered to GetDataName, by selector. A selector missing here answers the
  // name of its data set: 0 the configuration, 1 and 2 the map sets, 8 the active map
  // set. Any other selector gets no reply.
  std::map<uint8_t, std::string> dataNames;
  std::string DataName(uint8_t selector, bool* known) const;

  // The blocks, in PC order. mapping[0] is map set 1 (area 2), mapping[1] map set 2 (area 3).
  std::vector<uint8_t> parBlock;                // ecu::kParSize bytes
  std::array<std::vector<uint8_t>, 2> mapping;  // ecu::kMapSize bytes each
  // Names carried in the images of the blocks (name field at image offset 4).
  std::string parName = "SimConfig";
  std::array<std::string, 2> mapName{"SimMapping1", "SimMapping2"};
  // Which map set (1 or 2) areas 11, 12 and 13 serve: the one the engine runs on.
  int activeMapping = 1;

  // ThrottleSet (command 8): the throttle sensor's converter count, two bytes
  // big-endian. Reading k answers throttleCounts[k % size] when that list is not empty
  // (a noisy sensor, or a throttle that is opened between two steps), else
  // throttleCount; throttleReply makes it answer nothing or one byte instead.
  enum class ThrottleReply { Count, None, OneByte };
  static constexpr int kThrottleIdle = 112, kThrottleFull = 905;
  int throttleCount = kThrottleIdle;
  std::vector<int> throttleCounts;
  ThrottleReply throttleReply = ThrottleReply::Count;
  int throttleReadings = 0;  // readings answered or refused

  // Addressed values for WriteValues / ReadValues: address (the four address bytes,
  // first byte most significant) -> the bytes held there. ReadValues answers the
  // echo followed by the held bytes; an unknown address answers the echo alone.
  std::map<uint32_t, std::vector<uint8_t>> values;

  // Map row writes (WriteValues at address 3.area.row.cylinder with 64 data bytes, the
  // row's 32 values as big-endian words): area 6 the injection map of cylinder 0 or 1,
  // area 7 the advance map (cylinder 0xFF). They go into the active map set and echo
  // the address; a bad area, row, cylinder or length gets no answer. Every cell whose
  // value changed is told to onMapCellChanged (map type 2, 3 or 4, row, column).
  static constexpr uint8_t kRowWriteAddress = 3;
  std::function<void(int type, int row, int column)> onMapCellChanged;
  int rowWrites = 0;  // rows written
  // Writes a row as above (`words` big-endian); false when the address is not one.
  bool WriteMapRow(uint8_t area, uint8_t row, uint8_t cylinder, const uint8_t* words);
  // The active map set, and the matrix offset of map type 2, 3 or 4 (0 for another).
  std::vector<uint8_t>& ActiveMap() { return mapping[activeMapping == 2 ? 1 : 0]; }
  const std::vector<uint8_t>& ActiveMap() const { return mapping[activeMapping == 2 ? 1 : 0]; }
  static uint32_t MatrixOffset(int type);

  // ResetCoCorrection (command 18): step 1 prepares, step 2 (after step 1) clears the
  // learnt CO correction. Steps received in order, and the completed resets.
  std::vector<uint8_t> cocResetSteps;
  int cocResets = 0;

  // Answers for further commands, or a test's own answer to a built-in one: consulted
  // before the built-in commands.
  std::map<uint8_t, std::function<Reply(const uint8_t* payload, uint8_t n)>> handlers;

  // Requests received, by command code (every well-formed request the device saw).
  std::array<int, 256> received{};
  // Requests whose payload is not what their command carries (a firmware name request
  // with a payload, an identity request without its 30 key bytes, an empty or
  // oversized chunk, a read of no bytes, ...). They get no answer, as on the ECU.
  int malformed = 0;
  // When set, every request (command and payload) is kept in order of arrival.
  struct Request {
    uint8_t command;
    std::vector<uint8_t> payload;
  };
  bool logRequests = false;
  std::vector<Request> requestLog;
  // The key array of the last identity request.
  std::array<uint8_t, 30> lastKeys{};

  // Upload in progress (BeginWrite .. last WriteChunk).
  struct Upload {
    bool active = false;
    uint16_t area = 0;
    uint32_t size = 0;
    std::vector<uint8_t> data;
  };
  Upload upload;
  int uploadsAccepted = 0;  // complete images that passed the checks and were stored
  int uploadsRefused = 0;   // complete images refused (length, marker or checksum)

  // --- helpers ---
  // Resets the blocks to the built-in defaults.
  void SetDefaultBlocks();
  // Loads a configuration (.ecd, 1276 bytes) or mapping (.emd, 12344 bytes) file into
  // the parameter block or map set 1 / 2. False (block untouched) on a missing file or
  // a wrong size; `error` gets a message.
  bool LoadConfigFile(const std::string& path, std::string* error = nullptr);
  bool LoadMappingFile(const std::string& path, int set, std::string* error = nullptr);

  // The block an area writes or reads (areas 1, 2, 3, 13), or null.
  std::vector<uint8_t>* BlockForArea(uint16_t area);
  // The transfer image the ECU serves for an area 1, 2, 3 or 13 (built from the block),
  // or the big-endian map group for areas 9 to 12; empty for any other area.
  std::vector<uint8_t> AreaBytes(uint16_t area) const;

  // The 16-byte identity record.
  std::vector<uint8_t> IdentityRecord() const;

 private:
  Reply OnBeginWrite(const uint8_t* payload, uint8_t n);
  Reply OnWriteChunk(const uint8_t* payload, uint8_t n);
  Reply OnReadChunk(const uint8_t* payload, uint8_t n);
  Reply OnThrottleSet(const uint8_t* payload, uint8_t n);
  Reply OnWriteValues(const uint8_t* payload, uint8_t n);
  Reply OnReadValues(const uint8_t* payload, uint8_t n);
  Reply OnResetCoCorrection(const uint8_t* payload, uint8_t n);
  void FinishUpload();
  Reply Refuse();

  // Images are rebuilt only when a block changes: a download of 12380 bytes asks for
  // 49 chunks of the same image.
  mutable std::map<uint16_t, std::pair<std::vector<uint8_t>, std::vector<uint8_t>>> imageCache_;
};

// Writes plausible configuration fields into a parameter block.
void FillConfiguration(std::vector<uint8_t>& block);
// Default blocks (PC order) with valid stamps, bike code, marker and plausible maps.
std::vector<uint8_t> DefaultParBlock();
std::vector<uint8_t> DefaultMapBlock(int set);
// Writes plausible settings of the three parameter pages into a map block.
void FillParameterPages(std::vector<uint8_t>& block, int set);

}  // namespace sim
