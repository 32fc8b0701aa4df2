#include "shell/pages.h"

#include <QStackedWidget>

#include "shell/connection.h"

namespace shell {

uint8_t Page::Timer() {
  return Ping();
}

PageRegistry::PageRegistry(QStackedWidget* stack) : stack_(stack) {}
PageRegistry::~PageRegistry() = default;

uint8_t PageRegistry::Add(std::unique_ptr<Page> page) {
  if (!page || Has(page->Id()) || !page->Init()) return 0;
  QWidget* widget = page->Widget();
  if (!widget) return 0;
  if (stack_->indexOf(widget) < 0) stack_->addWidget(widget);
  pages_.push_back(std::move(page));
  return 1;
}

Page* PageRegistry::Find(PageId id) const {
  for (const auto& page : pages_)
    if (page->Id() == id) return page.get();
  return nullptr;
}

void PageRegistry::Show(PageId id) {
  Page* page = Find(id);
  if (!page) return;
  current_ = id;
  stack_->setCurrentWidget(page->Widget());
}

void PageRegistry::BlocksReplaced(int type) {
  for (const auto& page : pages_) page->BlocksReplaced(type);
}

const std::vector<PageId>& PageRegistry::ScatterOrder() {
  static const std::vector<PageId> order{
      PageId::Config,    PageId::CanAcq,  PageId::Lineariz, PageId::MapEditor, PageId::MapTuning,
      PageId::Injection, PageId::Advance, PageId::Param1,   PageId::Param2,    PageId::Param3};
  return order;
}

const std::vector<PageId>& PageRegistry::GatherOrder() {
  static const std::vector<PageId> order{PageId::Config,  PageId::MapEditor, PageId::Injection,
                                         PageId::Advance, PageId::CanAcq,    PageId::Lineariz,
                                         PageId::Param1,  PageId::Param2,    PageId::Param3};
  return order;
}

uint8_t PageRegistry::ScatterAllPanels() {
  uint8_t result = 1;
  for (PageId id : ScatterOrder())
    if (Page* page = Find(id); page && !page->Scatter()) result = 0;
  return result;
}

uint8_t PageRegistry::GatherAllPanels() {
  for (PageId id : GatherOrder()) {
    // The tuning panel owns the map cells while it is in front.
    if (id == PageId::MapEditor && current_ == PageId::MapTuning) continue;
    if (Page* page = Find(id); page && !page->Gather()) return 0;
  }
  return 1;
}

}  // namespace shell
