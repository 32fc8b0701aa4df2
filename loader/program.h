// The boot-loader session: the exchanges with the ECU's boot loader (presence
// check, identity, installed application, erase, numbered data blocks) and the
// programming run.
#pragma once
#include <cstdint>
#include <string>

namespace loader {

// --- session state ---
extern uint16_t sysType;     // boot-loader system type: 0x5600, 0x5534, or 0 when unknown
extern bool fOldBload;       // the boot loader answered the plain BootHello
extern bool fUpdUfwVersion;  // the installed-application text is to be read again
extern bool fPingPlain;      // the next BootHello uses the plain form
extern bool fBloadFound;     // sysType has been read on the current connection
extern bool fUpdBloadInfo;   // the boot-loader identity is to be read again
extern uint8_t linkRetry;    // reconnect delay while closed; failures in a row while open
extern bool fQuit;           // quit requested
extern bool fProgramming;    // a programming run is in progress
extern int programResult;    // result of the last run not yet shown; -1 = none
extern double msgClearTime;  // Timer() value after which TMmain is emptied; 0 = never
extern uint8_t spinIndex;    // position in the activity characters

// Back to the state at program start.
void ResetSession();

inline constexpr uint16_t kSys5600 = 0x5600;
inline constexpr uint16_t kSys5534 = 0x5534;

// Results of SendFirmware.
enum ProgramResult : int { kResultDone = 0, kResultInvalidFile = 1, kResultProgrammingError = 2 };

// Largest transmission copy: data blocks are numbered 0..65534 so that the end
// frame's number (the count of blocks) still fits 16 bits.
inline constexpr uint32_t kBlockSize = 253;
inline constexpr uint64_t kMaxCopySize = 65535ull * kBlockSize;

// BootHello in the form fPingPlain selects. Success sets fOldBload to that form;
// a failure switches the form for the next attempt.
bool Ping();
// BootInfo 1: reads sysType; success only for 0x5600 or 0x5534.
bool CheckBloadInfo();
// Boot-loader name and version into the window title.
bool ShowBootLoaderIdentity();
// The installed application into TBOXufwVersion ("_  _  _" when there is none).
bool ShowApplicationVersion();
// BootErase for one area code accepted by the connected system type.
bool EraseArea(uint8_t areaCode);
// Writes a request and waits up to 2.5 s for its empty acknowledgement.
bool TxCommandWaitAck(uint8_t command, const uint8_t* payload, uint8_t length);
// Checks the file, makes its transmission copy, erases and programs it.
int SendFirmware(const std::string& path);

// The activity character shown while programming: "(|)|", one step per call.
char NextSpinChar();

// The texts of ShowApplicationVersion / the title suffix of ShowBootLoaderIdentity,
// read without showing them (kalvex-cli info). False when an exchange fails.
bool ReadBootLoaderIdentity(std::string& text);
bool ReadApplicationVersion(std::string& text);

}  // namespace loader
