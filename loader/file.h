// Firmware files (.mlf) as the loader reads them, their check, and the transmission
// copy: the exact byte stream that is programmed, block by block.
//
//   offset 0, 8 bytes:   tag ("TrvcoBsz", "TrvBsz55" first generation;
//                        "TrvcoCrv", "TrvCrv55" second generation)
//   second generation:   offset 8, 4 bytes header checksum (little-endian),
//                        offset 12, 544 bytes header body; image from offset 556
//   first generation:    image from offset 8
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace loader {

enum class FirmwareKind {
  CheckFailed,    // boot loader not reached/identified, file unreadable or shorter than its preamble
  InvalidFile,    // unknown tag or header checksum mismatch
  FirstGen5600,   // "TrvcoBsz"
  FirstGen5534,   // "TrvBsz55"
  SecondGen5600,  // "TrvcoCrv"
  SecondGen5534,  // "TrvCrv55"
};

inline constexpr size_t kTagSize = 8;
inline constexpr size_t kHeaderChecksumSize = 4;
inline constexpr size_t kHeaderBodySize = 544;
inline constexpr size_t kPreambleSize = kTagSize + kHeaderChecksumSize + kHeaderBodySize;  // 556

inline bool IsFirstGeneration(FirmwareKind k) {
  return k == FirmwareKind::FirstGen5600 || k == FirmwareKind::FirstGen5534;
}
inline bool IsSecondGeneration(FirmwareKind k) {
  return k == FirmwareKind::SecondGen5600 || k == FirmwareKind::SecondGen5534;
}

// The kind of an 8-byte tag; InvalidFile for anything but the four tags.
FirmwareKind ClassifyFirmwareTag(const uint8_t* tag);
// Complement of the sum of b[i] << (3 - i % 4) bits, 32-bit wrapping.
uint32_t GetHeaderChecksum(const uint8_t* bytes, size_t length);

// The file checks alone: tag, and for the second generation the header checksum.
FirmwareKind CheckFirmwareFile(const std::string& path);
// Ping and CheckBloadInfo first (so fOldBload and sysType describe the boot loader
// connected now), then CheckFirmwareFile.
FirmwareKind CheckPreambolo(const std::string& path);

// Transmission copy of a second-generation file: the tag (replaced by the first-
// generation tag of sysType when fOldBload is set) followed by the image from
// offset 556. Returns the copy's path, or "" on any failure (nothing left behind).
std::string AdjustPreambolo(const std::string& path, uint16_t sysType);
// Byte-for-byte transmission copy of a first-generation file; "" on failure.
std::string CopyFirmwareFile(const std::string& path);

// The decision by kind and fOldBload. On success `copyPath` holds the copy and the
// result is -1; otherwise the run's result (kResultInvalidFile or
// kResultProgrammingError) and no copy exists.
int PrepareTransmissionCopy(FirmwareKind kind, const std::string& path, std::string& copyPath);

// Transmission copies are created with mkstemp in this directory ($TMPDIR or /tmp
// unless set; tests point it at their own directory).
void SetCopyDirectory(const std::string& directory);
std::string CopyDirectory();

// Deletes the transmission copy when the run ends, whichever way it ends.
class TransmissionCopy {
 public:
  explicit TransmissionCopy(std::string path) : path_(std::move(path)) {}
  ~TransmissionCopy();
  TransmissionCopy(const TransmissionCopy&) = delete;
  TransmissionCopy& operator=(const TransmissionCopy&) = delete;
  const std::string& Path() const { return path_; }
  // Deletes the file now (an open stream on it stays readable).
  void Remove();

 private:
  std::string path_;
};

}  // namespace loader
