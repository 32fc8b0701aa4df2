#include "params/pr2page.h"

#include <QHeaderView>
#include <QTableWidget>
#include <array>
#include <cstring>

#include "ecudata/image.h"
#include "params/param2.h"
#include "ui_param2.h"

namespace params {

Pr2Page::Pr2Page(QWidget* parent)
    : widget_(new QWidget(parent)), form_(std::make_unique<Ui::Pr2Panel>()), binding_(widget_, Pr2Fields()) {}

Pr2Page::~Pr2Page() = default;

uint8_t Pr2Page::Init() {
  form_->setupUi(widget_);
  const QStringList factors{QStringLiteral("Factor +"), QStringLiteral("Factor −")};
  for (QTableWidget* table : {form_->TABkAtransRPM, form_->TABkJtransRPM, form_->TABkJtransTH2O_oil}) {
    const bool temp = table == form_->TABkJtransTH2O_oil;
    table->setVerticalHeaderLabels(QStringList{temp ? QStringLiteral("°C") : QStringLiteral("rpm")} +
                                   factors);
    // Every value whole: a column is as wide as its values need (32 points share the
    // width in a slightly smaller font), and the table scrolls when the window is narrow.
    if (!temp) {
      QFont small = table->font();
      small.setPointSizeF(small.pointSizeF() * 0.9);
      table->setFont(small);
      table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    } else {
      table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    }
    FitTableHeight(table);
  }
  InitPr2Data();
  return 1;
}

uint8_t Pr2Page::Scatter() {
  return binding_.Setup() && binding_.Scatter(ecu::ecuMapData);  // SetupPr2Panel, then the values
}

uint8_t Pr2Page::Gather() {
  // What nobody edited keeps its bytes; the checks repair only what was edited.
  std::array<uint8_t, ecu::kMapSize> before;
  std::memcpy(before.data(), ecu::ecuMapData, before.size());
  if (!binding_.Gather(ecu::ecuMapData)) return 0;
  if (CheckPr2Values(before.data())) return Scatter();
  return 1;
}

}  // namespace params
