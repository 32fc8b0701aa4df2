// Kalvex's settings record: the selected port and the directory of the last
// programmed firmware file, kept as 262 raw bytes in "tarvenco.ini".
//
//   offset 0, 2 bytes:   comPort, signed 16-bit little-endian (-1 USB, n a serial item)
//   offset 2, 260 bytes: lastFwDir, zero-terminated
//
// The file lives beside the executable when that directory is writable and is not
// an installed tree (com::SettingsDirectory), otherwise in $XDG_CONFIG_HOME/kalvex/
// (or ~/.config/kalvex/).
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace loader {

inline constexpr size_t kCfgSize = 262;
inline constexpr size_t kLastFwDirSize = 260;
inline constexpr const char* kSettingsFileName = "tarvenco.ini";

// The record's second field; the first one is com::comPort.
struct Cfg {
  std::string lastFwDir;
};
extern Cfg cfg;

// The record as stored, from com::comPort and cfg.
std::array<uint8_t, kCfgSize> CfgToBytes();
// Takes a stored record into com::comPort and cfg.
void CfgFromBytes(const uint8_t* bytes);

// Full path of the settings file. A directory set with SetSettingsDirectory (tests,
// or a command-line option) takes precedence over the usual places.
std::string SettingsPath();
void SetSettingsDirectory(const std::string& directory);  // "" restores the default

// Reads the first 262 bytes of the settings file; on any failure comPort = 0 and
// lastFwDir is empty.
void ReadInitFile();
// Replaces the settings file with the record (written beside it first and renamed
// over it, so a failed write leaves the old file). False on failure.
bool WriteInitFile();

}  // namespace loader
