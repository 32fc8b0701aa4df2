#include "shell/connectnotice.h"

#include <QBoxLayout>
#include <QLabel>
#include <QPushButton>

#include "link/com.h"
#include "link/userio.h"
#include "shell/connection.h"
#include "tuning/map2.h"

namespace shell {

bool ReadEcuDataNames(EcuDataNames* names) {
  return GetEcuDataName(names->configuration, 0) && GetEcuDataName(names->mapping1, 1) &&
         GetEcuDataName(names->mapping2, 2);
}

std::string DataNameNotice(const EcuDataNames& ecu, const std::string& workingConfiguration,
                           const std::string& workingMapping) {
  std::string text;
  if (!workingConfiguration.empty() && workingConfiguration != ecu.configuration)
    text += "configuration \"" + ecu.configuration + "\" (working: \"" + workingConfiguration + "\")";
  if (!workingMapping.empty() && workingMapping != ecu.mapping1 && workingMapping != ecu.mapping2) {
    if (!text.empty()) text += ", ";
    text += "mappings \"" + ecu.mapping1 + "\" and \"" + ecu.mapping2 + "\" (working: \"" + workingMapping +
            "\")";
  }
  if (text.empty()) return {};
  return "The ECU holds other data sets: " + text + ".";
}

ConnectNotice::ConnectNotice(QLabel* status, QWidget* parent)
    : QObject(parent), button_(new QPushButton(parent)) {
  setObjectName("connectNotice");
  button_->setObjectName("CBcompareEcu");
  button_->setText("Compare with ECU");
  button_->setToolTip(
      "Read the ECU's running mapping into a comparison on the map editor (the working "
      "mapping is not changed)");
  button_->hide();
  if (auto* box = status && status->parentWidget()
                      ? qobject_cast<QBoxLayout*>(status->parentWidget()->layout())
                      : nullptr) {
    const int at = box->indexOf(status);
    if (at >= 0) {
      box->removeWidget(status);
      auto* row = new QHBoxLayout;
      row->addWidget(status, 1);
      row->addWidget(button_);
      box->insertLayout(at, row);
    }
  }
  connect(button_, &QPushButton::clicked, this, [this] {
    if (CheckfBusy()) return;
    button_->hide();
    if (onCompare) onCompare();
  });
}

void ConnectNotice::Check() {
  button_->hide();
  if (!com::isComOpen || tuning::IsMapTuning()) return;
  EcuDataNames names;
  if (!ReadEcuDataNames(&names)) return;
  const std::string notice = DataNameNotice(names, com::Ui().GetConfigName(1), com::Ui().GetConfigName(2));
  if (notice.empty()) return;
  com::Ui().ShowStatus(notice);
  button_->show();
}

}  // namespace shell
