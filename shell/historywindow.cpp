#include "shell/historywindow.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QElapsedTimer>
#include <QSplitter>
#include <QTimer>
#include <QTableWidget>
#include <QVBoxLayout>
#include <ctime>

#include "cli/fieldnames.h"
#include "ecudata/image.h"
#include "link/userio.h"
#include "maps/ui/mp1page.h"
#include "shell/pages.h"

namespace shell {
namespace {

QString TimeText(std::time_t t) {
  std::tm local{};
  localtime_r(&t, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return QString::fromLatin1(text);
}

QString BlockWord(int type) {
  return type == ecu::kParType ? "Configuration" : type == ecu::kMapType ? "Mapping" : "?";
}

QTableWidgetItem* Cell(const QString& text) {
  auto* item = new QTableWidgetItem(text);
  item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
  return item;
}

}  // namespace

HistoryWindow::HistoryWindow(PageRegistry& pages, QWidget* parent)
    : QDialog(parent),
      pages_(pages),
      list_(new QTableWidget(this)),
      diffTable_(new QTableWidget(this)),
      diff_(diffTable_),
      parts_(new QListWidget(this)),
      summary_(new QLabel(this)) {
  setObjectName("DLGhistory");
  setWindowTitle("History");
  list_->setObjectName("TABhistory");
  diffTable_->setObjectName("TABdifferences");
  parts_->setObjectName("LWparts");
  summary_->setObjectName("TMhistorySummary");
  for (QTableWidget* t : {list_, diffTable_}) {
    t->verticalHeader()->hide();
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->setSelectionMode(QAbstractItemView::SingleSelection);
    t->setAlternatingRowColors(true);
  }
  connect(list_, &QTableWidget::currentCellChanged, this, [this](int row, int, int, int) { Select(row); });

  restore_ = new QPushButton("Restore", this);
  restore_->setObjectName("CBrestore");
  restore_->setToolTip("Replace the working block with this entry (a restore point keeps the one replaced)");
  restoreSelected_ = new QPushButton("Restore selected", this);
  restoreSelected_->setObjectName("CBrestoreSelected");
  restoreSelected_->setToolTip("Take only the ticked maps and pages from this entry");
  compare_ = new QPushButton("Compare in map editor", this);
  compare_->setObjectName("CBcompare");
  compare_->setToolTip("Show this mapping as the comparison of the map editor");
  connect(compare_, &QPushButton::clicked, this, [this] {
    if (const ecu::HistoryEntry* e = Current(); e && onCompare) onCompare(*e);
  });
  auto* close = new QPushButton("Close", this);
  close->setObjectName("CBclose");
  connect(restore_, &QPushButton::clicked, this, &HistoryWindow::Restore);
  connect(restoreSelected_, &QPushButton::clicked, this, &HistoryWindow::RestoreSelected);
  connect(close, &QPushButton::clicked, this, &QDialog::accept);

  auto* lower = new QHBoxLayout;
  lower->addWidget(diffTable_, 3);
  auto* partsColumn = new QVBoxLayout;
  partsColumn->addWidget(new QLabel("Parts to restore:", this));
  partsColumn->addWidget(parts_);
  lower->addLayout(partsColumn, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(restore_);
  buttons->addWidget(restoreSelected_);
  buttons->addWidget(compare_);
  buttons->addStretch();
  buttons->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(list_, 2);
  layout->addWidget(summary_);
  layout->addLayout(lower, 3);
  layout->addLayout(buttons);
  resize(900, 640);
  counter_ = new QTimer(this);
  counter_->setInterval(0);
  connect(counter_, &QTimer::timeout, this, [this] { CountSome(30); });
  Reload();
}

void HistoryWindow::CountSome(int budgetMs) {
  QElapsedTimer clock;
  clock.start();
  while (!uncounted_.empty() && (budgetMs < 0 || clock.elapsed() < budgetMs)) {
    const int r = uncounted_.front();
    uncounted_.erase(uncounted_.begin());
    if (r >= static_cast<int>(entries_.size()) || !list_->item(r, 5)) continue;
    const ecu::HistoryEntry& e = entries_[static_cast<size_t>(r)];
    const long n = ecu::CountHistoryDifferences(e, e.type, ecu::WorkingBlock(e.type),
                                                e.type == ecu::kParType ? parTables_ : mapTables_);
    list_->item(r, 5)->setText(n < 0 ? QString("-") : QString::number(n));
  }
  if (uncounted_.empty()) counter_->stop();
}

void HistoryWindow::Reload() {
  uncounted_.clear();
  parTables_ = cli::FieldTablesOf(ecu::kParType);
  mapTables_ = cli::FieldTablesOf(ecu::kMapType);
  entries_ = ecu::ReadHistory();
  list_->clear();
  list_->setColumnCount(6);
  list_->setHorizontalHeaderLabels({"Time", "Kind", "Block", "Data set", "Bike", "Differences"});
  list_->setRowCount(static_cast<int>(entries_.size()));
  for (int r = 0; r < static_cast<int>(entries_.size()); ++r) {
    const ecu::HistoryEntry& e = entries_[static_cast<size_t>(r)];
    list_->setItem(r, 0, Cell(TimeText(e.time)));
    list_->setItem(r, 1, Cell(QString::fromLatin1(ecu::HistoryKindText(e.kind))));
    list_->setItem(r, 2, Cell(BlockWord(e.type)));
    list_->setItem(r, 3, Cell(QString::fromStdString(e.name.empty() ? e.entry : e.name)));
    if (e.state != ecu::HistoryState::Ready) {
      list_->setItem(r, 4, Cell(QString::fromLatin1(ecu::HistoryStateText(e.state))));
      list_->setItem(r, 5, Cell("-"));
      for (int c = 0; c < 6; ++c) list_->item(r, c)->setForeground(QColor(0x80, 0x80, 0x80));
      continue;
    }
    list_->setItem(r, 4, Cell(QString::fromStdString(ecu::BikeDescription(e.bike))));
    auto* count = Cell(QStringLiteral("..."));
    count->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    list_->setItem(r, 5, count);
    uncounted_.push_back(r);
  }
  list_->resizeColumnsToContents();
  // The counts follow a few at a time: a history of blocks that differ everywhere takes
  // seconds to count, and the window answers meanwhile.
  if (!uncounted_.empty()) counter_->start();
  Select(entries_.empty() ? -1 : 0);
  if (!entries_.empty()) list_->selectRow(0);
}

const ecu::HistoryEntry* HistoryWindow::Current() const {
  const int row = list_->currentRow();
  if (row < 0 || row >= static_cast<int>(entries_.size())) return nullptr;
  return &entries_[static_cast<size_t>(row)];
}

void HistoryWindow::Select(int row) {
  parts_->clear();
  const ecu::HistoryEntry* e =
      row >= 0 && row < static_cast<int>(entries_.size()) ? &entries_[static_cast<size_t>(row)] : nullptr;
  std::vector<uint8_t> bytes;
  std::string error;
  const bool ready = e && ecu::ReadHistoryBlock(*e, &bytes, &error);
  restore_->setEnabled(ready);
  restoreSelected_->setEnabled(ready);
  compare_->setEnabled(ready && e->type == ecu::kMapType);
  if (!ready) {
    diff_.Show({}, "Entry", "Working");
    summary_->setText(e ? QString::fromStdString(error) : QString("The history is empty."));
    return;
  }
  diff_.Show(DifferencesOf(e->type, bytes.data(), ecu::WorkingBlock(e->type)), "Entry", "Working");
  const size_t n = diff_.Differences().size();
  summary_->setText(QString("%1 %2 between this entry and the working %3.")
                        .arg(n)
                        .arg(n == 1 ? "difference" : "differences")
                        .arg(e->type == ecu::kParType ? "configuration" : "mapping"));
  for (const ecu::BlockPart& part : cli::PartsOf(e->type)) {
    auto* item = new QListWidgetItem(QString::fromStdString(part.name), parts_);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Unchecked);
  }
}

bool HistoryWindow::Restore() {
  return RestoreParts(false);
}

bool HistoryWindow::RestoreSelected() {
  return RestoreParts(true);
}

bool HistoryWindow::RestoreParts(bool selectedOnly) {
  const ecu::HistoryEntry* e = Current();
  std::vector<uint8_t> bytes;
  std::string error;
  if (!e || !ecu::ReadHistoryBlock(*e, &bytes, &error)) {
    com::Ui().MessagePopup("Restore", error.empty() ? std::string("Nothing selected.") : error);
    return false;
  }
  std::vector<ecu::BlockPart> chosen;
  if (selectedOnly) {
    const std::vector<ecu::BlockPart> parts = cli::PartsOf(e->type);
    for (int i = 0; i < parts_->count() && i < static_cast<int>(parts.size()); ++i)
      if (parts_->item(i)->checkState() == Qt::Checked) chosen.push_back(parts[static_cast<size_t>(i)]);
    if (chosen.empty()) {
      com::Ui().MessagePopup("Restore selected", "Tick the maps or pages to restore first.");
      return false;
    }
  }
  const int type = e->type;
  pages_.GatherAllPanels();
  // For the mapping the restore is one step of the map editor's undo history.
  auto* editor =
      type == ecu::kMapType ? dynamic_cast<maps::Mp1Page*>(pages_.Find(PageId::MapEditor)) : nullptr;
  if (editor) editor->BeginEdit();
  std::string point;
  const bool restored = ecu::RestoreWorkingBlock(type, bytes.data(), chosen, std::time(nullptr), &point);
  if (editor) editor->History().Flush();
  pages_.ScatterAllPanels();
  if (!restored) {
    com::Ui().MessagePopup("Restore",
                           "Nothing was restored: the restore point of the working block could not "
                           "be written, and without it the restore could not be undone.");
    return false;
  }
  const std::string name = e->entry;  // the list is read again below
  Reload();
  for (int r = 0; r < static_cast<int>(entries_.size()); ++r)
    if (entries_[static_cast<size_t>(r)].entry == name) list_->selectRow(r);
  com::Ui().ShowStatus((selectedOnly ? "Restored the ticked parts of " : "Restored ") + name +
                       "; the block replaced is kept: " + point);
  return true;
}

}  // namespace shell
