#include "tuning/map2.h"

#include <vector>

#include "ecudata/image.h"
#include "ecudata/restore.h"
#include "ecudata/transfer.h"
#include "link/bytes.h"
#include "link/com.h"
#include "link/commands.h"
#include "link/frame.h"
#include "link/userio.h"
#include "link/utils.h"
#include "maps/map1.h"
#include "tuning/gains.h"
#include "tuning/tuneview.h"

namespace tuning {

MtSettings mtSettings = [] {
  MtSettings s{};
  const Gains g = GetCurLambdaMode(kFallbackRanges, 0);
  DefaultSettings(s, g.kp, g.ki, g.step);
  return s;
}();
Info tuneInfo{};
bool isTuningAuto = false;
bool isTuningManual = false;
Session session{};

namespace {

// Sends one record and reads the reply of `expected` bytes into `reply`.
uint8_t Exchange(const uint8_t* record, uint8_t n, uint8_t* reply, uint8_t expected, bool polled) {
  if (!com::isComOpen) return 1;
  if (!com::TxCommand(com::TuneExchange, record, n)) return 0;
  uint8_t length = 0;
  const int32_t rc = polled ? com::RxResponsePolled(com::TuneExchange, reply, 255, &length, com::Timer(),
                                                    com::kPollTuneExchange)
                            : com::RxResponse(com::TuneExchange, reply, 255, &length);
  return rc == 0 && length == expected ? 1 : 0;
}

uint8_t ExchangeInfo(const uint8_t* record, uint8_t n, bool polled) {
  if (!com::isComOpen) return 1;
  uint8_t reply[255];
  if (!Exchange(record, n, reply, kInfoSize, polled)) return 0;
  Info info;
  InfoFromWire(reply, info);
  // A reply's cell list goes into the map block at once: a later reply of the same
  // tick brings a list of its own, and the ECU reports each change only once.
  ApplyCellList(info);
  tuneInfo = info;
  return 1;
}

unsigned pendingRedraw = 0;  // map types changed by cell lists since the last tick

// `keep`: the block may hold edits never stored (it was not just received whole).
uint8_t LoadGroup(int id, uint32_t offset, uint32_t bytes, bool keep) {
  std::vector<uint16_t> values(bytes / 2);
  if (!ecu::RequestEcuMap(id, values.data())) return 0;
  // The group is about to be replaced: edits never stored are kept first.
  if (keep) ecu::KeepRestorePoint(ecu::kMapType);
  for (size_t i = 0; i < values.size(); ++i) com::Put16LE(ecu::ecuMapData + offset + 2 * i, values[i]);
  return 1;
}

}  // namespace

void ResetSession() {
  session = Session{};
  ResetInfo(tuneInfo);
  isTuningAuto = isTuningManual = false;
  pendingRedraw = 0;
}

int MapForTrackMode(uint8_t mode) {
  return mode == 3 ? kMapInj2 : kMapInj1;
}

const char* TuneStatusText(const Info& info) {
  switch (info.State()) {
    case kStateLocked:
      return "ECU locked";
    case kStateOff:
      return "Tuning OFF";
    case kStateManual:
      return "Manual tuning";
    case kStateAuto:
      break;
  }
  if (!info.MatchEnabled()) return "Waiting for match-enable...";
  if (info.Lambda1Match() && info.Lambda2Match()) return "Lambda 1 & lambda 2 match!";
  if (info.Lambda1Match()) return "Lambda 1 match!";
  if (info.Lambda2Match()) return "Lambda 2 match!";
  return "Waiting for lambda...";
}

uint8_t IsMapTuning() {
  return com::isComOpen && tuneInfo.Tuning() ? 1 : 0;
}

void SetTuneStatusInfo(uint8_t locked, uint8_t tuning, uint8_t automatic) {
  TuneState state = kStateOff;
  if (locked)
    state = kStateLocked;
  else if (tuning)
    state = automatic ? kStateAuto : kStateManual;
  tuneInfo.SetState(state);
}

uint8_t AbortManualTuning() {
  // With the link closed there is no session to abort, whatever state was last held.
  if (!com::isComOpen || tuneInfo.State() != kStateManual) return 1;
  if (!com::Ui().ConfirmPopup("Map Tuning", "Abort?")) return 0;
  if (!SendTuneRequest(kRequestStop)) return 0;
  return tuneInfo.State() == kStateOff ? 1 : 0;
}

uint8_t SendTuneRequest(uint8_t code, MtSettings* settings) {
  const uint8_t record[kRequestSize] = {code};
  if (code != kRequestSettings) return ExchangeInfo(record, kRequestSize, true);
  if (!com::isComOpen) return 1;
  uint8_t reply[255];
  if (!Exchange(record, kRequestSize, reply, kSettingsSize, true)) return 0;
  SettingsFromWire(reply, settings ? *settings : mtSettings);
  return 1;
}

uint8_t SendTuneManual(uint8_t trackMode) {
  uint8_t record[kManualSize];
  ManualToWire(mtSettings, trackMode, record);
  return ExchangeInfo(record, kManualSize, true);
}

uint8_t SendTuneAuto() {
  uint8_t record[kSettingsSize];
  SettingsToWire(mtSettings, record);
  return ExchangeInfo(record, kSettingsSize, true);
}

uint8_t SendTuneAdjust(const Adjust& adjust) {
  uint8_t record[kAdjustSize];
  AdjustToWire(adjust, record);
  return ExchangeInfo(record, kAdjustSize, false);
}

uint8_t SendTuneFreeze(const Freeze& freeze) {
  uint8_t record[kFreezeSize];
  FreezeToWire(freeze, record);
  return ExchangeInfo(record, kFreezeSize, false);
}

unsigned ApplyCellList(Info& info) {
  unsigned changed = 0;
  for (CellUpdate& c : info.cells) {
    maps::MapPlace place;
    if ((c.type == kMapInj1 || c.type == kMapInj2 || c.type == kMapAdv) && c.col < kTuneCols &&
        c.row < kTuneRows && TuneMapPlace(c.type, &place)) {
      uint8_t* cell = ecu::ecuMapData + place.matrix + 2 * (c.row * kTuneCols + c.col);
      if (com::Get16LE(cell) != c.value) {
        com::Put16LE(cell, c.value);
        changed |= 1u << c.type;
      }
    }
    c = CellUpdate{};
  }
  pendingRedraw |= changed;
  return changed;
}

bool StartOrStopPending() {
  return session.startManual || session.startAuto || session.stop;
}

void BeginTick(TickResult& r) {
  Session& s = session;
  const bool open = com::isComOpen != 0;
  // The page ticks only while it is in front: a link closed and opened again meanwhile
  // is a new connection all the same.
  const uint32_t openings = com::PortOpenings();
  const bool reopened = open && s.portWasOpen && openings != s.portOpenings;
  s.portOpenings = openings;
  r.portOpen = open;
  r.justConnected = open && (!s.portWasOpen || reopened);
  r.portClosed = !open && s.portWasOpen;
  s.portWasOpen = open;
  if (!open || reopened) {
    s.startManual = s.startAuto = s.stop = s.pause = false;
    for (int i = 0; i < 3; ++i) s.adjust[i] = s.freeze[i] = false;
    s.loadConfig = s.loadInjection = s.loadAdvance = false;
    s.firstStatus = true;
    s.locked = false;
    s.wasTuning = false;
    if (!open) {
      tuneInfo.flagsA &= 0x0F;
      ResetInfo(tuneInfo);
      return;
    }
  }
  switch (tuneInfo.State()) {
    case kStateLocked:
      s.startManual = s.startAuto = s.stop = false;
      for (bool& f : s.freeze) f = false;
      s.locked = true;
      break;
    case kStateOff:
      s.stop = false;
      for (bool& f : s.freeze) f = false;
      s.locked = false;
      break;
    case kStateManual:
      if (s.settingsChanged || s.locked) s.startManual = true;
      s.startAuto = false;
      s.locked = false;
      break;
    case kStateAuto:
      if (s.settingsChanged || s.locked) s.startAuto = true;
      s.startManual = false;
      s.locked = false;
      break;
  }
}

void RunTick(TickResult& r, const TickHooks& hooks) {
  Session& s = session;
  if (!r.portOpen) {
    pendingRedraw = 0;
    return;
  }
  // 7: the exchanges, in their fixed order.
  bool anySent = false;
  auto run = [&](bool& request, const std::function<uint8_t()>& exchange) {
    if (!request) return;
    request = false;
    if (exchange())
      anySent = true;
    else
      r.failed = true;
  };
  run(s.startManual,
      [&] { return SendTuneManual(hooks.trackMode ? hooks.trackMode() : mtSettings[kTrackModeOffset]); });
  run(s.startAuto, [] { return SendTuneAuto(); });
  run(s.pause, [&] { return SendTuneAdjust(s.pauseRecord); });
  for (int i = 0; i < 3; ++i) run(s.adjust[i], [&, i] { return SendTuneAdjust(s.adjustRecord[i]); });
  run(s.freeze[0], [&] {
    return SendTuneFreeze(
        {tuneInfo.j1Cor, static_cast<uint8_t>(s.commonCorrection ? kTargetInjBoth : kTargetInj1)});
  });
  run(s.freeze[1], [] { return SendTuneFreeze({tuneInfo.j2Cor, kTargetInj2}); });
  run(s.freeze[2], [] { return SendTuneFreeze({static_cast<uint16_t>(tuneInfo.aCor), kTargetAdvance}); });
  if (!anySent) {
    const uint8_t code = s.stop ? kRequestStop : kRequestInfo;
    s.stop = false;
    if (!SendTuneRequest(code)) r.failed = true;
  }

  // 8: the first status after connecting adopts a session that runs in the ECU. Only a
  // status that has arrived counts.
  if (s.firstStatus && !r.failed) {
    const TuneState state = tuneInfo.State();
    if (state == kStateManual || state == kStateAuto) {
      const bool automatic = state == kStateAuto;
      r.adoptMode = automatic ? 2 : 1;
      isTuningAuto = automatic;
      isTuningManual = !automatic;
      if (SendTuneRequest(kRequestSettings, &mtSettings))
        r.settingsRead = true;
      else
        r.failed = true;
      s.firstStatus = false;
    } else if (state == kStateOff) {
      s.firstStatus = false;
    }
  }

  // 9: session edges.
  const bool tuning = tuneInfo.Tuning();
  if (tuning && !s.wasTuning) {
    s.wasTuning = true;
    const int map = MapForTrackMode(mtSettings[kTrackModeOffset]);
    if (map != s.shownMap) {
      s.shownMap = map;
      r.shownMapChanged = true;
    }
    if (!s.locked) s.loadConfig = s.loadInjection = s.loadAdvance = true;
  } else if (!tuning) {
    if (!s.locked) {
      if (s.wasTuning) {
        s.loadInjection = s.loadAdvance = true;
      } else if (r.justConnected && com::Ui().ConfirmPopup("Map Tuning", "Load Map-Tuning Data?")) {
        s.loadConfig = s.loadInjection = true;
      }
    }
    s.wasTuning = false;
  }

  // 10: loading, with the wait cursor and a word on the status line. What the loading
  // itself reports there (a restore point kept) is shown again at the end.
  if (!r.failed && (s.loadConfig || s.loadInjection || s.loadAdvance)) {
    com::UserIo& ui = com::Ui();
    const int cursor = ui.GetMouseCursor();
    ui.SetMouseCursor(com::kCursorWait);
    std::string said, notes;
    auto status = [&](const char* text) {
      if (ui.lastStatus != said && !ui.lastStatus.empty())
        notes += (notes.empty() ? "" : "; ") + ui.lastStatus;
      said = text;
      ui.ShowStatus(text);
    };
    if (s.loadConfig) {
      status("Synchronizing configuration data...");
      if (ecu::RequestEcu(ecu::kParType, com::kCursorWait)) {
        r.configLoaded = true;
        status("Synchronizing mapping data...");
        if (ecu::RequestEcu(ecu::kAreaMapRead, com::kCursorWait)) {
          r.mappingLoaded = true;
          status("Loading map name...");
          std::string name;
          if (hooks.getDataName && hooks.getDataName(name, 8)) ui.ShowConfigName(name, 2);
          s.loadConfig = false;
        } else {
          r.failed = true;
        }
      } else {
        r.failed = true;
      }
    }
    // One restore point before the groups replace parts of a mapping that was not
    // just received whole.
    bool keep = !r.configLoaded;
    if (!r.failed && s.loadInjection) {
      status("Loading injection maps...");
      maps::MapPlace place;
      if (maps::GetMapPlace(1, 0, &place) && LoadGroup(6, place.matrix, ecu::kMapGroupTwoTables, keep)) {
        s.loadInjection = false;
        r.mappingLoaded = true;
        keep = false;
        if (!r.configLoaded && (s.shownMap == kMapInj1 || s.shownMap == kMapInj2)) r.redraw = true;
      } else {
        r.failed = true;
      }
    }
    if (!r.failed && s.loadAdvance) {
      status("Loading advance map...");
      maps::MapPlace place;
      if (maps::GetMapPlace(2, 0, &place) && LoadGroup(7, place.matrix, ecu::kMapGroupOneTable, keep)) {
        s.loadAdvance = false;
        r.mappingLoaded = true;
        if (!r.configLoaded && s.shownMap == kMapAdv) r.redraw = true;
      } else {
        r.failed = true;
      }
    }
    status("");
    ui.ShowStatus(notes);
    ui.SetProgressBar(0, 0);
    ui.SetMouseCursor(cursor);
  }

  // 11: what the cell lists of this tick changed (they were applied on arrival).
  ApplyCellList(tuneInfo);
  if (pendingRedraw & (1u << s.shownMap)) r.redraw = true;
  pendingRedraw = 0;
}

}  // namespace tuning
