#include "link/numberformat.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QValidator>
#include <clocale>

namespace com {

namespace {

// A spin box, or the line edit inside one, or a line edit that only takes numbers.
bool TakesNumbers(QObject* target) {
  if (qobject_cast<QAbstractSpinBox*>(target)) return true;
  auto* edit = qobject_cast<QLineEdit*>(target);
  if (!edit) return false;
  if (qobject_cast<QAbstractSpinBox*>(edit->parent())) return true;
  return qobject_cast<const QDoubleValidator*>(edit->validator()) != nullptr;
}

class DecimalCommaFilter : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->text() != QStringLiteral(",") || !TakesNumbers(watched)) return false;
    QKeyEvent point(QEvent::KeyPress, Qt::Key_Period, key->modifiers() & ~Qt::KeypadModifier,
                    QStringLiteral("."), key->isAutoRepeat(), static_cast<ushort>(key->count()));
    QCoreApplication::sendEvent(watched, &point);
    return true;
  }
};

}  // namespace

void UseOneNumberFormat(QApplication& app) {
  // Qt set the C library's locale from the desktop; numbers written with printf and read
  // with strtod go back to the C format.
  std::setlocale(LC_NUMERIC, "C");
  QLocale c = QLocale::c();
  c.setNumberOptions(QLocale::OmitGroupSeparator | QLocale::RejectGroupSeparator);
  QLocale::setDefault(c);
  app.installEventFilter(new DecimalCommaFilter(&app));
}

}  // namespace com
