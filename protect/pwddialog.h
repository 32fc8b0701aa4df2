// The two password dialogs, the main panel's protection button and the two hot
// spots of the logo (a double right-click opens the DTC-password dialog on the left
// one, the password dialog in its second mode on the right one).
#pragma once
#include <QDialog>
#include <memory>

#include "protect/protect.h"

class QPushButton;

namespace Ui {
class PwdPanel;
class DtcPwdPanel;
}  // namespace Ui

namespace protect {

// hPwdPanel: shows Protection's state and runs its buttons.
class PwdDialog : public QDialog {
 public:
  explicit PwdDialog(QWidget* parent);
  ~PwdDialog() override;
  // DlgProtection (mode 1: protection button, mode 0: the logo's hot spot); modal.
  void DlgProtection(int mode);
  Protection& Model() { return model_; }
  Ui::PwdPanel& Form() { return *form_; }

 protected:
  void reject() override;  // Esc and the close box act as Cancel

 private:
  void Sync();
  void Button(int which);
  std::unique_ptr<Ui::PwdPanel> form_;
  Protection model_;
};

// hDtcPwdPanel.
class DtcPwdDialog : public QDialog {
 public:
  explicit DtcPwdDialog(QWidget* parent);
  ~DtcPwdDialog() override;
  void Open();
  Ui::DtcPwdPanel& Form() { return *form_; }

 private:
  std::unique_ptr<Ui::DtcPwdPanel> form_;
};

// Connects the protection button and the logo's hot spots of the main panel; the
// dialogs are children of `mainPanel`. Returns the password dialog.
PwdDialog* InstallProtection(QWidget* mainPanel, QPushButton* protectButton, QWidget* logo);

}  // namespace protect
