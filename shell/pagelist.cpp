// The one place where the window's pages are created. A new page is one line here,
// in the place of the start-up order, e.g.
//   if (!registry.Add(std::make_unique<live::LivPage>(parent))) return 0;
// plus its library in shell/CMakeLists.txt.
#include "shell/pages.h"

#include <memory>

#include "maps/ui/mp1page.h"

namespace shell {

uint8_t RegisterAllPages(PageRegistry& registry, QWidget* parent) {
  // A page already present (a test's stand-in) is kept.
  if (!registry.Has(PageId::MapEditor) && !registry.Add(std::make_unique<maps::Mp1Page>(parent))) return 0;
  // map tuning, injection editor, advance editor, parameter pages 1-3, linearisations,
  // CAN acquisition, configuration, diagnostics, live data: not built yet.
  return 1;
}

}  // namespace shell
