#include "params/pr1page.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <array>
#include <cstring>

#include "config/bike.h"
#include "ecudata/image.h"
#include "link/userio.h"
#include "params/param1.h"
#include "params/param3.h"
#include "shell/connection.h"
#include "ui_param1.h"

namespace params {

Pr1Page::Pr1Page(QWidget* parent, shell::PageRegistry* registry)
    : widget_(new QWidget(parent)),
      form_(std::make_unique<Ui::Pr1Panel>()),
      binding_(widget_, Pr1Fields()),
      registry_(registry) {}

Pr1Page::~Pr1Page() = default;

uint8_t Pr1Page::Init() {
  form_->setupUi(widget_);
  for (int type = 0; type < kDtcTypeCount; ++type) form_->RINGtypeDTC->addItem(DtcTypeLabel(type), type);
  for (int level = 0; level < kDtcRingLevels; ++level)
    form_->RINGlevelDTC->addItem(level == 0 ? QStringLiteral("0  off") : QString::number(level), level);
  QTableWidget* table = form_->TABpreInj;
  table->setVerticalHeaderLabels({QStringLiteral("Temperature (°C)"), QStringLiteral("Pre-injection (µs)")});
  table->horizontalHeader()->setDefaultSectionSize(62);
  table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  FitTableHeight(table);

  QObject::connect(form_->CBcocReset, &QPushButton::clicked, widget_, [this] { ResetCoc(); });
  QObject::connect(form_->RINGtypeDTC, &QComboBox::activated, widget_, [this] { SelectDTC(true); });
  QObject::connect(form_->TBenableDTC, &QAbstractButton::clicked, widget_, [this] { SelectDTC(false); });
  InitPr1Data();
  return 1;
}

uint8_t Pr1Page::SetupPr1Panel() {
  if (!binding_.Setup()) return 0;
  Ui::Pr1Panel& f = *form_;
  f.FRwheels->setVisible(config::fSpeedIn);
  f.FRfans->setVisible(config::fFan1 || config::fFan2);
  f.TMfanControl->setVisible(config::fFan1);
  f.FRfan1->setVisible(config::fFan1);
  f.FRfan2->setVisible(config::fFan2);
  f.FRidling->setVisible(config::fIdling);
  f.FRcoc->setVisible(config::fNbego1 || config::fNbego2);
  f.FRdtc->setVisible(config::fDtc);
  // Name the engine temperature as the bike measures it.
  const QString temp =
      config::fTempIsOil ? QStringLiteral("Oil temperature") : QStringLiteral("Coolant temperature");
  f.LBNUMidlingTh2o_oil1->setText(temp + QStringLiteral(" 1 (°C)"));
  f.LBNUMidlingTh2o_oil2->setText(temp + QStringLiteral(" 2 (°C)"));
  f.TMcoc4->setText(temp + QStringLiteral(" (°C)"));
  f.TABpreInj->setVerticalHeaderLabels(
      {temp + QStringLiteral(" (°C)"), QStringLiteral("Pre-injection (µs)")});
  return 1;
}

uint8_t Pr1Page::Scatter() {
  // The capability flags follow the configuration's bike code (an unknown code keeps them).
  config::ConfigFlagBike();
  scattering_ = true;
  uint8_t ok = SetupPr1Panel() && binding_.Scatter(ecu::ecuMapData);
  form_->RINGlevelDTC->setEnabled(form_->TBenableDTC->isChecked());
  scattering_ = false;
  return ok;
}

uint8_t Pr1Page::Gather() {
  // What nobody edited keeps its bytes; the checks repair only what was edited.
  std::array<uint8_t, ecu::kMapSize> before;
  std::memcpy(before.data(), ecu::ecuMapData, before.size());
  if (!binding_.Gather(ecu::ecuMapData)) return 0;
  if (CheckPr1Values(before.data())) return Scatter();
  return 1;
}

void Pr1Page::ResetCoc() {
  if (shell::CheckfBusy()) return;
  params::ResetCoc();
}

void Pr1Page::SelectDTC(bool fromTypeRing) {
  if (shell::CheckfBusy() || scattering_) return;
  if (fromTypeRing) {
    const int type = form_->RINGtypeDTC->currentData().toInt();
    shell::Page* page3 = registry_ ? registry_->Find(shell::PageId::Param3) : nullptr;
    LoadDTCmap(0, type, [page3] { return page3 ? page3->Scatter() : uint8_t{1}; });
    return;
  }
  if (!Gather() || !Scatter()) com::Ui().MessagePopup("Select DTC", shell::szGenericError);
}

}  // namespace params
