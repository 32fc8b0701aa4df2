// The connection state machine and the result display, both run on every tick of
// the window's timer.
#pragma once
#include <cstdint>

namespace loader {

inline constexpr uint32_t kColourClosed = 0xA0A0A0;    // grey: port closed
inline constexpr uint32_t kColourOldBload = 0x00FF00;  // green: open, plain-form boot loader
inline constexpr uint32_t kColourOpen = 0x00FFFF;      // cyan: open otherwise
inline constexpr double kDoneShownSeconds = 10.0;

// Title suffix "disconnected", installed-application text emptied.
void ShowDisconnected();
// One step of the connection: reconnect every third tick while closed, identify the
// boot loader, read its identity and the installed application, then keep-alive.
void LivTimer();
// The timer's callback: shows (and clears) the result of the last run, then, on a
// tick event, runs LivTimer. Does nothing while a run is in progress.
void MainTimer(bool tick = true);

}  // namespace loader
