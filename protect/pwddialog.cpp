#include "protect/pwddialog.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPushButton>

#include "shell/connection.h"
#include "tuning/map2.h"
#include "ui_dtcpassword.h"
#include "ui_password.h"

namespace protect {

namespace {

// Width of each hot spot at the ends of the logo, pixels.
constexpr int kHotSpot = 48;

// Double right-clicks on the logo's two ends.
class LogoHotSpots : public QObject {
 public:
  LogoHotSpots(QWidget* logo, PwdDialog* pwd, DtcPwdDialog* dtc)
      : QObject(logo), logo_(logo), pwd_(pwd), dtc_(dtc) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != logo_ || event->type() != QEvent::MouseButtonDblClick) return false;
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() != Qt::RightButton || shell::CheckfBusy()) return false;
    const int x = static_cast<int>(mouse->position().x());
    if (x < kHotSpot) {
      dtc_->Open();
      return true;
    }
    if (x >= logo_->width() - kHotSpot) {
      pwd_->DlgProtection(0);
      return true;
    }
    return false;
  }

 private:
  QWidget* logo_;
  PwdDialog* pwd_;
  DtcPwdDialog* dtc_;
};

}  // namespace

PwdDialog::PwdDialog(QWidget* parent) : QDialog(parent), form_(std::make_unique<Ui::PwdPanel>()) {
  form_->setupUi(this);
  form_->STRpasswd->setMaxLength(kPasswordSize);
  form_->STRpasswd->setEchoMode(QLineEdit::Password);
  connect(form_->CBsetPwdA, &QPushButton::clicked, this, [this] { Button(0); });
  connect(form_->CBsetPwdB, &QPushButton::clicked, this, [this] { Button(1); });
  connect(form_->CBcancel, &QPushButton::clicked, this, [this] { Button(2); });
  model_.Init();
}

PwdDialog::~PwdDialog() = default;

void PwdDialog::Sync() {
  form_->CBsetPwdA->setText(QString::fromStdString(model_.captionA));
  form_->CBsetPwdB->setVisible(model_.visibleB);
  form_->CBsetPwdB->setEnabled(!model_.dimmedB);
  form_->TMpasswd->setText(QString::fromStdString(model_.fieldLabel));
  if (model_.focusField) {
    model_.focusField = false;
    form_->STRpasswd->setFocus();
  }
}

void PwdDialog::DlgProtection(int mode) {
  // As every main-panel command: a manual tuning session is ended first (the ECU may be
  // made to erase its configurations from here).
  if (shell::CheckfBusy() || !tuning::AbortManualTuning()) return;
  model_.Open(mode);
  form_->STRpasswd->clear();
  Sync();
  exec();
}

void PwdDialog::Button(int which) {
  const std::string typed = form_->STRpasswd->text().toStdString();
  bool close = false;
  if (which == 1) {
    close = model_.SetPwdB(typed);
    form_->STRpasswd->clear();
  } else if (which == 0) {
    form_->STRpasswd->clear();
    hide();  // the dialog is closed before its report appears
    close = model_.SetPwdA(typed);
    if (!close) show();
  } else {
    close = model_.Cancel();
  }
  Sync();
  if (close) done(QDialog::Accepted);
}

void PwdDialog::reject() {
  if (model_.Cancel()) QDialog::reject();
}

DtcPwdDialog::DtcPwdDialog(QWidget* parent) : QDialog(parent), form_(std::make_unique<Ui::DtcPwdPanel>()) {
  form_->setupUi(this);
  form_->STRdtcPasswd->setMaxLength(8);
  form_->STRdtcPasswd->setEchoMode(QLineEdit::Password);
  connect(form_->CBok, &QPushButton::clicked, this, [this] {
    if (shell::CheckfBusy()) return;
    const std::string typed = form_->STRdtcPasswd->text().toStdString();
    form_->STRdtcPasswd->clear();
    if (DtcProtection(typed)) accept();
  });
  connect(form_->CBcancel, &QPushButton::clicked, this, [this] {
    if (!shell::CheckfBusy()) reject();
  });
}

DtcPwdDialog::~DtcPwdDialog() = default;

void DtcPwdDialog::Open() {
  if (shell::CheckfBusy() || !tuning::AbortManualTuning()) return;
  form_->STRdtcPasswd->clear();
  form_->STRdtcPasswd->setFocus();
  exec();
}

PwdDialog* InstallProtection(QWidget* mainPanel, QPushButton* protectButton, QWidget* logo) {
  auto* pwd = new PwdDialog(mainPanel);
  auto* dtc = new DtcPwdDialog(mainPanel);
  QObject::connect(protectButton, &QPushButton::clicked, pwd, [pwd] { pwd->DlgProtection(1); });
  if (logo) logo->installEventFilter(new LogoHotSpots(logo, pwd, dtc));
  return pwd;
}

}  // namespace protect
