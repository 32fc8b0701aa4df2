#include "maps/ui/gaugestrip.h"

#include <QHBoxLayout>
#include <QLabel>
#include <cstring>

#include "config/bike.h"
#include "shell/ledstyle.h"

namespace maps {

namespace {

// Neutral look of a gauge; the warning look is the live page's warning lamp.
constexpr char kGaugeNormal[] =
    "QLabel { border: 1px solid #8a8a8a; border-radius: 3px; padding: 1px 6px; background: #f4f4f4;"
    " color: black; font-weight: bold; }";

const live::LiveField* Field(const char* control) {
  return live::FindLiveField(control);
}

// The live page's warning lamp that stands for a shown value, or null.
const live::LiveLed* WarnLedOf(const live::LiveField& field) {
  const char* control = field.control;
  if (std::strcmp(control, "NUMterog1A") == 0) return live::FindLiveLed("LEDisOverInj1");
  if (std::strcmp(control, "NUMteta1") == 0) return live::FindLiveLed("LEDisOverDwell1");
  return nullptr;
}

// The analog reading beside a converted value (NUMth2o -> NUMth2oAD), or null.
const live::LiveField* ReadingOf(const live::LiveField& field) {
  return live::FindLiveField(std::string(field.control) + "AD");
}

}  // namespace

GaugeStrip::GaugeStrip(QWidget* parent) : QFrame(parent) {
  setObjectName(QStringLiteral("gaugeStrip"));
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(2, 2, 2, 2);
  row->setSpacing(6);
  for (const char* name : {"rpm", "Throttle", "Lambda 1", "Lambda 2", "Temp.", "Inj. 1 [ms]", "Adv. 1"}) {
    Slot slot;
    slot.name = name;
    slot.label = new QLabel(this);
    slot.label->setObjectName(QStringLiteral("gauge_") + QString::fromLatin1(name).remove(' ').remove('.'));
    slot.label->setAlignment(Qt::AlignCenter);
    slot.label->setMinimumWidth(
        slot.label->fontMetrics().horizontalAdvance(QStringLiteral("Inj. 1 [ms] 00.000")));
    row->addWidget(slot.label);
    slots_.push_back(slot);
  }
  row->addStretch(1);
  ShowRecord(nullptr);
}

void GaugeStrip::ChooseFields(const live::LiveData* record) {
  if (record) {
    const live::LiveField* can1 = Field("NUMlambdaCan1");
    const live::LiveField* can2 = Field("NUMlambdaCan2");
    if (live::RawWord(*record, *can1) != 0 || live::RawWord(*record, *can2) != 0) widebandSeen_ = true;
  }
  // The widebands once they have said something, or on a bike with no narrow-band sensor.
  const bool wideband = widebandSeen_ || !(config::fNbego1 || config::fNbego2);
  slots_[0].field = Field("NUMrpm");
  slots_[1].field = Field("NUMfarf");
  slots_[2].field = Field(wideband ? "NUMlambdaCan1" : "NUMnbego1");
  slots_[3].field = Field(wideband ? "NUMlambdaCan2" : "NUMnbego2");
  slots_[4].field = Field(config::fTempIsOil ? "NUMtoil" : "NUMth2o");
  slots_[5].field = Field("NUMterog1A");
  slots_[6].field = Field("NUMteta1");
  slots_[2].name = wideband ? "Lambda 1" : "Nbego 1";
  slots_[3].name = wideband ? "Lambda 2" : "Nbego 2";
}

bool GaugeStrip::Warning(const live::LiveData& record, const live::LiveField& field) {
  if (const live::LiveField* reading = ReadingOf(field))
    if (live::AnalogFault(live::RawWord(record, *reading))) return true;
  if (const live::LiveLed* led = WarnLedOf(field)) return live::StatusBit(record, led->byte, led->bit);
  return false;
}

void GaugeStrip::ShowRecord(const live::LiveData* record) {
  ChooseFields(record);
  if (record) ++updates_;
  for (Slot& slot : slots_) {
    const QString value = record && slot.field ? QString::fromStdString(live::ShownText(*record, *slot.field))
                                               : QStringLiteral("-");
    const QString text = QString::fromLatin1(slot.name) + QStringLiteral("  ") + value;
    if (text != slot.text) {
      slot.text = text;
      slot.label->setText(text);
    }
    const int warn = record && slot.field && Warning(*record, *slot.field) ? 1 : 0;
    if (warn != slot.warn) {
      slot.warn = warn;
      slot.label->setStyleSheet(QString::fromLatin1(warn ? shell::kLedWarn : kGaugeNormal));
    }
  }
}

std::vector<GaugeStrip::Gauge> GaugeStrip::Gauges() const {
  std::vector<Gauge> out;
  for (const Slot& slot : slots_)
    out.push_back({QString::fromLatin1(slot.name),
                   slot.text.mid(static_cast<int>(std::strlen(slot.name)) + 2), slot.warn == 1});
  return out;
}

}  // namespace maps
