// The 2D graph editor window.
#include "graphs/graph2d.h"

#include <QChart>
#include <QGraphicsRectItem>
#include <QHideEvent>
#include <QLineSeries>
#include <QScatterSeries>
#include <QSignalBlocker>
#include <QValueAxis>
#include <cmath>

#include "graphs/chartview.h"
#include "ecudata/image.h"
#include "link/userio.h"
#include "maps/map1.h"
#include "shell/connection.h"
#include "ui_graph2d.h"

namespace graphs {

const char szGraph2dHelp[] =
    "LEFT MOUSE CLICK     - Select/mouve cursor\nRIGHT MOUSE CLICK  - Multiple select\n\nctrl Z  - Set "
    "select point at reference value\n\n+        -  increase 1\nctrl +  -  increase 2\nalt +   -  increase "
    "3\n-         -  decrease 1\nctrl -   -  decrease 2\nalt -    -  decrease 3";

namespace {

constexpr char kKeyErrorTitle[] = "Graph 2D Panel";
constexpr int kHitBox = 5;  // pixels each side of the mouse

const QColor kCurrentColour(0xFF, 0x00, 0x00);
const QColor kReferenceColour(0x00, 0xFF, 0x00);
// The comparison tune's line: the teal of the editor's corner marks, dashed.
const QColor kComparisonColour(0x00, 0x8C, 0x8C);
const QColor kCursorColour(0xFF, 0xFF, 0x00);
const QColor kDragColour(0x00, 0xFF, 0xFF);
const QColor kOtherCursorColour(255, 220, 130);
const QColor kBandColour(0x00, 0xFF, 0xFF);

QString Fixed(double v, int decimals) {
  return QString::number(v, 'f', decimals);
}

}  // namespace

Graph2DWindow::Graph2DWindow(EditorLink* link, QWidget* parent)
    : QWidget(parent, Qt::Window), link_(link), ui_(std::make_unique<Ui::Graph2DPanel>()) {
  ui_->setupUi(this);
  BuildChart();
  ChartView* view = View();
  view->onPress = [this](QMouseEvent* e) { Press(e); };
  view->onMove = [this](QMouseEvent* e) { Move(e); };
  view->onRelease = [this](QMouseEvent* e) { Release(e); };
  view->onKey = [this](QKeyEvent* e) { return Key(e); };

  connect(ui_->TBselectAxis, &QPushButton::toggled, this, [this](bool on) {
    if (shell::CheckfBusy()) return;
    model_.SetRowMode(on);
    Scatter();
  });
  connect(ui_->CBautoScale, &QCheckBox::toggled, this, [this](bool on) {
    if (shell::CheckfBusy()) return;
    model_.autoScale = on;
    Scatter();
  });
  for (QDoubleSpinBox* box : {ui_->NUMminScaleX, ui_->NUMmaxScaleX, ui_->NUMminScaleY, ui_->NUMmaxScaleY})
    connect(box, &QDoubleSpinBox::editingFinished, this, [this] { SelectScale(); });
  connect(ui_->CBresetSingle, &QPushButton::clicked, this, [this] {
    if (!shell::CheckfBusy()) Edit(&Graph2DModel::ResetSingle);
  });
  connect(ui_->CBresetAll, &QPushButton::clicked, this, [this] {
    if (!shell::CheckfBusy()) Edit(&Graph2DModel::ResetAll);
  });
  connect(ui_->CBcylCur, &QPushButton::clicked, this, [this] {
    if (shell::CheckfBusy() || maps::idCurMap != 1) return;
    maps::idCurJcyl = maps::idCurJcyl ? 0 : 1;
    if (!link_->BlockChanged()) Fail();
  });
}

Graph2DWindow::~Graph2DWindow() = default;

ChartView* Graph2DWindow::View() const {
  return ui_->Graph2D;
}

void Graph2DWindow::BuildChart() {
  chart_ = new QChart;
  chart_->legend()->hide();
  chart_->setMargins(QMargins(4, 4, 8, 4));
  chart_->setBackgroundRoundness(0);
  // A dark plot area: the red and green lines and the yellow cursor stand out.
  chart_->setPlotAreaBackgroundVisible(true);
  chart_->setPlotAreaBackgroundBrush(QColor(0x1E, 0x1E, 0x1E));

  axisH_ = new QValueAxis;
  axisV_ = new QValueAxis;
  for (QValueAxis* axis : {axisH_, axisV_}) {
    axis->setTickType(QValueAxis::TicksDynamic);
    axis->setGridLineColor(QColor(0x55, 0x55, 0x55));
    axis->setMinorGridLineColor(QColor(0x33, 0x33, 0x33));
    QFont f = axis->titleFont();
    f.setBold(true);
    axis->setTitleFont(f);
  }
  chart_->addAxis(axisH_, Qt::AlignBottom);
  chart_->addAxis(axisV_, Qt::AlignLeft);

  const auto addLine = [this](const QColor& colour, qreal width) {
    auto* s = new QLineSeries;
    QPen pen(colour);
    pen.setWidthF(width);
    s->setPen(pen);
    s->setPointsVisible(true);
    s->setMarkerSize(6);
    chart_->addSeries(s);
    s->attachAxis(axisH_);
    s->attachAxis(axisV_);
    return s;
  };
  reference_ = addLine(kReferenceColour, 1.5);
  comparison_ = addLine(kComparisonColour, 1.5);
  comparison_->setPen(QPen(kComparisonColour, 1.5, Qt::DashLine));
  current_ = addLine(kCurrentColour, 2.0);

  cursorLine_ = new QLineSeries;
  QPen dash(kCursorColour);
  dash.setStyle(Qt::DashLine);
  dash.setWidthF(1.0);
  cursorLine_->setPen(dash);
  chart_->addSeries(cursorLine_);
  cursorLine_->attachAxis(axisH_);
  cursorLine_->attachAxis(axisV_);

  const auto addCursors = [this](const QColor& colour, QScatterSeries::MarkerShape shape, qreal size) {
    auto* s = new QScatterSeries;
    s->setMarkerShape(shape);
    s->setMarkerSize(size);
    s->setColor(colour);
    s->setBorderColor(Qt::black);
    chart_->addSeries(s);
    s->attachAxis(axisH_);
    s->attachAxis(axisV_);
    return s;
  };
  cursors_ = addCursors(kOtherCursorColour, QScatterSeries::MarkerShapeRectangle, 10);
  cursorOne_ = addCursors(kCursorColour, QScatterSeries::MarkerShapeCircle, 13);
  workPoint_ = addCursors(QColor(0xC0, 0xC0, 0xC0), QScatterSeries::MarkerShapeRotatedRectangle, 16);

  band_ = new QGraphicsRectItem(chart_);
  band_->setPen(QPen(kBandColour, 1.0));
  band_->setBrush(Qt::NoBrush);
  band_->setZValue(20);
  band_->hide();

  View()->setChart(chart_);
}

uint8_t Graph2DWindow::ShowPanel(bool show) {
  if (!show) {
    DeleteMapSelection();
    hide();
    return 1;
  }
  this->show();
  raise();
  View()->setFocus();
  return Scatter();
}

void Graph2DWindow::hideEvent(QHideEvent* e) {
  // The close box hides the window; its shading goes with it.
  DeleteMapSelection();
  dragging_ = banding_ = false;
  band_->hide();
  QWidget::hideEvent(e);
}

void Graph2DWindow::DeleteMapSelection() {
  // The editor scatters often while this window is hidden: clear only what was shaded.
  if (!shaded_) return;
  link_->ShadeCells({});
  shaded_ = false;
}

void Graph2DWindow::ShowLabels() {
  const QString xLabel = QString::fromUtf8(maps::GetCurMapXlabel());
  const QString yLabel = QString::fromUtf8(maps::GetCurMapYlabel());
  const QString zLabel = QString::fromUtf8(maps::GetCurMapZlabel());
  {
    const QSignalBlocker block(ui_->TBselectAxis);
    ui_->TBselectAxis->setChecked(model_.rowMode);
  }
  ui_->TBselectAxis->setText(model_.rowMode ? xLabel.trimmed() : yLabel.trimmed());
  {
    const QSignalBlocker block(ui_->CBautoScale);
    ui_->CBautoScale->setChecked(model_.autoScale);
  }
  axisV_->setTitleText(zLabel);
  axisH_->setTitleText((model_.rowMode ? xLabel : yLabel).trimmed());
  ui_->LBvalX->setText(xLabel.trimmed());
  ui_->LBvalY->setText(yLabel.trimmed());
  ui_->LBvalZ->setText(zLabel);
  ui_->CBmapType->setText(QString::fromUtf8(maps::MapName(maps::idCurMap)));
  // The cylinder button: map 1 only, and only where the two planes are edited apart.
  const bool perCylinder = maps::idCurMap == 1;
  const bool canSwitch =
      perCylinder && maps::CylinderCount() >= 2 && !(ecu::ecuMapData[maps::kSingleMatrixOffset] & 1);
  ui_->CBcylCur->setText(perCylinder ? QStringLiteral("Cyl. %1").arg(maps::idCurJcyl + 1) : QString());
  ui_->CBcylCur->setEnabled(canSwitch);
}

void Graph2DWindow::ShowRanges() {
  const int mode = model_.rowMode ? 1 : 0;
  const AxisRange& h = model_.hRange[mode];
  axisH_->setRange(h.min, h.max);
  axisV_->setRange(model_.vRange.min, model_.vRange.max);
  // Grid lines on round numbers, labelled with no more decimals than they need.
  int precX = 0, precY = 0, precZ = 0;
  maps::GetCurMapAttribute(&precX, &precY, &precZ, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
  const auto grid = [](QValueAxis* axis, const AxisRange& r, int maxTicks, int prec) {
    int decimals = 0;
    const double step = NiceStep(r.max - r.min, maxTicks, &decimals);
    axis->setTickAnchor(0);
    axis->setTickInterval(step);
    axis->setLabelFormat(QStringLiteral("%.%1f").arg(std::max(decimals, std::min(1, prec))));
  };
  grid(axisH_, h, 10, model_.rowMode ? precX : precY);
  grid(axisV_, model_.vRange, 8, precZ);
  const QSignalBlocker b1(ui_->NUMminScaleX), b2(ui_->NUMmaxScaleX), b3(ui_->NUMminScaleY),
      b4(ui_->NUMmaxScaleY);
  ui_->NUMminScaleX->setValue(h.min);
  ui_->NUMmaxScaleX->setValue(h.max);
  ui_->NUMminScaleY->setValue(model_.vRange.min);
  ui_->NUMmaxScaleY->setValue(model_.vRange.max);
}

uint8_t Graph2DWindow::Scatter() {
  if (!isVisible()) {
    DeleteMapSelection();
    return 1;
  }
  if (inScatter_) return 1;  // the editor redraws us while we redraw it
  inScatter_ = true;
  struct Done {
    bool& flag;
    ~Done() { flag = false; }
  } done{inScatter_};

  model_.NoteMap(maps::idCurMap);
  int precX = 0, precY = 0, precZ = 0;
  double minX = 0, minY = 0, minZ = 0, maxX = 0, maxY = 0, maxZ = 0;
  if (!maps::GetCurMapAttribute(&precX, &precY, &precZ, &minX, &minY, &minZ, &maxX, &maxY, &maxZ)) return 0;
  const int precH = model_.rowMode ? precX : precY;
  {
    const QSignalBlocker b1(ui_->NUMminScaleX), b2(ui_->NUMmaxScaleX), b3(ui_->NUMminScaleY),
        b4(ui_->NUMmaxScaleY);
    // One raw unit beyond the limits, so a repaired range still fits.
    for (QDoubleSpinBox* box : {ui_->NUMminScaleX, ui_->NUMmaxScaleX}) {
      box->setDecimals(precH);
      box->setRange(model_.rowMode ? minX - 1 : minY - 1, model_.rowMode ? maxX + 1 : maxY + 1);
    }
    for (QDoubleSpinBox* box : {ui_->NUMminScaleY, ui_->NUMmaxScaleY}) {
      box->setDecimals(precZ);
      box->setRange(minZ, maxZ);
    }
  }
  model_.FollowCell(link_->ActiveCell());
  model_.comparison = link_->ComparisonBlock();
  ShowLabels();
  if (!model_.Build()) return 0;

  const auto showValues = [&](const std::array<double, 3>& values) {
    ui_->NUMvalX->setText(Fixed(values[0], precX));
    ui_->NUMvalY->setText(Fixed(values[1], precY));
    ui_->NUMvalZ->setText(Fixed(values[2], precZ));
  };
  if (model_.length == 0) {
    current_->clear();
    reference_->clear();
    comparison_->clear();
    PlaceCursors();
    showValues({0, 0, 0});
    ui_->NUMdeltaVar->setText(Fixed(0, precZ));
    ui_->NUMpercVar->setText(Fixed(0, 1));
    return 1;
  }
  model_.UpdateRanges();
  ShowRanges();
  showValues(model_.CurrentValues());

  QList<QPointF> cur, ref;
  cur.reserve(model_.length);
  ref.reserve(model_.length);
  for (int i = 0; i < model_.length; ++i) {
    cur.append(QPointF(model_.h[i], model_.v[i]));
    ref.append(QPointF(model_.h[i], model_.refV[i]));
  }
  reference_->replace(ref);
  QList<QPointF> cmp;
  if (model_.comparison)
    for (int i = 0; i < model_.length; ++i) cmp.append(QPointF(model_.h[i], model_.cmpV[i]));
  comparison_->replace(cmp);
  current_->replace(cur);
  PlaceCursors();
  ui_->NUMdeltaVar->setText(Fixed(model_.Delta(), precZ));
  const std::optional<double> perc = model_.Percent();
  ui_->NUMpercVar->setText(perc ? Fixed(*perc, 1) : QString());
  return 1;
}

void Graph2DWindow::PlaceCursors() {
  if (model_.length == 0) {
    cursorOne_->clear();
    cursors_->clear();
    cursorLine_->clear();
    DeleteMapSelection();
    return;
  }
  const int i0 = model_.CurrentIndex();
  cursorOne_->setColor(dragging_ ? kDragColour : kCursorColour);
  cursorOne_->replace(QList<QPointF>{QPointF(model_.h[i0], model_.v[i0])});
  cursorLine_->replace(
      QList<QPointF>{QPointF(model_.h[i0], model_.vRange.min), QPointF(model_.h[i0], model_.vRange.max)});
  QList<QPointF> others;
  for (size_t k = 1; k < model_.selection.size(); ++k) {
    const int i = model_.selection[k];
    others.append(QPointF(model_.h[i], model_.v[i]));
  }
  cursors_->replace(others);
  link_->ShadeCells(model_.SelectedCells());
  shaded_ = true;
  SetWorkPoint(workCell_);
}

void Graph2DWindow::SetWorkPoint(MapCell cell) {
  workCell_ = cell;
  if (!workPoint_) return;
  const int i = cell.col < 0 || cell.row < 0 ? -1 : model_.rowMode ? cell.col : cell.row;
  if (i < 0 || i >= model_.length) {
    if (workPoint_->count()) workPoint_->clear();
    return;
  }
  const QPointF at(model_.h[i], model_.v[i]);
  if (workPoint_->count() != 1 || workPoint_->at(0) != at) workPoint_->replace(QList<QPointF>{at});
}

uint8_t Graph2DWindow::Timer() {
  if (!isVisible()) return 1;
  const MapCell active = link_->ActiveCell();
  if (active.row != kXAxisRow) return 1;
  link_->SetActiveCell({active.col, 0});
  if (setPlotCursor) setPlotCursor({active.col, 0});
  return Scatter();
}

void Graph2DWindow::GoTo(MapCell cell) {
  link_->SetActiveCell(cell);
  if (setPlotCursor) setPlotCursor(cell);
  Scatter();
}

void Graph2DWindow::SetCurrentFromSelection() {
  const MapCell cell = model_.CellAt(model_.selection.front());
  model_.current = cell;
  GoTo(cell);
}

QPointF Graph2DWindow::ToValue(QPointF viewPos, bool holdInPlot) const {
  QPointF p = chart_->mapFromScene(View()->mapToScene(viewPos.toPoint()));
  if (holdInPlot) {
    const QRectF area = chart_->plotArea();
    p.setX(std::clamp(p.x(), area.left(), area.right()));
    p.setY(std::clamp(p.y(), area.top(), area.bottom()));
  }
  return chart_->mapToValue(p, current_);
}

QPoint Graph2DWindow::ViewPosition(double h, double v) const {
  const QPointF p = chart_->mapToPosition(QPointF(h, v), current_);
  return View()->mapFromScene(chart_->mapToScene(p));
}

void Graph2DWindow::Press(QMouseEvent* e) {
  if (shell::CheckfBusy() || model_.length == 0) return;
  const QPointF pos = e->position();
  if (e->button() == Qt::LeftButton && !dragging_) {
    const QPointF a = ToValue(pos - QPointF(kHitBox, kHitBox), true);
    const QPointF b = ToValue(pos + QPointF(kHitBox, kHitBox), true);
    const int index = model_.PointInBox(a.x(), b.x(), a.y(), b.y());
    if (index < 0) return;
    if (index == model_.CurrentIndex()) {
      dragging_ = true;
      dragEdited_ = false;
      PlaceCursors();
      return;
    }
    GoTo(model_.CellAt(index));
  } else if (e->button() == Qt::RightButton && !banding_) {
    banding_ = true;
    bandFrom_ = bandTo_ = ToValue(pos, true);
    const QPointF p = chart_->mapToPosition(bandFrom_, current_);
    band_->setRect(QRectF(p, p));
    band_->show();
  }
}

void Graph2DWindow::Move(QMouseEvent* e) {
  if (shell::CheckfBusy()) return;
  if (dragging_) {
    const QPointF value = ToValue(e->position(), false);
    if (!dragEdited_) {
      link_->BeginEdit();  // one undo step for the whole drag
      dragEdited_ = true;
    }
    // The editor's scatter redraws this window and the plot.
    if (!model_.DragTo(value.y()) || !link_->BlockChanged()) Fail();
  } else if (banding_) {
    bandTo_ = ToValue(e->position(), true);
    band_->setRect(
        QRectF(chart_->mapToPosition(bandFrom_, current_), chart_->mapToPosition(bandTo_, current_))
            .normalized());
  }
}

void Graph2DWindow::Release(QMouseEvent* e) {
  if (shell::CheckfBusy()) return;
  if (dragging_ && e->button() == Qt::LeftButton) {
    dragging_ = false;
    Scatter();
  } else if (banding_ && e->button() == Qt::RightButton) {
    banding_ = false;
    band_->hide();
    bandTo_ = ToValue(e->position(), true);
    model_.SelectInRect(bandFrom_.x(), bandFrom_.y(), bandTo_.x(), bandTo_.y());
    SetCurrentFromSelection();
  }
}

uint8_t Graph2DWindow::Edit(uint8_t (Graph2DModel::*edit)() const) {
  if (model_.length == 0) return 1;
  link_->BeginEdit();
  uint8_t ok = (model_.*edit)();
  if (ok) ok = link_->BlockChanged();  // the editor's scatter redraws this window
  if (!ok) Fail();
  return ok;
}

bool Graph2DWindow::Key(QKeyEvent* e) {
  if (shell::CheckfBusy()) return true;
  const Qt::KeyboardModifiers mods = e->modifiers();
  const bool ctrl = mods & Qt::ControlModifier;
  const bool alt = mods & Qt::AltModifier;
  switch (e->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Minus: {
      if (model_.length == 0) return true;
      const int step = (e->key() == Qt::Key_Plus ? 1 : -1) * KeyStep(ctrl, alt);
      link_->BeginEdit();
      if (!model_.StepSelection(step) || !link_->BlockChanged()) Fail();
      return true;
    }
    case Qt::Key_Z:
      if (!ctrl || (mods & Qt::ShiftModifier)) return false;  // the editor's undo keys stay its own
      Edit(&Graph2DModel::ResetSingle);
      return true;
    case Qt::Key_Left:
    case Qt::Key_Right:
      GoTo(model_.StepAlong(e->key() == Qt::Key_Right ? 1 : -1));
      return true;
    case Qt::Key_Up:
    case Qt::Key_Down:
      GoTo(model_.StepAcross(e->key() == Qt::Key_Up ? 1 : -1));
      return true;
    case Qt::Key_F1:
      com::Ui().MessagePopup("Graph 2D - Help", szGraph2dHelp);
      return true;
    default:
      return false;
  }
}

void Graph2DWindow::SelectScale() {
  if (shell::CheckfBusy()) return;
  if (model_.autoScale) {
    ShowRanges();  // automatic ranges: the input gets the value in use back
    return;
  }
  model_.SetManualRange(ui_->NUMminScaleX->value(), ui_->NUMmaxScaleX->value(), ui_->NUMminScaleY->value(),
                        ui_->NUMmaxScaleY->value());
  Scatter();
}

void Graph2DWindow::Fail() {
  com::Ui().MessagePopup(kKeyErrorTitle, shell::szGenericError);
}

}  // namespace graphs
