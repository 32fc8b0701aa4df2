// The "Differences" window: every difference between two blocks of one type, named by
// the one difference engine as `kestra-cli diff` names them, with "Copy as text" and
// "Save as CSV..." (the columns of `diff --csv`).
#pragma once
#include <QDialog>
#include <QString>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ecudata/blockdiff.h"

class QTableWidget;
class QLabel;

namespace shell {

// The differences between `a` and `b` (BlockSize(type) bytes each) as the command line
// lists them.
std::vector<ecu::BlockDifference> DifferencesOf(int type, const uint8_t* a, const uint8_t* b);

// A table of differences; used by the Differences window and the History window.
class DiffTable {
 public:
  explicit DiffTable(QTableWidget* table) : table_(table) {}
  void Show(const std::vector<ecu::BlockDifference>& differences, const QString& aTitle,
            const QString& bTitle);
  const std::vector<ecu::BlockDifference>& Differences() const { return differences_; }
  // The lines of `kestra-cli diff`.
  std::string Text() const;
  // The rows of `kestra-cli diff --csv` with their header.
  std::string Csv() const;

 private:
  QTableWidget* table_;
  std::vector<ecu::BlockDifference> differences_;
};

class DiffWindow : public QDialog {
 public:
  // `aTitle` and `bTitle` name the two sides ("Comparison", "Working").
  DiffWindow(int type, const uint8_t* a, const uint8_t* b, const QString& aTitle, const QString& bTitle,
             QWidget* parent);
  QTableWidget* Table() const { return tableWidget_; }
  const DiffTable& List() const { return table_; }
  void CopyAsText() const;
  // A double click on row `row` of the list (the window's owner brings it into view).
  std::function<void(int row)> onActivated;
  // Asks for a file and writes the CSV there (atomically); false when not written.
  bool SaveAsCsv();

 private:
  QTableWidget* tableWidget_;
  QLabel* summary_;
  DiffTable table_;
};

}  // namespace shell
