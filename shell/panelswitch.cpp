#include "shell/panelswitch.h"

#include "link/userio.h"
#include "shell/connection.h"
#include "tuning/map2.h"

namespace shell {

void PanelSwitcher::Button(PageId target) {
  if (CheckfBusy()) return;
  SwitchTo(target);
}

void PanelSwitcher::SwitchTo(PageId target) {
  if (pages_.Current() == target || !pages_.Has(target)) return;
  if (!tuning::AbortManualTuning()) return;
  // Diagnostics, live data and the main panel show the ECU rather than the blocks:
  // they have nothing to scatter, so a successful gather is enough.
  const bool scatters = target != PageId::Main && target != PageId::Live && target != PageId::Diagnostics;
  // (The Logs page scatters: its map view follows the working mapping.)
  bool error = true;
  if (pages_.GatherAllPanels() && (!scatters || pages_.Find(target)->Scatter())) error = false;
  Finish(target, error, true);
}

void PanelSwitcher::Finish(PageId target, bool error, bool scatterMapsFromTuning) {
  const PageId front = pages_.Current();
  if (front == PageId::CanAcq && !pages_.hooks.ignoreCaqWarning()) return;
  if (front != PageId::Main) {
    if (Page* page = pages_.Find(front)) {
      if (front == PageId::MapTuning && scatterMapsFromTuning) {
        // The tuning panel may have changed map cells: show them in the map editor.
        if (Page* editor = pages_.Find(PageId::MapEditor); editor && editor->Scatter()) error = false;
      }
      page->Leave();
    }
  }
  pages_.Show(target);
  if (error) com::Ui().MessagePopup("Panel Change", szGenericError);
}

PageId PanelSwitcher::NextParPage(PageId from) const {
  switch (from) {
    case PageId::Param1:
      return PageId::Param2;
    case PageId::Param2:
      return pages_.hooks.enableDtcPage() && pages_.Has(PageId::Param3) ? PageId::Param3 : PageId::Param1;
    default:
      return PageId::Param1;
  }
}

PageId PanelSwitcher::NextCfgPage(PageId from) const {
  return from == PageId::Config && pages_.Has(PageId::CanAcq) ? PageId::CanAcq : PageId::Config;
}

void PanelSwitcher::Parameters() {
  if (CheckfBusy()) return;
  PageId target = PageId::Param1;
  if (lastParPage_ != PageId::None)
    target = pages_.Current() == lastParPage_ ? NextParPage(lastParPage_) : lastParPage_;
  // Page 3 locked again (a wrong DTC password) is not brought back by this button.
  if (target == PageId::Param3 && !pages_.hooks.enableDtcPage()) target = PageId::Param1;
  if (!pages_.Has(target)) return;
  lastParPage_ = target;
  SwitchTo(target);
}

void PanelSwitcher::NextParameterPage() {
  if (CheckfBusy()) return;
  const PageId target = NextParPage(pages_.Current());
  if (!pages_.Has(target)) return;
  lastParPage_ = target;
  SwitchTo(target);
}

void PanelSwitcher::Configuration() {
  if (CheckfBusy()) return;
  PageId target = PageId::Config;
  if (lastCfgPage_ != PageId::None)
    target = pages_.Current() == lastCfgPage_ ? NextCfgPage(lastCfgPage_) : lastCfgPage_;
  if (!pages_.Has(target)) return;
  lastCfgPage_ = target;
  SwitchTo(target);
}

void PanelSwitcher::NextConfigurationPage() {
  if (CheckfBusy()) return;
  const PageId target = NextCfgPage(pages_.Current());
  if (!pages_.Has(target)) return;
  lastCfgPage_ = target;
  SwitchTo(target);
}

void PanelSwitcher::MapsTuneAuto() {
  if (CheckfBusy() || !pages_.Has(PageId::MapTuning)) return;
  if (pages_.Current() == PageId::MapTuning && pages_.hooks.isAutoTuning()) return;
  if (!tuning::AbortManualTuning()) return;
  EnterTuning(true);
}

void PanelSwitcher::MapsTuneManual() {
  if (CheckfBusy() || !pages_.Has(PageId::MapTuning)) return;
  if (pages_.Current() == PageId::MapTuning && pages_.hooks.isManualTuning()) return;
  EnterTuning(false);
}

// The tuning page is only entered with its mode set, so a gather that fails leaves the
// page in front as it is (the message says why nothing happened).
void PanelSwitcher::EnterTuning(bool automatic) {
  if (!pages_.GatherAllPanels()) {
    com::Ui().MessagePopup("Panel Change", szGenericError);
    return;
  }
  pages_.hooks.setTuningModes(automatic, !automatic);
  nextPanel_ = PageId::MapTuning;
  const bool error = !pages_.Find(PageId::MapTuning)->Scatter();
  Finish(PageId::MapTuning, error, false);
}

void PanelSwitcher::Maps() {
  if (CheckfBusy() || !pages_.Has(PageId::MapEditor)) return;
  if (pages_.Current() == PageId::MapEditor) return;
  if (pages_.Current() == PageId::MapTuning) {
    nextPanel_ = PageId::MapEditor;
    if (!tuning::AbortManualTuning()) return;
  }
  bool error = true;
  if (pages_.GatherAllPanels()) {
    if (nextPanel_ == PageId::MapEditor) {
      // Automatic tuning stays marked on only while the ECU still tunes.
      pages_.hooks.setTuningModes(pages_.hooks.isAutoTuning() && tuning::IsMapTuning(), false);
      if (pages_.Find(PageId::MapEditor)->Scatter()) error = false;
    } else if (nextPanel_ == PageId::MapTuning) {
      if (pages_.Find(PageId::MapTuning)->Scatter()) error = false;
    } else if (pages_.Find(PageId::MapEditor)->Scatter()) {
      error = false;
    }
  }
  const PageId target = nextPanel_ == PageId::None ? PageId::MapEditor : nextPanel_;
  const PageId front = pages_.Current();
  if (front == PageId::CanAcq && !pages_.hooks.ignoreCaqWarning()) return;
  if (front != PageId::Main)
    if (Page* page = pages_.Find(front)) page->Leave();
  if (target == PageId::MapTuning) pages_.Find(PageId::MapTuning)->Scatter();
  pages_.Show(target);
  if (error) com::Ui().MessagePopup("Panel Change", szGenericError);
}

}  // namespace shell
