#include "link/cp1252.h"

#include <cstdint>

namespace com {
namespace {

// Unicode code points of bytes 0x80-0x9F; the rest of the code page equals Latin-1.
constexpr char32_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

char ByteOf(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<char>(cp);
  for (int i = 0; i < 32; ++i) {
    if (kHigh[i] == cp) return static_cast<char>(0x80 + i);
  }
  return '?';
}

// Decodes one UTF-8 sequence at `pos`; returns false (and advances by one byte)
// for a malformed, overlong or surrogate sequence.
bool NextCodePoint(const std::string& s, size_t& pos, char32_t& cp) {
  const auto b0 = static_cast<uint8_t>(s[pos]);
  int extra = 0;
  char32_t min = 0;
  if (b0 < 0x80) {
    cp = b0;
    ++pos;
    return true;
  } else if ((b0 & 0xE0) == 0xC0) {
    extra = 1, cp = b0 & 0x1F, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    extra = 2, cp = b0 & 0x0F, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    extra = 3, cp = b0 & 0x07, min = 0x10000;
  } else {
    ++pos;
    return false;
  }
  if (pos + extra >= s.size()) {
    ++pos;
    return false;
  }
  for (int i = 1; i <= extra; ++i) {
    const auto b = static_cast<uint8_t>(s[pos + i]);
    if ((b & 0xC0) != 0x80) {
      ++pos;
      return false;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  pos += extra + 1;
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
  return true;
}

}  // namespace

std::string FromCp1252(const std::string& bytes) {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (char c : bytes) {
    const auto b = static_cast<uint8_t>(c);
    if (b < 0x80) {
      out += c;
    } else if (b < 0xA0) {
      AppendUtf8(out, kHigh[b - 0x80]);
    } else {
      AppendUtf8(out, b);
    }
  }
  return out;
}

std::string ToCp1252(const std::string& utf8, size_t maxBytes) {
  std::string out;
  size_t pos = 0;
  while (pos < utf8.size() && out.size() < maxBytes) {
    char32_t cp = 0;
    out += NextCodePoint(utf8, pos, cp) ? ByteOf(cp) : '?';
  }
  return out;
}

}  // namespace com
