// The diagnostics page: shows the ECU's status and parameter records, sends resets,
// value writes and sensor switches, runs the defaults and the diagnostics password.
// The model (DiagModel) does every exchange; the page shows and gathers.
#pragma once
#include <QString>
#include <QWidget>
#include <memory>

#include "diagnostics/diagnost.h"
#include "shell/pages.h"

class QLineEdit;

namespace Ui {
class DiagPanel;
}

namespace dgn {

class DgnPage : public shell::Page {
 public:
  explicit DgnPage(QWidget* parent);
  ~DgnPage() override;

  shell::PageId Id() const override { return shell::PageId::Diagnostics; }
  QWidget* Widget() override { return widget_; }
  uint8_t Init() override;
  uint8_t Timer() override;
  void Leave() override { entered_ = false; }

  DiagModel& Model() { return model_; }
  Ui::DiagPanel& Form() { return *form_; }

  // Lays the page out for the bike and writes both records into the controls.
  void ShowDiagnostics();

 private:
  void ShowPasswordState();
  void DimByLock();
  void OnValueEdited(QLineEdit* edit);
  void OnPassword(bool logIn);
  void OnDefaults();

  QWidget* widget_;
  std::unique_ptr<Ui::DiagPanel> form_;
  DiagModel model_;
  QString normalResetStyle_;
  uint32_t drawn_ = 0;
  bool entered_ = false;
};

}  // namespace dgn
