// Kestra's settings record, kept in "tarvenco.ini" as an 804-byte binary copy.
#pragma once
#include <cstdint>
#include <string>

namespace ecu {

inline constexpr uint32_t kCfgSize = 804;
inline constexpr uint32_t kPathSize = 260;

struct Config {
  // comPort lives in the link layer (com::comPort) and is written at offset 0.
  std::string mapFilePath;   // offset 2
  std::string parFilePath;   // offset 262
  std::string tuneFilePath;  // offset 522
  int32_t winPosX = 20;      // offset 784
  int32_t winPosY = 50;      // offset 788
  int32_t reserved1 = 0;     // offset 792
  int32_t reserved2 = 500;   // offset 796
  int32_t reserved3 = 700;   // offset 800
};
extern Config cfg;

// Remembered positions and zooms of the four value dialogs (not stored in the file).
inline constexpr int32_t kPosNotSet = static_cast<int32_t>(0x80000000u);
struct DialogPlace {
  int32_t x = kPosNotSet, y = kPosNotSet;
  int zoom = 0;
};
extern DialogPlace posMp1Val, posMp2Val, posInjVal, posAdvVal;

void ReadInitFile();
void WriteInitFile();
// Record <-> bytes (defaults for a buffer of the wrong size).
void DecodeConfig(const uint8_t* bytes, size_t size);
void EncodeConfig(uint8_t* bytes /* kCfgSize */);

// Where the settings file lives: beside the executable when that directory is
// writable, else in the user's configuration directory; an installed program
// (com::IsInstalledTree) always uses the user's directory. Tests point it elsewhere.
std::string InitFilePath();
void SetInitFilePath(const std::string& path);  // empty restores the default

// The directory of the running program (where the files it ships live); "" when unknown.
std::string ProgramDirectory();

}  // namespace ecu
