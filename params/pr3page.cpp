#include "params/pr3page.h"

#include <QHeaderView>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <array>
#include <cstring>

#include "ecudata/image.h"
#include "params/param3.h"
#include "shell/connection.h"
#include "ui_param3.h"

namespace params {

Pr3Page::Pr3Page(QWidget* parent)
    : widget_(new QWidget(parent)), form_(std::make_unique<Ui::Pr3Panel>()), binding_(widget_, Pr3Fields()) {}

Pr3Page::~Pr3Page() = default;

uint8_t Pr3Page::Init() {
  form_->setupUi(widget_);
  for (QTableWidget* map : {form_->TABmapKjDtc, form_->TABmapKaDtc}) {
    map->horizontalHeader()->setVisible(false);
    map->verticalHeader()->setVisible(false);
    map->horizontalHeader()->setDefaultSectionSize(52);
    map->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    auto* corner = new QTableWidgetItem(QStringLiteral("slip %"));
    corner->setFlags(Qt::ItemIsEnabled);
    map->setItem(0, 0, corner);
    FitTableHeight(map);
  }
  QTableWidget* levels = form_->TABlevelDtc;
  levels->setHorizontalHeaderLabels(
      {QStringLiteral("Slip\nfrom %"), QStringLiteral("Inj.\nkept %"), QStringLiteral("Inj.\nstep 1"),
       QStringLiteral("Inj.\nstep 2"), QStringLiteral("Inj.\nstep 3"), QStringLiteral("Inj.\nstep 4"),
       QStringLiteral("Adv.\nkept %"), QStringLiteral("Adv.\nstep 1"), QStringLiteral("Adv.\nstep 2"),
       QStringLiteral("Adv.\nstep 3"), QStringLiteral("Adv.\nstep 4")});
  levels->horizontalHeaderItem(0)->setToolTip(
      QStringLiteral("Wheel slip (%) at which the level starts acting"));
  levels->horizontalHeaderItem(1)->setToolTip(QStringLiteral("Injection kept at full intervention (%)"));
  levels->horizontalHeaderItem(6)->setToolTip(QStringLiteral("Advance kept at full intervention (%)"));
  QStringList rows;
  for (int i = 0; i < kDtcLevelCount; ++i) rows << QString::number(i);
  levels->setVerticalHeaderLabels(rows);
  levels->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  levels->verticalHeader()->setDefaultSectionSize(24);
  QObject::connect(form_->CBdtcMapLoad, &QPushButton::clicked, widget_, [this] { LoadClicked(); });
  QObject::connect(form_->CBdtcMapStore, &QPushButton::clicked, widget_, [this] { StoreClicked(); });
  InitPr3Data();
  return 1;
}

uint8_t Pr3Page::Scatter() {
  if (!binding_.Setup()) return 0;  // SetupPr3Panel
  // The axes read apart from the cells.
  const QBrush axis(QColor(0xE4, 0xE8, 0xF0));
  for (QTableWidget* map : {form_->TABmapKjDtc, form_->TABmapKaDtc}) {
    for (int c = 1; c < map->columnCount(); ++c) map->item(0, c)->setBackground(axis);
    for (int r = 1; r < map->rowCount(); ++r) map->item(r, 0)->setBackground(axis);
  }
  if (!binding_.Scatter(ecu::ecuMapData)) return 0;
  // The level table shows all its columns; the maps take the rest of the width.
  QTableWidget* levels = form_->TABlevelDtc;
  levels->setMinimumWidth(levels->horizontalHeader()->length() +
                          levels->verticalHeader()->sizeHint().width() +
                          levels->verticalScrollBar()->sizeHint().width() + 2 * levels->frameWidth());
  return 1;
}

uint8_t Pr3Page::Gather() {
  // What nobody edited keeps its bytes; the checks repair only what was edited.
  std::array<uint8_t, ecu::kMapSize> before;
  std::memcpy(before.data(), ecu::ecuMapData, before.size());
  if (!binding_.Gather(ecu::ecuMapData)) return 0;
  if (CheckPr3Values(before.data())) return Scatter();
  return 1;
}

void Pr3Page::LoadClicked() {
  if (shell::CheckfBusy()) return;
  LoadDTCmap(1, 0, [this] { return Scatter(); });
}

void Pr3Page::StoreClicked() {
  if (shell::CheckfBusy()) return;
  StoreDTCmap([this] { return Gather(); });
}

}  // namespace params
