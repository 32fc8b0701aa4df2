// The linearisation page: the eight sensor tables (only those the bike's equipment
// uses), the fuel-reserve percentage and the throttle setting.
#pragma once
#include <cstdint>
#include <memory>

#include "live/lineariz.h"
#include "shell/pages.h"

class QDialog;
class QTableWidget;
class QWidget;

namespace Ui {
class LnrPanel;
class LnrGasDialog;
}  // namespace Ui
namespace params {
class FieldBinding;
}

namespace live {

class LnrPage : public shell::Page {
 public:
  explicit LnrPage(QWidget* parent = nullptr);
  ~LnrPage() override;
  shell::PageId Id() const override { return shell::PageId::Lineariz; }
  QWidget* Widget() override { return widget_; }
  // InitLnrPanel: the page, the throttle-setting pop-up and the defaults.
  uint8_t Init() override;
  // ScatterLnrPanel: LayoutLnrTables, then every table and the reserve percentage.
  uint8_t Scatter() override;
  // GatherLnrPanel: the tables, the fixed throttle outputs, then SortLinearisations.
  uint8_t Gather() override;
  // LnrTimer: CBcalibrationFarf only with the port open, and the identity Ping.
  uint8_t Timer() override;

  // SetFarf: CBinterpFarf, and a double click on the header row of TABfarf.
  void InterpolateFarf();
  void ReadFarfColumn(int column);
  // ConfigFarf: the throttle-setting pop-up (modal); SetAutoFarf: its two buttons.
  void ConfigFarf();
  void SetAutoFarf(bool set);

  Ui::LnrPanel& Form() { return *form_; }
  QDialog* ThrottleDialog() const { return dialog_; }

 private:
  // The gather, with new throttle inputs written into the gathered copy before the
  // fixed outputs and the sorting (the throttle setting).
  uint8_t GatherWith(const std::array<int16_t, kLnrPoints>* throttleInputs);
  void LayoutLnrTables();
  uint8_t SetFarfCell(int row, int column, double value);
  bool FarfCell(int row, int column, double& value) const;

  QWidget* parent_;
  QWidget* widget_ = nullptr;
  QDialog* dialog_ = nullptr;
  std::unique_ptr<Ui::LnrPanel> form_;
  std::unique_ptr<Ui::LnrGasDialog> gas_;
  std::unique_ptr<params::FieldBinding> binding_;
  ThrottleSetting throttle_;
  bool closeFarf_ = false;
};

}  // namespace live
