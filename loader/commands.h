// The window's commands: Send (program a firmware file), the port selector and Exit.
#pragma once
#include <string>

namespace loader {

// File dialog "Firmware File" for *.mlf, starting in lastFwDir. Cancel gives an empty
// path and true; an existing file gives its path and true; anything else is refused.
bool SelzFirmwareFile(const std::string& title, std::string& path);
// CBsend: asks for a file and programs it; the result is shown by MainTimer.
void Send();
// RINGport: takes the item at `index` as the port (undone while a run is in progress).
void SetComPort(int index);
// CBexit: the next tick ends the program (ignored while a run is in progress).
void Exit();

}  // namespace loader
