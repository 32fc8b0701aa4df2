// The map editor page: a tab per map, the matrix table (X axis row and the 20 x 32
// cells), the Y-axis table, the notes, the single-matrix toggle, the cylinder button,
// the graph and tuning buttons, and the status line. It shows what the editing model
// (maps/mapedit.h) computes and passes on the user's edits; every edit is one step of
// the edit history (Ctrl+Z, Ctrl+Y / Ctrl+Shift+Z).
#pragma once
#include <QObject>
#include <QString>
#include <memory>
#include <utility>
#include <vector>

#include "logs/logmap.h"
#include "maps/mapedit.h"
#include "maps/ui/mapgraphview.h"
#include "shell/pages.h"

class QAction;
class QMenu;
class QTableView;

namespace Ui {
class Mp1Panel;
}

namespace maps {

class EngineView;
class MapCompareUi;
class MapTableModel;
class MpvDialog;
class ProposalBar;

class Mp1Page : public QObject, public shell::Page {
 public:
  explicit Mp1Page(QWidget* parent = nullptr);
  ~Mp1Page() override;

  // ---- the page protocol ----
  shell::PageId Id() const override { return shell::PageId::MapEditor; }
  QWidget* Widget() override;
  uint8_t Init() override;  // InitMp1Panel
  uint8_t Scatter() override { return ScatterMp1Panel(); }
  uint8_t Gather() override { return GatherMp1Panel(true); }
  uint8_t Timer() override;  // Mp1Timer
  int TimerInterval() const override;
  void Leave() override;  // both graph windows hide
  void BlocksReplaced(int type) override;

  uint8_t ScatterMp1Panel();
  uint8_t GatherMp1Panel(bool checkAxes);

  // ---- for the graph windows ----
  // Table coordinates (row 0 = X axis, rows 1..20 = map rows 0..19; columns 0..31).
  struct Cell {
    int row = 1, col = 0;
    bool operator==(const Cell&) const = default;
  };
  Cell ActiveCell() const;
  // The selected rectangle of the matrix table; the active cell alone when none.
  CellRect SelectedCells() const;
  // Makes a cell the active one (selecting it alone); the graphs are told.
  void SetActiveCell(int row, int col);
  // Shades cells grey (0xC0C0C0); an empty list clears every shading.
  void ShadeCells(const std::vector<Cell>& cells);
  // The block was changed outside the editor: redraw (ScatterMp1Panel).
  uint8_t Rescatter() { return ScatterMp1Panel(); }
  // An edit of the map block is about to happen: the block as it is now becomes an undo step
  // (if the edit changes anything). Call once before an edit, or once before a drag.
  void BeginEdit();
  // Adds `delta` raw units to the active matrix cell (the "+" / "-" keys).
  uint8_t CellValChange(int delta);
  // The editor owns its graph windows; either may be absent (its button is dimmed then).
  void AttachGraph2D(std::unique_ptr<MapGraphView> view);
  void AttachGraph3D(std::unique_ptr<MapGraphView> view);
  MapGraphView* Graph2D() const { return graph2D_.get(); }
  MapGraphView* Graph3D() const { return graph3D_.get(); }

  // ---- commands (also the context menu) ----
  bool Undo();
  bool Redo();
  void CopySelection();
  void PasteClipboard();
  // Opens the value dialog for the selection (right click, Ctrl+Enter); 1 on success or
  // when there was nothing to edit.
  uint8_t OpenValueDialog();
  EditHistory& History() { return history_; }

  // ---- a proposal of injection cells (from a log) ----
  // Shows map 1 of `cylinder` with the proposed cells in bold and a bar with Apply and
  // Discard; the block is not touched before Apply, which is one step of the history.
  void OfferProposal(const logs::Proposal& proposal, int cylinder, const QString& source);
  bool ApplyProposal();
  void DiscardProposal();
  ProposalBar* Proposal() const { return proposal_; }

  // ---- what the value dialog asks ----
  void Preview(const CellRect& rect, const std::vector<double>& values);
  void Status(const QString& text);

  Ui::Mp1Panel& Form() { return *form_; }
  QTableView* Matrix() const;
  QTableView* YTable() const;
  MpvDialog* ValueDialog() const { return dialog_; }
  // The running engine on the page (gauge strip, working point).
  EngineView* Engine() const { return engine_; }
  MapTableModel* MatrixModel() const { return matrixModel_; }
  // The comparison tune ("Compare..." of the context menu).
  MapCompareUi* Comparing() const { return compare_.get(); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void SelectMap(int tab);  // tab change
  void SelectCylinder();    // CBcyl
  void SelectMultiSingle(bool on);
  void Map2DgraphOnOff();
  void Map3DgraphOnOff();
  bool CommitTyped(bool yTable, int row, int col, double value);
  bool GatherNotes();
  void SetCylLabel(int jcyl);
  void SelectFirstCell();
  EditHistory::Place Here() const;
  void ShowContextMenu(const QPoint& globalPos);
  void Layout();
  void MapError(const char* title);
  // CBautoMap and CBmanualMap: dimmed while the other kind of tuning runs.
  void DimTuningButtons();
  void ActiveCellMoved();
  // The proposal's cells in bold while its map and cylinder are shown.
  void ShowProposalPreview();
  void ShowProposalStatus();

  QWidget* parent_;
  QWidget* widget_ = nullptr;
  std::unique_ptr<Ui::Mp1Panel> form_;
  MapTableModel* matrixModel_ = nullptr;
  MapTableModel* yModel_ = nullptr;
  MpvDialog* dialog_ = nullptr;
  ProposalBar* proposal_ = nullptr;
  EngineView* engine_ = nullptr;
  QMenu* menu_ = nullptr;
  QAction *actEdit_ = nullptr, *actUndo_ = nullptr, *actRedo_ = nullptr, *actCopy_ = nullptr,
          *actPaste_ = nullptr;
  std::unique_ptr<MapGraphView> graph2D_, graph3D_;
  std::unique_ptr<MapCompareUi> compare_;
  EditHistory history_;
  uint8_t fSingleMatrix_ = 0;  // mirrors bit 0 of the map block's flag byte
  bool scattering_ = false;
  int laidOutFor_ = 0;  // the map the column widths were set for
  Cell lastActive_;
};

}  // namespace maps
