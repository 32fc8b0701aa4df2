#include "shell/selectdialogs.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace shell {

SelectionDialog::SelectionDialog(QWidget* parent, const QString& title, const QString& question,
                                 const std::vector<Choice>& choices)
    : QDialog(parent) {
  setWindowTitle(title);
  setModal(true);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(question, this));
  auto* row = new QHBoxLayout;
  for (const Choice& choice : choices) {
    auto* button = new QPushButton(QString::fromLatin1(choice.caption), this);
    button->setObjectName(QString::fromLatin1(choice.objectName));
    button->setAutoDefault(false);
    button->setMinimumWidth(110);
    const int result = choice.result;
    connect(button, &QPushButton::clicked, this, [this, result] {
      if (result == 0)
        reject();
      else
        done(result);
    });
    if (choice.result == 0) row->addSpacing(16);
    row->addWidget(button);
  }
  layout->addLayout(row);
}

int SelectEcuData(int mode, QWidget* parent) {
  std::vector<SelectionDialog::Choice> choices;
  if (mode == 2)
    choices = {{"CBconfiguration", "Configuration", 1},
               {"CBmapping1", "Mapping 1", 2},
               {"CBmapping2", "Mapping 2", 3},
               {"CBcancel", "Cancel", 0}};
  else
    choices = {
        {"CBconfiguration", "Configuration", 1}, {"CBmapping", "Mapping", 2}, {"CBcancel", "Cancel", 0}};
  SelectionDialog dialog(parent, QStringLiteral("ECU Data"),
                         mode == 2 ? QStringLiteral("Which data of the ECU?") : QStringLiteral("Which data?"),
                         choices);
  dialog.setObjectName(QStringLiteral("DlgEcuDataSelection"));
  const int result = dialog.exec();
  return result > 0 ? result : 0;
}

int SelectDataVersion(QWidget* parent) {
  SelectionDialog dialog(
      parent, QStringLiteral("Data Version"), QStringLiteral("Which kind of data?"),
      {{"CBq740v12", "Q740 v1.2 Data", 1}, {"CBtalaris", "Talaris Data", 2}, {"CBcancel", "Cancel", 0}});
  dialog.setObjectName(QStringLiteral("DlgDataVersionSelection"));
  const int result = dialog.exec();
  return result > 0 ? result : 0;
}

}  // namespace shell
