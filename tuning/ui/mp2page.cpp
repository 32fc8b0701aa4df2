#include "tuning/ui/mp2page.h"

#include <QApplication>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QSignalBlocker>
#include <QSlider>
#include <QTabWidget>
#include <QTableWidget>
#include <cmath>

#include "ecudata/image.h"
#include "link/appdirs.h"
#include "link/com.h"
#include "link/userio.h"
#include "maps/map1.h"
#include "maps/mapedit.h"
#include "shell/connection.h"
#include "shell/ledstyle.h"
#include "tuning/gains.h"
#include "tuning/map2.h"
#include "tuning/tuneview.h"
#include "tuning/ui/mtvdialog.h"
#include "ui_mp2panel.h"

namespace tuning {

namespace {

constexpr int kRowHeight = 20;

QColor Rgb(uint32_t rgb) {
  return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}
uint32_t ToRgb(const QColor& c) {
  return (static_cast<uint32_t>(c.red()) << 16) | (static_cast<uint32_t>(c.green()) << 8) |
         static_cast<uint32_t>(c.blue());
}

const int16_t* Axis(const uint8_t* block, uint32_t offset) {
  return reinterpret_cast<const int16_t*>(block + offset);
}

int16_t AxisValue(const uint8_t* block, uint32_t offset, int i) {
  return static_cast<int16_t>(block[offset + 2 * i] | (block[offset + 2 * i + 1] << 8));
}

// The controls each panel mode shows; the rest are shown in both.
const char* const kManualOnly[] = {"CBj1Freeze", "CBj2Freeze",   "CBaFreeze",      "TBselectCorrection",
                                   "TBmanPause", "CBtuneManual", "GRPcorrections", "CBautoMap_2"};
const char* const kAutoOnly[] = {"CBtuneAuto",     "LEDisEnabled",   "LEDisTh2o_oilErr", "NUMrpmMargin",
                                 "NUMminTh2o_oil", "NUMmaxTh2o_oil", "NUMsollLambda1",   "NUMsollLambda2",
                                 "NUMsollLambda3", "NUMsetpoint",    "NUMtolLambda",     "NSlambdaMode",
                                 "NUMminTJ",       "NUMmaxTJ",       "NUMmsCellHold",    "CBmanualMap",
                                 "TMenabRows"};

// Events of the tuning table and the two "whole map" captions.
class TableFilter : public QObject {
 public:
  explicit TableFilter(Mp2Page* page) : QObject(page), page_(page) {}
  QTableWidget* matrix = nullptr;
  QLabel* enabRows = nullptr;
  QLabel* enabCols = nullptr;
  QWidget* autoScroll = nullptr;
  bool* clickPending = nullptr;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == matrix && event->type() == QEvent::KeyPress) {
      auto* key = static_cast<QKeyEvent*>(event);
      if (key->key() == Qt::Key_Plus || key->key() == Qt::Key_Minus) {
        page_->TableKey(key->key() == Qt::Key_Plus);
        return true;
      }
      if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
          (key->modifiers() & Qt::ControlModifier)) {
        page_->OpenValueDialog();
        return true;
      }
    }
    if (matrix && watched == matrix->viewport() && event->type() == QEvent::MouseButtonPress)
      *clickPending = true;
    if ((watched == enabRows || watched == enabCols) && event->type() == QEvent::MouseButtonDblClick) {
      page_->EnableDoubleClick(0, 0);
      return true;
    }
    if (watched == autoScroll && event->type() == QEvent::MouseButtonDblClick) {
      page_->AutoScrollSwitch();
      return true;
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  Mp2Page* page_;
};

// The slider shows the gains on a right click.
class SliderFilter : public QObject {
 public:
  explicit SliderFilter(Mp2Page* page) : QObject(page), page_(page) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
      page_->ShowGains();
      return true;
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  Mp2Page* page_;
};

}  // namespace

Mp2Page::Mp2Page(QWidget* parent, shell::PageRegistry* registry)
    : widget_(new QWidget(parent)),
      form_(std::make_unique<Ui::Mp2Panel>()),
      binding_(widget_, SettingsFields()),
      registry_(registry) {}

Mp2Page::~Mp2Page() = default;

bool Mp2Page::Busy() const {
  return shell::CheckfBusy() != 0;
}

uint8_t Mp2Page::Init() {
  form_->setupUi(widget_);
  dialog_ = std::make_unique<MtvDialog>(this, widget_);
  for (int i = 0; i < 4; ++i) form_->RINGmtjType->addItem(QString::fromLatin1(kTrackingModes[i]), i);
  if (!binding_.Setup()) return 0;

  QTableWidget* m = form_->TABmatrix;
  m->setRowCount(kTuneRows + 1);
  m->setColumnCount(kTuneCols);
  m->horizontalHeader()->hide();
  m->verticalHeader()->hide();
  m->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  m->horizontalHeader()->setDefaultSectionSize(58);
  m->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  m->verticalHeader()->setDefaultSectionSize(kRowHeight);
  m->setContextMenuPolicy(Qt::CustomContextMenu);
  QTableWidget* y = form_->TABbpy;
  y->setRowCount(kTuneRows);
  y->setColumnCount(1);
  y->setHorizontalHeaderLabels({QStringLiteral("%")});
  y->verticalHeader()->hide();
  y->setEditTriggers(QAbstractItemView::NoEditTriggers);
  y->horizontalHeader()->setFixedHeight(kRowHeight);
  y->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  y->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  y->verticalHeader()->setDefaultSectionSize(kRowHeight);
  y->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  y->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  y->setFixedWidth(70);
  m->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  const int height =
      (kTuneRows + 1) * kRowHeight + 2 * m->frameWidth() + m->horizontalScrollBar()->sizeHint().height();
  m->setFixedHeight(height);
  y->setFixedHeight(height);
  for (int r = 0; r <= kTuneRows; ++r)
    for (int c = 0; c < kTuneCols; ++c) {
      auto* item = new QTableWidgetItem;
      item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      m->setItem(r, c, item);
    }
  for (int r = 0; r < kTuneRows; ++r) {
    auto* item = new QTableWidgetItem;
    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    y->setItem(r, 0, item);
  }
  // The normal background of a map cell and of the lambda reading.
  normalBg_ = ToRgb(m->palette().color(QPalette::Base));
  normalLambdaBg_ = ToRgb(form_->NUMistLambda1->palette().color(QPalette::Base));

  for (const char* name :
       {"LEDisCranking", "LEDisRpmErr", "LEDisTh2o_oilErr", "LEDisTransient", "LEDisLambda2Warning",
        "LEDisLambda1Warning", "LEDisCutOff", "LEDisEnabled", "LEDisOverInjTime2", "LEDisOverInjTime1"})
    if (auto* led = widget_->findChild<QLabel*>(QString::fromLatin1(name)))
      led->setStyleSheet(QString::fromLatin1(shell::kLedOff));
  QFont big = form_->TMstatus->font();
  big.setPointSizeF(big.pointSizeF() * 1.4);
  big.setBold(true);
  form_->TMstatus->setFont(big);

  // The gain ranges; the program goes on with the built-in ones when the file is missing.
  const std::string ini = com::ShippedFilePath("mtintern.ini");
  if (!ReadMtInternFile(ini, gainRanges))
    gainsNote_ =
        "mtintern.ini could not be read (" + ini + "): the lambda-tracking gains use their built-in ranges.";
  const Gains g = GetCurLambdaMode(gainRanges, 0);
  DefaultSettings(mtSettings, g.kp, g.ki, g.step);

  // ---- callbacks ----
  connect(form_->CBtuneAuto, &QPushButton::clicked, this, [this] { TuningSwitch(0); });
  connect(form_->CBtuneOff, &QPushButton::clicked, this, [this] { TuningSwitch(1); });
  connect(form_->CBtuneManual, &QPushButton::clicked, this, [this] { TuningSwitch(2); });
  for (const ecu::Field& f : SettingsFields()) {
    QWidget* control = binding_.Control(QString::fromLatin1(f.control));
    if (auto* spin = qobject_cast<QDoubleSpinBox*>(control))
      connect(spin, &QDoubleSpinBox::valueChanged, this, [this](double) { NewTuneConfig(); });
    else if (auto* ring = qobject_cast<QComboBox*>(control))
      connect(ring, &QComboBox::currentIndexChanged, this, [this](int) { NewTuneConfig(); });
  }
  connect(form_->TBselectSingleMul, &QPushButton::clicked, this, [this] { SelectSingleMul(); });
  connect(form_->NSlambdaMode, &QSlider::valueChanged, this, [this](int) { NewTuneConfig(); });
  form_->NSlambdaMode->installEventFilter(new SliderFilter(this));
  connect(form_->CBmtLoad, &QPushButton::clicked, this, [this] {
    if (Busy()) return;
    LoadMtSettings(true);
    ScatterMp2Panel();
    session.settingsChanged = true;
  });
  connect(form_->CBmtStore, &QPushButton::clicked, this, [this] {
    if (Busy()) return;
    GatherTuneSettings();  // what the controls show is what is stored
    StoreMtSettings();
    session.settingsChanged = true;
  });
  // The manual corrections.
  const struct {
    QDoubleSpinBox* spin;
    int correction;
  } corrections[] = {
      {form_->NSj1TuneCor, kCorInj1}, {form_->NSj2TuneCor, kCorInj2}, {form_->NSaTuneCor, kCorAdv}};
  for (const auto& c : corrections) {
    connect(c.spin, &QDoubleSpinBox::valueChanged, this, [this, c](double v) {
      if (!Busy() && !scattering_) SetTuningAdjust(c.correction, v);
    });
    // Committed text is the user's no longer: the ECU's answer may replace it.
    connect(c.spin, &QDoubleSpinBox::editingFinished, this, [spin = c.spin] {
      if (auto* edit = spin->findChild<QLineEdit*>()) edit->setModified(false);
    });
  }
  connect(form_->TBselectCorrection, &QPushButton::clicked, this, [this](bool on) {
    if (Busy()) return;
    SelectCorrection(on, form_->NSj1TuneCor->value());
  });
  connect(form_->TBmanPause, &QPushButton::clicked, this, [this](bool on) {
    if (Busy()) return;
    if (!ManPause(on, Busy())) form_->TMstatus->setText(QStringLiteral("Error!"));
  });
  connect(form_->CBj1Freeze, &QPushButton::clicked, this, [this] {
    if (!Busy()) ManualFreeze(kCorInj1);
  });
  connect(form_->CBj2Freeze, &QPushButton::clicked, this, [this] {
    if (!Busy()) ManualFreeze(kCorInj2);
  });
  connect(form_->CBaFreeze, &QPushButton::clicked, this, [this] {
    if (!Busy()) ManualFreeze(kCorAdv);
  });
  // The table.
  connect(form_->TPselectMap, &QTabWidget::currentChanged, this, [this](int index) { SelectMapTab(index); });
  connect(form_->CBcyl, &QPushButton::clicked, this, [this] { ChangeCurTuneCyl(); });
  connect(form_->TABmatrix, &QTableWidget::cellDoubleClicked, this,
          [this](int row, int col) { EnableDoubleClick(col + 1, row == 0 ? 0 : row); });
  connect(form_->TABbpy, &QTableWidget::cellDoubleClicked, this,
          [this](int row, int) { EnableDoubleClick(0, row + 1); });
  connect(form_->TABmatrix, &QWidget::customContextMenuRequested, this,
          [this](const QPoint&) { OpenValueDialog(); });
  auto* filter = new TableFilter(this);
  filter->matrix = form_->TABmatrix;
  filter->enabRows = form_->TMenabRows;
  filter->enabCols = form_->TMenabCols;
  filter->autoScroll = form_->TBautoScroll;
  filter->clickPending = &tableClickPending_;
  form_->TABmatrix->installEventFilter(filter);
  form_->TABmatrix->viewport()->installEventFilter(filter);
  form_->TMenabRows->installEventFilter(filter);
  form_->TMenabCols->installEventFilter(filter);
  form_->TBautoScroll->installEventFilter(filter);
  connect(form_->TBautoScroll, &QPushButton::clicked, this, [this] {
    // A click only shows the state; a double click switches it while tuning.
    QSignalBlocker block(form_->TBautoScroll);
    form_->TBautoScroll->setChecked(autoScroll_);
  });
  // The function keys of the page.
  const struct {
    int key;
    TuneKey tuneKey;
  } keys[] = {{Qt::Key_F1, TuneKey::F1},
              {Qt::Key_F2, TuneKey::F2},
              {Qt::Key_F3, TuneKey::F3},
              {Qt::Key_F4, TuneKey::F4},
              {Qt::Key_F5, TuneKey::F5},
              {Qt::Key_F6, TuneKey::F6},
              {Qt::Key_F7, TuneKey::F7},
              {Qt::Key_F9, TuneKey::F9},
              {Qt::Key_F10, TuneKey::F10},
              {Qt::Key_F11, TuneKey::F11},
              {Qt::Key_F12, TuneKey::F12},
              {Qt::Key_PageUp, TuneKey::PageUp},
              {Qt::Key_PageDown, TuneKey::PageDown}};
  for (const auto& k : keys) {
    auto* shortcut = new QShortcut(QKeySequence(k.key), widget_);
    shortcut->setContext(Qt::WidgetWithChildrenShortcut);
    const TuneKey tk = k.tuneKey;
    connect(shortcut, &QShortcut::activated, this, [this, tk] { Key(tk); });
  }

  session.shownMap = kMapInj1;
  isTuningAuto = true;  // a panel mode is always set while the page is used
  isTuningManual = false;
  LayoutTable();
  isTuningAuto = false;
  return 1;
}

void Mp2Page::SetShown(const char* control, bool visible) {
  if (QWidget* w = widget_->findChild<QWidget*>(QString::fromLatin1(control))) w->setVisible(visible);
  // The caption of a control is named after it: NUMrpmMargin -> LBLrpmMargin.
  std::string name = control;
  const size_t prefix = name.rfind("NUM", 0) == 0 ? 3 : (name.rfind("NS", 0) == 0 ? 2 : 0);
  if (prefix)
    if (QWidget* l = widget_->findChild<QWidget*>(QString::fromStdString("LBL" + name.substr(prefix))))
      l->setVisible(visible);
}

void Mp2Page::SetDim(const char* control, bool dimmed) {
  if (QWidget* w = widget_->findChild<QWidget*>(QString::fromLatin1(control))) w->setEnabled(!dimmed);
}

void Mp2Page::ShowModeControls() {
  for (const char* c : kManualOnly) SetShown(c, isTuningManual);
  for (const char* c : kAutoOnly) SetShown(c, !isTuningManual);
  form_->NUMj1Step->setVisible(isTuningManual);
  form_->NUMj2Step->setVisible(isTuningManual);
  form_->NUMaStep->setVisible(isTuningManual);
  form_->LBLstep->setVisible(isTuningManual);
}

void Mp2Page::LayoutTable() {
  const int map = session.shownMap;
  laidOutMap_ = map;
  const bool inj = IsInjectionMap(map);
  {
    QSignalBlocker block(form_->TPselectMap);
    form_->TPselectMap->setCurrentIndex(inj ? 0 : 1);
  }
  form_->CBcyl->setText(QString::fromLatin1(map == kMapInj2 ? "Cyl. 2" : "Cyl. 1"));
  form_->CBcyl->setVisible(inj);
  form_->TMmapCaption->setText(map == kMapInj1   ? QStringLiteral("Injection time cylinder 1 [ms]")
                               : map == kMapInj2 ? QStringLiteral("Injection time cylinder 2 [ms]")
                                                 : QStringLiteral("Advance [°]"));
  const bool dim = map == kMapInj2 && maps::CylinderCount() < 2;
  form_->TABmatrix->setEnabled(!dim);
  form_->TABbpy->setEnabled(!dim);
  form_->TMenabRows->setText(isTuningAuto && inj ? QStringLiteral("Double click: enable cells (whole map)")
                                                 : QString());
  ShowModeControls();
  {
    QSignalBlocker b1(form_->NUMj1Step), b2(form_->NUMj2Step), b3(form_->NUMaStep);
    form_->NUMj1Step->setValue(0.01);
    form_->NUMj2Step->setValue(0.01);
    form_->NUMaStep->setValue(0.5);
  }
  QSignalBlocker block(form_->NSlambdaMode);
  form_->NSlambdaMode->setRange(0, gainRanges.modeSteps);
  marker_.Forget();
}

void Mp2Page::FillCell(int tableRow, int col) {
  const int map = session.shownMap;
  maps::MapPlace place;
  if (!TuneMapPlace(map, &place)) return;
  QTableWidgetItem* item = form_->TABmatrix->item(tableRow, col);
  if (!item) return;
  QString text;
  bool differs = false;
  uint32_t bg = normalBg_;
  if (tableRow == 0) {
    const int16_t v = AxisValue(ecu::ecuMapData, place.xAxis, col);
    text = QString::number(v);
    differs = v != AxisValue(ecu::ecuMapRefData, place.xAxis, col);
    bg = 0xE8E8E8;
  } else {
    const int row = tableRow - 1;
    const int32_t v = TuneCell(map, row, col);
    const uint32_t at = place.matrix + 2 * (row * kTuneCols + col);
    differs = ecu::ecuMapData[at] != ecu::ecuMapRefData[at] ||
              ecu::ecuMapData[at + 1] != ecu::ecuMapRefData[at + 1];
    text = QString::number(v / TuneCellScale(map), 'f', IsInjectionMap(map) ? 3 : 1);
    const bool marked = marker_.Shown() && col >= marker_.Rpm().lo && col <= marker_.Rpm().hi &&
                        (row == marker_.Farf().lo || row == marker_.Farf().hi) &&
                        (col == marker_.Rpm().lo || col == marker_.Rpm().hi);
    bg = CellBackground(EnableCode(mtSettings, row, col), isTuningAuto, map == kMapAdv, marked, normalBg_);
  }
  if (item->text() != text) item->setText(text);
  const QColor fg = differs ? Rgb(kColourChanged) : QColor(Qt::black);
  if (item->foreground().color() != fg) item->setForeground(fg);
  if (item->font().bold() != differs) {
    QFont f = item->font();
    f.setBold(differs);
    item->setFont(f);
  }
  if (item->background().color() != Rgb(bg)) item->setBackground(Rgb(bg));
}

void Mp2Page::FillTuneTable() {
  const int map = session.shownMap;
  maps::MapPlace place;
  if (!TuneMapPlace(map, &place)) return;
  for (int r = 0; r <= kTuneRows; ++r)
    for (int c = 0; c < kTuneCols; ++c) FillCell(r, c);
  for (int r = 0; r < kTuneRows; ++r) {
    const int16_t v = AxisValue(ecu::ecuMapData, place.yAxis, r);
    const QString text = QString::number(v / 10.0, 'f', 1);
    QTableWidgetItem* item = form_->TABbpy->item(r, 0);
    if (item->text() != text) item->setText(text);
    const bool differs = v != AxisValue(ecu::ecuMapRefData, place.yAxis, r);
    item->setForeground(differs ? Rgb(kColourChanged) : QColor(Qt::black));
    if (item->font().bold() != differs) {  // red and bold, as every changed value
      QFont f = item->font();
      f.setBold(differs);
      item->setFont(f);
    }
  }
}

uint8_t Mp2Page::ScatterMp2Panel() {
  LayoutTable();
  FillTuneTable();
  ShowTuneInfo(true);
  if (!gainsNote_.empty() && !gainsNoted_) {
    gainsNoted_ = true;  // said once
    com::Ui().ShowStatus(gainsNote_);
  }
  return 1;
}

void Mp2Page::ScatterTuneSettings() {
  scattering_ = true;
  std::vector<std::unique_ptr<QSignalBlocker>> blocks;
  for (QWidget* w : widget_->findChildren<QWidget*>()) blocks.push_back(std::make_unique<QSignalBlocker>(w));
  binding_.Scatter(mtSettings.data());
  form_->TBmanPause->setChecked(tuneInfo.PauseActive());
  form_->TBselectCorrection->setChecked(session.commonCorrection);
  form_->NSlambdaMode->setRange(0, gainRanges.modeSteps);
  form_->NSlambdaMode->setValue(
      SetCurLambdaMode(gainRanges, static_cast<int32_t>(SettingsValue(mtSettings, kKpOffset)),
                       static_cast<int32_t>(SettingsValue(mtSettings, kKiOffset)),
                       static_cast<uint16_t>(SettingsValue(mtSettings, kStepOffset))));
  scattering_ = false;
}

uint8_t Mp2Page::GatherTuneSettings() {
  if (!binding_.Gather(mtSettings.data())) return 0;
  // The tracking mode as the ring reads: a value outside 0..3 reads as 7.
  if (SettingsValue(mtSettings, kTrackModeOffset) > 3)
    SetSettingsValue(mtSettings, kTrackModeOffset, kTrackModeInvalid);
  const Gains g = GetCurLambdaMode(gainRanges, form_->NSlambdaMode->value());
  SetSettingsValue(mtSettings, kKpOffset, g.kp);
  SetSettingsValue(mtSettings, kKiOffset, g.ki);
  SetSettingsValue(mtSettings, kStepOffset, g.step);
  return 1;
}

void Mp2Page::ShowTuneInfo(bool withSettings) {
  const Info& i = tuneInfo;
  {
    QSignalBlocker block(form_->TBautoScroll);
    form_->TBautoScroll->setChecked(autoScroll_);
  }
  form_->TMstatus->setText(QString::fromLatin1(TuneStatusText(i)));
  const struct {
    QLabel* led;
    bool on;
    bool warn;
  } leds[] = {
      {form_->LEDisCranking, (i.flagsA & kFlagCranking) != 0, false},
      {form_->LEDisRpmErr, (i.flagsA & kFlagRpmOut) != 0, true},
      {form_->LEDisTh2o_oilErr, (i.flagsA & kFlagTempOut) != 0, true},
      {form_->LEDisTransient, (i.flagsA & kFlagTransient) != 0, false},
      {form_->LEDisLambda2Warning, (i.flagsA & kFlagLambda2Warn) != 0, true},
      {form_->LEDisLambda1Warning, (i.flagsA & kFlagLambda1Warn) != 0, true},
      {form_->LEDisCutOff, (i.flagsB & kFlagCutOff) != 0, false},
      {form_->LEDisEnabled, (i.flagsB & kFlagMatchEnabled) != 0, false},
      {form_->LEDisOverInjTime2, (i.flagsC & kFlagOverTj2) != 0, true},
      {form_->LEDisOverInjTime1, (i.flagsC & kFlagOverTj1) != 0, true},
  };
  for (const auto& l : leds) {
    const char* style = l.on ? (l.warn ? shell::kLedWarn : shell::kLedOn) : shell::kLedOff;
    if (l.led->property("ledOn").toInt() != (l.on ? 1 : 0) + 1) {
      l.led->setStyleSheet(QString::fromLatin1(style));
      l.led->setProperty("ledOn", (l.on ? 1 : 0) + 1);
    }
  }
  if (withSettings) ScatterTuneSettings();

  scattering_ = true;
  auto set = [](QDoubleSpinBox* box, double v) {
    // Only text the user is typing and has not committed yet stays; a box that merely
    // has the focus (after a click on its arrows, say) shows the ECU's answer.
    const auto* edit = box->findChild<QLineEdit*>();
    const bool typing = box->hasFocus() && !box->isReadOnly() && edit && edit->isModified();
    if (typing) return;
    QSignalBlocker block(box);
    if (box->value() != v) box->setValue(v);
  };
  set(form_->NUMrpm, i.rpm);
  set(form_->NUMfarf, i.farf / 10.0);
  set(form_->NUMistLambda1, i.lambda1 / 10.0);
  set(form_->NUMistLambda2, i.lambda2 / 10.0);
  form_->NUMsetpoint->setEnabled(i.setpoint >= 0);
  set(form_->NUMsetpoint, i.setpoint >= 0 ? i.setpoint / 10.0 : 0.0);
  set(form_->NUMtH2O_oil, i.temp / 10.0);
  set(form_->NUMj1ValOrg, i.j1Org / 1000.0);
  set(form_->NUMj2ValOrg, i.j2Org / 1000.0);
  set(form_->NSj1TuneCor, i.j1Cor / 1000.0);
  set(form_->NSj2TuneCor, i.j2Cor / 1000.0);
  set(form_->NUMaValOrg, i.aOrg / 10.0);
  set(form_->NSaTuneCor, i.aCor / 10.0);
  set(form_->NUMj1ValTuned, i.j1Org / 1000.0 * i.j1Cor / 1000.0);
  set(form_->NUMj2ValTuned, i.j2Org / 1000.0 * i.j2Cor / 1000.0);
  set(form_->NUMaValTuned, (i.aOrg + i.aCor) / 10.0);
  scattering_ = false;

  const bool tuning = i.Tuning();
  const struct {
    QDoubleSpinBox* box;
    bool match;
  } lambdas[] = {{form_->NUMistLambda1, tuning && i.Lambda1Match()},
                 {form_->NUMistLambda2, tuning && i.Lambda2Match()}};
  for (const auto& l : lambdas) {
    const QString sheet =
        l.match ? QStringLiteral("QDoubleSpinBox { background-color: rgb(0, 255, 0); }") : QString();
    if (l.box->styleSheet() != sheet) l.box->setStyleSheet(sheet);
  }
}

void Mp2Page::SetDimming(bool portOpen) {
  const char* const corrections[] = {"NSj1TuneCor",        "NSj2TuneCor",         "NSaTuneCor",
                                     "CBj1Freeze",         "CBj2Freeze",          "CBaFreeze",
                                     "TBselectCorrection", "TBmanPause",          "NUMistLambda1",
                                     "NUMistLambda2",      "LEDisLambda1Warning", "LEDisLambda2Warning"};
  if (!portOpen) {
    for (const char* c : {"CBtuneAuto", "CBtuneOff", "CBtuneManual"}) SetDim(c, true);
    for (const char* c : corrections) SetDim(c, true);
    for (const char* c : {"NSlambdaMode", "CBmtLoad", "RINGmtjType", "TBselectSingleMul"}) SetDim(c, false);
    return;
  }
  const bool tuning = tuneInfo.Tuning();
  for (const char* c : {"CBtuneManual", "CBtuneAuto", "CBmtLoad", "RINGmtjType", "TBselectSingleMul"})
    SetDim(c, tuning);
  SetDim("CBtuneOff", !tuning);
  if (!tuning) {
    for (const char* c : corrections) SetDim(c, true);
    SetDim("NSlambdaMode", false);
    return;
  }
  for (const char* c : corrections) SetDim(c, false);
  const bool common = session.commonCorrection;
  const bool pause = tuneInfo.PauseActive();
  for (const char* c : {"NUMj2ValTuned", "NUMj2ValOrg", "NUMj2Step"}) SetDim(c, common);
  if (!common)
    for (const char* c : {"NUMj2ValTuned", "NUMj2ValOrg", "NUMj2Step"}) SetDim(c, false);
  SetDim("NSj2TuneCor", common || pause);
  SetDim("CBj2Freeze", common || pause);
  if (pause)
    for (const char* c : {"NSj1TuneCor", "NSaTuneCor", "CBj1Freeze", "CBaFreeze", "TBselectCorrection"})
      SetDim(c, true);
  const int mode = static_cast<int>(SettingsValue(mtSettings, kTrackModeOffset));
  const bool l1 = mode == 0 || mode == 1 || mode == 2;
  const bool l2 = mode == 0 || mode == 3;
  SetDim("NUMistLambda1", !l1);
  SetDim("LEDisLambda1Warning", !l1);
  SetDim("NUMistLambda2", !l2);
  SetDim("LEDisLambda2Warning", !l2);
}

void Mp2Page::MarkWorkingPoint() {
  maps::MapPlace place;
  if (!TuneMapPlace(session.shownMap, &place)) return;
  const AxisMark oldRpm = marker_.Rpm(), oldFarf = marker_.Farf();
  const MarkerStep step = marker_.Mark(Axis(ecu::ecuMapData, place.xAxis), Axis(ecu::ecuMapData, place.yAxis),
                                       tuneInfo.rpm, tuneInfo.farf, mtSettings, autoScroll_);
  if (step.clearPrevious)
    for (int r : {oldFarf.lo, oldFarf.hi})
      for (int c : {oldRpm.lo, oldRpm.hi}) FillCell(r + 1, c);
  if (step.shown)
    for (int r : {step.farf.lo, step.farf.hi})
      for (int c : {step.rpm.lo, step.rpm.hi}) FillCell(r + 1, c);
  if (step.scrollToColumn > 0 && step.shown) {
    // By whole cells, just far enough that both marked columns are in view (the table
    // may scroll per item, so no pixel arithmetic on its scroll bar).
    QTableWidget* m = form_->TABmatrix;
    const int row = std::clamp(step.farf.lo + 1, 0, m->rowCount() - 1);
    for (int c : {step.scrollToColumn - 1, step.rpm.hi, step.rpm.lo})
      if (c >= 0 && c < m->columnCount())
        m->scrollTo(m->model()->index(row, c), QAbstractItemView::EnsureVisible);
  }
}

void Mp2Page::UpdateAutoScroll() {
  if (form_->TABmatrix->hasFocus()) {
    if (tableClickPending_) {
      autoScroll_ = false;
      tableClickPending_ = false;
    }
  } else {
    autoScroll_ = tuneInfo.Tuning() && !tableClickPending_;
    tableClickPending_ = false;
  }
}

uint8_t Mp2Page::Mp2Timer() {
  // 1, 2: the settings as the controls show them; the table of the chosen map.
  if (session.settingsChanged) GatherTuneSettings();
  if (session.shownMap != laidOutMap_) {
    LayoutTable();
    FillTuneTable();
  }
  TickResult r;
  BeginTick(r);
  if (!r.portOpen || !StartOrStopPending()) SetDimming(r.portOpen);
  TickHooks hooks;
  hooks.getDataName = [](std::string& name, int selector) { return shell::GetEcuDataName(name, selector); };
  hooks.trackMode = [this] {
    const int v = form_->RINGmtjType->currentData().toInt();
    return static_cast<uint8_t>(v >= 0 && v <= 3 ? v : kTrackModeInvalid);
  };
  RunTick(r, hooks);
  bool redraw = r.redraw;
  if (r.adoptMode || r.shownMapChanged) {
    LayoutTable();
    redraw = true;
  }
  if (r.justConnected && tuneInfo.Tuning()) redraw = true;
  // Maps read from the ECU start a new edit history, as Load and Receive do: an undo must
  // never put values from before the session back over cells the ECU tuned.
  if (r.configLoaded && registry_) registry_->BlocksReplaced(ecu::kParType);
  if (r.mappingLoaded && registry_) registry_->BlocksReplaced(ecu::kMapType);
  if (r.configLoaded && registry_) {
    registry_->ScatterAllPanels();  // the tuning page is one of them
  } else if (redraw) {
    FillTuneTable();
  }
  UpdateAutoScroll();
  ShowTuneInfo(r.settingsRead);
  if (r.failed)
    form_->TMstatus->setText(QStringLiteral("Error!"));
  else if (tuneInfo.Tuning() && r.portOpen)
    MarkWorkingPoint();
  else if (marker_.Shown()) {
    marker_.Forget();
    FillTuneTable();
  }
  session.settingsChanged = false;
  return r.failed ? 0 : 1;
}

void Mp2Page::TuningSwitch(int button) {
  if (Busy() || !com::isComOpen) return;
  if (button == 1) {
    session.stop = true;
    return;
  }
  const bool automatic = button == 0;
  if (automatic) {
    session.startAuto = true;
    if (tuneInfo.State() != kStateAuto) session.settingsChanged = true;
  } else {
    session.startManual = true;
    if (tuneInfo.State() != kStateManual) session.settingsChanged = true;
  }
  for (const char* c : {"CBtuneAuto", "CBtuneOff", "CBtuneManual", "CBmtLoad", "RINGmtjType"})
    SetDim(c, true);
  QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void Mp2Page::AutoScrollSwitch() {
  if (Busy() || !tuneInfo.Tuning()) return;
  autoScroll_ = !autoScroll_;
  QSignalBlocker block(form_->TBautoScroll);
  form_->TBautoScroll->setChecked(autoScroll_);
}

void Mp2Page::NewTuneConfig() {
  if (Busy() || scattering_) return;
  session.settingsChanged = true;
}

void Mp2Page::SelectSingleMul() {
  if (Busy() || scattering_) return;
  session.settingsChanged = true;
  if (GatherTuneSettings()) ScatterMp2Panel();
}

void Mp2Page::ShowGains() {
  if (Busy()) return;
  const Gains g = GetCurLambdaMode(gainRanges, form_->NSlambdaMode->value());
  com::Ui().MessagePopup("Lambda Tracking Settings",
                         QString::asprintf("Step = %.3f\nKp = %.5f\nKi = %.5f\n", g.step / 1000.0,
                                           g.kp / 10000.0, g.ki / 10000.0)
                             .toStdString());
}

void Mp2Page::SelectMapTab(int index) {
  if (Busy()) return;
  if (index == 1)
    session.shownMap = kMapAdv;
  else
    session.shownMap = form_->CBcyl->text() == QStringLiteral("Cyl. 2") ? kMapInj2 : kMapInj1;
  LayoutTable();
  FillTuneTable();
}

void Mp2Page::ChangeCurTuneCyl() {
  if (Busy() || !IsInjectionMap(session.shownMap)) return;
  session.shownMap = session.shownMap == kMapInj1 ? kMapInj2 : kMapInj1;
  LayoutTable();
  FillTuneTable();
}

void Mp2Page::EnableDoubleClick(int c, int r) {
  if (Busy() || !isTuningAuto || !IsInjectionMap(session.shownMap)) return;
  CellGroup group = kWholeMap;
  if (c > 0 && r > 0)
    group = CellAt(r - 1, c - 1);
  else if (c > 0)
    group = ColumnGroup(c - 1);
  else if (r > 0)
    group = RowGroup(r - 1);
  const int code = cycle_.Next(c, r, GroupCode(mtSettings, group));
  if (c <= kTuneCols && r <= kTuneRows) SetGroupCode(mtSettings, group, code);
  FillTuneTable();
  session.settingsChanged = true;
}

TuneSteps Mp2Page::Steps() const {
  if (!isTuningManual) return kDefaultSteps;
  return {form_->NUMj1Step->value(), form_->NUMj2Step->value(), form_->NUMaStep->value()};
}

void Mp2Page::Key(TuneKey key) {
  if (Busy()) return;
  KeyContext k;
  k.manualMode = isTuningManual;
  k.j1 = form_->NSj1TuneCor->value();
  k.j2 = form_->NSj2TuneCor->value();
  k.adv = form_->NSaTuneCor->value();
  k.steps = Steps();
  k.shownMap = session.shownMap;
  const KeyOutcome out = TuneFunctionKey(key, k);
  if (out.showHelp) com::Ui().MessagePopup("Map Tuning - Help", TuneHelpText());
  if (out.toggleScroll) {
    autoScroll_ = !autoScroll_;
    QSignalBlocker block(form_->TBautoScroll);
    form_->TBautoScroll->setChecked(autoScroll_);
  }
  if (out.shownMap != session.shownMap) {
    session.shownMap = out.shownMap;
    LayoutTable();
    FillTuneTable();
  }
}

void Mp2Page::TableKey(bool plus) {
  if (Busy() || !IsMapTuning()) return;
  const int row = form_->TABmatrix->currentRow();
  const int col = form_->TABmatrix->currentColumn();
  if (row < 1 || row > kTuneRows || col < 0 || col >= kTuneCols) return;
  StepTuneCell(session.shownMap, row - 1, col, plus, Steps(), session.commonCorrection);
}

void Mp2Page::OpenValueDialog() {
  if (Busy() || !IsMapTuning()) return;
  QTableWidget* m = form_->TABmatrix;
  m->setFocus();
  maps::CellRect sel;
  const auto ranges = m->selectedRanges();
  if (!ranges.isEmpty()) {
    const QTableWidgetSelectionRange& g = ranges.first();
    sel = {g.topRow(), g.leftColumn(), g.rowCount(), g.columnCount()};
  }
  sel = maps::NormaliseSelection(sel, m->currentRow(), m->currentColumn());
  if (sel.Empty() || sel.top < 1) {
    com::Ui().MessagePopup("Map Tuning", "No selection...");
    return;
  }
  TuneSelection s{sel.top - 1, std::min(sel.Bottom(), kTuneRows) - 1, sel.left,
                  std::min(sel.Right(), kTuneCols - 1)};
  dialog_->Run(session.shownMap, s);
}

}  // namespace tuning
