// The comparison tune on the map editor: "Compare..." (a data file, an entry of the
// history, or the ECU's running mapping read into a copy), the corner marks of the
// cells that differ, the status line with both values and the difference, "Take from
// comparison" (the selection or the whole map, one undo step), "Differences..." and
// "Compare off". The working block is written only by a take.
#pragma once
#include <QObject>
#include <QString>
#include <string>

#include "maps/mapcompare.h"

class QAction;
class QMenu;

namespace ecu {
struct HistoryEntry;
}

namespace maps {

class Mp1Page;

class MapCompareUi : public QObject {
 public:
  // Adds its commands to the editor's context menu.
  MapCompareUi(Mp1Page& page, QMenu* menu);

  // "Compare...": asks where the comparison comes from.
  void Compare();
  // The comparison from a mapping file, an entry of the history, the ECU (link open).
  // False (with a message) when it cannot be read; the previous comparison stays then.
  bool CompareWithFile(const std::string& path);
  bool CompareWithEntry(const ecu::HistoryEntry& entry);
  bool CompareWithEcu();
  void CompareOff();
  // The selected cells (the active cell alone when nothing is selected).
  void Take();
  void TakeWholeMap();
  void ShowDifferences();
  // Brings difference number `index` of the list between `comparison` and the working
  // mapping into view (its map, plane and cell); false when it is not a map's.
  bool ShowPlace(const uint8_t* comparison, int index);

  const Comparison& Current() const { return cmp_; }
  // The status line for the active cell (nothing without a comparison).
  void CellMoved();

 private:
  bool Use(std::vector<uint8_t> block, const std::string& label);
  void Refresh();
  void Enable();

  Mp1Page& page_;
  Comparison cmp_;
  QAction *actCompare_ = nullptr, *actTake_ = nullptr, *actTakeAll_ = nullptr, *actDiff_ = nullptr,
          *actOff_ = nullptr;
};

}  // namespace maps
