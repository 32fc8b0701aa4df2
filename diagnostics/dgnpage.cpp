#include "diagnostics/dgnpage.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <array>

#include "config/bike.h"
#include "link/com.h"
#include "shell/connection.h"
#include "ui_diagnost.h"

namespace dgn {

namespace {

constexpr const char kHighlight[] =
    "QPushButton { background-color: rgb(255, 0, 0); color: white; font-weight: bold; }";
constexpr const char kLedOn[] =
    "QLabel { border: 1px solid #8a1010; border-radius: 3px; padding: 1px 4px; background: #ff3030; color: "
    "white; }";
constexpr const char kLedOff[] =
    "QLabel { border: 1px solid #8a8a8a; border-radius: 3px; padding: 1px 4px; background: #d8d8d8; }";
constexpr const char kSwitchStyle[] =
    "QPushButton { text-align: left; padding-left: 6px; }"
    "QPushButton:checked { background-color: #3ad03a; color: black; }";

// The items the lock guards: the totals and the limits.
constexpr const char* kLocked[] = {"CBonTimeReset",    "CBoverRpmReset", "CBoverThrottleReset",
                                   "CBdistReset",      "NUMrpmLimit",    "NUMthrottleLimit",
                                   "NUMvelWheelLimit", "NUMdistLimit"};

// Style sheets are set only when they change: each change restyles the widget.
void SetStyle(QWidget* w, const QString& style) {
  if (w->styleSheet() != style) w->setStyleSheet(style);
}

}  // namespace

DgnPage::DgnPage(QWidget* parent) : widget_(new QWidget(parent)), form_(std::make_unique<Ui::DiagPanel>()) {}

DgnPage::~DgnPage() = default;

uint8_t DgnPage::Init() {
  form_->setupUi(widget_);
  form_->NUMsizeofDiagStatus->setText(QString::number(kStatusSize));
  form_->NUMsizeofDiagParam->setText(QString::number(kParamSize));
  normalResetStyle_ = form_->CBfarfErrReset->styleSheet();
  form_->STRdgnPwd->setMaxLength(8);
  form_->STRdgnPwd->setEchoMode(QLineEdit::Password);

  for (const StatusField& f : StatusFields())
    if (!widget_->findChild<QWidget*>(QString::fromLatin1(f.control))) return 0;
  for (const ResetButton& r : ResetButtons()) {
    auto* button = widget_->findChild<QPushButton*>(QString::fromLatin1(r.control));
    if (!button) return 0;
    const uint8_t item = r.item;
    QObject::connect(button, &QPushButton::clicked, widget_, [this, item] {
      if (!shell::CheckfBusy()) model_.SetResetItem(item);
    });
  }
  for (const ParamField& f : ParamFields()) {
    auto* edit = widget_->findChild<QLineEdit*>(QString::fromLatin1(f.control));
    if (!edit) return 0;
    if (f.writable)
      QObject::connect(edit, &QLineEdit::editingFinished, widget_, [this, edit] { OnValueEdited(edit); });
  }
  for (const Sensor& s : Sensors()) {
    auto* toggle = widget_->findChild<QPushButton*>(QStringLiteral("TOGB") + QLatin1String(s.name));
    if (!toggle) return 0;
    toggle->setStyleSheet(QString::fromLatin1(kSwitchStyle));
    const Sensor* sensor = &s;
    QObject::connect(toggle, &QPushButton::clicked, widget_, [this, sensor] {
      model_.ToggleSwitch(*sensor);
      ShowDiagnostics();
    });
  }
  QObject::connect(form_->CBdgnPwdConfirm, &QPushButton::clicked, widget_, [this] { OnPassword(true); });
  QObject::connect(form_->CBdgnPwdSet, &QPushButton::clicked, widget_, [this] { OnPassword(false); });
  QObject::connect(form_->CBdefaultParms, &QPushButton::clicked, widget_, [this] { OnDefaults(); });
  model_.ClearRecords();
  ShowDiagnostics();
  ShowPasswordState();
  DimByLock();
  return 1;
}

uint8_t DgnPage::Timer() {
  if (!entered_) {
    // The page came to the front: the password field starts empty, and the
    // parameters are read again (they may have changed elsewhere).
    entered_ = true;
    form_->STRdgnPwd->clear();
    if (model_.pwdRead) model_.WriteDiagParam(0, 0, 0);
  }
  const uint8_t result = model_.DgnTimer();
  DimByLock();
  ShowPasswordState();
  if (model_.shown != drawn_) ShowDiagnostics();
  return result;
}

void DgnPage::DimByLock() {
  const bool unlocked = model_.fDgnUnlocked != 0;
  for (const char* name : kLocked)
    if (auto* w = widget_->findChild<QWidget*>(QString::fromLatin1(name))) w->setEnabled(unlocked);
  form_->CBdgnPwdSet->setEnabled(unlocked);
  form_->CBdgnPwdConfirm->setEnabled(com::isComOpen != 0);
  form_->CBdgnPwdConfirm->setVisible(!unlocked);
}

void DgnPage::ShowPasswordState() {
  form_->CBdgnPwdSet->setText(QString::fromStdString(model_.pwdSetLabel));
  form_->STRdgnPwd->setEnabled(model_.pwdFieldEnabled);
  if (model_.pwdFieldFocus) {
    model_.pwdFieldFocus = false;
    form_->STRdgnPwd->setFocus();
  }
}

void DgnPage::ShowDiagnostics() {
  // Layout for the bike's equipment.
  using namespace config;
  auto show = [this](std::initializer_list<const char*> names, bool visible) {
    for (const char* n : names)
      if (auto* w = widget_->findChild<QWidget*>(QString::fromLatin1(n))) w->setVisible(visible);
  };
  show({"NUMcntPoilLow", "CBpoilLowCntReset", "LBcntPoilLow"}, fOilPress);
  show({"NUMcntFuelRes", "CBfuelResCntReset", "LBcntFuelRes"}, fFuelControl);
  show({"NUMvelWheelErr", "CBvelWheelErrReset", "LBvelWheelErr", "NUMdistWheel", "CBdistReset", "LBdistWheel",
        "NUMdistWheelUser", "CBdistUserReset", "LBdistWheelUser", "NUMdistLimit", "LBdistLimit",
        "NUMvelWheelLimit", "LBvelWheelLimit", "LEDdistErrs", "LBdistErrs"},
       fSpeedIn);
  show({"NUMdtcErr", "CBdtcErrReset", "LBdtcErr", "TMdtcMsg1", "TMdtcMsg2", "TMdtcMsg3"}, fDtc);
  const std::array<bool, 9> visible{true,
                                    !fTempIsOil,
                                    fTempIsOil != 0,
                                    fAirIsAnalog != 0,
                                    fFuelControl != 0,
                                    fAirIsAnalog != 0,
                                    fNbego1 != 0,
                                    fNbego2 != 0,
                                    true};
  // The visible rows are stacked at the pitch of the page's height (never closer than
  // a row needs), from the top of the row area.
  const int height = std::max(widget_->height(), 538);
  const std::array<int, 9> tops = SensorRowTops(height, visible);
  const int top = height * 352 / 538, pitch = std::max(height * 19 / 538, 1);
  const QSize rowSize = form_->ROWfarf->sizeHint();
  const int step = std::max(pitch, rowSize.height() + 2);
  for (int i = 0; i < 9; ++i) {
    auto* row = widget_->findChild<QWidget*>(QStringLiteral("ROW") + QLatin1String(Sensors()[i].name));
    row->setVisible(visible[i]);
    if (visible[i]) row->setGeometry(0, (tops[i] - top) / pitch * step, rowSize.width(), rowSize.height());
  }
  form_->FRsensorRows->setMinimumHeight(9 * step);

  // The records.
  for (const StatusField& f : StatusFields()) {
    if (f.show == StatusShow::Led) {
      const bool on = model_.StatusValue(f) != 0;
      SetStyle(form_->LEDdistErrs, QString::fromLatin1(on ? kLedOn : kLedOff));
      continue;
    }
    auto* edit = widget_->findChild<QLineEdit*>(QString::fromLatin1(f.control));
    const QString text = QString::fromStdString(model_.StatusText(f));
    if (edit->text() != text) edit->setText(text);
  }
  for (const ParamField& f : ParamFields()) {
    auto* edit = widget_->findChild<QLineEdit*>(QString::fromLatin1(f.control));
    if (f.writable && edit->hasFocus() && edit->isModified()) continue;  // being typed into
    const QString text = QString::fromStdString(model_.ParamText(f));
    if (edit->text() != text) edit->setText(text);
    edit->setModified(false);
  }
  for (const Sensor& s : Sensors()) {
    const QString name = QLatin1String(s.name);
    auto* reset = widget_->findChild<QPushButton*>(QStringLiteral("CB") + name + QStringLiteral("ErrReset"));
    SetStyle(reset, model_.ResetHighlighted(s) ? QString::fromLatin1(kHighlight) : normalResetStyle_);
    auto* toggle = widget_->findChild<QPushButton*>(QStringLiteral("TOGB") + name);
    QSignalBlocker block(toggle);
    toggle->setChecked(!model_.SwitchBit(s));
    for (const char* suffix : {"MaxErr", "ADmin", "Min", "ADmax", "Max", "ADrecov", "Recov"})
      widget_->findChild<QWidget*>(QStringLiteral("NUM") + name + QLatin1String(suffix))
          ->setEnabled(!model_.SwitchBit(s));
  }
  drawn_ = model_.shown;
}

void DgnPage::OnValueEdited(QLineEdit* edit) {
  if (!edit->isModified()) return;  // focus left without a change
  edit->setModified(false);
  const ParamField* f = FindParamField(edit->objectName().toStdString());
  bool ok = false;
  const double value = edit->text().trimmed().replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok);
  if (f && ok) model_.SetValue(*f, value);
  ShowDiagnostics();  // the ECU's answer, or the old value again
}

void DgnPage::OnPassword(bool logIn) {
  const std::string text = form_->STRdgnPwd->text().toStdString();
  form_->STRdgnPwd->clear();
  if (logIn)
    model_.LogIn(text);
  else
    model_.ChangePassword(text);
  ShowPasswordState();
  DimByLock();
}

void DgnPage::OnDefaults() {
  // Dimmed while the defaults are written, once the user said yes.
  model_.DefaultParms([this](bool running) { form_->CBdefaultParms->setEnabled(!running); });
  ShowDiagnostics();
}

}  // namespace dgn
