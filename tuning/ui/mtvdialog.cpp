#include "tuning/ui/mtvdialog.h"

#include <QFont>
#include <QMoveEvent>
#include <QTableWidget>

#include "link/userio.h"
#include "shell/connection.h"
#include "tuning/ui/mp2page.h"
#include "ui_mp2panel.h"
#include "ui_tunemapval.h"

namespace tuning {

// Where the dialog was last shown and whether it was maximised.
QPoint posMtvPanel;
bool posMtvPanelSet = false;
bool zoomMtvPanel = false;

MtvDialog::MtvDialog(Mp2Page* page, QWidget* parent)
    : QDialog(parent), page_(page), form_(std::make_unique<Ui::TuneMapVal>()) {
  form_->setupUi(this);
  setWindowFlag(Qt::WindowMaximizeButtonHint, true);
  connect(form_->NSval, &QDoubleSpinBox::valueChanged, this, [this](double) { Preview(); });
  form_->NSval->setKeyboardTracking(true);
  const struct {
    QRadioButton* button;
    int operation;
  } ops[] = {{form_->RBset, kOpSet}, {form_->RBadd, kOpAdd}, {form_->RBpercent, kOpPercent}};
  for (const auto& o : ops)
    connect(o.button, &QRadioButton::clicked, this, [this, o] {
      RememberPlace();
      Prepare(o.operation);
      page_->ScatterMp2Panel();  // no preview left over
    });
  connect(form_->CBapply, &QPushButton::clicked, this, [this] { Apply(); });
  connect(form_->CBcancel, &QPushButton::clicked, this, [this] { reject(); });
}

MtvDialog::~MtvDialog() = default;

uint8_t MtvDialog::Run(int map, const TuneSelection& selection) {
  map_ = map;
  selection_ = selection;
  result_ = 1;
  setWindowTitle(QStringLiteral("Map Tuning"));
  form_->TOGBall->setChecked(false);
  const int cells = (selection.r1 - selection.r0 + 1) * (selection.c1 - selection.c0 + 1);
  form_->TMselection->setText(
      QStringLiteral("%1 cell(s) of the %2")
          .arg(cells)
          .arg(map == kMapAdv ? QStringLiteral("advance map")
                              : QStringLiteral("injection map of cylinder %1").arg(map == kMapInj2 ? 2 : 1)));
  Prepare(DefaultTuneOperation(map));
  if (posMtvPanelSet) move(posMtvPanel);
  setWindowState(zoomMtvPanel ? Qt::WindowMaximized : Qt::WindowNoState);
  form_->NSval->setFocus();
  form_->NSval->selectAll();
  exec();
  return result_;
}

void MtvDialog::Prepare(int operation) {
  operation_ = operation;
  const TuneDialogSetup d = PrepareTuneDialog(map_, operation, selection_);
  preparing_ = true;
  form_->RBset->setChecked(operation == kOpSet);
  form_->RBadd->setChecked(operation == kOpAdd);
  form_->RBpercent->setChecked(operation == kOpPercent);
  form_->NSval->setDecimals(d.decimals);
  form_->NSval->setRange(d.min, d.max);
  form_->NSval->setSingleStep(d.step);
  form_->NSval->setValue(d.start);
  form_->TMunit->setText(QString::fromStdString(d.label));
  form_->TOGBall->setVisible(d.allVisible);
  preparing_ = false;
}

void MtvDialog::Preview() {
  RememberPlace();
  if (preparing_ || shell::CheckfBusy()) return;
  QTableWidget* m = page_->Form().TABmatrix;
  const double v = form_->NSval->value();
  const int decimals = IsInjectionMap(map_) ? 3 : 1;
  for (int r = selection_.r0; r <= selection_.r1; ++r)
    for (int c = selection_.c0; c <= selection_.c1; ++c) {
      QTableWidgetItem* item = m->item(r + 1, c);
      if (!item) continue;
      const double shown = TuneResult(map_, operation_, v, TuneCell(map_, r, c) / TuneCellScale(map_));
      item->setText(QString::number(shown, 'f', decimals));
      QFont f = item->font();
      f.setBold(true);
      item->setFont(f);
    }
}

void MtvDialog::Apply() {
  RememberPlace();
  if (shell::CheckfBusy()) return;
  const bool all = form_->TOGBall->isVisible() && form_->TOGBall->isChecked();
  const std::vector<TuneRow> rows = TuneDialogRows(map_, operation_, form_->NSval->value(), selection_, all);
  com::UserIo& ui = com::Ui();
  const int cursor = ui.GetMouseCursor();
  ui.SetMouseCursor(com::kCursorWait);
  bool ok = true;
  for (const TuneRow& row : rows)
    if (!SendTuneMapRow(row.map, row.row, row.values)) {
      ok = false;
      break;
    }
  ui.SetMouseCursor(cursor);
  if (ok) {
    page_->ScatterMp2Panel();
  } else {
    result_ = 0;
    ui.MessagePopup("Map Tuning", shell::szGenericError);
  }
  QDialog::accept();
}

void MtvDialog::reject() {
  RememberPlace();
  page_->ScatterMp2Panel();
  QDialog::reject();
}

void MtvDialog::RememberPlace() {
  zoomMtvPanel = isMaximized();
  if (windowState() == Qt::WindowNoState && isVisible()) {
    posMtvPanel = pos();
    posMtvPanelSet = true;
  }
}

void MtvDialog::moveEvent(QMoveEvent* event) {
  QDialog::moveEvent(event);
  RememberPlace();
}

void MtvDialog::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange) RememberPlace();
}

}  // namespace tuning
