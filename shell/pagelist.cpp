// The one place where the window's pages are created. A new page is one line here,
// in the place of the start-up order, e.g.
//   if (!registry.Add(std::make_unique<live::LivPage>(parent))) return 0;
// plus its library in shell/CMakeLists.txt.
#include "shell/pages.h"

#include <memory>

#include "graphs/mp1graphs.h"
#include "maps/ui/mp1page.h"

namespace shell {

uint8_t RegisterAllPages(PageRegistry& registry, QWidget* parent) {
  // A page already present (a test's stand-in) is kept.
  if (!registry.Has(PageId::MapEditor)) {
    auto editor = std::make_unique<maps::Mp1Page>(parent);
    maps::Mp1Page& page = *editor;
    if (!registry.Add(std::move(editor))) return 0;
    graphs::AttachGraphWindows(page, parent);  // the 2D graph and the 3D plot
  }
  // map tuning, injection editor, advance editor, parameter pages 1-3, linearisations,
  // CAN acquisition, configuration, diagnostics, live data: not built yet.
  return 1;
}

}  // namespace shell
