#include "maps/ui/mapcompare.h"

#include <QAction>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>
#include <ctime>

#include "ecudata/datafile.h"
#include "ecudata/history.h"
#include "ecudata/image.h"
#include "ecudata/transfer.h"
#include "link/com.h"
#include "link/userio.h"
#include "maps/ui/maptablemodel.h"
#include "maps/ui/mp1page.h"
#include "ui_mp1panel.h"
#include "shell/connection.h"
#include "shell/diffwindow.h"

namespace maps {
namespace {

std::string FileName(const std::string& path) {
  const size_t sep = path.find_last_of('/');
  return sep == std::string::npos ? path : path.substr(sep + 1);
}

std::string EntryLabel(const ecu::HistoryEntry& e) {
  std::tm local{};
  localtime_r(&e.time, &local);
  char when[32];
  std::strftime(when, sizeof when, "%Y-%m-%d %H:%M", &local);
  return std::string(ecu::HistoryKindText(e.kind)) + " \"" + e.name + "\" of " + when;
}

// Where the comparison comes from: 1 a data file, 2 the history, 3 the ECU, 0 cancel.
int AskSource(QWidget* parent) {
  QDialog dialog(parent);
  dialog.setObjectName("DLGcompare");
  dialog.setWindowTitle("Compare");
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(new QLabel("Compare the working mapping with:", &dialog));
  auto* row = new QHBoxLayout;
  struct Choice {
    const char* name;
    const char* text;
    int code;
    bool enabled;
  };
  const Choice choices[] = {{"CBcompareFile", "Data file...", 1, true},
                            {"CBcompareHistory", "History...", 2, true},
                            {"CBcompareEcu", "ECU", 3, com::isComOpen != 0},
                            {"CBcancel", "Cancel", 0, true}};
  for (const Choice& c : choices) {
    auto* b = new QPushButton(c.text, &dialog);
    b->setObjectName(c.name);
    b->setEnabled(c.enabled);
    if (!c.enabled) b->setToolTip("Connect to the ECU first");
    const int code = c.code;
    QObject::connect(b, &QPushButton::clicked, &dialog, [&dialog, code] { dialog.done(code); });
    row->addWidget(b);
  }
  layout->addLayout(row);
  return dialog.exec();
}

// An entry of the history (mappings that can be read), or null.
const ecu::HistoryEntry* AskEntry(QWidget* parent, const std::vector<ecu::HistoryEntry>& entries) {
  QDialog dialog(parent);
  dialog.setObjectName("DLGcompareHistory");
  dialog.setWindowTitle("Compare with the history");
  auto* list = new QListWidget(&dialog);
  list->setObjectName("LWhistory");
  std::vector<const ecu::HistoryEntry*> shown;
  for (const ecu::HistoryEntry& e : entries) {
    if (e.state != ecu::HistoryState::Ready) continue;
    shown.push_back(&e);
    list->addItem(QString::fromStdString(EntryLabel(e)));
  }
  if (!shown.empty()) list->setCurrentRow(0);
  auto* ok = new QPushButton("Compare", &dialog);
  ok->setObjectName("CBok");
  ok->setEnabled(!shown.empty());
  auto* cancel = new QPushButton("Cancel", &dialog);
  cancel->setObjectName("CBcancel");
  QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
  QObject::connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);
  QObject::connect(list, &QListWidget::itemDoubleClicked, &dialog, &QDialog::accept);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(list);
  auto* row = new QHBoxLayout;
  row->addStretch();
  row->addWidget(ok);
  row->addWidget(cancel);
  layout->addLayout(row);
  dialog.resize(520, 360);
  if (dialog.exec() != QDialog::Accepted || list->currentRow() < 0) return nullptr;
  return shown[static_cast<size_t>(list->currentRow())];
}

}  // namespace

MapCompareUi::MapCompareUi(Mp1Page& page, QMenu* menu) : page_(page) {
  menu->addSeparator();
  auto action = [&](const char* text, auto slot) {
    QAction* a = menu->addAction(QString::fromLatin1(text));
    connect(a, &QAction::triggered, this, slot);
    return a;
  };
  actCompare_ = action("Compare...", [this] {
    if (!shell::CheckfBusy()) Compare();
  });
  actTake_ = action("Take from comparison", [this] {
    if (!shell::CheckfBusy()) Take();
  });
  actTakeAll_ = action("Take whole map from comparison", [this] {
    if (!shell::CheckfBusy()) TakeWholeMap();
  });
  actDiff_ = action("Differences...", [this] {
    if (!shell::CheckfBusy()) ShowDifferences();
  });
  actOff_ = action("Compare off", [this] { CompareOff(); });
  page_.MatrixModel()->comparedMark = [this](int row, int col) { return cmp_.Differs(row, col); };
  Enable();
}

void MapCompareUi::Enable() {
  for (QAction* a : {actTake_, actTakeAll_, actDiff_, actOff_}) a->setEnabled(cmp_.Active());
}

void MapCompareUi::Compare() {
  switch (AskSource(page_.Widget())) {
    case 1: {
      com::FileDialog dialog;
      dialog.title = "Compare with ECU mapping data";
      dialog.proposal = "*.emd";
      dialog.extension = "emd";
      std::string path;
      if (com::Ui().FileSelectPopup(dialog, path) == com::FileSelect::Existing) CompareWithFile(path);
      break;
    }
    case 2: {
      const std::vector<ecu::HistoryEntry> entries = ecu::ReadHistory(ecu::kMapType);
      if (const ecu::HistoryEntry* e = AskEntry(page_.Widget(), entries)) CompareWithEntry(*e);
      break;
    }
    case 3:
      CompareWithEcu();
      break;
    default:
      break;
  }
}

bool MapCompareUi::Use(std::vector<uint8_t> block, const std::string& label) {
  page_.GatherMp1Panel(true);
  if (!cmp_.Set(std::move(block), label)) return false;
  Refresh();
  return true;
}

bool MapCompareUi::CompareWithFile(const std::string& path) {
  ecu::DataFile file;
  std::string error;
  if (!ecu::ReadDataFile(path, &file, &error)) {
    com::Ui().MessagePopup("Compare", error);
    return false;
  }
  if (file.type != ecu::kMapType) {
    com::Ui().MessagePopup("Compare", path + ": a configuration file, not a mapping file");
    return false;
  }
  return Use(std::move(file.bytes), FileName(path));
}

bool MapCompareUi::CompareWithEntry(const ecu::HistoryEntry& entry) {
  std::vector<uint8_t> bytes;
  std::string error;
  if (entry.type != ecu::kMapType || !ecu::ReadHistoryBlock(entry, &bytes, &error)) {
    com::Ui().MessagePopup("Compare", error.empty() ? entry.path + ": not a mapping" : error);
    return false;
  }
  return Use(std::move(bytes), EntryLabel(entry));
}

bool MapCompareUi::CompareWithEcu() {
  if (!com::isComOpen) {
    com::Ui().MessagePopup("Compare", "Connect to the ECU first.");
    return false;
  }
  std::vector<uint8_t> block(ecu::kMapSize);
  std::string name;
  const uint8_t read = ecu::RequestEcuCopy(ecu::kAreaMapRead, block.data(), &name);
  com::Ui().SetProgressBar(0, 0);
  if (!read) {
    com::Ui().MessagePopup("Compare", shell::szGenericError);
    return false;
  }
  return Use(std::move(block), "ECU \"" + name + "\"");
}

void MapCompareUi::CompareOff() {
  cmp_.Clear();
  Refresh();
  page_.Status("Compare off.");
}

void MapCompareUi::Take() {
  const CellRect sel = page_.SelectedCells();
  if (!cmp_.Active()) return;
  page_.BeginEdit();
  const uint8_t taken = cmp_.Take(sel);
  page_.History().Flush();
  page_.Rescatter();
  const int n = sel.height * sel.width;
  page_.Status(!taken   ? QString("Nothing taken from the comparison.")
               : n == 1 ? QString("1 cell taken from the comparison (one undo step).")
                        : QString("%1 cells taken from the comparison (one undo step).").arg(n));
}

void MapCompareUi::TakeWholeMap() {
  if (!cmp_.Active()) return;
  page_.BeginEdit();
  const uint8_t taken = cmp_.TakeWholeMap();
  page_.History().Flush();
  page_.Rescatter();
  page_.Status(taken ? QString("The whole map taken from the comparison (one undo step).")
                     : QString("Nothing taken from the comparison."));
}

void MapCompareUi::ShowDifferences() {
  if (!cmp_.Active()) return;
  page_.GatherMp1Panel(true);
  auto* window = new shell::DiffWindow(ecu::kMapType, cmp_.Block(), ecu::ecuMapData,
                                       QString::fromStdString("Comparison (" + cmp_.Label() + ")"), "Working",
                                       page_.Widget());
  window->setAttribute(Qt::WA_DeleteOnClose);
  window->onActivated = [this, a = std::vector<uint8_t>(cmp_.Block(), cmp_.Block() + ecu::kMapSize)](
                            int row) { ShowPlace(a.data(), row); };
  window->show();
}

bool MapCompareUi::ShowPlace(const uint8_t* comparison, int index) {
  CellPlace at;
  if (index < 0 || !LocateMapDifference(comparison, ecu::ecuMapData, static_cast<size_t>(index), &at))
    return false;
  if (at.map != idCurMap) page_.Form().TPselectMap->setCurrentIndex(at.map - 1);
  if (MapPlanes(at.map) > 1 && at.plane != idCurJcyl) page_.Form().CBcyl->click();
  if (at.col >= 0) {
    page_.SetActiveCell(at.row, at.col);
  } else {
    QTableView* y = page_.Form().TABbpy;
    y->setCurrentIndex(y->model()->index(at.row - 1, 0));
  }
  page_.Widget()->activateWindow();
  return at.map == idCurMap;
}

void MapCompareUi::Refresh() {
  Enable();
  page_.Rescatter();
  if (!cmp_.Active()) return;
  const int cells = cmp_.DifferingCells();
  page_.Status(QString::fromStdString("Comparing with " + cmp_.Label() + ": ") +
               (cells == 1 ? QString("1 cell of this map differs.")
                           : QString("%1 cells of this map differ.").arg(cells)));
}

void MapCompareUi::CellMoved() {
  if (!cmp_.Active()) return;
  const Mp1Page::Cell c = page_.ActiveCell();
  page_.Status(QString::fromStdString(cmp_.StatusText(c.row, c.col)));
}

}  // namespace maps
