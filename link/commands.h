// Command codes of the two link protocols.
#pragma once
#include <cstdint>

namespace com {

// Kestra <-> application firmware (application frame).
enum AppCommand : uint8_t {
  GetFirmwareName = 2,
  WriteProtectKeys = 3,
  Identify = 4,
  BeginWrite = 5,
  WriteChunk = 6,
  ReadLive = 7,
  ThrottleSet = 8,
  ReadChunk = 9,
  TuneExchange = 10,
  TestOutput = 11,
  GetDataName = 15,
  ReadDiagnostics = 16,
  WriteDiagParam = 17,
  ResetCoCorrection = 18,
  DiagnosticPassword = 19,
  WriteValues = 30,
  ReadValues = 31,
};

// Kalvex <-> boot loader (boot frame).
enum BootCommand : uint8_t {
  BootHello = 1,
  BootInfo = 2,
  BootAppInfo = 3,
  BootErase = 5,
  BootWriteBlock = 6,
};

// Poll windows of the commands that use the polled read, seconds.
inline constexpr double kPollWriteProtectKeys = 15.0;
inline constexpr double kPollBeginWrite = 10.0;
inline constexpr double kPollTuneExchange = 1.5;
inline constexpr double kPollWriteDiagParam = 5.0;
inline constexpr double kPollBootErase = 5.0;
inline constexpr double kPollBootWriteBlock = 2.5;

}  // namespace com
