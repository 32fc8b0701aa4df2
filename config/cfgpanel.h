// The configuration page: bike rings, notes, voltage tables, idle-control gains,
// injector data, dashboard title and drop switch. Its scatter sets the capability
// flags that every other page reads.
#pragma once
#include <QObject>
#include <cstdint>
#include <memory>

#include "shell/pages.h"

class QTableWidget;
class QWidget;

namespace Ui {
class CfgPanel;
}
namespace params {
class FieldBinding;
}

namespace config {

class CfgPage : public shell::Page {
 public:
  explicit CfgPage(QWidget* parent = nullptr);
  ~CfgPage() override;
  shell::PageId Id() const override { return shell::PageId::Config; }
  QWidget* Widget() override { return widget_; }
  // InitCfgPanel: the form, then the defaults (InitCfgData) into the working block.
  uint8_t Init() override;
  // ScatterCfgPanel: flags from the bike code, the controls' shape, then the values.
  uint8_t Scatter() override;
  // GatherCfgPanel: built-in geometry and constants, bike code, values, sorted voltage points.
  uint8_t Gather() override;
  // CfgTimer is the identity Ping (Page::Timer).

  // Commit on one of the three bike rings.
  void FRINGtypeBike();

  Ui::CfgPanel& Form() { return *form_; }

 private:
  uint8_t FillBikeRings(uint32_t code);  // 0 on success, 1 on a list failure
  uint8_t SetupCfgPanel();
  uint8_t SetRing(int ring, int value, bool addMissing);

  QWidget* parent_;
  QWidget* widget_ = nullptr;
  std::unique_ptr<Ui::CfgPanel> form_;
  std::unique_ptr<params::FieldBinding> binding_;
};

// Sizes a table control to its cells: columns of `columnWidth`, row captions of one
// width on every page, no scrolling, the height of the visible rows.
inline constexpr int kRowCaptionWidth = 120;
void FitTable(QTableWidget* table, int columnWidth);

}  // namespace config
