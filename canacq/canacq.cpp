#include "canacq/canacq.h"

#include <sys/stat.h>

#include <fstream>
#include <istream>
#include <sstream>

#include "ecudata/image.h"
#include "link/bytes.h"
#include "link/cp1252.h"
#include "link/userio.h"

namespace canacq {

namespace {

constexpr const char* kRates[kCanRateCodes] = {"Off", "50 Hz", "100 Hz", "200 Hz", "500 Hz"};

// Length of the longest prefix of `s` that is well-formed UTF-8.
size_t Utf8Prefix(const std::string& s) {
  size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    size_t n = 0;
    uint32_t min = 0;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      n = 1, min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
      n = 2, min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
      n = 3, min = 0x10000;
    } else {
      return i;
    }
    if (i + n >= s.size()) return i;
    uint32_t cp = c & (0x3F >> n);
    for (size_t k = 1; k <= n; ++k) {
      const auto d = static_cast<unsigned char>(s[i + k]);
      if ((d & 0xC0) != 0x80) return i;
      cp = (cp << 6) | (d & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return i;
    i += n + 1;
  }
  return i;
}

// A line's text for the labels: UTF-8 as it is (a character cut by the length limit is
// dropped), anything else read as Windows-1252; control characters are left out.
std::string LineText(std::string raw, bool cut) {
  const size_t valid = Utf8Prefix(raw);
  std::string text;
  if (valid == raw.size()) {
    text = raw;
  } else if (cut && raw.size() - valid < 4 && (static_cast<unsigned char>(raw[valid]) & 0xC0) == 0xC0) {
    text = raw.substr(0, valid);  // only the last character was cut short
    if (Utf8Prefix(text) != text.size()) text = com::FromCp1252(raw);
  } else {
    text = com::FromCp1252(raw);
  }
  std::string out;
  for (char ch : text)
    if (static_cast<unsigned char>(ch) >= 0x20 && ch != 0x7F) out += ch;
  return out;
}

std::string Trim(const std::string& s) {
  const size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return std::string();
  const size_t e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

CanLabels ParseStream(std::istream& in) {
  CanLabels labels;
  for (auto& frame : labels) frame.fill("?");
  for (int frame = 0; frame < kCanFrames && in; ++frame) {
    // One line: the first 200 characters count, the rest up to the line end is skipped.
    std::string raw;
    bool cut = false;
    for (int ch; (ch = in.get()) != std::char_traits<char>::eof();) {
      if (ch == '\n') break;
      if (raw.size() < kCanLabelLineMax) {
        raw += static_cast<char>(ch);
      } else {
        cut = true;
      }
    }
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    const std::string line = LineText(raw, cut);
    if (Trim(line).empty()) continue;
    size_t start = 0;
    for (int channel = 0; channel < kCanChannels; ++channel) {
      const size_t end = line.find(';', start);
      const std::string piece =
          Trim(line.substr(start, end == std::string::npos ? std::string::npos : end - start));
      labels[frame][channel] = piece;  // an empty piece is an empty label; only a missing one is "?"
      if (end == std::string::npos) break;
      start = end + 1;
    }
  }
  return labels;
}

}  // namespace

const char* RateText(int code) {
  return code >= 0 && code < kCanRateCodes ? kRates[code] : "";
}

uint16_t GetCanWord(const uint8_t* block, int frame) {
  return com::Get16LE(block + kCanFrameOffset + 2 * frame);
}

void PutCanWord(uint8_t* block, int frame, uint16_t word) {
  com::Put16LE(block + kCanFrameOffset + 2 * frame, word);
}

void InitCaqData(uint8_t* block) {
  for (int i = 0; i < kCanFrames; ++i) PutCanWord(block, i, MakeCanWord(3, 0x200 + 4 * i));
}

bool FindDuplicateCanIds(const uint8_t* block) {
  for (int i = 0; i < kCanFrames; ++i) {
    const uint16_t w = GetCanWord(block, i);
    if (RateCode(w) == 0) continue;
    for (int j = 0; j < i; ++j) {
      const uint16_t v = GetCanWord(block, j);
      if (RateCode(v) != 0 && CanId(v) == CanId(w)) return true;
    }
  }
  return false;
}

uint8_t IgnoreCaqWarning() {
  if (!FindDuplicateCanIds(ecu::ecuParData)) return 1;
  return com::Ui().ConfirmPopup("Warning!", "Active CAN-frames with duplicate IDs.\nIgnore?") ? 1 : 0;
}

CanLabels ParseCanLabels(const std::string& content) {
  std::istringstream in(content);
  return ParseStream(in);
}

CanLabels ReadCanLabelFile(const std::string& path, bool* found) {
  // Only a regular file is read: a FIFO or a device would block the program.
  struct stat st {};
  std::ifstream in;
  if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) in.open(path, std::ios::binary);
  if (found) *found = in.is_open();
  if (!in.is_open()) {
    CanLabels labels;
    for (auto& frame : labels) frame.fill("?");
    return labels;
  }
  return ParseStream(in);
}

}  // namespace canacq
