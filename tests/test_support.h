// Small helpers shared by the test programs (and the fuzz seed generator): block
// patterns, whole-file reads and writes, firmware files of both generations, and a
// name generator for parameterised suites. No test framework in here.
#pragma once
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "link/bytes.h"
#include "loader/file.h"

namespace test_support {

using Bytes = std::vector<uint8_t>;

// A block full of bytes that differ from their neighbours and from one seed to another.
inline void FillPattern(uint8_t* block, uint32_t size, uint8_t seed) {
  for (uint32_t i = 0; i < size; ++i) block[i] = static_cast<uint8_t>(i * 13 + seed + (i >> 9));
}

inline Bytes Pattern(size_t n, uint8_t seed = 1) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(seed + i * 31 + (i >> 8));
  return b;
}

// The whole file; empty when it cannot be read.
inline Bytes ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
inline std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Replaces the file with these bytes; false when it cannot be written.
inline bool WriteAll(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out.flush());
}
inline bool WriteAll(const std::string& path, const std::string& bytes) {
  return WriteAll(path, Bytes(bytes.begin(), bytes.end()));
}

// Firmware files. The tag is the file's first 8 bytes.
inline Bytes TagBytes(const char* tag) {
  return Bytes(tag, tag + 8);
}

// First generation: tag, then the image.
inline Bytes FirstGenFile(const char* tag, const Bytes& image) {
  Bytes file = TagBytes(tag);
  file.insert(file.end(), image.begin(), image.end());
  return file;
}

// Second generation: tag, header checksum (32-bit little-endian), 544-byte header
// body, image. `goodChecksum` false makes the checksum one off.
inline Bytes SecondGenFile(const char* tag, const Bytes& image, bool goodChecksum = true) {
  Bytes file = TagBytes(tag);
  Bytes body(loader::kHeaderBodySize);
  for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<uint8_t>(i * 7 + 3);
  uint8_t sum[4];
  com::Put32LE(sum, loader::GetHeaderChecksum(body.data(), body.size()) ^ (goodChecksum ? 0u : 1u));
  file.insert(file.end(), sum, sum + 4);
  file.insert(file.end(), body.begin(), body.end());
  file.insert(file.end(), image.begin(), image.end());
  return file;
}

// Name generator for INSTANTIATE_TEST_SUITE_P over case structs with a `name` member
// written as a test name would be ("MapMiddleChunkShort"): stable from build to build.
struct CaseName {
  template <typename Info>
  std::string operator()(const Info& info) const {
    return std::string(info.param.name);
  }
};

}  // namespace test_support
