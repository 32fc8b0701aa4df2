// The one place where the window's pages are created. A new page is one line here,
// in the place of the start-up order, e.g.
//   if (!registry.Add(std::make_unique<live::LivPage>(parent))) return 0;
// plus its library in shell/CMakeLists.txt.
#include <memory>

#include "diagnostics/dgnpage.h"
#include "live/livpage.h"
#include "protect/protect.h"
#include "shell/pages.h"

namespace shell {

uint8_t RegisterAllPages(PageRegistry& registry, QWidget* parent) {
  // map editor, map tuning, injection editor, advance editor, parameter pages 1-3,
  // linearisations, CAN acquisition, configuration: not built yet.
  if (!registry.Has(PageId::Diagnostics) && !registry.Add(std::make_unique<dgn::DgnPage>(parent))) return 0;
  if (!registry.Has(PageId::Live) && !registry.Add(std::make_unique<live::LivPage>(parent))) return 0;
  registry.hooks.enableDtcPage = [] { return protect::fEnableDtcPage; };
  return 1;
}

}  // namespace shell
