// The tuning session with the ECU: the held Info record and settings, the requests
// that the panel's callbacks set, and the session cycle that the panel's timer runs
// on every tick (exchanges, session edges, loading of the blocks, the cell list).
//
// The ECU does the correcting; Kestra configures the session, starts and stops it,
// mirrors every cell that the ECU reports changed into its own map block, and keeps
// that block in step with the ECU when a session starts or ends.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "tuning/tunerecords.h"

namespace tuning {

// ---- Module state ----
extern MtSettings mtSettings;  // the auto-tuning settings in use (host order)
extern Info tuneInfo;          // the ECU's last status: the only source of the tuning state
extern bool isTuningAuto;      // panel modes: exactly one is set while the panel is in use
extern bool isTuningManual;

struct Session {
  // Requests, consumed by the next tick.
  bool startManual = false, startAuto = false, stop = false, pause = false;
  bool adjust[3] = {};  // injection 1, injection 2, advance
  bool freeze[3] = {};
  Adjust pauseRecord;
  Adjust adjustRecord[3];
  // Flags of the cycle.
  bool settingsChanged = false;
  bool firstStatus = true;
  bool locked = false;
  bool wasTuning = false;
  bool commonCorrection = false;  // TBselectCorrection: one factor for both cylinders
  bool portWasOpen = false;
  uint32_t portOpenings = 0;  // com::PortOpenings() at the last tick
  // Loading scheduled at a session edge; kept until it has succeeded.
  bool loadConfig = false, loadInjection = false, loadAdvance = false;
  // The map the table shows: kMapInj1, kMapInj2 or kMapAdv.
  int shownMap = kMapInj1;
};
extern Session session;

// Everything back to the start: no session, settings untouched, Info reset.
void ResetSession();

// ---- What the shell asks ----

// 1 while the ECU tunes (manual or auto) and the port is open.
uint8_t IsMapTuning();
// Sets the state bits of the held Info from the identity record's flags.
void SetTuneStatusInfo(uint8_t locked, uint8_t tuning, uint8_t automatic);
// In state Manual asks "Abort?" and stops the session; 1 when no manual tuning runs
// any more (or none ran), 0 when it keeps running.
uint8_t AbortManualTuning();

// ---- Exchanges (command 10). With the port closed nothing is sent: success. ----

// Request 1 or 3 (Info into tuneInfo), 2 (the ECU's settings into `settings`).
uint8_t SendTuneRequest(uint8_t code, MtSettings* settings = nullptr);
uint8_t SendTuneManual(uint8_t trackMode);
uint8_t SendTuneAuto();
uint8_t SendTuneAdjust(const Adjust& adjust);
uint8_t SendTuneFreeze(const Freeze& freeze);

// Writes the valid entries of the Info's cell list into the map block (when they
// differ) and marks every entry consumed. Returns a bit per map type changed
// (1 << type).
unsigned ApplyCellList(Info& info);

// ---- The session cycle ----

struct TickResult {
  bool failed = false;
  bool portOpen = false;
  bool justConnected = false;
  bool portClosed = false;       // the port was closed this tick (it was open last tick)
  int adoptMode = 0;             // first status: 1 manual, 2 auto (the panel mode changed)
  bool settingsRead = false;     // the ECU's settings were read (show them)
  bool configLoaded = false;     // scatter every panel
  bool mappingLoaded = false;    // maps of the mapping were read from the ECU (a new history)
  bool shownMapChanged = false;  // the table's map was chosen anew (lay it out)
  bool redraw = false;           // the table's cells changed
};

struct TickHooks {
  // The tuned map's name (command 15 with selector 8).
  std::function<uint8_t(std::string&, int)> getDataName;
  // The tracking mode as the ring shows it when the Manual record is sent.
  std::function<uint8_t()> trackMode;
};

// Port state and the requests by the held state (before the panel sets its dimming).
void BeginTick(TickResult& result);
// True when a start or stop request is pending (the panel keeps its dimming then).
bool StartOrStopPending();
// The exchanges, first status, session edges, loading and the cell list.
void RunTick(TickResult& result, const TickHooks& hooks);

// The status text of a held Info record (without the "Error!" of a failed tick).
const char* TuneStatusText(const Info& info);

// The map the table shows from a tracking mode (mode 3: cylinder 2, else cylinder 1).
int MapForTrackMode(uint8_t mode);

}  // namespace tuning
