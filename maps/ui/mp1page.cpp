#include "maps/ui/mp1page.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTableView>

#include "ecudata/image.h"
#include "link/userio.h"
#include "config/bike.h"
#include "maps/ui/engineview.h"
#include "maps/ui/mapcompare.h"
#include "maps/ui/maptablemodel.h"
#include "maps/ui/workmarker.h"
#include "maps/ui/mpvdialog.h"
#include "maps/ui/proposalbar.h"
#include "shell/connection.h"
#include "tuning/map2.h"
#include "ui_mp1panel.h"

namespace maps {

namespace {

constexpr int kRowHeight = 22;

QString Vertical(const std::string& caption) {
  QString out = QString::fromStdString(caption);
  out.replace('\r', '\n');
  return out.trimmed();
}

bool IsPlus(const QKeyEvent* e) {
  return e->key() == Qt::Key_Plus;
}
bool IsMinus(const QKeyEvent* e) {
  return e->key() == Qt::Key_Minus;
}

}  // namespace

Mp1Page::Mp1Page(QWidget* parent) : parent_(parent) {}

Mp1Page::~Mp1Page() {
  SetMp1ScatterHook({});
  DropMapBaseline();
  // The graph windows may refer to the editor: they go first.
  graph2D_.reset();
  graph3D_.reset();
}

QWidget* Mp1Page::Widget() {
  return widget_;
}

QTableView* Mp1Page::Matrix() const {
  return form_->TABmatrix;
}

QTableView* Mp1Page::YTable() const {
  return form_->TABbpy;
}

uint8_t Mp1Page::Init() {
  widget_ = new QWidget(parent_);
  form_ = std::make_unique<Ui::Mp1Panel>();
  form_->setupUi(widget_);
  dialog_ = new MpvDialog(this, widget_);
  proposal_ = new ProposalBar(widget_);
  form_->LAYmp1->insertWidget(0, proposal_);
  proposal_->onApply = [this] { ApplyProposal(); };
  proposal_->onDiscard = [this] { DiscardProposal(); };

  matrixModel_ = new MapTableModel(MapTableModel::Kind::Matrix, widget_);
  yModel_ = new MapTableModel(MapTableModel::Kind::YAxis, widget_);
  for (auto [view, model] : {std::pair{form_->TABmatrix, matrixModel_}, std::pair{form_->TABbpy, yModel_}}) {
    view->setModel(model);
    view->setItemDelegate(new MapCellDelegate(view));
    view->horizontalHeader()->hide();
    view->verticalHeader()->hide();
    view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view->verticalHeader()->setDefaultSectionSize(kRowHeight);
    view->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view->setSelectionMode(QAbstractItemView::ContiguousSelection);
    view->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                          QAbstractItemView::AnyKeyPressed);
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // A point smaller than the window's text, so that the 32 columns fit a common screen.
    QFont font = view->font();
    font.setPointSizeF(std::max(7.0, font.pointSizeF() - 1.0));
    view->setFont(font);
    view->installEventFilter(this);
    view->viewport()->installEventFilter(this);
    model->SetBaseFont(font);
    const bool y = model == yModel_;
    model->onCommit = [this, y](int row, int col, double v) { return CommitTyped(y, row, col, v); };
    model->onRefused = [this](const QString& text) {
      Status(QString("\"%1\" is not a number; the cell keeps its value.").arg(text));
    };
  }
  // The Y table scrolls with the matrix rows it stands beside.
  connect(form_->TABmatrix->verticalScrollBar(), &QScrollBar::valueChanged,
          form_->TABbpy->verticalScrollBar(), &QScrollBar::setValue);
  connect(form_->TABmatrix->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex&, const QModelIndex&) { ActiveCellMoved(); });

  connect(form_->TPselectMap, &QTabWidget::currentChanged, this, [this](int tab) { SelectMap(tab); });
  connect(form_->CBcyl, &QPushButton::clicked, this, [this] { SelectCylinder(); });
  connect(form_->TBsingleMatEditing, &QPushButton::clicked, this, [this](bool on) { SelectMultiSingle(on); });
  connect(form_->CBgraph2D, &QPushButton::clicked, this, [this] { Map2DgraphOnOff(); });
  connect(form_->CBgraph3D, &QPushButton::clicked, this, [this] { Map3DgraphOnOff(); });
  connect(form_->TBOXnotes, &QPlainTextEdit::textChanged, this, [this] {
    // The box holds at most 399 characters, as the block's field does.
    QPlainTextEdit* box = form_->TBOXnotes;
    const QString text = box->toPlainText();
    if (text.size() <= kNotesChars) return;
    QTextCursor cursor = box->textCursor();
    const int pos = cursor.position();
    box->setPlainText(text.left(kNotesChars));
    cursor = box->textCursor();
    cursor.setPosition(std::min(pos, kNotesChars));
    box->setTextCursor(cursor);
    Status("The notes hold at most 399 characters.");
  });

  // The context menu (right click beside the matrix, the menu key, Shift+right click on the matrix).
  menu_ = new QMenu(widget_);
  auto action = [this](const char* text, QKeySequence key, auto slot) {
    QAction* a = menu_->addAction(QString::fromLatin1(text));
    a->setShortcut(key);
    a->setShortcutContext(Qt::WidgetShortcut);  // the keys themselves are handled by the tables
    a->setShortcutVisibleInContextMenu(true);
    connect(a, &QAction::triggered, this, slot);
    return a;
  };
  actEdit_ = action("Edit Map...", QKeySequence(Qt::CTRL | Qt::Key_Return), [this] {
    if (!shell::CheckfBusy() && GatherMp1Panel(true)) OpenValueDialog();
  });
  menu_->addSeparator();
  actUndo_ = action("Undo", QKeySequence::Undo, [this] { Undo(); });
  actRedo_ = action("Redo", QKeySequence(Qt::CTRL | Qt::Key_Y), [this] { Redo(); });
  menu_->addSeparator();
  actCopy_ = action("Copy", QKeySequence::Copy, [this] { CopySelection(); });
  actPaste_ = action("Paste", QKeySequence::Paste, [this] { PasteClipboard(); });
  compare_ = std::make_unique<MapCompareUi>(*this, menu_);
  widget_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(widget_, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& pos) { ShowContextMenu(widget_->mapToGlobal(pos)); });

  for (int id = 1; id <= kMapCount; ++id) InitMp1Data(id);
  TakeMapBaseline();  // what the gathers compare with, to tell edits from what came
  SetMp1ScatterHook([this] { return ScatterMp1Panel(); });
  // A new message in the status line must not lay the page out again.
  form_->TMstatus->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  form_->TMstatus->setFixedHeight(form_->TMstatus->sizeHint().height());
  Layout();

  // The working point on the shown map, and the strip above the page.
  engine_ = new EngineView(qobject_cast<QBoxLayout*>(widget_->layout()), this);
  engine_->cellOf = [](const live::LiveData& record) {
    return live::MapWorkCell(ecu::ecuMapData, idCurMap, record, config::fTempIsOil != 0);
  };
  engine_->shownKey = [] { return static_cast<int>(idCurMap); };
  engine_->AddMarker(new WorkMarker(form_->TABmatrix, [this](const live::WorkCell& cell) {
    return matrixModel_->index(cell.row + 1, cell.col);
  }));
  // The graphs mark the current cell; they hear of it when it moves.
  engine_->onMarks = [this, last = Cell{-1, -1}](const std::vector<live::WorkTrail::Mark>& marks) mutable {
    const Cell now = marks.empty() ? Cell{-1, -1} : Cell{marks.front().cell.row + 1, marks.front().cell.col};
    if (now == last) return;
    last = now;
    for (MapGraphView* view : {graph2D_.get(), graph3D_.get()})
      if (view) view->WorkPointChanged(now.row, now.col);
  };
  return 1;
}

void Mp1Page::AttachGraph2D(std::unique_ptr<MapGraphView> view) {
  graph2D_ = std::move(view);
  form_->CBgraph2D->setEnabled(graph2D_ != nullptr);
}

void Mp1Page::AttachGraph3D(std::unique_ptr<MapGraphView> view) {
  graph3D_ = std::move(view);
  form_->CBgraph3D->setEnabled(graph3D_ != nullptr);
}

// Column widths that fit the widest value of the current map, and the heights that keep
// the Y table beside the matrix rows.
void Mp1Page::Layout() {
  MapShape s;
  CurrentShape(&s);
  QFont bold = form_->TABmatrix->font();
  bold.setBold(true);
  const QFontMetrics fm(bold);
  auto sample = [](double max, double min, int prec) {
    const double wide = std::max(std::abs(max), std::abs(min));
    return QString::number(min < 0 ? -wide : wide, 'f', prec);
  };
  const int cell = std::max(fm.horizontalAdvance(sample(s.maxZ, s.minZ, s.precZ)),
                            fm.horizontalAdvance(sample(s.maxX, 0, s.precX))) +
                   6;
  form_->TABmatrix->horizontalHeader()->setDefaultSectionSize(cell);
  const int yWidth = fm.horizontalAdvance(sample(s.maxY, s.minY, s.precY)) + 12;
  form_->TABbpy->horizontalHeader()->setDefaultSectionSize(yWidth);
  const int frame = 2 * form_->TABmatrix->frameWidth();
  form_->TABbpy->setFixedWidth(yWidth + 2 * form_->TABbpy->frameWidth());
  form_->TABbpy->setFixedHeight(kMapRows * kRowHeight + 2 * form_->TABbpy->frameWidth());
  form_->TMmapType->setFixedHeight(kRowHeight + frame / 2);
  form_->TMmapType->setFixedWidth(form_->TABbpy->width());
  const int scrollBar = form_->TABmatrix->horizontalScrollBar()->sizeHint().height();
  form_->TABmatrix->setMinimumHeight(kTableRows * kRowHeight + frame + scrollBar);
  form_->TABmatrix->setMaximumHeight(kTableRows * kRowHeight + frame + scrollBar);
  form_->TABmatrix->setMaximumWidth(kMapCols * cell + frame + 2);
}

void Mp1Page::SetCylLabel(int jcyl) {
  form_->CBcyl->setText(QString::fromLatin1(CylinderLabel(jcyl)));
}

uint8_t Mp1Page::ScatterMp1Panel() {
  if (!form_) return 0;
  scattering_ = true;
  // Single-matrix flag.
  if (!SingleMatrixFlag()) {
    fSingleMatrix_ = 0;
  } else {
    idCurJcyl = 0;
    SetCylLabel(0);
    fSingleMatrix_ = 1;
  }
  MapShape shape;
  if (!CurrentShape(&shape)) {
    scattering_ = false;
    return 0;
  }
  // Panel set-up for the current map.
  const int cylinders = CylinderCount();
  const bool perCylinder = shape.id == 1 && cylinders >= 2;
  form_->TBsingleMatEditing->setVisible(perCylinder);
  form_->TBsingleMatEditing->setChecked(perCylinder ? fSingleMatrix_ != 0 : true);
  form_->CBcyl->setVisible(perCylinder && !fSingleMatrix_);
  if (perCylinder && idCurJcyl >= cylinders) idCurJcyl = static_cast<uint8_t>(cylinders - 1);
  if (shape.id == 1 && cylinders < 2) idCurJcyl = 0;
  SetCylLabel(idCurJcyl);
  if (form_->TPselectMap->currentIndex() != shape.id - 1) {
    const QSignalBlocker block(form_->TPselectMap);
    form_->TPselectMap->setCurrentIndex(shape.id - 1);
  }
  form_->TABmatrix->setEnabled(true);
  form_->TABbpy->setEnabled(true);
  DimTuningButtons();
  form_->CBgraph2D->setEnabled(graph2D_ != nullptr);
  form_->CBgraph3D->setEnabled(graph3D_ != nullptr);
  form_->TMmatrixCaption->setText(QString::fromStdString(GetCurMapMatrixCaption()));
  form_->TMyCaption->setText(Vertical(GetCurMapVerticalYCaption()));
  form_->TMmapType->setText(QString::fromStdString(GetCurMapUnitCaption()));
  if (shape.id != laidOutFor_) {
    Layout();
    laidOutFor_ = shape.id;
  }

  // Notes (the field's last byte is forced to 0 first).
  const QString notes = QString::fromStdString(NotesText());
  if (form_->TBOXnotes->toPlainText() != notes) {
    const QSignalBlocker block(form_->TBOXnotes);
    form_->TBOXnotes->setPlainText(notes);
  }

  // The values, coloured against the reference copy.
  matrixModel_->Reload();
  yModel_->Reload();
  ShowProposalPreview();
  actUndo_->setEnabled(history_.CanUndo());
  actRedo_->setEnabled(history_.CanRedo());
  scattering_ = false;

  // The graphs follow; the 3D plot's result is the result of the scatter.
  uint8_t result = 1;
  if (graph2D_ && graph2D_->IsViewShown()) graph2D_->ScatterView();
  if (graph3D_ && graph3D_->IsViewShown()) result = graph3D_->ScatterView();
  return result;
}

bool Mp1Page::GatherNotes() {
  const std::string text = form_->TBOXnotes->toPlainText().toStdString();
  if (text == NotesText()) return false;
  history_.Begin(Here());
  StoreNotes(text);
  history_.Flush();
  return true;
}

uint8_t Mp1Page::GatherMp1Panel(bool checkAxes) {
  if (!form_) return 0;
  GatherNotes();
  // The cells and breakpoints reach the block as they are typed; what is left are the
  // block-side rules. The axis repair is a step of the history of its own, closed at
  // once: a gather runs while other pages are in front too, and their edits are never
  // part of this page's steps.
  history_.Begin(Here());
  bool repaired = false;
  const uint8_t gathered = GatherMapBlock(checkAxes, &repaired);
  history_.Flush();
  if (!gathered) return 0;
  if (repaired) return ScatterMp1Panel();
  return 1;
}

uint8_t Mp1Page::Timer() {
  for (MapGraphView* view : {graph2D_.get(), graph3D_.get()})
    if (view && view->IsViewShown()) view->TimerView();
  const uint8_t result = engine_->Tick();
  DimTuningButtons();  // the identity check keeps the tuning state
  return result;
}

int Mp1Page::TimerInterval() const {
  return engine_->TimerInterval();
}

void Mp1Page::DimTuningButtons() {
  // Automatic tuning cannot start over a manual session, nor manual over an automatic one.
  const bool running = tuning::IsMapTuning() != 0;
  form_->CBautoMap->setEnabled(!(running && tuning::tuneInfo.State() == tuning::kStateManual));
  form_->CBmanualMap->setEnabled(!(running && tuning::tuneInfo.State() == tuning::kStateAuto));
}

void Mp1Page::Leave() {
  history_.Flush();  // an edit on another page is never part of this page's last step
  engine_->Leave();
  for (MapGraphView* view : {graph2D_.get(), graph3D_.get()})
    if (view) view->HideView();
}

void Mp1Page::BlocksReplaced(int type) {
  if (type != ecu::kMapType) return;
  TakeMapBaseline();  // the block as it came: nothing of it is an edit
  history_.Clear();
  // A proposal was made for the block that is gone.
  if (proposal_ && proposal_->Pending()) {
    proposal_->Drop();
    matrixModel_->ClearPreview();
  }
  if (actUndo_) {
    actUndo_->setEnabled(false);
    actRedo_->setEnabled(false);
  }
}

EditHistory::Place Mp1Page::Here() const {
  const Cell c = ActiveCell();
  return {idCurMap, idCurJcyl, c.row, c.col};
}

void Mp1Page::BeginEdit() {
  GatherNotes();
  history_.Begin(Here());
}

void Mp1Page::MapError(const char* title) {
  com::Ui().MessagePopup(title, shell::szGenericError);
}

void Mp1Page::Status(const QString& text) {
  form_->TMstatus->setText(text);
}

// ---- selection and active cell ----

Mp1Page::Cell Mp1Page::ActiveCell() const {
  const QModelIndex i = form_->TABmatrix->currentIndex();
  if (!i.isValid()) return {1, 0};
  return {i.row(), i.column()};
}

CellRect Mp1Page::SelectedCells() const {
  const QItemSelection sel = form_->TABmatrix->selectionModel()->selection();
  if (sel.isEmpty()) {
    const Cell c = ActiveCell();
    return {c.row, c.col, 1, 1};
  }
  int top = kTableRows, left = kMapCols, bottom = -1, right = -1;
  for (const QItemSelectionRange& r : sel) {
    top = std::min(top, r.top());
    left = std::min(left, r.left());
    bottom = std::max(bottom, r.bottom());
    right = std::max(right, r.right());
  }
  return {top, left, bottom - top + 1, right - left + 1};
}

void Mp1Page::SetActiveCell(int row, int col) {
  row = std::clamp(row, 0, kTableRows - 1);
  col = std::clamp(col, 0, kMapCols - 1);
  const QModelIndex i = matrixModel_->index(row, col);
  form_->TABmatrix->selectionModel()->setCurrentIndex(i, QItemSelectionModel::ClearAndSelect);
  form_->TABmatrix->scrollTo(i);
}

void Mp1Page::SelectFirstCell() {
  SetActiveCell(1, 0);
}

void Mp1Page::ShadeCells(const std::vector<Cell>& cells) {
  std::vector<std::pair<int, int>> list;
  list.reserve(cells.size());
  for (const Cell& c : cells) list.emplace_back(c.row, c.col);
  matrixModel_->SetShading(list);
}

void Mp1Page::ActiveCellMoved() {
  const Cell now = ActiveCell();
  if (now == lastActive_) return;
  lastActive_ = now;
  if (compare_) compare_->CellMoved();
  if (graph3D_ && graph3D_->IsViewShown()) graph3D_->ActiveCellChanged();
  if (graph2D_ && graph2D_->IsViewShown()) graph2D_->ActiveCellChanged();
  ShowProposalStatus();
}

// ---- a proposal from a log ----

void Mp1Page::OfferProposal(const logs::Proposal& proposal, int cylinder, const QString& source) {
  if (!GatherMp1Panel(true)) MapError("Map Change");
  idCurMap = 1;
  idCurJcyl = static_cast<uint8_t>(cylinder);
  SetCylLabel(cylinder);
  proposal_->Offer(proposal, cylinder, source);
  ScatterMp1Panel();
  // The first cell the proposal changes comes into view.
  for (int c = 0; c < kMapCells; ++c)
    if (proposal.after[static_cast<size_t>(c)] != proposal.before[static_cast<size_t>(c)]) {
      SetActiveCell(c / kMapCols + 1, c % kMapCols);
      break;
    }
  ShowProposalStatus();
}

void Mp1Page::ShowProposalPreview() {
  if (!proposal_ || !proposal_->Pending() || idCurMap != 1 || idCurJcyl != proposal_->Cylinder()) return;
  MapShape shape;
  if (!CurrentShape(&shape)) return;
  const logs::Proposal& p = proposal_->Proposal();
  std::vector<MapTableModel::PreviewCell> cells;
  for (int c = 0; c < kMapCells; ++c) {
    const auto i = static_cast<size_t>(c);
    if (p.after[i] != p.before[i])
      cells.push_back({c / kMapCols + 1, c % kMapCols, p.after[i] / shape.scaleZ,
                       proposal_->CellText(c / kMapCols, c % kMapCols, shape.scaleZ, shape.precZ)});
  }
  matrixModel_->SetPreviewCells(cells);
}

void Mp1Page::ShowProposalStatus() {
  if (!proposal_ || !proposal_->Pending() || idCurMap != 1 || idCurJcyl != proposal_->Cylinder()) return;
  MapShape shape;
  const Cell c = ActiveCell();
  if (c.row < 1 || !CurrentShape(&shape)) return;
  Status(proposal_->CellText(c.row - 1, c.col, shape.scaleZ, shape.precZ));
}

bool Mp1Page::ApplyProposal() {
  if (!proposal_->Pending() || shell::CheckfBusy()) return false;
  if (!GatherMp1Panel(true)) {
    MapError("Map Change");
    return false;
  }
  const int cylinder = proposal_->Cylinder();
  history_.Begin({1, static_cast<uint8_t>(cylinder), ActiveCell().row, ActiveCell().col});
  int kept = 0;
  const int written = logs::ApplyProposal(proposal_->Proposal(), cylinder, ecu::ecuMapData, &kept);
  history_.Flush();
  proposal_->Drop();
  idCurMap = 1;
  idCurJcyl = static_cast<uint8_t>(cylinder);
  SetCylLabel(cylinder);
  ScatterMp1Panel();
  QString text = QString("Proposal applied: %1 cell%2 changed (Ctrl+Z takes it back).")
                     .arg(written)
                     .arg(written == 1 ? "" : "s");
  if (kept > 0)
    text +=
        QString(" %1 cell%2 edited since the proposal kept the edit.").arg(kept).arg(kept == 1 ? "" : "s");
  Status(text);
  return true;
}

void Mp1Page::DiscardProposal() {
  if (!proposal_->Pending()) return;
  proposal_->Drop();
  matrixModel_->ClearPreview();
  Status("Proposal discarded; the map is as it was.");
}

// ---- map and cylinder selection ----

void Mp1Page::SelectMap(int tab) {
  if (shell::CheckfBusy() || scattering_) {
    const QSignalBlocker block(form_->TPselectMap);
    form_->TPselectMap->setCurrentIndex(idCurMap - 1);
    return;
  }
  bool ok = GatherMp1Panel(true);
  idCurMap = static_cast<uint8_t>(tab + 1);
  SelectFirstCell();
  ok = ScatterMp1Panel() && ok;
  if (!ok) MapError("Map Change");
}

void Mp1Page::SelectCylinder() {
  if (shell::CheckfBusy()) return;
  bool ok = GatherMp1Panel(true);
  if (idCurMap == 1) {
    if (form_->CBcyl->text() == "Cyl. 1") {
      idCurJcyl = 1;
      SetCylLabel(1);
    } else {
      idCurJcyl = 0;
      SetCylLabel(0);
    }
  }
  SelectFirstCell();
  ok = ScatterMp1Panel() && ok;
  if (!ok) MapError("Map Change");
}

void Mp1Page::SelectMultiSingle(bool on) {
  if (shell::CheckfBusy() || idCurMap != 1) {
    form_->TBsingleMatEditing->setChecked(fSingleMatrix_ != 0);
    return;
  }
  bool ok = true;
  if (!on) {
    ok = GatherMp1Panel(true);
    fSingleMatrix_ = 0;
  } else if (com::Ui().ConfirmPopup("Matrixes Alignment",
                                    "WARNING!\n\nAll matrixes, except the first, will be lost!")) {
    fSingleMatrix_ = 1;
    GatherNotes();
    // The alignment is an edit of its own: undo brings the second matrix back.
    history_.Begin(Here());
    SetSingleMatrixFlag(true);
    AlignMatrixes();
    ok = GatherMapBlock(true);
    idCurJcyl = 0;
    SetCylLabel(0);
  }
  SetSingleMatrixFlag(fSingleMatrix_ != 0);
  ok = ScatterMp1Panel() && ok;
  if (!ok) MapError("Matrixes Alignment");
}

void Mp1Page::Map2DgraphOnOff() {
  if (shell::CheckfBusy() || !graph2D_) return;
  if (graph2D_->IsViewShown()) {
    graph2D_->HideView();
  } else if (!graph2D_->ShowView()) {
    MapError("2D Graph");
  }
}

void Mp1Page::Map3DgraphOnOff() {
  if (shell::CheckfBusy() || !graph3D_) return;
  // The plot window says itself why it cannot be shown: one message, not two.
  if (graph3D_->IsViewShown())
    graph3D_->HideView();
  else
    graph3D_->ShowView();
}

// ---- edits ----

bool Mp1Page::CommitTyped(bool yTable, int row, int col, double value) {
  if (shell::CheckfBusy()) return false;
  GatherNotes();
  history_.Begin(Here());
  const uint8_t stored = yTable ? StoreYValue(row, value) : StoreTableValue(row, col, value);
  const bool ok = stored && GatherMapBlock(false) && ScatterMp1Panel();
  if (!ok) MapError("Edit Map");
  return ok;
}

uint8_t Mp1Page::CellValChange(int delta) {
  const Cell c = ActiveCell();
  if (c.row < 1 || c.row >= kTableRows) return 1;
  GatherNotes();
  history_.Begin(Here());
  if (!StepCell(c.row, c.col, delta)) return 0;
  return ScatterMp1Panel();
}

bool Mp1Page::Undo() {
  if (shell::CheckfBusy()) return false;
  GatherNotes();
  EditHistory::Place where;
  if (!history_.Undo(&where)) {
    Status("Nothing to undo.");
    return false;
  }
  idCurMap = where.map;
  idCurJcyl = where.cyl;
  ScatterMp1Panel();
  SetActiveCell(where.row, where.col);
  Status(
      QString("Undone (%1 more to undo, %2 to redo).").arg(history_.UndoSteps()).arg(history_.RedoSteps()));
  return true;
}

bool Mp1Page::Redo() {
  if (shell::CheckfBusy()) return false;
  GatherNotes();
  EditHistory::Place where;
  if (!history_.Redo(&where)) {
    Status("Nothing to redo.");
    return false;
  }
  idCurMap = where.map;
  idCurJcyl = where.cyl;
  ScatterMp1Panel();
  SetActiveCell(where.row, where.col);
  Status(QString("Redone (%1 more to redo).").arg(history_.RedoSteps()));
  return true;
}

void Mp1Page::CopySelection() {
  std::string text;
  if (form_->TABbpy->hasFocus()) {
    const QModelIndexList rows = form_->TABbpy->selectionModel()->selectedIndexes();
    int top = kMapRows, bottom = -1;
    for (const QModelIndex& i : rows) {
      top = std::min(top, i.row());
      bottom = std::max(bottom, i.row());
    }
    if (bottom < 0 && form_->TABbpy->currentIndex().isValid())
      top = bottom = form_->TABbpy->currentIndex().row();
    if (bottom >= 0) text = CopyYText(top, bottom - top + 1);
  } else {
    text = CopyTableText(SelectedCells());
  }
  if (text.empty()) {
    Status("Nothing selected to copy.");
    return;
  }
  QApplication::clipboard()->setText(QString::fromStdString(text));
  const int lines = static_cast<int>(std::count(text.begin(), text.end(), '\n'));
  const int values = static_cast<int>(std::count(text.begin(), text.end(), '\t')) + lines;
  Status(QString("Copied %1 value%2.").arg(values).arg(values == 1 ? "" : "s"));
}

void Mp1Page::PasteClipboard() {
  if (shell::CheckfBusy()) return;
  const std::string text = QApplication::clipboard()->text().toStdString();
  GatherNotes();
  history_.Begin(Here());
  PasteResult r;
  if (form_->TABbpy->hasFocus()) {
    const QModelIndex i = form_->TABbpy->currentIndex();
    r = PasteYText(text, i.isValid() ? i.row() : 0);
  } else {
    const Cell c = ActiveCell();
    r = PasteTableText(text, c.row, c.col);
  }
  if (r.ok) {
    ScatterMp1Panel();
    // The pasted block stays selected.
    if (!form_->TABbpy->hasFocus()) {
      const Cell c = ActiveCell();
      const QItemSelection sel(matrixModel_->index(c.row, c.col),
                               matrixModel_->index(c.row + r.rows - 1, c.col + r.cols - 1));
      form_->TABmatrix->selectionModel()->select(sel, QItemSelectionModel::ClearAndSelect);
    }
  }
  Status(QString::fromStdString(r.message));
}

uint8_t Mp1Page::OpenValueDialog() {
  form_->TABmatrix->setFocus();
  const Cell active = ActiveCell();
  const CellRect sel = NormaliseSelection(SelectedCells(), active.row, active.col);
  if (!sel.Empty()) {
    const QItemSelection range(matrixModel_->index(sel.top, sel.left),
                               matrixModel_->index(sel.Bottom(), sel.Right()));
    form_->TABmatrix->selectionModel()->select(range, QItemSelectionModel::ClearAndSelect);
  } else {
    form_->TABmatrix->selectionModel()->clearSelection();
    com::Ui().MessagePopup("Edit Map", "No selection...");
    return 1;
  }
  return dialog_->Run(sel);
}

void Mp1Page::Preview(const CellRect& rect, const std::vector<double>& values) {
  matrixModel_->SetPreview(rect, values);
}

void Mp1Page::ShowContextMenu(const QPoint& globalPos) {
  actUndo_->setEnabled(history_.CanUndo());
  actRedo_->setEnabled(history_.CanRedo());
  actPaste_->setEnabled(QApplication::clipboard()->text().size() > 0);
  menu_->popup(globalPos);
}

bool Mp1Page::eventFilter(QObject* watched, QEvent* event) {
  QTableView* matrix = form_ ? form_->TABmatrix : nullptr;
  QTableView* ytable = form_ ? form_->TABbpy : nullptr;
  if (!matrix) return false;
  const bool onMatrix = watched == matrix || watched == matrix->viewport();
  const bool onY = watched == ytable || watched == ytable->viewport();
  if (!onMatrix && !onY) return false;

  if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) {
    auto* me = static_cast<QMouseEvent*>(event);
    if (me->button() != Qt::RightButton) return false;
    if (shell::CheckfBusy()) return true;
    if (onMatrix && !(me->modifiers() & Qt::ShiftModifier) && event->type() == QEvent::MouseButtonPress) {
      // A right click outside the selection makes the clicked cell the selection.
      const QModelIndex i = matrix->indexAt(me->position().toPoint());
      if (i.isValid() && !matrix->selectionModel()->isSelected(i))
        matrix->selectionModel()->setCurrentIndex(i, QItemSelectionModel::ClearAndSelect);
      if (GatherMp1Panel(true))
        OpenValueDialog();
      else
        MapError("Edit Map");
      return true;
    }
    if (event->type() == QEvent::MouseButtonPress) ShowContextMenu(me->globalPosition().toPoint());
    return true;  // right clicks are ours
  }
  if (event->type() == QEvent::ContextMenu) return true;

  if (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) {
    if (watched != matrix && watched != ytable) return false;
    auto* ke = static_cast<QKeyEvent*>(event);
    const bool ctrl = ke->modifiers() & Qt::ControlModifier;
    const bool alt = ke->modifiers() & Qt::AltModifier;
    const bool shift = ke->modifiers() & Qt::ShiftModifier;
    const bool undo = ke->matches(QKeySequence::Undo);
    const bool redo = ke->matches(QKeySequence::Redo) || (ctrl && ke->key() == Qt::Key_Y) ||
                      (ctrl && shift && ke->key() == Qt::Key_Z);
    const bool copy = ke->matches(QKeySequence::Copy);
    const bool paste = ke->matches(QKeySequence::Paste);
    const bool enter =
        ctrl && (ke->key() == Qt::Key_Return || ke->key() == Qt::Key_Enter) && watched == matrix;
    // "+" and "-" step the active matrix cell with either table focused.
    const bool step = IsPlus(ke) || IsMinus(ke);
    const bool menuKey = ke->key() == Qt::Key_Menu || (shift && ke->key() == Qt::Key_F10);
    if (!(undo || redo || copy || paste || enter || step || menuKey)) return false;
    if (event->type() == QEvent::ShortcutOverride) {
      event->accept();  // the key comes to us as a key press
      return true;
    }
    if (shell::CheckfBusy()) return true;
    if (redo) {
      Redo();
    } else if (undo) {
      Undo();
    } else if (copy) {
      CopySelection();
    } else if (paste) {
      PasteClipboard();
    } else if (enter) {
      if (GatherMp1Panel(true))
        OpenValueDialog();
      else
        MapError("Edit Map");
    } else if (step) {
      const int delta = KeyStep(ctrl, alt) * (IsPlus(ke) ? 1 : -1);
      if (!CellValChange(delta)) MapError("Edit Map");
    } else if (menuKey) {
      auto* view = static_cast<QTableView*>(watched);
      const QRect r = view->visualRect(view->currentIndex());
      ShowContextMenu(view->viewport()->mapToGlobal(r.center()));
    }
    return true;
  }
  return false;
}

}  // namespace maps
