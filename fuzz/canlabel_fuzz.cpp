// canlabel.ini: any bytes give 20 frames of four labels, each label "?", empty (an empty
// piece) or a text of at most 200 bytes without control characters and valid UTF-8.
#include <cstddef>
#include <cstdint>
#include <string>

#include "canacq/canacq.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

bool ValidUtf8(const std::string& s) {
  size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    const size_t n = c < 0x80             ? 0
                     : (c & 0xE0) == 0xC0 ? 1
                     : (c & 0xF0) == 0xE0 ? 2
                     : (c & 0xF8) == 0xF0 ? 3
                                          : 9;
    if (n == 9 || i + n >= s.size()) return false;
    for (size_t k = 1; k <= n; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += n + 1;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string content(reinterpret_cast<const char*>(data), size);
  const canacq::CanLabels labels = canacq::ParseCanLabels(content);
  for (const auto& frame : labels) {
    for (const std::string& label : frame) {
      // A 200-byte line read as Windows-1252 is at most 600 bytes of UTF-8.
      Check(label.size() <= 3 * canacq::kCanLabelLineMax);
      Check(ValidUtf8(label));
      for (char ch : label) Check(static_cast<unsigned char>(ch) >= 0x20 && ch != 0x7F);
      Check(label.find(';') == std::string::npos);
    }
  }
  return 0;
}
