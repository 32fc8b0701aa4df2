// A stand-in for the map editor, as the graph windows see it: an active cell, the
// shaded cells, a count of edits, and a rescatter that redraws the windows.
#pragma once
#include <cstring>
#include <functional>
#include <vector>

#include "ecudata/image.h"
#include "graphs/editorlink.h"
#include "link/userio.h"
#include "maps/map1.h"

namespace graphs_test {

class FakeEditor : public graphs::EditorLink {
 public:
  graphs::MapCell active{0, 0};
  std::vector<graphs::MapCell> shaded;
  int beginEdits = 0;
  int blockChanges = 0;
  std::vector<int> cellChanges;
  std::function<uint8_t()> scatter;  // the editor's scatter ends by redrawing the graphs

  graphs::MapCell ActiveCell() const override { return active; }
  // The block the editor compares with (null: none).
  const uint8_t* comparison = nullptr;
  const uint8_t* ComparisonBlock() const override { return comparison; }
  // An editor whose table reports every change of its current cell, even one made
  // by the program, calls back into the graph windows from here.
  std::function<void(graphs::MapCell)> onActiveCellChanged;
  void SetActiveCell(graphs::MapCell cell) override {
    const bool changed = !(cell == active);
    active = cell;
    if (changed && onActiveCellChanged) onActiveCellChanged(cell);
  }
  int shadeCalls = 0;
  void ShadeCells(const std::vector<graphs::MapCell>& cells) override {
    shaded = cells;
    ++shadeCalls;
  }
  void BeginEdit() override { ++beginEdits; }
  uint8_t BlockChanged() override {
    ++blockChanges;
    return scatter ? scatter() : 1;
  }
  uint8_t CellValChange(int delta) override {
    cellChanges.push_back(delta);
    ++beginEdits;
    if (active.row == graphs::kXAxisRow) return 1;
    if (!maps::SetCurMap(active.col, active.row, delta, 0, 0, 0, 0, 0)) return 0;
    return BlockChanged();
  }
};

// Keeps the working and reference blocks and the map selectors as they were, for the
// tests that run after.
class BlockGuard {
 public:
  BlockGuard() {
    std::memcpy(map_, ecu::ecuMapData, ecu::kMapSize);
    std::memcpy(mapRef_, ecu::ecuMapRefData, ecu::kMapSize);
    std::memcpy(par_, ecu::ecuParData, ecu::kParSize);
    std::memcpy(parRef_, ecu::ecuParRefData, ecu::kParSize);
    map1_ = maps::idCurMap;
    jcyl_ = maps::idCurJcyl;
  }
  ~BlockGuard() {
    std::memcpy(ecu::ecuMapData, map_, ecu::kMapSize);
    std::memcpy(ecu::ecuMapRefData, mapRef_, ecu::kMapSize);
    std::memcpy(ecu::ecuParData, par_, ecu::kParSize);
    std::memcpy(ecu::ecuParRefData, parRef_, ecu::kParSize);
    maps::idCurMap = map1_;
    maps::idCurJcyl = jcyl_;
  }
  BlockGuard(const BlockGuard&) = delete;
  BlockGuard& operator=(const BlockGuard&) = delete;

 private:
  uint8_t map_[ecu::kMapSize], mapRef_[ecu::kMapSize], par_[ecu::kParSize], parRef_[ecu::kParSize];
  uint8_t map1_ = 1, jcyl_ = 0;
};

// Fresh blocks with the defaults of every map, equal reference copy.
inline void ResetBlocks() {
  std::memset(ecu::ecuMapData, 0, ecu::kMapSize);
  std::memset(ecu::ecuParData, 0, ecu::kParSize);
  for (int id = 1; id <= maps::kMapCount; ++id) maps::InitMp1Data(id);
  std::memcpy(ecu::ecuMapRefData, ecu::ecuMapData, ecu::kMapSize);
  maps::idCurMap = 1;
  maps::idCurJcyl = 0;
}

inline maps::CellArray CurZ() {
  maps::CellArray z;
  maps::GetCurMapInfo(nullptr, nullptr, &z, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
  return z;
}
inline int16_t Cell(int col, int row) {
  return CurZ().Get(row * maps::kMapCols + col);
}
inline void SetCell(int col, int row, int v) {
  CurZ().Set(row * maps::kMapCols + col, static_cast<int16_t>(v));
}
// X breakpoints 500, 1000, ... 16000.
inline void SetSpeedAxis() {
  maps::CellArray x;
  maps::GetCurMapInfo(&x, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
  for (int c = 0; c < maps::kMapCols; ++c) x.Set(c, static_cast<int16_t>(500 * (c + 1)));
}

// Records the pop-ups.
class RecordingUi : public com::HeadlessUserIo {
 public:
  RecordingUi() { com::SetUi(this); }
  ~RecordingUi() override { com::SetUi(nullptr); }
  void MessagePopup(const std::string& title, const std::string& text) override {
    popups.push_back({title, text});
  }
  std::vector<std::pair<std::string, std::string>> popups;
};

}  // namespace graphs_test

namespace graphs_test {

// An injection map as a tuned bike has it: rising with throttle, a torque bump in
// the middle of the speed range; the working copy a little richer than the
// reference around 6000-8000 rpm at part throttle.
inline void FillTunedInjection() {
  maps::idCurMap = 1;
  SetSpeedAxis();
  maps::CellArray z, rz;
  maps::GetCurMapInfo(nullptr, nullptr, &z, nullptr, nullptr, &rz, nullptr, nullptr, nullptr);
  for (int r = 0; r < maps::kMapRows; ++r) {
    for (int c = 0; c < maps::kMapCols; ++c) {
      const double throttle = maps::bpMapThrottle[r] / 1000.0;  // 0 .. 1
      const double rpm = 500.0 * (c + 1) / 16000.0;             // 0 .. 1
      const double bump = 1.0 - (rpm - 0.55) * (rpm - 0.55) * 2.0;
      const int v = static_cast<int>(1200 + 9000 * throttle * bump + 1500 * rpm);
      rz.Set(r * maps::kMapCols + c, static_cast<int16_t>(v));
      const bool tuned = c >= 11 && c <= 15 && r >= 6 && r <= 12;
      z.Set(r * maps::kMapCols + c, static_cast<int16_t>(tuned ? v * 108 / 100 : v));
    }
  }
}

}  // namespace graphs_test
