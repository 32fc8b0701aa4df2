// Parameter page 1 (form resources/param1.ui): the model's field table bound to the
// form, the groups shown by the capability flags, the CO-correction reset and the
// traction-control selection.
#pragma once
#include <memory>

#include "params/fieldbinding.h"
#include "shell/pages.h"

namespace Ui {
class Pr1Panel;
}

namespace params {

class Pr1Page : public shell::Page {
 public:
  Pr1Page(QWidget* parent, shell::PageRegistry* registry);
  ~Pr1Page() override;
  shell::PageId Id() const override { return shell::PageId::Param1; }
  QWidget* Widget() override { return widget_; }
  uint8_t Init() override;     // InitPr1Panel
  uint8_t Scatter() override;  // ScatterPr1Panel
  uint8_t Gather() override;   // GatherPr1Panel

  Ui::Pr1Panel& Form() { return *form_; }
  FieldBinding& Binding() { return binding_; }

  // Callbacks of CBcocReset, RINGtypeDTC and TBenableDTC.
  void ResetCoc();
  void SelectDTC(bool fromTypeRing);

 private:
  uint8_t SetupPr1Panel();

  QWidget* widget_;
  std::unique_ptr<Ui::Pr1Panel> form_;
  FieldBinding binding_;
  shell::PageRegistry* registry_;
  bool scattering_ = false;
};

}  // namespace params
