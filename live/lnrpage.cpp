#include "live/lnrpage.h"

#include <QBrush>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLocale>
#include <QPalette>
#include <QPushButton>
#include <QTableWidget>
#include <array>
#include <cmath>
#include <cstring>

#include "config/bike.h"
#include "config/cfgpanel.h"
#include "ecudata/fieldkeep.h"
#include "ecudata/image.h"
#include "link/com.h"
#include "link/userio.h"
#include "params/fieldbinding.h"
#include "shell/connection.h"
#include "ui_lineariz.h"
#include "ui_lnrgas.h"

namespace live {

namespace {

constexpr int kFarfHeaderRow = 0, kFarfInputRow = 1, kFarfOutputRow = 2;
constexpr int kColumnWidth = 58;

void Error() {
  com::Ui().MessagePopup(szThrottleTitle, shell::szGenericError);
}

// The field of a row of TABfarf (its inputs or its outputs).
const ecu::Field* FarfField(int row) {
  for (const ecu::Field& f : LnrFields())
    if (std::strcmp(f.control, "TABfarf") == 0 && f.row == row) return &f;
  return nullptr;
}

}  // namespace

LnrPage::LnrPage(QWidget* parent)
    : parent_(parent), form_(std::make_unique<Ui::LnrPanel>()), gas_(std::make_unique<Ui::LnrGasDialog>()) {}
LnrPage::~LnrPage() = default;

uint8_t LnrPage::Init() {
  widget_ = new QWidget(parent_);
  form_->setupUi(widget_);
  dialog_ = new QDialog(widget_);
  gas_->setupUi(dialog_);
  dialog_->setModal(true);
  binding_ = std::make_unique<params::FieldBinding>(widget_, LnrFields());
  if (!binding_->Setup()) return 0;

  QTableWidget* farf = form_->TABfarf;
  if (farf->rowCount() != 3) return 0;
  // The header row: a double click reads the throttle sensor into that column.
  const QColor shade = farf->palette().color(QPalette::AlternateBase);
  for (int c = 0; c < kLnrPoints; ++c) {
    auto* head = new QTableWidgetItem(QStringLiteral("read"));
    head->setFlags(Qt::ItemIsEnabled);
    head->setTextAlignment(Qt::AlignCenter);
    head->setForeground(farf->palette().color(QPalette::PlaceholderText));
    head->setToolTip(QStringLiteral("Double-click to read the throttle sensor into column %1").arg(c + 1));
    farf->setItem(kFarfHeaderRow, c, head);
    // The throttle outputs are fixed breakpoints: shown, not edited.
    if (QTableWidgetItem* out = farf->item(kFarfOutputRow, c)) {
      out->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
      out->setBackground(shade);
      out->setToolTip(QStringLiteral("Fixed throttle breakpoint"));
    }
  }
  for (const LnrTable& t : LnrTables()) {
    auto* table = widget_->findChild<QTableWidget*>(QString::fromLatin1(t.control));
    if (!table) return 0;
    table->setVerticalHeaderItem(InputRow(t), new QTableWidgetItem(QStringLiteral("Input (count)")));
    table->setVerticalHeaderItem(OutputRow(t), new QTableWidgetItem(QStringLiteral("Output")));
    if (QWidget* box = table->parentWidget()) box->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  }
  farf->setVerticalHeaderItem(kFarfHeaderRow, new QTableWidgetItem(QStringLiteral("Read")));
  farf->setVerticalHeaderItem(kFarfOutputRow, new QTableWidgetItem(QStringLiteral("Output (%)")));

  QObject::connect(farf, &QTableWidget::cellDoubleClicked, widget_, [this](int row, int column) {
    if (row == kFarfHeaderRow) ReadFarfColumn(column);
  });
  QObject::connect(form_->CBinterpFarf, &QPushButton::clicked, widget_, [this] { InterpolateFarf(); });
  QObject::connect(form_->CBcalibrationFarf, &QPushButton::clicked, widget_, [this] { ConfigFarf(); });
  QObject::connect(gas_->CBset, &QPushButton::clicked, dialog_, [this] { SetAutoFarf(true); });
  QObject::connect(gas_->CBcancel, &QPushButton::clicked, dialog_, [this] { SetAutoFarf(false); });
  form_->CBcalibrationFarf->setEnabled(com::isComOpen != 0);

  InitLnrData(ecu::ecuParData);
  return 1;
}

void LnrPage::LayoutLnrTables() {
  // The tables stack in page order; a hidden one takes no room.
  uint8_t group = 1;
  for (const LnrTable& t : LnrTables()) {
    const bool shown = IsLnrTableShown(t);
    binding_->SetGroupVisible(group++, shown);
    if (auto* box = widget_->findChild<QWidget*>(QStringLiteral("GRP") + QString::fromLatin1(t.control)))
      box->setVisible(shown);
    if (auto* table = widget_->findChild<QTableWidget*>(QString::fromLatin1(t.control)))
      config::FitTable(table, kColumnWidth);
  }
  form_->CBcalibrationFarf->setEnabled(com::isComOpen != 0);
  const bool reserve = IsFuelReserveShown();
  binding_->SetGroupVisible(kFuelReserveGroup, reserve);
  form_->GRPpercFuelReserve->setVisible(reserve);
}

uint8_t LnrPage::Scatter() {
  LayoutLnrTables();
  return binding_->Scatter(ecu::ecuParData);
}

uint8_t LnrPage::Gather() {
  return GatherWith(nullptr);
}

uint8_t LnrPage::GatherWith(const std::array<int16_t, kLnrPoints>* throttleInputs) {
  // Gathered into a copy: a table that cannot be read leaves the block as it was.
  std::array<uint8_t, ecu::kParSize> block;
  std::memcpy(block.data(), ecu::ecuParData, block.size());
  // What nobody edited keeps its bytes (the binding's rule); only an edited table gets
  // its fixed throttle outputs and its sorting.
  if (!binding_->Gather(block.data())) return 0;
  if (throttleInputs) PutThrottleInputs(block.data(), *throttleInputs);
  FixThrottleOutputs(block.data(), ecu::ecuParData);
  const bool sorted = SortLinearisations(block.data(), ecu::ecuParData);
  std::memcpy(ecu::ecuParData, block.data(), block.size());
  return sorted ? Scatter() : 1;
}

uint8_t LnrPage::Timer() {
  form_->CBcalibrationFarf->setEnabled(com::isComOpen != 0);
  return shell::Ping();
}

bool LnrPage::FarfCell(int row, int column, double& value) const {
  const QTableWidgetItem* item = form_->TABfarf->item(row, column);
  if (!item) return false;
  bool ok = false;
  value = QLocale::c().toDouble(item->text().trimmed(), &ok);
  return ok;
}

uint8_t LnrPage::SetFarfCell(int row, int column, double value) {
  const ecu::Field* field = FarfField(row);
  QTableWidgetItem* item = form_->TABfarf->item(row, column);
  if (!field || !item) return 0;
  item->setText(params::CellText(*field, ecu::ClampShown(*field, value)));
  return 1;
}

void LnrPage::InterpolateFarf() {
  if (shell::CheckfBusy()) return;
  for (int row : {kFarfInputRow, kFarfOutputRow}) {
    double first = 0, last = 0;
    if (!FarfCell(row, 0, first) || !FarfCell(row, kLnrPoints - 1, last)) continue;
    const auto values = InterpolateRow(first, last);
    for (int c = 1; c < kLnrPoints - 1; ++c) SetFarfCell(row, c, values[c]);
  }
}

void LnrPage::ReadFarfColumn(int column) {
  if (shell::CheckfBusy() || column < 0 || column >= kLnrPoints) return;
  if (!com::isComOpen) {
    com::Ui().MessagePopup(szThrottleTitle, szCommError);
    return;
  }
  int count = 0;
  if (!ReadThrottleCount(count) || !SetFarfCell(kFarfInputRow, column, count)) Error();
}

void LnrPage::ConfigFarf() {
  if (shell::CheckfBusy()) return;
  throttle_.Begin();
  closeFarf_ = false;
  gas_->TMsetFarf->setText(QString::fromLatin1(throttle_.Instruction()));
  dialog_->exec();  // runs until SetAutoFarf closes it (or the close box / Esc, as Cancel)
  closeFarf_ = true;
}

void LnrPage::SetAutoFarf(bool set) {
  if (shell::CheckfBusy()) return;
  if (!set) {
    closeFarf_ = true;
    dialog_->reject();
    return;
  }
  const int step = throttle_.Step();
  const int column = step == 0 ? 0 : kLnrPoints - 1;
  double current = 0;
  if (!FarfCell(kFarfInputRow, column, current)) {
    Error();
    return;
  }
  switch (throttle_.Set(static_cast<int>(std::lround(current)))) {
    case ThrottleSetting::Outcome::Stay:
      if (throttle_.Step() != step) {
        if (!SetFarfCell(kFarfInputRow, 0, throttle_.Idle())) Error();
        gas_->TMsetFarf->setText(QString::fromLatin1(throttle_.Instruction()));
      }
      return;
    case ThrottleSetting::Outcome::Close:
      closeFarf_ = true;
      dialog_->reject();
      return;
    case ThrottleSetting::Outcome::Finished:
      break;
  }
  if (!SetFarfCell(kFarfInputRow, kLnrPoints - 1, throttle_.Full())) Error();
  closeFarf_ = true;
  dialog_->accept();
  // What the page shows goes into the block with the new inputs, so the scatter below
  // loses no edit and the fixed outputs and the sorting see the inputs as they now are.
  const auto inputs = throttle_.Inputs();
  if (!GatherWith(&inputs) || !Scatter()) Error();
}

}  // namespace live
