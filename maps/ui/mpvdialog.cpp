#include "maps/ui/mpvdialog.h"

#include <QMoveEvent>

#include "link/userio.h"
#include "maps/ui/mp1page.h"
#include "shell/connection.h"
#include "ui_mpvdialog.h"

namespace maps {

QPoint posMpvPanel;
bool posMpvPanelSet = false;
bool zoomMpvPanel = false;

namespace {
constexpr ValueMode kModes[] = {ValueMode::Set,    ValueMode::Add,       ValueMode::PercAdd,
                                ValueMode::Interp, ValueMode::InterpRow, ValueMode::InterpCol,
                                ValueMode::Reset,  ValueMode::Copy};
}

MpvDialog::MpvDialog(Mp1Page* editor, QWidget* parent)
    : QDialog(parent), editor_(editor), form_(std::make_unique<Ui::MpvDialog>()) {
  form_->setupUi(this);
  setWindowFlag(Qt::WindowMaximizeButtonHint, true);
  connect(form_->NSval, &QDoubleSpinBox::valueChanged, this, [this](double) { ValueChanged(); });
  for (ValueMode mode : kModes)
    connect(Button(mode), &QRadioButton::clicked, this, [this, mode] { ModeClicked(mode); });
  connect(form_->CBapply, &QPushButton::clicked, this, [this] { Apply(); });
  connect(form_->CBcancel, &QPushButton::clicked, this, [this] { reject(); });
}

MpvDialog::~MpvDialog() = default;

QRadioButton* MpvDialog::Button(ValueMode mode) const {
  switch (mode) {
    case ValueMode::Set:
      return form_->RBset;
    case ValueMode::Add:
      return form_->RBadd;
    case ValueMode::PercAdd:
      return form_->RBpercAdd;
    case ValueMode::Interp:
      return form_->RBinterp;
    case ValueMode::InterpRow:
      return form_->RBinterpRow;
    case ValueMode::InterpCol:
      return form_->RBinterpCol;
    case ValueMode::Reset:
      return form_->RBreset;
    case ValueMode::Copy:
      return form_->RBcopy;
  }
  return form_->RBpercAdd;
}

uint8_t MpvDialog::Run(const CellRect& selection) {
  selection_ = selection;
  result_ = 1;
  form_->TOGBall->setChecked(false);
  form_->TMselection->setText(SelectionText());
  Prepare(DefaultValueMode(idCurMap));
  if (posMpvPanelSet) move(posMpvPanel);
  setWindowState(zoomMpvPanel ? Qt::WindowMaximized : Qt::WindowNoState);
  form_->NSval->setFocus();
  form_->NSval->selectAll();
  exec();
  return result_;
}

// What the operation will reach, in the map's own terms:
// "6 cells of Injection: Throttle [°] 12.5 to 20.0, RPM 5500 to 7000".
QString MpvDialog::SelectionText() const {
  MapShape s;
  if (!CurrentShape(&s) || selection_.Empty()) return {};
  const int cells = selection_.height * selection_.width;
  auto range = [](double a, double b, int prec) {
    return a == b ? QString::number(a, 'f', prec)
                  : QString("%1 to %2").arg(QString::number(a, 'f', prec), QString::number(b, 'f', prec));
  };
  const QString rows = range(YValue(selection_.top - 1), YValue(selection_.Bottom() - 1), s.precY);
  const QString cols = range(TableValue(0, selection_.left), TableValue(0, selection_.Right()), s.precX);
  return QString("%1 %2 of %3: %4 %5, %6 %7")
      .arg(cells)
      .arg(cells == 1 ? "cell" : "cells")
      .arg(QString::fromUtf8(MapName(s.id)))
      .arg(QString::fromUtf8(GetCurMapYlabel()).trimmed(), rows,
           QString::fromUtf8(GetCurMapXlabel()).trimmed(), cols);
}

void MpvDialog::Prepare(ValueMode requested) {
  const ValueDialogSetup s = PrepareValueDialog(requested, selection_);
  mode_ = s.mode;
  form_->RBcopy->setVisible(s.copyAvailable);
  form_->TOGBall->setVisible(s.copyAvailable);
  for (ValueMode mode : kModes) {
    QRadioButton* b = Button(mode);
    b->setAutoExclusive(false);
    b->setChecked(mode == mode_);
    b->setAutoExclusive(true);
  }
  {
    const QSignalBlocker block(form_->NSval);
    form_->NSval->setDecimals(s.decimals);
    form_->NSval->setSingleStep(s.step);
    form_->NSval->setRange(s.min, s.max);
    form_->NSval->setValue(s.start);
  }
  form_->LBval->setText(QString::fromStdString(s.label));
  form_->TOGBall->setText(QString::fromStdString(s.toggleLabel));
  form_->NSval->setEnabled(!s.numberDimmed);
  form_->LBval->setEnabled(!s.numberDimmed);
  form_->TOGBall->setEnabled(!s.numberDimmed);
  form_->RBinterp->setEnabled(s.interpEnabled);
  form_->RBinterpRow->setEnabled(s.interpRowEnabled);
  form_->RBinterpCol->setEnabled(s.interpColEnabled);
}

void MpvDialog::RememberPlace() {
  zoomMpvPanel = isMaximized();
  if (windowState() == Qt::WindowNoState && isVisible()) {
    posMpvPanel = pos();
    posMpvPanelSet = true;
  }
}

void MpvDialog::moveEvent(QMoveEvent* event) {
  QDialog::moveEvent(event);
  RememberPlace();
}

void MpvDialog::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange) RememberPlace();
}

void MpvDialog::ValueChanged() {
  if (shell::CheckfBusy()) return;
  if (mode_ != ValueMode::Set && mode_ != ValueMode::Add && mode_ != ValueMode::PercAdd) {
    com::Ui().MessagePopup("Edit Map", shell::szGenericError);
    return;
  }
  editor_->Preview(selection_, PreviewValues(mode_, form_->NSval->value(), selection_));
}

void MpvDialog::ModeClicked(ValueMode mode) {
  if (shell::CheckfBusy()) return;
  Prepare(mode);
  editor_->Rescatter();  // drops any preview
}

void MpvDialog::Apply() {
  if (shell::CheckfBusy()) return;
  RememberPlace();
  const double v = form_->NSval->value();
  editor_->BeginEdit();
  uint8_t ok = 0;
  switch (mode_) {
    case ValueMode::Set:
    case ValueMode::Add:
    case ValueMode::PercAdd:
      ok = ApplyValue(mode_, v, selection_, form_->TOGBall->isVisible() && form_->TOGBall->isChecked());
      break;
    case ValueMode::Interp:
    case ValueMode::InterpRow:
    case ValueMode::InterpCol:
      ok = InterpolateSelection(mode_, selection_);
      break;
    case ValueMode::Reset:
      ok = RestoreSelection(selection_);
      break;
    case ValueMode::Copy:
      ok = CopyToAllCylinders(selection_);
      break;
  }
  if (!ok) {
    com::Ui().MessagePopup("Edit Map", shell::szGenericError);
    return;  // the dialog stays open
  }
  result_ = editor_->Rescatter();
  if (!result_) com::Ui().MessagePopup("Edit Map", shell::szGenericError);
  accept();
}

void MpvDialog::reject() {
  RememberPlace();
  editor_->Rescatter();
  QDialog::reject();
}

}  // namespace maps
