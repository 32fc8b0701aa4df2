// CAN acquisition: the 20 frame settings of the parameter block (rate code and CAN
// identifier per frame) and the channel labels of canlabel.ini.
#pragma once
#include <array>
#include <cstdint>
#include <string>

namespace canacq {

inline constexpr int kCanFrames = 20;
inline constexpr int kCanChannels = 4;
inline constexpr uint32_t kCanFrameOffset = 1232;  // 20 unsigned 16-bit words, frame 1 first
inline constexpr int kCanIdMin = 0x100, kCanIdMax = 0x7FF;
inline constexpr int kCanRateCodes = 5;
inline constexpr size_t kCanLabelLineMax = 200;  // characters of a line that count

// Rate codes 0..4: "Off", "50 Hz", "100 Hz", "200 Hz", "500 Hz"; 0 is inactive.
const char* RateText(int code);

// Word layout: rate code in bits 15..11, identifier in bits 10..0.
inline int RateCode(uint16_t word) {
  return word >> 11;
}
inline int CanId(uint16_t word) {
  return word & 0x7FF;
}
inline uint16_t MakeCanWord(int rate, int id) {
  return static_cast<uint16_t>(((rate & 0x1F) << 11) | (id & 0x7FF));
}

uint16_t GetCanWord(const uint8_t* block, int frame);  // frame 0..19
void PutCanWord(uint8_t* block, int frame, uint16_t word);

// Defaults: frame i gets identifier 0x200 + 4 i at "200 Hz".
void InitCaqData(uint8_t* block);

// Two active frames (rate not "Off") with the same identifier.
bool FindDuplicateCanIds(const uint8_t* block);
// 1 when the page may be left or the block stored or sent: no duplicates, or the user
// answers yes to "Active CAN-frames with duplicate IDs.\nIgnore?".
uint8_t IgnoreCaqWarning();

// The four labels of every frame; "?" where the file gives none.
using CanLabels = std::array<std::array<std::string, kCanChannels>, kCanFrames>;
// One line a frame, frame 1 first, labels separated by ';'. Only the first 200
// characters of a line count; a missing line or an empty one gives "?" for all four.
// Line ends may be "\n" or "\r\n"; bytes that are not valid UTF-8 are read as
// Windows-1252; control characters are dropped.
CanLabels ParseCanLabels(const std::string& content);
// The file's labels; a missing or unreadable file gives "?" everywhere (and `found` false).
CanLabels ReadCanLabelFile(const std::string& path, bool* found = nullptr);

}  // namespace canacq
