// The graph windows as views of the map editor page.
#include "graphs/mp1graphs.h"

#include <memory>
#include <vector>

#include "graphs/editorlink.h"
#include "graphs/graph2d.h"
#include "graphs/graphwindows.h"
#include "graphs/plot.h"
#include "maps/ui/mapgraphview.h"
#include "maps/ui/mapcompare.h"
#include "maps/ui/mp1page.h"

namespace graphs {

namespace {

// The page's table has the X axis in row 0 and map row r in table row r + 1.
class Mp1Link : public EditorLink {
 public:
  explicit Mp1Link(maps::Mp1Page& page) : page_(page) {}
  MapCell ActiveCell() const override {
    const maps::Mp1Page::Cell c = page_.ActiveCell();
    return {c.col, c.row - 1};
  }
  void SetActiveCell(MapCell cell) override { page_.SetActiveCell(cell.row + 1, cell.col); }
  void ShadeCells(const std::vector<MapCell>& cells) override {
    std::vector<maps::Mp1Page::Cell> table;
    table.reserve(cells.size());
    for (const MapCell& c : cells) table.push_back({c.row + 1, c.col});
    page_.ShadeCells(table);
  }
  void BeginEdit() override { page_.BeginEdit(); }
  uint8_t BlockChanged() override { return page_.Rescatter(); }
  uint8_t CellValChange(int delta) override { return page_.CellValChange(delta); }
  const uint8_t* ComparisonBlock() const override {
    const maps::MapCompareUi* c = page_.Comparing();
    return c && c->Current().Active() ? c->Current().Block() : nullptr;
  }

 private:
  maps::Mp1Page& page_;
};

struct Shared {
  Shared(maps::Mp1Page& page, QWidget* parent) : link(page), windows(&link, parent) {}
  Mp1Link link;
  GraphWindows windows;
};

class View2D : public maps::MapGraphView {
 public:
  explicit View2D(std::shared_ptr<Shared> s) : s_(std::move(s)) {}
  uint8_t ShowView() override { return s_->windows.Graph2D().ShowPanel(true); }
  void HideView() override { s_->windows.Graph2D().ShowPanel(false); }
  bool IsViewShown() const override { return s_->windows.Graph2D().isVisible(); }
  uint8_t ScatterView() override { return s_->windows.Graph2D().Scatter(); }
  void ActiveCellChanged() override { s_->windows.Graph2D().Scatter(); }
  uint8_t TimerView() override { return s_->windows.Timer(); }
  void WorkPointChanged(int row, int col) override {
    s_->windows.Graph2D().SetWorkPoint(row < 1 ? MapCell{-1, 0} : MapCell{col, row - 1});
  }

 private:
  std::shared_ptr<Shared> s_;
};

class View3D : public maps::MapGraphView {
 public:
  explicit View3D(std::shared_ptr<Shared> s) : s_(std::move(s)) {}
  uint8_t ShowView() override {
    s_->windows.Plot().SetCursor(s_->link.ActiveCell());
    return s_->windows.Plot().ShowPanel(true);  // says "Plot Panel" itself when it cannot
  }
  void HideView() override { s_->windows.Plot().ShowPanel(false); }
  bool IsViewShown() const override { return s_->windows.Plot().isVisible(); }
  uint8_t ScatterView() override { return s_->windows.Plot().Scatter(); }
  void ActiveCellChanged() override { s_->windows.Plot().SetCursor(s_->link.ActiveCell()); }
  void WorkPointChanged(int row, int col) override {
    s_->windows.Plot().SetWorkPoint(row < 1 ? MapCell{-1, 0} : MapCell{col, row - 1});
  }

 private:
  std::shared_ptr<Shared> s_;
};

}  // namespace

void AttachGraphWindows(maps::Mp1Page& page, QWidget* parent) {
  auto shared = std::make_shared<Shared>(page, parent);
  page.AttachGraph2D(std::make_unique<View2D>(shared));
  page.AttachGraph3D(std::make_unique<View3D>(shared));
}

}  // namespace graphs
