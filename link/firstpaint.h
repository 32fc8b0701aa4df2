// --exit-when-shown of the windows: says "shown" on standard output and quits once a
// window has painted for the first time (start-up checks and the start-up benchmark).
#pragma once
#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QTimer>
#include <cstdio>

namespace com {

class FirstPaintWatch : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && !done_) {
      done_ = true;
      std::fputs("shown\n", stdout);
      std::fflush(stdout);
      QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  bool done_ = false;
};

}  // namespace com
