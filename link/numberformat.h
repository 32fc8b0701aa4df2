// Numbers read the same on every desktop. The window shows them with a decimal point, as
// the files and the command-line tools write them, whatever the user's locale; a decimal
// comma typed into a number field is taken as the point it stands for.
#pragma once
#include <QString>

#include "link/utils.h"

class QApplication;

namespace com {

// Call once the QApplication exists (it takes the desktop's locale for the C library):
// C number formatting for the C library and as Qt's default locale, and an application-
// wide filter that turns a ',' typed into a spin box into '.'.
void UseOneNumberFormat(QApplication& app);

// FixedText for a widget: `value` with `decimals` decimals and a point.
inline QString FixedQText(double value, int decimals) {
  return QString::fromStdString(FixedText(value, decimals));
}

}  // namespace com
