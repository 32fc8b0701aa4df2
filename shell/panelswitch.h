// Bringing a page to the front: the common sequence of the page buttons (gather
// everything, scatter the target, switch, report an error only after the switch)
// and the cycles of the paged buttons.
#pragma once
#include "shell/pages.h"

namespace shell {

class PanelSwitcher {
 public:
  explicit PanelSwitcher(PageRegistry& pages) : pages_(pages) {}

  // The common sequence for target T (Injection, Advance, Linearizations, Diagnost,
  // Live, Info and the paged buttons once they chose their page).
  void SwitchTo(PageId target);

  // Button callbacks.
  void Info() { Button(PageId::Main); }
  void Injection() { Button(PageId::Injection); }
  void Advance() { Button(PageId::Advance); }
  void Linearizations() { Button(PageId::Lineariz); }
  void Diagnost() { Button(PageId::Diagnostics); }
  void Live() { Button(PageId::Live); }
  void Logs() { Button(PageId::Logs); }
  // Main-panel buttons of the paged groups: the last page of the group, or the next
  // one when that page is in front already.
  void Parameters();
  void Configuration();
  // The page buttons on the pages themselves (CBparmPage, CBmapsPage): the next page.
  void NextParameterPage();
  void NextConfigurationPage();
  void Maps();
  void MapsTuneAuto();
  void MapsTuneManual();

  PageId NextParPage(PageId from) const;
  PageId NextCfgPage(PageId from) const;
  PageId lastParPage() const { return lastParPage_; }

 private:
  void Button(PageId target);
  // Steps 4 to 7 of the sequence: CAN warning, leave the page in front, show the target, report.
  void Finish(PageId target, bool error, bool scatterMapsFromTuning);
  // Gathers, sets the tuning page's mode and brings it to the front.
  void EnterTuning(bool automatic);

  PageRegistry& pages_;
  PageId nextPanel_ = PageId::None;
  PageId lastParPage_ = PageId::None;
  PageId lastCfgPage_ = PageId::None;
};

}  // namespace shell
