// The one place where the window's pages are created. A new page is one line here,
// in the place of the start-up order, e.g.
//   if (!AddPage<live::LivPage>(registry, parent)) return 0;
// plus its library in shell/CMakeLists.txt.
#include <memory>

#include "canacq/caqpage.h"
#include "config/cfgpanel.h"
#include "diagnostics/dgnpage.h"
#include "graphs/mp1graphs.h"
#include "live/enginepoll.h"
#include "live/livpage.h"
#include "live/lnrpage.h"
#include "logs/ui/logspage.h"
#include "maps/ui/corrpage.h"
#include "maps/ui/engineview.h"
#include "maps/ui/mp1page.h"
#include "params/pr1page.h"
#include "params/pr2page.h"
#include "params/pr3page.h"
#include "protect/protect.h"
#include "shell/pages.h"
#include "tuning/map2.h"
#include "tuning/ui/mp2page.h"

namespace shell {

namespace {

// Adds a page; one already registered under its id (a test's stand-in) is kept.
template <typename P, typename... Args>
uint8_t AddPage(PageRegistry& registry, Args&&... args) {
  auto page = std::make_unique<P>(std::forward<Args>(args)...);
  if (registry.Has(page->Id())) return 1;
  return registry.Add(std::move(page));
}

}  // namespace

uint8_t RegisterAllPages(PageRegistry& registry, QWidget* parent) {
  if (!AddPage<maps::Mp1Page>(registry, parent)) return 0;
  // The 2D graph and the 3D plot beside the map editor (not on a test's stand-in).
  if (auto* editor = dynamic_cast<maps::Mp1Page*>(registry.Find(PageId::MapEditor));
      editor && !editor->Graph2D())
    graphs::AttachGraphWindows(*editor, parent);
  if (!AddPage<tuning::Mp2Page>(registry, parent, &registry)) return 0;
  if (registry.Has(PageId::MapTuning)) {
    registry.hooks.setTuningModes = [](bool automatic, bool manual) {
      tuning::isTuningAuto = automatic;
      tuning::isTuningManual = manual;
    };
    registry.hooks.isAutoTuning = [] { return uint8_t{tuning::isTuningAuto}; };
    registry.hooks.isManualTuning = [] { return uint8_t{tuning::isTuningManual}; };
  }
  if (!AddPage<maps::InjPage>(registry, parent)) return 0;
  if (!AddPage<maps::AdvPage>(registry, parent)) return 0;
  if (!AddPage<params::Pr1Page>(registry, parent, &registry)) return 0;
  if (!AddPage<params::Pr2Page>(registry, parent)) return 0;
  if (!AddPage<params::Pr3Page>(registry, parent)) return 0;
  if (!AddPage<live::LnrPage>(registry, parent)) return 0;
  if (!AddPage<canacq::CaqPage>(registry, parent)) return 0;
  if (dynamic_cast<canacq::CaqPage*>(registry.Find(PageId::CanAcq)))
    registry.hooks.ignoreCaqWarning = canacq::IgnoreCaqWarning;
  if (!AddPage<config::CfgPage>(registry, parent)) return 0;
  if (!AddPage<dgn::DgnPage>(registry, parent)) return 0;
  if (!AddPage<live::LivPage>(registry, parent)) return 0;
  // The editors that show the running engine share one live stream and Ping cadence.
  auto poll = std::make_shared<live::EnginePoll>();
  if (auto* editor = dynamic_cast<maps::Mp1Page*>(registry.Find(PageId::MapEditor)))
    editor->Engine()->SetPoll(poll);
  for (PageId id : {PageId::Injection, PageId::Advance})
    if (auto* page = dynamic_cast<maps::CorrPage*>(registry.Find(id))) page->Engine()->SetPoll(poll);
  if (!AddPage<logs::LogsPage>(registry, parent)) return 0;
  if (auto* logsPage = dynamic_cast<logs::LogsPage*>(registry.Find(PageId::Logs))) {
    logsPage->showPage = [&registry](PageId id) { registry.hooks.showPage(id); };
    if (auto* editor = dynamic_cast<maps::Mp1Page*>(registry.Find(PageId::MapEditor)))
      logsPage->offerProposal = [editor](const logs::Proposal& p, int cylinder, const QString& source) {
        editor->OfferProposal(p, cylinder, source);
      };
    // A recording that stopped on the live page opens here.
    if (auto* livePage = dynamic_cast<live::LivPage*>(registry.Find(PageId::Live)))
      livePage->openInLogs = [&registry, logsPage](const std::string& path) {
        registry.hooks.showPage(PageId::Logs);
        logsPage->OpenLog(QString::fromStdString(path));
      };
  }
  registry.hooks.enableDtcPage = [] { return protect::fEnableDtcPage; };
  return 1;
}

}  // namespace shell
