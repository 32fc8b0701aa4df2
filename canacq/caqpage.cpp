#include "canacq/caqpage.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QSpinBox>
#include <algorithm>

#include "ecudata/image.h"
#include "ui_canacq.h"
#include "link/appdirs.h"
#include "params/fieldbinding.h"

namespace canacq {

namespace {

QString& LabelPathOverride() {
  static QString path;
  return path;
}

QString HexText(int id) {
  return QStringLiteral("0x") + QString::number(id, 16).toUpper().rightJustified(3, QLatin1Char('0'));
}

}  // namespace

QString CanLabelPath() {
  if (!LabelPathOverride().isEmpty()) return LabelPathOverride();
  // Beside the program (the build tree), else in the installed tree's share folder.
  return QString::fromStdString(com::ShippedFilePath("canlabel.ini"));
}

void SetCanLabelPath(const QString& path) {
  LabelPathOverride() = path;
}

CaqPage::CaqPage(QWidget* parent) : parent_(parent), form_(std::make_unique<Ui::CaqPanel>()) {}
CaqPage::~CaqPage() = default;

uint8_t CaqPage::Init() {
  widget_ = new QWidget(parent_);
  form_->setupUi(widget_);
  for (int n = 0; n < kCanFrames; ++n) {
    FrameControls& f = frames_[n];
    const QString suffix = QString::number(n + 1);
    f.id = widget_->findChild<QSpinBox*>(QStringLiteral("NUMcanId") + suffix);
    f.rate = widget_->findChild<QComboBox*>(QStringLiteral("RINGfreqId") + suffix);
    f.hex = widget_->findChild<QLabel*>(QStringLiteral("TMcanHex") + suffix);
    for (int c = 0; c < kCanChannels; ++c)
      f.channel[c] = widget_->findChild<QLabel*>(QStringLiteral("TMch%1_%2").arg(c + 1).arg(n + 1));
    if (!f.id || !f.rate) return 0;
    for (int code = 0; code < kCanRateCodes; ++code)
      f.rate->addItem(QString::fromLatin1(RateText(code)), code);
    f.id->setKeyboardTracking(false);
    f.id->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QLabel* hex = f.hex;
    QSpinBox* id = f.id;
    if (hex) {
      hex->setMinimumWidth(48);
      QObject::connect(id, &QSpinBox::valueChanged, hex, [hex](int v) { hex->setText(HexText(v)); });
    }
    // An inactive frame's identifier is dimmed: the ECU does not send it.
    QComboBox* rate = f.rate;
    QObject::connect(rate, &QComboBox::currentIndexChanged, id, [rate, id, hex] {
      const bool active = rate->currentData().toInt() != 0;
      id->setEnabled(active);
      if (hex) hex->setEnabled(active);
    });
  }
  InitCaqData(ecu::ecuParData);
  return ReadCanLabels();
}

uint8_t CaqPage::ReadCanLabels() {
  bool found = false;
  const CanLabels labels = ReadCanLabelFile(CanLabelPath().toStdString(), &found);
  for (int n = 0; n < kCanFrames; ++n) {
    for (int c = 0; c < kCanChannels; ++c) {
      if (!frames_[n].channel[c]) return 0;
      frames_[n].channel[c]->setText(QString::fromStdString(labels[n][c]));
    }
    frames_[n].id->setRange(kCanIdMin, kCanIdMax);
  }
  form_->TMcanLabelFile->setText(found
                                     ? QStringLiteral("Channel labels from %1").arg(CanLabelPath())
                                     : QStringLiteral("No channel labels: %1 not found").arg(CanLabelPath()));
  return 1;
}

uint8_t CaqPage::Scatter() {
  for (int n = 0; n < kCanFrames; ++n) {
    FrameControls& f = frames_[n];
    const uint16_t word = GetCanWord(ecu::ecuParData, n);
    scattered_[n] = word;
    const int code = RateCode(word);
    int index = f.rate->findData(code);
    if (index < 0) {
      // A code the ring does not list stays as it is, shown by its number.
      f.rate->addItem(QStringLiteral("code %1 (not listed)").arg(code), code);
      index = f.rate->count() - 1;
    }
    f.rate->setCurrentIndex(index);
    f.id->setValue(CanId(word));
    // An identifier the control cannot show is marked; it stays unless it is edited.
    params::MarkOutsideRange(f.id, CanId(word) < kCanIdMin || CanId(word) > kCanIdMax, HexText(CanId(word)));
    if (f.hex) f.hex->setText(HexText(f.id->value()));
  }
  return 1;
}

uint8_t CaqPage::Gather() {
  std::array<uint16_t, kCanFrames> words{};
  for (int n = 0; n < kCanFrames; ++n) {
    FrameControls& f = frames_[n];
    const QVariant code = f.rate->currentData();
    if (!code.isValid()) return 0;
    f.id->interpretText();
    int id = f.id->value();
    // An identifier outside 0x100..0x7FF that came with the block and was not edited
    // stays as it was (the control can only show it brought into its range).
    const int before = CanId(scattered_[n]);
    if (id == std::clamp(before, kCanIdMin, kCanIdMax)) id = before;
    words[n] = MakeCanWord(code.toInt(), id);
  }
  for (int n = 0; n < kCanFrames; ++n) PutCanWord(ecu::ecuParData, n, words[n]);
  return 1;
}

}  // namespace canacq
