// The link to the ECU as the shell sees it: firmware text and identity of the
// connected ECU, the data-set names it reports, the connect and disconnect
// sequences, and the failure counting of the main timer. Plain C++; the window
// and kestra-cli both drive it, and everything shown goes through com::Ui().
#pragma once
#include <cstdint>
#include <functional>
#include <string>

namespace shell {

extern uint8_t fEcuProtected;        // bit 7 of the identity record's flags
extern uint8_t fOldHwConfig;         // the ECU has the old hardware (fuel control impossible)
extern std::string ecuFirmwareText;  // firmware text received at connect (up to 255 characters)
inline constexpr int kProtectKeysSize = 30;
extern uint8_t aProtectKeys[kProtectKeysSize];  // sent with every Identify

// Shell flags shared by the window and the commands.
extern uint8_t fBusy;       // set while the event pump runs; callbacks return at once
extern uint8_t fRefresh;    // the live panel redraws everything on its next tick
extern uint8_t fSending;    // the Send command runs
extern uint8_t fReceiving;  // the Receive command runs
inline uint8_t CheckfBusy() {
  return fBusy;
}

inline constexpr const char szGenericError[] = "Some error occurred...";
inline constexpr const char szNoConnection[] = ">Connection?<";

// Command 2, single read: the firmware's version text. 1 on success.
uint8_t GetFirmwareName(std::string& text);

// The identity check. With the link closed: clears fEcuProtected and fOldHwConfig
// and returns 1. With the link open: Identify with aProtectKeys; 1 only when a
// 16-byte record arrives with the family "Q740" and the program's release.
uint8_t Ping();

// Command 15 with a selector (0, 1, 2 or 8), sent twice; the second answer counts.
// Selector 8 prefixes the name with "*". On failure `text` is empty and 0 returned.
uint8_t GetEcuDataName(std::string& text, int selector);

// What the connect and disconnect sequences need from the window. Empty functions
// are skipped (kestra-cli has no panels).
struct ConnectHooks {
  std::function<uint8_t()> gatherAllPanels;             // result not used
  std::function<void(const std::string&)> showVersion;  // TMversion
};

enum class ConnectResult {
  Connected,
  NoFirmwareName,  // the port did not open or the ECU did not answer command 2
  Incompatible,    // the identity check failed (message shown)
  NoDataName,      // map tuning runs and the tuned map's name could not be read
};

// Gathers, opens the selected port, reads the firmware text, checks the identity,
// and while map tuning runs shows "*" and the tuned map's name. Every failed step
// leaves the port closed.
ConnectResult ConnectEcu(const ConnectHooks& hooks);
// Gathers and, when a running manual tuning agrees to end, closes the port.
// 1 when the link is closed afterwards.
uint8_t DisconnectEcu(const ConnectHooks& hooks);

// Failure counting of the main timer: a successful duty resets the counter; a
// failed one counts up to three, and the failure after that closes the port.
// The counter is not reset by closing. Returns 1 when this call closed the port.
extern uint8_t pollFailures;
uint8_t CountTickResult(uint8_t dutyResult);

// The main panel's indicators as they follow from the link and tuning state.
struct Indicators {
  bool comOn = false;       // TBcom value
  uint32_t comOnColor = 0;  // 0x00FF00, 0xFF0000 when protected, 0 while closed
  bool portDimmed = false;  // RINGport
  bool loadStoreDimmed = false;
  bool sendDimmed = false;
  bool receiveDimmed = false;
};
Indicators CurrentIndicators();

}  // namespace shell
