#include "shell/diffwindow.h"

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "cli/fieldnames.h"
#include "ecudata/files.h"
#include "link/userio.h"
#include "link/utils.h"

namespace shell {

std::vector<ecu::BlockDifference> DifferencesOf(int type, const uint8_t* a, const uint8_t* b) {
  return cli::DiffNamedBlocks(type, a, b);
}

void DiffTable::Show(const std::vector<ecu::BlockDifference>& differences, const QString& aTitle,
                     const QString& bTitle) {
  differences_ = differences;
  table_->clear();
  table_->setColumnCount(7);
  table_->setHorizontalHeaderLabels({"Item", "Plane", "X", "Y", aTitle, bTitle, "Change"});
  table_->setRowCount(static_cast<int>(differences.size()));
  for (int r = 0; r < static_cast<int>(differences.size()); ++r) {
    const ecu::BlockDifference& d = differences[static_cast<size_t>(r)];
    const std::string* cells[] = {&d.item, &d.plane, &d.x, &d.y, &d.a, &d.b, &d.change};
    for (int c = 0; c < 7; ++c) {
      auto* item = new QTableWidgetItem(QString::fromStdString(*cells[c]));
      item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
      if (c >= 4) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      table_->setItem(r, c, item);
    }
  }
  table_->resizeColumnsToContents();
}

std::string DiffTable::Text() const {
  std::string text;
  for (const ecu::BlockDifference& d : differences_) text += ecu::DiffLine(d) + "\n";
  return text;
}

std::string DiffTable::Csv() const {
  std::string text = ecu::DiffCsvHeader() + "\n";
  for (const ecu::BlockDifference& d : differences_) text += ecu::DiffCsvRow(d) + "\n";
  return text;
}

DiffWindow::DiffWindow(int type, const uint8_t* a, const uint8_t* b, const QString& aTitle,
                       const QString& bTitle, QWidget* parent)
    : QDialog(parent),
      tableWidget_(new QTableWidget(this)),
      summary_(new QLabel(this)),
      table_(tableWidget_) {
  setObjectName("DLGdifferences");
  setWindowTitle("Differences");
  tableWidget_->setObjectName("TABdifferences");
  tableWidget_->verticalHeader()->hide();
  tableWidget_->setSelectionBehavior(QAbstractItemView::SelectRows);
  tableWidget_->setAlternatingRowColors(true);
  table_.Show(DifferencesOf(type, a, b), aTitle, bTitle);
  const size_t n = table_.Differences().size();
  summary_->setObjectName("TMdiffSummary");
  summary_->setText(n == 0   ? QString("No differences between %1 and %2.").arg(aTitle, bTitle)
                    : n == 1 ? QString("1 difference between %1 and %2.").arg(aTitle, bTitle)
                             : QString("%1 differences between %2 and %3.").arg(n).arg(aTitle, bTitle));

  auto* copy = new QPushButton("Copy as text", this);
  copy->setObjectName("CBcopyText");
  auto* save = new QPushButton("Save as CSV...", this);
  save->setObjectName("CBsaveCsv");
  auto* close = new QPushButton("Close", this);
  close->setObjectName("CBclose");
  connect(tableWidget_, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
    if (onActivated) onActivated(row);
  });
  connect(copy, &QPushButton::clicked, this, &DiffWindow::CopyAsText);
  connect(save, &QPushButton::clicked, this, &DiffWindow::SaveAsCsv);
  connect(close, &QPushButton::clicked, this, &QDialog::accept);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(copy);
  buttons->addWidget(save);
  buttons->addStretch();
  buttons->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(summary_);
  layout->addWidget(tableWidget_);
  layout->addLayout(buttons);
  resize(760, 480);
}

void DiffWindow::CopyAsText() const {
  QApplication::clipboard()->setText(QString::fromStdString(table_.Text()));
}

bool DiffWindow::SaveAsCsv() {
  com::FileDialog dialog;
  dialog.save = true;
  dialog.title = "Save differences as CSV";
  dialog.proposal = "differences.csv";
  dialog.extension = "csv";
  std::string path;
  const com::FileSelect result = com::Ui().FileSelectPopup(dialog, path);
  if (result == com::FileSelect::Cancelled || path.empty()) return false;
  path = com::SetFileExtension(path, "csv");
  const std::string csv = table_.Csv();
  if (!ecu::WriteFileAtomic(path, reinterpret_cast<const uint8_t*>(csv.data()), csv.size())) {
    com::Ui().MessagePopup("Save as CSV", path + " cannot be written.");
    return false;
  }
  com::Ui().ShowStatus("Differences saved in " + path);
  return true;
}

}  // namespace shell
