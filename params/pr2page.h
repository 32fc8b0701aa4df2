// Parameter page 2 (form resources/param2.ui): transient compensation.
#pragma once
#include <memory>

#include "params/fieldbinding.h"
#include "shell/pages.h"

namespace Ui {
class Pr2Panel;
}

namespace params {

class Pr2Page : public shell::Page {
 public:
  explicit Pr2Page(QWidget* parent);
  ~Pr2Page() override;
  shell::PageId Id() const override { return shell::PageId::Param2; }
  QWidget* Widget() override { return widget_; }
  uint8_t Init() override;     // InitPr2Panel
  uint8_t Scatter() override;  // ScatterPr2Panel
  uint8_t Gather() override;   // GatherPr2Panel

  Ui::Pr2Panel& Form() { return *form_; }

 private:
  QWidget* widget_;
  std::unique_ptr<Ui::Pr2Panel> form_;
  FieldBinding binding_;
};

}  // namespace params
