#include "loader/view.h"

namespace loader {

namespace {
HeadlessView headless;
LoaderView* current = &headless;
}  // namespace

LoaderView& View() {
  return *current;
}
void SetView(LoaderView* view) {
  current = view ? view : &headless;
}

}  // namespace loader
