#include "maps/ui/corrpage.h"

#include <QApplication>
#include <QBoxLayout>
#include <QClipboard>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMouseEvent>
#include <QMoveEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "config/bike.h"
#include "ecudata/fieldkeep.h"
#include "ecudata/image.h"
#include "link/userio.h"
#include "maps/advance.h"
#include "maps/inject.h"
#include "maps/ui/engineview.h"
#include "maps/ui/workmarker.h"
#include "shell/connection.h"
#include "ui_advpanel.h"
#include "ui_corrval.h"
#include "ui_injpanel.h"

namespace maps {

namespace {

constexpr int kMinRole = Qt::UserRole, kMaxRole = Qt::UserRole + 1, kDecRole = Qt::UserRole + 2;
constexpr int kColumnWidth = 56;
const QColor kOutsideColour = QColor::fromRgb(ecu::kOutsideRangeRgb);

// Typed values: a number is held to the cell's limits and shown with its decimals; a
// text that is not a number leaves the cell as it was.
class CorrCellDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex&) const override {
    auto* line = new QLineEdit(parent);
    line->setFrame(false);
    line->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return line;
  }
  void setEditorData(QWidget* editor, const QModelIndex& index) const override {
    static_cast<QLineEdit*>(editor)->setText(index.data().toString());
  }
  void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override {
    QString text = static_cast<QLineEdit*>(editor)->text().trimmed();
    if (!text.contains('.') && text.count(',') == 1) text.replace(',', '.');
    bool ok = false;
    const double v = QLocale::c().toDouble(text, &ok);
    if (!ok || !std::isfinite(v)) return;
    const double held = std::clamp(v, index.data(kMinRole).toDouble(), index.data(kMaxRole).toDouble());
    model->setData(index, QString::number(held, 'f', index.data(kDecRole).toInt()));
  }
};

void PutCell(QTableWidget* t, int row, int col, double v, int decimals, double lo, double hi, bool editable) {
  QTableWidgetItem* item = t->item(row, col);
  if (!item) {
    item = new QTableWidgetItem;
    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    t->setItem(row, col, item);
  }
  item->setData(kMinRole, lo);
  item->setData(kMaxRole, hi);
  item->setData(kDecRole, decimals);
  item->setText(QString::number(v, 'f', decimals));
  // A value beyond the table's limits came with the block: shown as it is, marked, and
  // kept unless it is edited.
  const bool outside = editable && (v < lo || v > hi);
  item->setToolTip(
      outside ? QString::fromStdString(ecu::OutsideRangeText(QString::number(v, 'f', decimals).toStdString()))
              : QString());
  item->setData(Qt::BackgroundRole, outside ? QVariant(kOutsideColour) : QVariant());
  QFont f = item->font();
  f.setBold(false);
  item->setFont(f);
  item->setFlags(editable ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable
                          : Qt::ItemIsEnabled | Qt::ItemIsSelectable);
}

bool ReadCell(const QTableWidget* t, int row, int col, double* v) {
  const QTableWidgetItem* item = t->item(row, col);
  if (!item) return false;
  bool ok = false;
  *v = QLocale::c().toDouble(item->text().trimmed(), &ok);
  return ok;
}

void FitTable(QTableWidget* t, int columnWidth) {
  t->horizontalHeader()->setDefaultSectionSize(columnWidth);
  t->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  t->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  t->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  t->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  t->resizeRowsToContents();
  int h = t->horizontalHeader()->height() + 2 * t->frameWidth() + 18;  // room for the scroll bar
  for (int r = 0; r < t->rowCount(); ++r) h += t->rowHeight(r);
  t->setFixedHeight(h);
}

}  // namespace

// ---- the value dialog ----

CorrValDialog::CorrValDialog(CorrPage* page, QWidget* parent)
    : QDialog(parent), page_(page), form_(std::make_unique<Ui::CorrValDialog>()) {
  form_->setupUi(this);
  const bool inj = page->Id() == shell::PageId::Injection;
  form_->RBval->setObjectName(inj ? "RBinjVal" : "RBadvVal");
  setWindowTitle(QString::fromUtf8(page->Editor().editTitle));
  setModal(true);
  form_->NSval->setLocale(QLocale::c());
  connect(form_->NSval, &QDoubleSpinBox::valueChanged, this, [this] { ValueChanged(); });
  const std::array<std::pair<QRadioButton*, CorrMode>, 3> modes{
      {{form_->RBset, CorrMode::Set}, {form_->RBadd, CorrMode::Add}, {form_->RBperc, CorrMode::Perc}}};
  for (auto [button, mode] : modes)
    connect(button, &QRadioButton::clicked, this, [this, mode] {
      if (shell::CheckfBusy()) return;
      Prepare(mode);
      page_->Scatter();  // drops the preview
    });
  connect(form_->CBapply, &QPushButton::clicked, this, [this] { Apply(); });
  connect(form_->CBcancel, &QPushButton::clicked, this, [this] { reject(); });
}

CorrValDialog::~CorrValDialog() = default;

uint8_t CorrValDialog::Run(int cyl, const CellRect& selection) {
  cyl_ = cyl;
  selection_ = selection;
  result_ = 1;
  form_->TMselection->setText(
      QString("%1 cells of cylinder %2").arg(selection.height * selection.width).arg(cyl + 1));
  Prepare(CorrMode::Set);
  if (posSet_) move(pos_);
  setWindowState(zoom_ ? Qt::WindowMaximized : Qt::WindowNoState);
  form_->NSval->setFocus();
  form_->NSval->selectAll();
  exec();
  return result_;
}

void CorrValDialog::Prepare(CorrMode mode) {
  mode_ = mode;
  const CorrEditor& ed = page_->Editor();
  const bool any = !selection_.Empty() && selection_.top >= 1 && selection_.left >= 1;
  const double first =
      any ? UserCell(ed, ecu::ecuMapData, cyl_, selection_.top - 1, selection_.left - 1) / ed.user.valueScale
          : 0.0;
  const CorrDialogSetup s = PrepareCorrDialog(ed, mode, first);
  preparing_ = true;
  form_->RBset->setChecked(mode == CorrMode::Set);
  form_->RBadd->setChecked(mode == CorrMode::Add);
  form_->RBperc->setChecked(mode == CorrMode::Perc);
  QDoubleSpinBox* n = form_->NSval;
  n->setDecimals(s.decimals);
  n->setRange(s.min, s.max);
  n->setSingleStep(s.step);
  n->setValue(s.start);
  form_->TMunit->setText(QString::fromUtf8(s.label.c_str()));
  preparing_ = false;
}

void CorrValDialog::ValueChanged() {
  if (preparing_ || shell::CheckfBusy()) return;
  page_->Preview(
      cyl_, selection_,
      PreviewCorr(page_->Editor(), ecu::ecuMapData, cyl_, mode_, form_->NSval->value(), selection_));
}

void CorrValDialog::Apply() {
  if (shell::CheckfBusy()) return;
  form_->NSval->interpretText();
  page_->BeginEdit();
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const uint8_t ok =
      ApplyCorr(page_->Editor(), ecu::ecuMapData, cyl_, mode_, form_->NSval->value(), selection_);
  QApplication::restoreOverrideCursor();
  page_->History().Flush();
  if (!ok || !page_->Scatter()) {
    com::Ui().MessagePopup(page_->Editor().editTitle, shell::szGenericError);
    result_ = 0;
  }
  QDialog::accept();
}

void CorrValDialog::reject() {
  page_->Scatter();
  QDialog::reject();
}

void CorrValDialog::RememberPlace() {
  zoom_ = windowState() & Qt::WindowMaximized;
  if (isVisible() && windowState() == Qt::WindowNoState) {
    pos_ = pos();
    posSet_ = true;
  }
}

void CorrValDialog::moveEvent(QMoveEvent* event) {
  QDialog::moveEvent(event);
  RememberPlace();
}

void CorrValDialog::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange) RememberPlace();
}

// ---- the page ----

CorrPage::CorrPage(shell::PageId id, const CorrEditor& editor, QWidget* parent)
    : id_(id), editor_(editor), parent_(parent) {}
CorrPage::~CorrPage() = default;

uint8_t CorrPage::Init() {
  widget_ = new QWidget(parent_);
  SetupForm(widget_);
  auto* delegate = new CorrCellDelegate(widget_);
  auto wire = [&](QTableWidget* t) {
    t->setItemDelegate(delegate);
    t->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                       QAbstractItemView::AnyKeyPressed);
    QObject::connect(t, &QTableWidget::itemChanged, widget_, [this] { Commit(); });
  };
  for (const CorrCurve& k : editor_.curves) {
    auto* t = widget_->findChild<QTableWidget*>(QString::fromLatin1(k.control));
    if (!t || t->rowCount() != 2 || t->columnCount() != k.points) return 0;
    const char* axisLabel = k.points == 32 ? "rpm" : k.axisScale == 1 ? "Pressure" : "°C";
    const char* valueLabel = k.valueScale == 1      ? "Phase (°)"
                             : k.valueScale == 1000 ? "Factor [k]"
                                                    : "Advance [°]";
    t->setVerticalHeaderLabels({QString::fromUtf8(axisLabel), QString::fromUtf8(valueLabel)});
    wire(t);
    t->installEventFilter(this);
    curves_.push_back(t);
  }
  for (int cyl = 0; cyl < 2; ++cyl) {
    auto* t = widget_->findChild<QTableWidget*>(QString::fromLatin1(editor_.user.control[cyl]));
    if (!t || t->rowCount() != kUserTableRows || t->columnCount() != kUserTableCols) return 0;
    t->horizontalHeader()->hide();
    t->verticalHeader()->hide();
    wire(t);
    t->viewport()->installEventFilter(this);
    t->installEventFilter(this);
    user_[cyl] = t;
  }
  dialog_ = new CorrValDialog(this, widget_);
  auto* undo = new QShortcut(QKeySequence::Undo, widget_, [this] { Undo(); });
  undo->setContext(Qt::WidgetWithChildrenShortcut);
  for (const QKeySequence& k : {QKeySequence(QKeySequence::Redo), QKeySequence("Ctrl+Shift+Z")}) {
    auto* redo = new QShortcut(k, widget_, [this] { Redo(); });
    redo->setContext(Qt::WidgetWithChildrenShortcut);
  }
  InitCorrData(editor_, ecu::ecuMapData);

  // The working point on both user maps, and the strip above the page.
  engine_ = new EngineView(qobject_cast<QBoxLayout*>(widget_->layout()), this);
  engine_->cellOf = [this](const live::LiveData& record) {
    return live::UserMapWorkCell(editor_.user, ecu::ecuMapData, record);
  };
  for (QTableWidget* t : user_)
    engine_->AddMarker(new WorkMarker(
        t, [t](const live::WorkCell& cell) { return t->model()->index(cell.row + 1, cell.col + 1); }));
  return 1;
}

bool CorrPage::TableOf(const QTableWidget* table, CorrTable* which) const {
  for (size_t n = 0; n < curves_.size(); ++n)
    if (curves_[n] == table) {
      *which = {int(n), 0};
      return true;
    }
  for (int cyl = 0; cyl < 2; ++cyl)
    if (user_[cyl] && user_[cyl] == table) {
      *which = {-1, cyl};
      return true;
    }
  return false;
}

void CorrPage::Status(const QString& text) const {
  if (auto* label = widget_->findChild<QLabel*>(QStringLiteral("TMstatus"))) label->setText(text);
}

void CorrPage::CopySelection(QTableWidget* t) {
  CorrTable which;
  if (!TableOf(t, &which) || shell::CheckfBusy()) return;
  CellRect sel{std::max(t->currentRow(), 0), std::max(t->currentColumn(), 0), 1, 1};
  const QList<QTableWidgetSelectionRange> ranges = t->selectedRanges();
  if (!ranges.isEmpty())
    sel = {ranges[0].topRow(), ranges[0].leftColumn(), ranges[0].rowCount(), ranges[0].columnCount()};
  if (!Gather()) {
    Error(editor_.title);
    return;
  }
  QGuiApplication::clipboard()->setText(
      QString::fromStdString(CopyCorrText(editor_, ecu::ecuMapData, which, sel)));
  Status(QString("Copied %1 x %2 cells.").arg(sel.height).arg(sel.width));
}

void CorrPage::PasteClipboard(QTableWidget* t) {
  CorrTable which;
  if (!TableOf(t, &which) || shell::CheckfBusy()) return;
  if (!Gather()) {
    Error(editor_.title);
    return;
  }
  BeginEdit();
  const PasteResult r =
      PasteCorrText(editor_, ecu::ecuMapData, which, QGuiApplication::clipboard()->text().toStdString(),
                    std::max(t->currentRow(), 0), std::max(t->currentColumn(), 0));
  history_.Flush();
  Scatter();
  Status(QString::fromStdString(r.message));
}

uint8_t CorrPage::Scatter() {
  if (!widget_) return 0;
  scattering_ = true;
  const CorrShown s = ShowCorr(editor_, ecu::ecuMapData);
  for (size_t n = 0; n < editor_.curves.size(); ++n) {
    const CorrCurve& k = editor_.curves[n];
    QTableWidget* t = curves_[n];
    if (auto* box = widget_->findChild<QWidget*>(QStringLiteral("GRP") + QString::fromLatin1(k.control)))
      box->setVisible(CurveShown(k, config::fTempIsOil != 0));
    for (int i = 0; i < k.points; ++i) {
      PutCell(t, 0, i, s.axis[n][i], k.axisDecimals, k.axisMin, k.axisMax, true);
      PutCell(t, 1, i, s.values[n][i], k.valueDecimals, k.valueMin, k.valueMax, true);
    }
    FitTable(t, k.points > 16 ? kColumnWidth - 18 : kColumnWidth);
  }
  const CorrUserMap& u = editor_.user;
  for (int cyl = 0; cyl < 2; ++cyl) {
    QTableWidget* t = user_[cyl];
    // The axes are read back from the cylinder 1 table: on the cylinder 2 table they are shown only.
    const bool axes = cyl == 0;
    PutCell(t, 0, 0, 0, 0, 0, 0, false);
    t->item(0, 0)->setText(QStringLiteral("Y \\ rpm"));
    for (int i = 0; i < kUserCols; ++i) PutCell(t, 0, i + 1, s.x[i], u.xDecimals, u.xMin, u.xMax, axes);
    for (int j = 0; j < kUserRows; ++j) PutCell(t, j + 1, 0, s.y[j], u.yDecimals, u.yMin, u.yMax, axes);
    const QColor shade = t->palette().color(QPalette::AlternateBase);
    for (int i = 0; i < kUserCols; ++i)
      if (t->item(0, i + 1)->toolTip().isEmpty()) t->item(0, i + 1)->setBackground(shade);
    for (int j = 0; j < kUserRows; ++j)
      if (t->item(j + 1, 0)->toolTip().isEmpty()) t->item(j + 1, 0)->setBackground(shade);
    for (int r = 0; r < kUserRows; ++r)
      for (int c = 0; c < kUserCols; ++c)
        PutCell(t, r + 1, c + 1, s.cells[cyl][r * kUserCols + c], u.valueDecimals, u.valueMin, u.valueMax,
                true);
    FitTable(t, kColumnWidth);
  }
  scattering_ = false;
  return 1;
}

uint8_t CorrPage::ReadTables(CorrShown* shown) const {
  *shown = ShowCorr(editor_, ecu::ecuMapData);
  for (size_t n = 0; n < editor_.curves.size(); ++n)
    for (int i = 0; i < editor_.curves[n].points; ++i)
      if (!ReadCell(curves_[n], 0, i, &shown->axis[n][i]) ||
          !ReadCell(curves_[n], 1, i, &shown->values[n][i]))
        return 0;
  for (int i = 0; i < kUserCols; ++i)
    if (!ReadCell(user_[0], 0, i + 1, &shown->x[i])) return 0;
  for (int j = 0; j < kUserRows; ++j)
    if (!ReadCell(user_[0], j + 1, 0, &shown->y[j])) return 0;
  for (int cyl = 0; cyl < 2; ++cyl)
    for (int r = 0; r < kUserRows; ++r)
      for (int c = 0; c < kUserCols; ++c)
        if (!ReadCell(user_[cyl], r + 1, c + 1, &shown->cells[cyl][r * kUserCols + c])) return 0;
  return 1;
}

uint8_t CorrPage::Gather() {
  if (!widget_) return 0;
  CorrShown shown;
  if (!ReadTables(&shown)) return 0;
  // Gathered into a copy: nothing is half-written when a table does not fit.
  std::array<uint8_t, ecu::kMapSize> block;
  std::memcpy(block.data(), ecu::ecuMapData, block.size());
  bool repaired = false;
  if (!GatherCorr(editor_, shown, block.data(), &repaired)) return 0;
  std::memcpy(ecu::ecuMapData, block.data(), block.size());
  return repaired ? Scatter() : 1;
}

uint8_t CorrPage::Timer() {
  return engine_->Tick();
}

int CorrPage::TimerInterval() const {
  return engine_->TimerInterval();
}

void CorrPage::Leave() {
  history_.Flush();
  engine_->Leave();
}

void CorrPage::BlocksReplaced(int type) {
  if (type == ecu::kMapType) history_.Clear();
}

void CorrPage::Error(const char* title) const {
  com::Ui().MessagePopup(title, shell::szGenericError);
}

void CorrPage::BeginEdit() {
  history_.Begin({});
}

void CorrPage::Commit() {
  if (scattering_ || shell::CheckfBusy()) return;
  BeginEdit();
  if (!Gather() || !Scatter()) {
    Error(editor_.title);
    Scatter();
  }
  history_.Flush();
}

uint8_t CorrPage::OpenValueDialog(int cyl) {
  QTableWidget* t = user_[cyl];
  t->setFocus();
  if (!Gather()) {
    Error(editor_.editTitle);
    return 0;
  }
  CellRect sel;
  const QList<QTableWidgetSelectionRange> ranges = t->selectedRanges();
  if (!ranges.isEmpty()) {
    int top = kUserTableRows, left = kUserTableCols, bottom = -1, right = -1;
    for (const auto& r : ranges) {
      top = std::min(top, r.topRow());
      left = std::min(left, r.leftColumn());
      bottom = std::max(bottom, r.bottomRow());
      right = std::max(right, r.rightColumn());
    }
    sel = {top, left, bottom - top + 1, right - left + 1};
  }
  sel = NormaliseUserSelection(sel, std::max(t->currentRow(), 0), std::max(t->currentColumn(), 0));
  if (sel.Empty()) {
    com::Ui().MessagePopup(editor_.editTitle, "No selection...");
    return 1;
  }
  t->clearSelection();
  t->setRangeSelected(QTableWidgetSelectionRange(sel.top, sel.left, sel.Bottom(), sel.Right()), true);
  return dialog_->Run(cyl, sel);
}

void CorrPage::Preview(int cyl, const CellRect& rect, const std::vector<double>& values) {
  if (values.size() != size_t(rect.height * rect.width)) return;
  scattering_ = true;
  size_t i = 0;
  for (int r = rect.top; r <= rect.Bottom(); ++r)
    for (int c = rect.left; c <= rect.Right(); ++c) {
      QTableWidgetItem* item = user_[cyl]->item(r, c);
      if (!item) continue;
      item->setText(QString::number(values[i++], 'f', editor_.user.valueDecimals));
      QFont f = item->font();
      f.setBold(true);
      item->setFont(f);
    }
  scattering_ = false;
}

bool CorrPage::Undo() {
  if (shell::CheckfBusy() || !history_.Undo()) return false;
  Scatter();
  return true;
}

bool CorrPage::Redo() {
  if (shell::CheckfBusy() || !history_.Redo()) return false;
  Scatter();
  return true;
}

bool CorrPage::eventFilter(QObject* watched, QEvent* event) {
  auto* table = qobject_cast<QTableWidget*>(watched);
  CorrTable which;
  if (table && TableOf(table, &which) &&
      (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress)) {
    auto* key = static_cast<QKeyEvent*>(event);
    // The tables' own copy (one cell) gives way to the block copy and paste.
    if (key->matches(QKeySequence::Copy) || key->matches(QKeySequence::Paste)) {
      if (event->type() == QEvent::KeyPress) {
        if (key->matches(QKeySequence::Copy))
          CopySelection(table);
        else
          PasteClipboard(table);
      }
      event->accept();
      return true;
    }
  }
  for (int cyl = 0; cyl < 2; ++cyl) {
    QTableWidget* t = user_[cyl];
    if (!t || (watched != t && watched != t->viewport())) continue;
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() != Qt::RightButton) return false;
      if (event->type() == QEvent::MouseButtonPress && !shell::CheckfBusy()) OpenValueDialog(cyl);
      return true;
    }
    if (event->type() == QEvent::KeyPress && watched == t) {
      auto* key = static_cast<QKeyEvent*>(event);
      if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
          (key->modifiers() & Qt::ControlModifier)) {
        if (!shell::CheckfBusy()) OpenValueDialog(cyl);
        return true;
      }
    }
    return false;
  }
  return QObject::eventFilter(watched, event);
}

// ---- the two editors ----

InjPage::InjPage(QWidget* parent)
    : CorrPage(shell::PageId::Injection, InjEditor(), parent), form_(std::make_unique<Ui::InjPanel>()) {}
InjPage::~InjPage() = default;
void InjPage::SetupForm(QWidget* widget) {
  form_->setupUi(widget);
}

AdvPage::AdvPage(QWidget* parent)
    : CorrPage(shell::PageId::Advance, AdvEditor(), parent), form_(std::make_unique<Ui::AdvPanel>()) {}
AdvPage::~AdvPage() = default;
void AdvPage::SetupForm(QWidget* widget) {
  form_->setupUi(widget);
}

}  // namespace maps
