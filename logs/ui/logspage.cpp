#include "logs/ui/logspage.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QListWidget>
#include <QTimer>
#include <cmath>
#include <fstream>
#include <sstream>

#include "ecudata/image.h"
#include "link/userio.h"
#include "link/numberformat.h"
#include "logs/ui/logmapview.h"
#include "logs/ui/timeplot.h"
#include "maps/mapcsv.h"
#include "shell/connection.h"
#include "ui_logs.h"

namespace logs {

namespace {

constexpr const char kTitle[] = "Logs";

// "1:02:03" or "2:03.4" for a duration in seconds.
QString Duration(double seconds) {
  const long long whole = static_cast<long long>(seconds);
  const long long h = whole / 3600, m = (whole / 60) % 60;
  const double s = seconds - static_cast<double>(h * 3600 + m * 60);
  const QString sec = (s < 10 ? "0" : "") + com::FixedQText(s, 1);
  if (h > 0) return QString("%1:%2:%3").arg(h).arg(m, 2, 10, QChar('0')).arg(sec);
  return QString("%1:%2").arg(m).arg(sec);
}

}  // namespace

LogsPage::LogsPage(QWidget* parent) : parent_(parent) {}

LogsPage::~LogsPage() {
  if (loading_) {
    loading_->cancel = true;
    if (loading_->thread.joinable()) loading_->thread.join();
  }
}

TimePlot* LogsPage::Plot() const {
  return form_->PLOTtime;
}

LogMapView* LogsPage::MapView() const {
  return form_->MAPlog;
}

uint8_t LogsPage::Init() {
  widget_ = new QWidget(parent_);
  form_ = std::make_unique<Ui::LogsPanel>();
  form_->setupUi(widget_);
  form_->PBlogLoad->setVisible(false);
  form_->CBcancelLoad->setVisible(false);
  form_->SPLITlogs->setStretchFactor(0, 0);
  form_->SPLITlogs->setStretchFactor(1, 3);
  form_->SPLITlogs->setStretchFactor(2, 2);
  form_->SPLITlogs->setSizes({170, 640, 520});
  form_->TMlogStatus->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  form_->TMmapStatus->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  form_->PLOTtime->SetLanes(std::vector<std::vector<int>>(4));
  // The plot a double-clicked channel goes to: the combo takes the room of its label.
  form_->LBlane->hide();
  form_->RINGlane->setToolTip(QStringLiteral("The plot a double-clicked channel is added to"));
  form_->RINGlane->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  poll_ = new QTimer(widget_);
  poll_->setInterval(30);

  connect(poll_, &QTimer::timeout, this, [this] { PollLoad(); });
  connect(form_->CBopenLog, &QPushButton::clicked, this, [this] { OpenLogDialog(); });
  connect(form_->CBcancelLoad, &QPushButton::clicked, this, [this] { CancelLoad(); });
  connect(form_->CBwholeLog, &QPushButton::clicked, this, [this] { form_->PLOTtime->WholeLog(); });
  connect(form_->CBzoomSpan, &QPushButton::clicked, this, [this] { form_->PLOTtime->ZoomToSpan(); });
  connect(form_->EDchannelSearch, &QLineEdit::textChanged, this,
          [this](const QString& text) { FilterChannelList(text); });
  connect(form_->LISTchannels, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
    form_->PLOTtime->AddChannel(form_->RINGlane->currentIndex(), item->data(Qt::UserRole).toInt());
  });
  connect(form_->CBclearLane, &QPushButton::clicked, this,
          [this] { form_->PLOTtime->ClearLane(form_->RINGlane->currentIndex()); });
  connect(form_->CBpropose, &QPushButton::clicked, this, [this] { Propose(); });
  connect(form_->CBtargetTable, &QPushButton::clicked, this, [this] { ChooseTargetTable(); });
  form_->PLOTtime->onCursor = [this](size_t record) { ShowCursor(record); };
  form_->PLOTtime->onSpan = [this](double t0, double t1) { SpanMarked(t0, t1); };
  form_->MAPlog->onCellClicked = [this](int cell) { CellClicked(cell); };

  // Every setting of the map view draws it again.
  for (QCheckBox* box :
       {form_->TBengineRunning, form_->TBwarm, form_->TBsteady, form_->TBrpmRange, form_->TBfarfRange})
    connect(box, &QCheckBox::toggled, this, [this] { UpdateMapView(); });
  for (QSpinBox* box : {form_->SPrpmMin, form_->SPrpmMax})
    connect(box, &QSpinBox::valueChanged, this, [this] {
      if (form_->TBrpmRange->isChecked()) UpdateMapView();
    });
  for (QDoubleSpinBox* box : {form_->SPfarfMin, form_->SPfarfMax})
    connect(box, &QDoubleSpinBox::valueChanged, this, [this] {
      if (form_->TBfarfRange->isChecked()) UpdateMapView();
    });
  connect(form_->RINGmap, &QComboBox::currentIndexChanged, this, [this] { UpdateMapView(); });
  connect(form_->RINGshow, &QComboBox::currentIndexChanged, this, [this] { UpdateMapView(); });
  ShowLogStatus();
  return 1;
}

uint8_t LogsPage::Scatter() {
  UpdateMapView();
  return 1;
}

void LogsPage::BlocksReplaced(int type) {
  if (type == ecu::kMapType) targetTable_.clear(), targetTablePath_.clear();
}

// ---- reading ----

void LogsPage::OpenLogDialog() {
  if (shell::CheckfBusy() || Loading()) return;
  com::FileDialog dialog;
  dialog.title = "Open a datalog";
  dialog.directory = path_.isEmpty() ? std::string() : QFileInfo(path_).absolutePath().toStdString();
  dialog.proposal = "*.csv";
  dialog.extension = "csv";
  std::string path;
  if (com::Ui().FileSelectPopup(dialog, path) != com::FileSelect::Existing || path.empty()) return;
  OpenLog(QString::fromStdString(path));
}

void LogsPage::OpenLog(const QString& path) {
  if (Loading()) CancelLoad();
  loading_ = std::make_unique<Load>();
  Load* load = loading_.get();
  load->path = path;
  form_->PBlogLoad->setRange(0, 1000);
  form_->PBlogLoad->setValue(0);
  form_->PBlogLoad->setVisible(true);
  form_->CBcancelLoad->setVisible(true);
  form_->CBopenLog->setEnabled(false);
  form_->TMlogStatus->setText("Reading " + path + " ...");
  load->thread = std::thread([load, file = path.toStdString()] {
    ReadOptions options;
    options.cancel = &load->cancel;
    options.progress = [load](uint64_t done, uint64_t total) {
      load->bytes = done;
      load->total = total;
    };
    load->result = ReadLogFile(file, options, load->log.get(), &load->error);
    load->done = true;
  });
  poll_->start();
}

void LogsPage::CancelLoad() {
  if (!loading_) return;
  loading_->cancel = true;
}

bool LogsPage::WaitLoaded(int milliseconds) {
  QElapsedTimer clock;
  clock.start();
  while (Loading() && clock.elapsed() < milliseconds) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    if (loading_ && loading_->done) PollLoad();
  }
  return !Loading();
}

void LogsPage::PollLoad() {
  if (!loading_) return;
  const uint64_t total = loading_->total;
  if (total > 0)
    form_->PBlogLoad->setValue(static_cast<int>(1000.0 * double(loading_->bytes) / double(total)));
  if (loading_->done) FinishLoad();
}

void LogsPage::FinishLoad() {
  poll_->stop();
  std::unique_ptr<Load> load = std::move(loading_);
  load->thread.join();
  form_->PBlogLoad->setVisible(false);
  form_->CBcancelLoad->setVisible(false);
  form_->CBopenLog->setEnabled(true);
  if (load->result == ReadResult::Cancelled) {
    form_->TMlogStatus->setText("Reading " + load->path + " was cancelled; the log shown is as it was.");
    return;
  }
  if (load->result == ReadResult::Failed) {
    ShowLogStatus();
    com::Ui().MessagePopup(kTitle,
                           load->error.empty() ? load->path.toStdString() + ": cannot be read" : load->error);
    return;
  }
  // The new log is swapped in whole: the plots never see half a log.
  log_ = std::move(load->log);
  path_ = load->path;
  form_->TMlogFile->setText(QFileInfo(path_).fileName());
  form_->TMlogFile->setToolTip(path_);
  binning_ = Binning();
  form_->PLOTtime->SetLog(log_);
  FillChannelList();
  DefaultLayout();
  UpdateMapView();
  ShowLogStatus();
  form_->PLOTtime->setFocus();
}

// ---- channels and plots ----

void LogsPage::FillChannelList() {
  const QString keep = form_->RINGshow->currentText();
  const QSignalBlocker block(form_->RINGshow);
  form_->RINGshow->clear();
  form_->RINGshow->addItem(QStringLiteral("Records"));
  form_->LISTchannels->clear();
  if (!log_) return;
  TimePlot::FillChannelList(form_->LISTchannels, *log_);
  for (size_t c = 0; c < log_->names.size(); ++c)
    form_->RINGshow->addItem("Mean of " + QString::fromStdString(log_->names[c]), static_cast<int>(c));
  const int again = form_->RINGshow->findText(keep);
  form_->RINGshow->setCurrentIndex(again >= 0 ? again : 0);
  FilterChannelList(form_->EDchannelSearch->text());
}

void LogsPage::FilterChannelList(const QString& text) {
  TimePlot::FilterChannelList(form_->LISTchannels, text);
}

void LogsPage::DefaultLayout() {
  if (log_) form_->PLOTtime->SetLanes(TimePlot::DefaultLanes(*log_));
}

void LogsPage::ShowCursor(size_t record) {
  if (!log_ || record >= log_->Records()) return;
  ShowLogStatus();
}

void LogsPage::ShowLogStatus() {
  if (!log_) {
    form_->TMlogStatus->setText(
        "No log open. \"Open Log...\" reads a datalog that the live page recorded, or any CSV with a header "
        "line.");
    return;
  }
  const size_t cursor = form_->PLOTtime->CursorRecord();
  QString text = QString("%1 records, %2, %3 records/s")
                     .arg(log_->Records())
                     .arg(Duration(log_->Duration()))
                     .arg(com::FixedQText(log_->Rate(), 1));
  if (log_->gapRecords > 0) text += QString(", %1 with gaps").arg(log_->gapRecords);
  if (log_->skippedLines > 0) text += QString(", %1 lines skipped").arg(log_->skippedLines);
  if (log_->timeName.empty()) text += ", no time column: row numbers";
  if (cursor < log_->Records())
    text += QString("   |   cursor: record %1 at %2 s")
                .arg(cursor + 1)
                .arg(com::FixedQText(log_->time[cursor], 3));
  form_->TMlogStatus->setText(text);
}

// ---- the map view ----

Filters LogsPage::CurrentFilters() const {
  Filters f;
  f.engineRunning = form_->TBengineRunning->isChecked();
  f.warm = form_->TBwarm->isChecked();
  f.steadyThrottle = form_->TBsteady->isChecked();
  f.tempIsOil = MappingTempIsOil(ecu::ecuMapData);
  f.rpmRange = form_->TBrpmRange->isChecked();
  f.rpmMin = form_->SPrpmMin->value();
  f.rpmMax = form_->SPrpmMax->value();
  f.farfRange = form_->TBfarfRange->isChecked();
  f.farfMin = form_->SPfarfMin->value();
  f.farfMax = form_->SPfarfMax->value();
  return f;
}

int LogsPage::CurrentMap() const {
  return form_->RINGmap->currentIndex() + 1;
}

void LogsPage::UpdateMapView() {
  if (!form_) return;
  const int id = CurrentMap();
  MapAxes axes;
  maps::MapUnits units;
  if (!ReadMapAxes(ecu::ecuMapData, id, &axes) || !maps::GetMapUnits(id, &units)) return;
  std::array<double, maps::kMapCells> values;
  values.fill(NAN);
  binning_ = Binning();
  if (!log_) {
    form_->MAPlog->SetGrid(axes, units.precX, units.precY, values, 0);
    form_->TMmapStatus->setText(QString());
    return;
  }
  const Filters filters = CurrentFilters();
  const MapQuantities q = QuantitiesOf(id, filters.tempIsOil);
  form_->MAPlog->SetAxisNames(QString::fromStdString(q.y), QString::fromStdString(q.x));
  std::string error;
  if (!BinLog(*log_, id, axes, filters, &binning_, &error)) {
    form_->MAPlog->SetGrid(axes, units.precX, units.precY, values, 0);
    form_->TMmapStatus->setText(QString::fromStdString(error));
    return;
  }
  int decimals = 0;
  const QVariant channel = form_->RINGshow->currentData();
  if (channel.isValid() && channel.toInt() >= 0 &&
      static_cast<size_t>(channel.toInt()) < log_->channels.size()) {
    values = CellMeans(binning_, log_->channels[static_cast<size_t>(channel.toInt())]);
    decimals = 2;
  } else {
    for (size_t c = 0; c < values.size(); ++c)
      if (binning_.count[c] > 0) values[c] = binning_.count[c];
  }
  form_->MAPlog->SetGrid(axes, units.precX, units.precY, values, decimals);
  uint64_t counted = 0;
  int cells = 0;
  for (uint32_t n : binning_.count) {
    counted += n;
    cells += n > 0 ? 1 : 0;
  }
  double lo = INFINITY, hi = -INFINITY;
  for (double v : values)
    if (!std::isnan(v)) lo = std::min(lo, v), hi = std::max(hi, v);
  QString text = QString("%1 of %2 records counted, in %3 cells (columns by %4, rows by %5).")
                     .arg(counted)
                     .arg(log_->Records())
                     .arg(cells)
                     .arg(QString::fromStdString(q.x), QString::fromStdString(q.y));
  if (cells > 0)
    text += QString(" Light blue %1, red %2. Click a cell to mark its records on the plots.")
                .arg(com::FixedQText(lo, decimals), com::FixedQText(hi, decimals));
  form_->TMmapStatus->setText(text);
}

void LogsPage::CellClicked(int cell) {
  if (!log_ || binning_.cell.size() != log_->Records()) return;
  std::vector<uint8_t> marks(log_->Records(), 0);
  size_t first = log_->Records();
  uint32_t n = 0;
  for (size_t i = 0; i < marks.size(); ++i)
    if (binning_.cell[i] == cell) {
      marks[i] = 1;
      ++n;
      first = std::min(first, i);
    }
  form_->PLOTtime->SetMarks(std::move(marks));
  if (first < log_->Records()) form_->PLOTtime->SetCursorRecord(first);
  MapAxes axes;
  ReadMapAxes(ecu::ecuMapData, CurrentMap(), &axes);
  maps::MapUnits units;
  maps::GetMapUnits(CurrentMap(), &units);
  const double v = form_->MAPlog->Values()[static_cast<size_t>(cell)];
  QString text = QString("Cell %1 / %2: %3 record%4, marked on the plots")
                     .arg(com::FixedQText(axes.x[static_cast<size_t>(cell % maps::kMapCols)], units.precX),
                          com::FixedQText(axes.y[static_cast<size_t>(cell / maps::kMapCols)], units.precY))
                     .arg(n)
                     .arg(n == 1 ? "" : "s");
  if (form_->RINGshow->currentIndex() > 0 && !std::isnan(v))
    text += QString("; %1: %2").arg(form_->RINGshow->currentText(), com::FixedQText(v, 3));
  form_->TMmapStatus->setText(text + ".");
}

void LogsPage::SpanMarked(double t0, double t1) {
  if (!log_ || binning_.cell.size() != log_->Records()) return;
  const RecordSpan span = VisibleRecords(log_->time.data(), log_->Records(), t0, t1);
  std::vector<int> cells;
  std::vector<uint8_t> seen(maps::kMapCells, 0);
  for (size_t i = span.begin; i < span.end; ++i) {
    if (log_->time[i] < t0 || log_->time[i] > t1) continue;
    const int c = binning_.cell[i];
    if (c >= 0 && !seen[static_cast<size_t>(c)]) {
      seen[static_cast<size_t>(c)] = 1;
      cells.push_back(c);
    }
  }
  form_->MAPlog->SetOutline(cells);
  form_->TMmapStatus->setText(QString("The span %1 s to %2 s passed through %3 cell%4 (outlined).")
                                  .arg(com::FixedQText(t0, 2), com::FixedQText(t1, 2))
                                  .arg(cells.size())
                                  .arg(cells.size() == 1 ? "" : "s"));
}

// ---- the proposal ----

ProposalOptions LogsPage::CurrentProposalOptions() const {
  ProposalOptions p;
  p.cylinder = form_->RINGcyl->currentIndex() == 1 ? 1 : 0;
  p.targetAfr = form_->SPtargetAfr->value();
  p.targetTable = targetTable_;
  p.delaySeconds = form_->SPdelayMs->value() / 1000.0;
  p.minRecords = static_cast<uint32_t>(form_->SPminRecords->value());
  p.filters = CurrentFilters();
  return p;
}

void LogsPage::ChooseTargetTable() {
  if (!targetTable_.empty()) {
    // A second click goes back to the one target value.
    targetTable_.clear();
    targetTablePath_.clear();
    form_->CBtargetTable->setText("Target Table...");
    form_->SPtargetAfr->setEnabled(true);
    return;
  }
  com::FileDialog dialog;
  dialog.title = "Target air-fuel ratio per cell (map CSV)";
  dialog.proposal = "*.csv";
  dialog.extension = "csv";
  std::string path;
  if (com::Ui().FileSelectPopup(dialog, path) != com::FileSelect::Existing || path.empty()) return;
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  std::string error;
  std::vector<double> table;
  if (!in || !TargetTableFromCsv(text.str(), ecu::ecuMapData, ecu::kMapSize, &table, &error)) {
    com::Ui().MessagePopup(kTitle, path + ": " + (error.empty() ? std::string("cannot be read") : error));
    return;
  }
  targetTable_ = std::move(table);
  targetTablePath_ = QString::fromStdString(path);
  form_->CBtargetTable->setText("Target: " + QFileInfo(targetTablePath_).fileName() + " (click: one value)");
  form_->SPtargetAfr->setEnabled(false);
}

bool LogsPage::Propose() {
  if (shell::CheckfBusy()) return false;
  if (!log_) {
    com::Ui().MessagePopup(kTitle, "Open a log first: the proposal is made from its wideband readings.");
    return false;
  }
  const ProposalOptions options = CurrentProposalOptions();
  Proposal proposal;
  std::string error;
  if (!ProposeInjection(*log_, ecu::ecuMapData, options, &proposal, &error)) {
    com::Ui().MessagePopup(kTitle, path_.toStdString() + ": " + error);
    return false;
  }
  if (proposal.changed == 0) {
    com::Ui().MessagePopup(
        kTitle, "The log proposes no change to injection cyl. " + std::to_string(options.cylinder + 1) +
                    ": no cell has " + std::to_string(options.minRecords) +
                    " records that read off the target (or every such cell is at its limit).");
    return false;
  }
  if (showPage) showPage(shell::PageId::MapEditor);
  if (offerProposal) offerProposal(proposal, options.cylinder, QFileInfo(path_).fileName());
  return true;
}

}  // namespace logs
