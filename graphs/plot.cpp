// The 3D plot window.
#include "graphs/plot.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QVBoxLayout>
#include <QtDataVisualization/Q3DCamera>
#include <QtDataVisualization/Q3DSurface>
#include <QtDataVisualization/Q3DTheme>
#include <QtDataVisualization/QCustom3DLabel>
#include <QtDataVisualization/QSurface3DSeries>
#include <QtDataVisualization/QSurfaceDataProxy>
#include <QtDataVisualization/QValue3DAxis>
#include <QtDataVisualization/QValue3DAxisFormatter>
#include <QtDataVisualization/qutils.h>
#include <algorithm>
#include <cmath>
#include <functional>

#include "graphs/graph2d_model.h"
#include "link/userio.h"
#include "maps/map1.h"
#include "shell/connection.h"
#include "ui_plot.h"

namespace graphs {

namespace {
constexpr char kTitle[] = "Plot Panel";
constexpr double kLabelGap = 1.0 / 10;  // least distance between two axis labels (share of the axis)
}  // namespace

// Grid lines at the map's breakpoints, the way the tables show them, with labels
// on as many of them as fit.
class BreakpointFormatter : public QValue3DAxisFormatter {
 public:
  void SetBreakpoints(std::vector<double> points, int decimals) {
    points_ = std::move(points);
    decimals_ = decimals;
    markDirty(true);
  }

 protected:
  QValue3DAxisFormatter* createNewInstance() const override { return new BreakpointFormatter; }
  void populateCopy(QValue3DAxisFormatter& copy) const override {
    QValue3DAxisFormatter::populateCopy(copy);
    auto& other = static_cast<BreakpointFormatter&>(copy);
    other.points_ = points_;
    other.decimals_ = decimals_;
  }
  void recalculate() override {
    gridPositions().clear();
    subGridPositions().clear();
    labelPositions().clear();
    labelStrings().clear();
    const double lo = axis()->min(), hi = axis()->max();
    if (hi <= lo) return;
    double lastGrid = -1, lastLabel = -1;
    for (double v : points_) {
      const double pos = (v - lo) / (hi - lo);
      if (pos < 0 || pos > 1 || pos == lastGrid) continue;
      gridPositions().append(static_cast<float>(pos));
      lastGrid = pos;
      if (lastLabel < 0 || pos - lastLabel >= kLabelGap ||
          (v == points_.back() && pos - lastLabel > kLabelGap / 2)) {
        labelPositions().append(static_cast<float>(pos));
        labelStrings().append(QString::number(v, 'f', decimals_));
        lastLabel = pos;
      }
    }
  }

 private:
  std::vector<double> points_;
  int decimals_ = 0;
};

PlotWindow::PlotWindow(EditorLink* link, QWidget* parent)
    : QWidget(parent, Qt::Window), link_(link), ui_(std::make_unique<Ui::PlotPanel>()) {
  ui_->setupUi(this);
  ui_->Graph3D->installEventFilter(this);
}

PlotWindow::~PlotWindow() = default;

uint8_t PlotWindow::BuildGraph() {
  if (surface_) return 1;
  if (buildFailed_) return 0;
  // Qt's offscreen and minimal platforms offer no OpenGL window to draw into.
  const QString platform = QGuiApplication::platformName();
  bool ok = platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
  bool software = false;
  if (ok) {
    QOpenGLContext probe;
    QOffscreenSurface offscreen;
    offscreen.create();
    ok = probe.create() && probe.makeCurrent(&offscreen);
    if (ok) {
      // A software renderer (no graphics driver, a remote display) draws a frame with
      // multisampling several times slower than one frame at 60 Hz: it draws without.
      const auto* name = reinterpret_cast<const char*>(probe.functions()->glGetString(GL_RENDERER));
      const QString renderer = QString::fromLatin1(name ? name : "").toLower();
      software = renderer.contains(QLatin1String("llvmpipe")) ||
                 renderer.contains(QLatin1String("softpipe")) || renderer.contains(QLatin1String("swrast")) ||
                 renderer.contains(QLatin1String("software"));
      probe.doneCurrent();
    }
  }
  if (ok) {
    QSurfaceFormat format = qDefaultSurfaceFormat(true);
    if (software) format.setSamples(0);
    surface_ = new Q3DSurface(&format);
    ok = surface_->hasContext();
  }
  if (!ok) {
    delete surface_;
    surface_ = nullptr;
    buildFailed_ = true;
    return 0;
  }

  container_ = QWidget::createWindowContainer(surface_, ui_->Graph3D);
  container_->setFocusPolicy(Qt::StrongFocus);
  QLayout* layout = ui_->Graph3D->layout();
  if (!layout) {
    layout = new QVBoxLayout(ui_->Graph3D);
    layout->setContentsMargins(0, 0, 0, 0);
  }
  layout->addWidget(container_);
  surface_->installEventFilter(this);

  surface_->activeTheme()->setType(Q3DTheme::ThemeQt);
  surface_->activeTheme()->setLabelBackgroundEnabled(false);
  surface_->setShadowQuality(QAbstract3DGraph::ShadowQualityNone);
  surface_->setSelectionMode(QAbstract3DGraph::SelectionItem);
  surface_->scene()->activeCamera()->setCameraPreset(Q3DCamera::CameraPresetIsometricRightHigh);
  surface_->scene()->activeCamera()->setZoomLevel(85);
  QFont font = surface_->activeTheme()->font();
  font.setPointSizeF(font.pointSizeF() * 1.4);
  surface_->activeTheme()->setFont(font);
  surface_->setHorizontalAspectRatio(1.6f);

  axisX_ = new QValue3DAxis;
  axisV_ = new QValue3DAxis;
  axisZ_ = new QValue3DAxis;
  formatX_ = new BreakpointFormatter;
  formatZ_ = new BreakpointFormatter;
  formatV_ = new BreakpointFormatter;
  axisV_->setFormatter(formatV_);
  axisX_->setFormatter(formatX_);
  axisZ_->setFormatter(formatZ_);
  axisX_->setTitle(QStringLiteral("bp_X"));
  axisZ_->setTitle(QStringLiteral("bp_Y"));
  axisV_->setTitle(QStringLiteral("bp_Z"));
  for (QValue3DAxis* axis : {axisX_, axisV_, axisZ_}) axis->setTitleVisible(true);
  surface_->setAxisX(axisX_);
  surface_->setAxisY(axisV_);
  surface_->setAxisZ(axisZ_);
  if (surface_->axes().size() != 3) return 0;

  series_ = new QSurface3DSeries;
  series_->setDrawMode(QSurface3DSeries::DrawSurfaceAndWireframe);
  series_->setFlatShadingEnabled(false);
  series_->setWireframeColor(QColor(0x30, 0x30, 0x30));
  QLinearGradient gradient;
  gradient.setColorAt(0.0, QColor(0x20, 0x40, 0xC0));
  gradient.setColorAt(0.35, QColor(0x20, 0xB0, 0x60));
  gradient.setColorAt(0.7, QColor(0xF0, 0xD0, 0x20));
  gradient.setColorAt(1.0, QColor(0xE0, 0x30, 0x20));
  series_->setBaseGradient(gradient);
  series_->setColorStyle(Q3DTheme::ColorStyleRangeGradient);
  // The cursor: magenta, a colour the surface's gradient never takes.
  series_->setSingleHighlightColor(QColor(0xFF, 0x00, 0xFF));
  series_->setItemLabelFormat(QStringLiteral("@yLabel"));
  surface_->addSeries(series_);
  // The cursor's row and column drawn along the surface: two wireframe strips.
  for (QSurface3DSeries*& strip : {std::ref(rowStrip_), std::ref(colStrip_)}) {
    strip = new QSurface3DSeries;
    strip->setDrawMode(QSurface3DSeries::DrawWireframe);
    strip->setWireframeColor(QColor(0xFF, 0x00, 0xFF));
    strip->setItemLabelVisible(false);
    surface_->addSeries(strip);
  }
  // A click on a strip picks the cell under it, as a click on the surface does.
  connect(rowStrip_, &QSurface3DSeries::selectedPointChanged, this, [this](const QPoint& p) {
    if (p != QSurface3DSeries::invalidSelectionPosition()) CursorChange(QPoint(cursor_.row, p.y()));
  });
  connect(colStrip_, &QSurface3DSeries::selectedPointChanged, this, [this](const QPoint& p) {
    if (p != QSurface3DSeries::invalidSelectionPosition()) CursorChange(QPoint(p.x(), cursor_.col));
  });
  connect(series_, &QSurface3DSeries::selectedPointChanged, this,
          [this](const QPoint& p) { CursorChange(p); });
  return 1;
}

uint8_t PlotWindow::ShowPanel(bool show) {
  if (!show) {
    hide();
    return 1;
  }
  if (!BuildGraph()) {
    Fail();
    return 0;
  }
  this->show();
  raise();
  container_->setFocus();
  const uint8_t ok = Scatter();
  if (!ok) Fail();
  return ok;
}

uint8_t PlotWindow::Scatter() {
  if (!surface_ || !isVisible()) return 1;
  if (!BuildSurface(&data_)) return 0;

  axisX_->setTitle(QString::fromUtf8(data_.xLabel).trimmed());
  axisZ_->setTitle(QString::fromUtf8(data_.yLabel).trimmed());
  axisV_->setTitle(QString::fromUtf8(data_.zLabel));
  int decimals = 0;
  const double step = NiceStep(data_.zRange.max - data_.zRange.min, 8, &decimals);
  std::vector<double> ticks;
  for (double v = std::ceil(data_.zRange.min / step - 1e-9) * step; v <= data_.zRange.max + step * 1e-9;
       v += step)
    ticks.push_back(std::abs(v) < step * 1e-9 ? 0.0 : v);
  formatV_->SetBreakpoints(std::move(ticks), std::max(decimals, std::min(1, data_.precZ)));
  formatX_->SetBreakpoints({data_.x.begin(), data_.x.end()}, data_.precX);
  formatZ_->SetBreakpoints({data_.y.begin(), data_.y.end()}, data_.precY);
  axisX_->setRange(static_cast<float>(data_.xRange.min), static_cast<float>(data_.xRange.max));
  axisZ_->setRange(static_cast<float>(data_.yRange.min), static_cast<float>(data_.yRange.max));
  axisV_->setRange(static_cast<float>(data_.zRange.min), static_cast<float>(data_.zRange.max));
  const QString fmt = QStringLiteral("%.%1f");
  axisX_->setLabelFormat(fmt.arg(data_.precX));
  axisZ_->setLabelFormat(fmt.arg(data_.precY));
  axisV_->setLabelFormat(fmt.arg(data_.precZ));

  auto* rows = new QSurfaceDataArray;
  rows->reserve(maps::kMapRows);
  for (int r = 0; r < maps::kMapRows; ++r) {
    auto* row = new QSurfaceDataRow(maps::kMapCols);
    for (int c = 0; c < maps::kMapCols; ++c)
      (*row)[c].setPosition(QVector3D(static_cast<float>(data_.x[c]),
                                      static_cast<float>(data_.z[r * maps::kMapCols + c]),
                                      static_cast<float>(data_.y[r])));
    rows->append(row);
  }
  settingCursor_ = true;
  series_->dataProxy()->resetArray(rows);
  series_->setSelectedPoint(QPoint(cursor_.row, cursor_.col));
  settingCursor_ = false;
  DrawCursorStrips();
  ShowCursorText();
  SetWorkPoint(workCell_);
  return 1;
}

void PlotWindow::DrawCursorStrips() {
  if (!rowStrip_) return;
  // Lifted a little above the surface, so the lines are not hidden in it.
  const float lift = static_cast<float>((data_.zRange.max - data_.zRange.min) * 0.012);
  const auto at = [this, lift](int r, int c) {
    return QSurfaceDataItem(QVector3D(static_cast<float>(data_.x[c]),
                                      static_cast<float>(data_.z[r * maps::kMapCols + c]) + lift,
                                      static_cast<float>(data_.y[r])));
  };
  auto* rowArray = new QSurfaceDataArray;
  for (int k = 0; k < 2; ++k) {
    auto* row = new QSurfaceDataRow(maps::kMapCols);
    for (int c = 0; c < maps::kMapCols; ++c) (*row)[c] = at(cursor_.row, c);
    rowArray->append(row);
  }
  rowStrip_->dataProxy()->resetArray(rowArray);
  auto* colArray = new QSurfaceDataArray;
  for (int r = 0; r < maps::kMapRows; ++r) {
    auto* row = new QSurfaceDataRow(2);
    (*row)[0] = (*row)[1] = at(r, cursor_.col);
    colArray->append(row);
  }
  colStrip_->dataProxy()->resetArray(colArray);
}

void PlotWindow::SetWorkPoint(MapCell cell) {
  workCell_ = cell;
  if (!surface_) return;
  const bool shown = cell.col >= 0 && cell.col < maps::kMapCols && cell.row >= 0 && cell.row < maps::kMapRows;
  if (!workLabel_ && shown) {
    workLabel_ = new QCustom3DLabel;
    workLabel_->setText(QStringLiteral("engine"));
    workLabel_->setFacingCamera(true);
    workLabel_->setBorderEnabled(true);
    workLabel_->setBackgroundColor(QColor(0xC0, 0xC0, 0xC0));
    workLabel_->setTextColor(Qt::black);
    workLabel_->setScaling(QVector3D(0.5f, 0.5f, 0.5f));
    surface_->addCustomItem(workLabel_);
  }
  if (!workLabel_) return;
  workLabel_->setVisible(shown);
  if (!shown) return;
  const float lift = static_cast<float>((data_.zRange.max - data_.zRange.min) * 0.06);
  workLabel_->setPosition(QVector3D(static_cast<float>(data_.x[cell.col]),
                                    static_cast<float>(data_.z[cell.row * maps::kMapCols + cell.col]) + lift,
                                    static_cast<float>(data_.y[cell.row])));
}

uint8_t PlotWindow::SetCursor(MapCell cell) {
  cursor_ = StepCell(cell, 0, 0);
  if (!series_) return 1;
  settingCursor_ = true;
  series_->setSelectedPoint(QPoint(cursor_.row, cursor_.col));
  settingCursor_ = false;
  DrawCursorStrips();
  ShowCursorText();
  return 1;
}

void PlotWindow::ShowCursorText() {
  if (!series_) return;
  const int i = cursor_.row * maps::kMapCols + cursor_.col;
  ui_->TMplotCell->setText(QStringLiteral("%1 %2    %3 %4    %5 %6")
                               .arg(QString::fromUtf8(data_.xLabel).trimmed(),
                                    QString::number(data_.x[cursor_.col], 'f', data_.precX),
                                    QString::fromUtf8(data_.yLabel).trimmed(),
                                    QString::number(data_.y[cursor_.row], 'f', data_.precY),
                                    QString::fromUtf8(data_.zLabel),
                                    QString::number(data_.z[i], 'f', data_.precZ)));
}

void PlotWindow::CursorChange(const QPoint& position) {
  if (settingCursor_ || shell::CheckfBusy()) return;
  // A click beside the surface clears the selection: the cursor stays where it was.
  // A pick on a cursor strip clears the surface's selection first: the cursor is put
  // back once the pick has been handled.
  if (position == QSurface3DSeries::invalidSelectionPosition()) {
    QMetaObject::invokeMethod(
        this, [this] { SetCursor(cursor_); }, Qt::QueuedConnection);
    return;
  }
  cursor_ = StepCell({position.y(), position.x()}, 0, 0);
  DrawCursorStrips();
  ShowCursorText();
  link_->SetActiveCell(cursor_);
  if (scatterGraph2d) scatterGraph2d();
}

bool PlotWindow::Key(QKeyEvent* e) {
  if (shell::CheckfBusy()) return true;
  const bool ctrl = e->modifiers() & Qt::ControlModifier;
  const bool alt = e->modifiers() & Qt::AltModifier;
  int dCol = 0, dRow = 0;
  switch (e->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Minus: {
      const int step = (e->key() == Qt::Key_Plus ? 1 : -1) * KeyStep(ctrl, alt);
      // The editor's own "+" / "-": one edit, then its scatter redraws both graphs.
      if (!link_->CellValChange(step)) Fail();
      return true;
    }
    case Qt::Key_Up:
      dRow = 1;
      break;
    case Qt::Key_Down:
      dRow = -1;
      break;
    case Qt::Key_Left:
      dCol = -1;
      break;
    case Qt::Key_Right:
      dCol = 1;
      break;
    default:
      return false;
  }
  SetCursor(StepCell(cursor_, dCol, dRow));
  link_->SetActiveCell(cursor_);
  if (scatterGraph2d) scatterGraph2d();
  return true;
}

bool PlotWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress && (watched == surface_ || watched == ui_->Graph3D)) {
    if (Key(static_cast<QKeyEvent*>(event))) return true;
  }
  return QWidget::eventFilter(watched, event);
}

void PlotWindow::Release() {
  hide();
  delete container_;  // owns the surface, its axes and series
  container_ = nullptr;
  surface_ = nullptr;
  series_ = rowStrip_ = colStrip_ = nullptr;
  axisX_ = axisV_ = axisZ_ = nullptr;
  formatX_ = formatZ_ = formatV_ = nullptr;
  workLabel_ = nullptr;
}

void PlotWindow::Fail() {
  com::Ui().MessagePopup(kTitle, shell::szGenericError);
}

}  // namespace graphs
