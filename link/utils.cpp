#include "link/utils.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>

namespace com {

std::string FixedText(double value, int decimals) {
  decimals = std::clamp(decimals, 0, 17);
  if (!std::isfinite(value)) return std::isnan(value) ? "nan" : (value > 0 ? "inf" : "-inf");
  char buf[400];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
  if (ec != std::errc()) return "0";
  return std::string(buf, end);
}

std::string FixedTextUnsignedZero(double value, int decimals) {
  std::string text = FixedText(value, decimals);
  if (text[0] == '-' && text.find_first_not_of("-0.") == std::string::npos) text.erase(0, 1);
  return text;
}

bool ParseDecimal(std::string text, double* value) {
  const size_t b = text.find_first_not_of(" \t");
  if (b == std::string::npos) return false;
  text = text.substr(b, text.find_last_not_of(" \t") - b + 1);
  if (text.find('.') == std::string::npos && std::count(text.begin(), text.end(), ',') == 1)
    std::replace(text.begin(), text.end(), ',', '.');
  if (!text.empty() && text.front() == '+') text.erase(0, 1);
  double v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(v)) return false;
  *value = v;
  return true;
}

uint16_t Swap16(uint16_t value) {
  return static_cast<uint16_t>((value << 8) | (value >> 8));
}

uint32_t Swap32(uint32_t value) {
  return (value >> 24) | ((value >> 8) & 0x0000FF00u) | ((value << 8) & 0x00FF0000u) | (value << 24);
}

uint16_t GetChecksum(const uint8_t* bytes, uint32_t length) {
  uint32_t sum = 0;
  for (uint32_t i = 2; i + 1 < length; i += 2) {
    sum += static_cast<uint32_t>(bytes[i]) + 256u * bytes[i + 1];
    sum = (sum >> 16) + (sum & 0xFFFF);
  }
  return static_cast<uint16_t>(~sum & 0xFFFF);
}

static size_t LastSeparator(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  return slash;
}

size_t GetFileExtension(const std::string& path) {
  size_t dot = path.rfind('.');
  if (dot == std::string::npos) return path.size();
  size_t sep = LastSeparator(path);
  if (sep != std::string::npos && sep > dot) return path.size();
  if (path.size() - (dot + 1) > 4) return path.size();
  return dot + 1;
}

std::string SetFileExtension(const std::string& path, const std::string& extension) {
  if (path.empty()) return path;
  size_t ext = GetFileExtension(path);
  if (ext < path.size() || (ext == path.size() && ext > 0 && path[ext - 1] == '.' &&
                            (LastSeparator(path) == std::string::npos || LastSeparator(path) < ext - 1))) {
    return path.substr(0, ext) + extension;
  }
  return path + "." + extension;
}

size_t SplitFileName(const std::string& path, std::string& name) {
  name.clear();
  if (path.empty()) return 0;
  size_t ext = GetFileExtension(path);
  size_t sep = LastSeparator(path);
  size_t start = (sep == std::string::npos) ? 0 : sep + 1;
  size_t end = ext;
  if (end < path.size() || (end > 0 && end == path.size() && path[end - 1] == '.')) {
    // Drop the dot in front of the extension.
    if (end > start && path[end - 1] == '.') end -= 1;
  }
  if (end > start) name = path.substr(start, end - start);
  return ext;
}

std::string DirectoryOf(const std::string& path) {
  size_t sep = LastSeparator(path);
  if (sep == std::string::npos) return std::string();
  if (sep == 0) return path.substr(0, 1);
  return path.substr(0, sep);
}

std::string Padr(const std::string& text, size_t width, char fill) {
  std::string out = text.substr(0, std::min(width, text.size()));
  out.resize(width, fill);
  return out;
}

std::string FieldText(const uint8_t* field, size_t size) {
  size_t n = 0;
  while (n < size && field[n] != 0) ++n;
  return std::string(reinterpret_cast<const char*>(field), n);
}

void SetFieldText(uint8_t* field, size_t size, const std::string& text) {
  if (size == 0) return;
  std::memset(field, 0, size);
  std::memcpy(field, text.data(), std::min(size - 1, text.size()));
}

static std::function<double()>& TimerSource() {
  static std::function<double()> source;
  return source;
}

double Timer() {
  if (TimerSource()) return TimerSource()();
  static const auto start = std::chrono::steady_clock::now();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void SetTimerSource(std::function<double()> source) {
  TimerSource() = std::move(source);
}

}  // namespace com
