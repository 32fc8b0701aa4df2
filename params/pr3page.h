// Parameter page 3 (form resources/param3.ui): the traction-control maps and levels,
// and the DTC map files.
#pragma once
#include <memory>

#include "params/fieldbinding.h"
#include "shell/pages.h"

namespace Ui {
class Pr3Panel;
}

namespace params {

class Pr3Page : public shell::Page {
 public:
  explicit Pr3Page(QWidget* parent);
  ~Pr3Page() override;
  shell::PageId Id() const override { return shell::PageId::Param3; }
  QWidget* Widget() override { return widget_; }
  uint8_t Init() override;     // InitPr3Panel
  uint8_t Scatter() override;  // ScatterPr3Panel
  uint8_t Gather() override;   // GatherPr3Panel

  Ui::Pr3Panel& Form() { return *form_; }

  // DoPr3Event: CBdtcMapLoad and CBdtcMapStore.
  void LoadClicked();
  void StoreClicked();

 private:
  QWidget* widget_;
  std::unique_ptr<Ui::Pr3Panel> form_;
  FieldBinding binding_;
};

}  // namespace params
