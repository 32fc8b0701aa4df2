// The "History" window: the restore points and the data files stored, loaded or
// imported, newest first, each with the number of differences to the working block of
// its kind; the selected entry's difference list and its parts (maps, notes, pages) to
// tick; "Restore" and "Restore selected". A restore is one undo step of the map editor
// and keeps the block it replaces as a restore point; nothing in the history is removed.
#pragma once
#include <QDialog>
#include <functional>
#include <span>
#include <vector>

#include "ecudata/history.h"
#include "shell/diffwindow.h"

class QTimer;

class QLabel;
class QListWidget;
class QPushButton;
class QTableWidget;

namespace shell {

class PageRegistry;

class HistoryWindow : public QDialog {
 public:
  HistoryWindow(PageRegistry& pages, QWidget* parent);

  // Reads the history again and counts the differences to the working blocks.
  void Reload();
  // Shows entry `row` of the list: its differences and its parts.
  void Select(int row);
  // The selected entry over the working block (all of it, or the ticked parts).
  bool Restore();
  bool RestoreSelected();

  const std::vector<ecu::HistoryEntry>& Entries() const { return entries_; }
  QTableWidget* EntryTable() const { return list_; }
  QListWidget* PartList() const { return parts_; }
  const DiffTable& Differences() const { return diff_; }

  // "Compare in map editor" for a mapping entry (the window sets it; the button is
  // dimmed without it).
  std::function<void(const ecu::HistoryEntry&)> onCompare;

  // Counts the differences of listed entries for about `budgetMs` (all of them for -1);
  // the window does it on its own a slice at a time after each Reload.
  void CountSome(int budgetMs);
  bool CountsPending() const { return !uncounted_.empty(); }

 private:
  bool RestoreParts(bool selectedOnly);
  const ecu::HistoryEntry* Current() const;

  PageRegistry& pages_;
  std::vector<ecu::HistoryEntry> entries_;
  QTableWidget* list_;
  QTableWidget* diffTable_;
  DiffTable diff_;
  QListWidget* parts_;
  QLabel* summary_;
  QTimer* counter_ = nullptr;
  std::vector<int> uncounted_;  // rows whose differences are not counted yet
  std::vector<std::span<const ecu::Field>> parTables_, mapTables_;
  QPushButton *restore_, *restoreSelected_, *compare_;
};

}  // namespace shell
