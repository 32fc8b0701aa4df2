#include "live/livpage.h"

#include "logs/ui/trendwindow.h"

#include <QAbstractButton>
#include <QDateTime>
#include <QDir>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>

#include "ecudata/init.h"
#include "link/com.h"
#include "link/userio.h"
#include "link/utils.h"
#include "shell/connection.h"
#include "shell/ledstyle.h"
#include "shell/linkmonitor.h"
#include "ui_live.h"

namespace live {

using shell::kLedOff;
using shell::kLedOn;

namespace {

constexpr const char kRecordTitle[] = "Record";
constexpr const char kFault[] = "QLineEdit { background-color: rgb(255, 0, 0); color: white; }";

// The five test toggles that a running engine turns off.
constexpr const char* kTestToggles[] = {"TBtestFuelPump", "TBtestFan", "TBtestLight", "TBtestMilLamp",
                                        "TBtestHeat"};

// The folder of the last data file, or the home folder.
std::string LastDataFolder() {
  for (const std::string* path : {&ecu::cfg.mapFilePath, &ecu::cfg.parFilePath}) {
    const std::string dir = com::DirectoryOf(*path);
    if (!path->empty() && !dir.empty() && QDir(QString::fromStdString(dir)).exists()) return dir;
  }
  return QDir::homePath().toStdString();
}

}  // namespace

LivPage::LivPage(QWidget* parent) : widget_(new QWidget(parent)), form_(std::make_unique<Ui::LivePanel>()) {}

LivPage::~LivPage() = default;

uint8_t LivPage::Init() {
  form_->setupUi(widget_);
  for (const LiveField& f : LiveFields()) {
    Shown s{&f};
    const QString name = QString::fromLatin1(f.control);
    if (f.bench) {
      s.bench = widget_->findChild<QDoubleSpinBox*>(name);
      if (!s.bench) return 0;
      QDoubleSpinBox* box = s.bench;
      QObject::connect(box, &QDoubleSpinBox::valueChanged, widget_, [this, box] { OnBenchChanged(box); });
    } else {
      s.edit = widget_->findChild<QLineEdit*>(name);
      if (!s.edit) return 0;
    }
    if (f.control2) {
      s.edit2 = widget_->findChild<QLineEdit*>(QString::fromLatin1(f.control2));
      if (!s.edit2) return 0;
    }
    shownFields_.push_back(s);
  }
  for (const LiveLed& l : LiveLeds()) {
    if (!*l.control) continue;
    auto* label = widget_->findChild<QLabel*>(QString::fromLatin1(l.control));
    if (!label) return 0;
    label->setStyleSheet(QString::fromLatin1(kLedOff));
    leds_.emplace_back(&l, label);
    ledState_[label] = 0;
  }
  for (const OutputTest& t : OutputTests()) {
    auto* button = widget_->findChild<QAbstractButton*>(QString::fromLatin1(t.control));
    if (!button) return 0;
    QObject::connect(button, &QAbstractButton::clicked, widget_, [this, button] { OnOutputTest(button); });
  }
  for (const char* name : kTestToggles) {
    testToggles_.push_back(widget_->findChild<QAbstractButton*>(QString::fromLatin1(name)));
    if (!testToggles_.back()) return 0;
  }
  normalBackground_ = form_->NUMfarfAD->styleSheet();
  form_->NUMsizeofLiveData->setText(QString::number(kLiveDataSize));
  QObject::connect(form_->TBrecord, &QPushButton::clicked, widget_, [this](bool on) { SetRecording(on); });
  QObject::connect(form_->TBtrends, &QPushButton::clicked, widget_, [this](bool on) { ShowTrends(on); });
  QObject::connect(form_->CBopenInLogs, &QPushButton::clicked, widget_, [this] {
    if (openInLogs && !lastRecording_.empty()) openInLogs(lastRecording_);
  });
  model_.onRecord = [this](const LiveData& record) { OnRecord(record); };
  ShowLiveConfig();
  ShowLiveData();
  return 1;
}

int LivPage::TimerInterval() const {
  return com::isComOpen ? 0 : -1;
}

uint8_t LivPage::Timer() {
  const bool refresh = shell::fRefresh != 0;
  const uint8_t result = model_.LivTimer(refresh);
  if (refresh) ShowLiveConfig();
  if (model_.engineRunning) {
    for (QAbstractButton* toggle : testToggles_)
      if (toggle->isChecked()) {
        QSignalBlocker block(toggle);
        toggle->setChecked(false);
      }
  }
  const double now = com::Timer();
  if (model_.shown != drawnGeneration_ && (now - lastDraw_ >= kRedrawPeriod || !com::isComOpen))
    ShowLiveData();
  UpdateRecordStatus(false);
  return result;
}

void LivPage::Leave() {
  if (log_.IsOpen()) SetRecording(false);
  if (trends_ && trends_->isVisible()) ShowTrends(false);
}

void LivPage::SetText(QLineEdit* edit, const QString& text) {
  if (edit->text() != text) edit->setText(text);
}

void LivPage::ShowLiveData() {
  drawing_ = true;
  const LiveData& record = model_.record;
  const bool open = com::isComOpen != 0;
  for (const Shown& s : shownFields_) {
    const LiveField& f = *s.field;
    const QString text = QString::fromStdString(ShownText(record, f));
    if (s.bench) {
      // A value the user is typing is not overwritten under the cursor.
      if (!s.bench->hasFocus()) {
        QSignalBlocker block(s.bench);
        s.bench->setValue(ShownValue(record, f));
      }
    } else {
      SetText(s.edit, text);
    }
    if (s.edit2) SetText(s.edit2, text);
    if (f.type == LiveType::Analog) {
      const bool vbat = std::string(f.control) == "NUMvBatAD";
      const int fault = AnalogFault(RawWord(record, f)) && (open || vbat) ? 1 : 0;
      int& state = faultState_[s.edit];
      if (state != fault + 1) {
        state = fault + 1;
        s.edit->setStyleSheet(fault ? QString::fromLatin1(kFault) : normalBackground_);
      }
    }
    if (f.type == LiveType::MapSet) {
      const uint16_t set = RawWord(record, f);
      form_->TMecuMap1->setEnabled(set == 0);
      form_->TMecuMap2->setEnabled(set == 1);
    }
  }
  for (const auto& [led, label] : leds_) {
    const int on = StatusBit(record, led->byte, led->bit) ? 1 : 0;
    int& state = ledState_[label];
    if (state != on) {
      state = on;
      label->setStyleSheet(QString::fromLatin1(on ? (led->warn ? shell::kLedWarn : kLedOn) : kLedOff));
    }
  }
  drawnGeneration_ = model_.shown;
  ++draws_;
  lastDraw_ = com::Timer();
  drawing_ = false;
}

void LivPage::ShowLiveConfig() {
  const LiveControlStates states = ControlStates(model_.config);
  for (const auto& [name, enabled] : states.enabled)
    if (auto* w = widget_->findChild<QWidget*>(QString::fromStdString(name))) w->setEnabled(enabled);
  for (const auto& [name, visible] : states.visible) {
    if (auto* w = widget_->findChild<QWidget*>(QString::fromStdString(name))) w->setVisible(visible);
    // The row's caption goes with its value (NUMth2o -> LBth2o).
    if (name.rfind("NUM", 0) == 0 && name.find("AD") == std::string::npos)
      if (auto* caption = widget_->findChild<QLabel*>(QString::fromStdString("LB" + name.substr(3))))
        caption->setVisible(visible);
  }
  form_->STRtypeBike->setText(QString::fromStdString(states.bikeText));
  form_->STRtypeBike->setEnabled(states.bikeEnabled);
  form_->TMecuMap1->setText(QString::fromStdString(model_.config.ecuMap1));
  form_->TMecuMap2->setText(QString::fromStdString(model_.config.ecuMap2));
  form_->TMecuPar->setText(QString::fromStdString(model_.config.ecuPar));
}

void LivPage::OnBenchChanged(QDoubleSpinBox* box) {
  if (drawing_) return;
  model_.SetBancoAdjust(box->objectName().toStdString(), box->value());
}

void LivPage::OnOutputTest(QAbstractButton* button) {
  const OutputTest* test = FindOutputTest(button->objectName().toStdString());
  if (!test) return;
  const bool on = button->isChecked();
  const uint8_t value = test->toggle && on ? 1 : 0;
  if (!model_.TestOneShotOutput(test->code, value) && test->toggle) {
    // The output did not switch: the toggle shows what the ECU does.
    QSignalBlocker block(button);
    button->setChecked(!on);
  }
}

std::string LivPage::ProposedLogName() {
  return QDateTime::currentDateTime()
      .toString(QStringLiteral("'kestra_'yyyy-MM-dd_HHmmss'.csv'"))
      .toStdString();
}

void LivPage::SetRecording(bool on, const std::string& givenPath) {
  if (!on) {
    if (log_.IsOpen()) {
      const std::string note = "Recorded " + std::to_string(log_.Count()) + " records to " + log_.Path();
      lastRecording_ = log_.Path();
      log_.Close();
      form_->CBopenInLogs->setVisible(openInLogs != nullptr);
      form_->TMrecord->setText(QString::fromStdString(note));
      com::Ui().ShowStatus(note);
    }
    QSignalBlocker block(form_->TBrecord);
    form_->TBrecord->setChecked(false);
    return;
  }
  std::string path = givenPath;
  if (path.empty()) {
    com::FileDialog dialog;
    dialog.save = true;
    dialog.title = "Record live data";
    dialog.directory = LastDataFolder();
    dialog.proposal = ProposedLogName();
    dialog.extension = "csv";
    const com::FileSelect chosen = com::Ui().FileSelectPopup(dialog, path);
    if (chosen != com::FileSelect::Existing && chosen != com::FileSelect::New) path.clear();
  }
  std::string error;
  if (path.empty() || !log_.Open(path, &error)) {
    if (!error.empty()) com::Ui().MessagePopup(kRecordTitle, error);
    QSignalBlocker block(form_->TBrecord);
    form_->TBrecord->setChecked(false);
    return;
  }
  QSignalBlocker block(form_->TBrecord);
  form_->TBrecord->setChecked(true);
  form_->CBopenInLogs->setVisible(false);
  UpdateRecordStatus(true);
}

void LivPage::ShowTrends(bool on) {
  if (on && !trends_) {
    trends_ = new logs::TrendWindow(ColumnNames(), widget_);
    // Closing the window is the toggle going off.
    trends_->onClosed = [this] {
      const QSignalBlocker block(form_->TBtrends);
      form_->TBtrends->setChecked(false);
    };
    QObject::connect(trends_, &QObject::destroyed, widget_, [this] { trends_ = nullptr; });
  }
  if (trends_) trends_->setVisible(on);
  const QSignalBlocker block(form_->TBtrends);
  form_->TBtrends->setChecked(on);
}

void LivPage::OnRecord(const LiveData& record) {
  if (trends_ && trends_->isVisible()) {
    RowValues(record, &trendRow_);
    trends_->Append(com::Timer(), trendRow_);
  }
  if (!log_.IsOpen()) return;
  std::string error;
  if (!log_.Write(record, com::Timer(), &error)) {
    const uint64_t kept = log_.Count();
    SetRecording(false);
    com::Ui().MessagePopup(kRecordTitle, error + "\nRecording stopped; the " + std::to_string(kept) +
                                             " records before are kept.");
  }
}

void LivPage::UpdateRecordStatus(bool force) {
  if (!log_.IsOpen()) return;
  const double now = com::Timer();
  if (!force && now - lastStatus_ < 0.5) return;
  lastStatus_ = now;
  char rate[32];
  std::snprintf(rate, sizeof rate, "%.1f", log_.Rate());
  const std::string note = "Recording to " + log_.Path() + ": " + std::to_string(log_.Count()) +
                           " records, " + rate + " records/s";
  form_->TMrecord->setText(QString::fromStdString(note));
  com::Ui().ShowStatus(note);
}

}  // namespace live
