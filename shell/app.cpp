#include "shell/app.h"

#include <QApplication>
#include <QSessionManager>
#include <QTimer>
#include <cstdio>

#include "link/appdirs.h"
#include "link/firstpaint.h"
#include "link/numberformat.h"
#include "shell/connection.h"
#include "shell/mainwindow.h"

namespace shell {

Options ParseOptions(const QStringList& arguments) {
  Options options;
  for (int i = 1; i < arguments.size(); ++i) {
    const QString& arg = arguments[i];
    if (arg == QLatin1String("--port")) {
      if (i + 1 >= arguments.size() || arguments[i + 1].isEmpty()) {
        options.error = "--port needs a device, e.g. --port /dev/ttyUSB0";
        return options;
      }
      options.ports.push_back(arguments[++i].toStdString());
    } else if (arg.startsWith(QLatin1String("--port="))) {
      options.ports.push_back(arg.mid(7).toStdString());
    } else if (arg == QLatin1String("--exit-when-shown")) {
      options.exitWhenShown = true;
    } else if (arg == QLatin1String("--log")) {
      if (i + 1 >= arguments.size() || arguments[i + 1].isEmpty()) {
        options.error = "--log needs a datalog, e.g. --log kestra_2026-12-11_101500.csv";
        return options;
      }
      options.log = arguments[++i].toStdString();
    } else if (arg == QLatin1String("--no-serial-scan")) {
      options.noSerialScan = true;
    } else if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
      options.help = true;
    } else {
      options.error = "unknown option " + arg.toStdString();
      return options;
    }
  }
  return options;
}

int RunKestra(int argc, char** argv) {
  if (com::AnswerVersion(argc, argv, "kestra")) return 0;  // no display needed
  QApplication app(argc, argv);
  com::UseOneNumberFormat(app);  // "12.5" on every desktop, a typed "12,5" taken as well
  QGuiApplication::setDesktopFileName(QStringLiteral("kestra"));  // the menu entry's icon for the window
  const Options options = ParseOptions(app.arguments());
  if (options.help || !options.error.empty()) {
    if (!options.error.empty()) std::fprintf(stderr, "kestra: %s\n", options.error.c_str());
    std::fputs("usage: kestra [--port DEVICE] [--no-serial-scan] [--log FILE] [--version]\n",
               options.help ? stdout : stderr);
    return options.help ? 0 : 2;
  }

  // Only the exit command ends the program (a pop-up closing never does).
  app.setQuitOnLastWindowClosed(false);
  MainWindow window;
  window.onQuit = [] { QTimer::singleShot(0, qApp, &QCoreApplication::quit); };
  if (!window.LoadPanels()) return -1;
  window.Startup(options.ports, !options.noSerialScan);
  if (!options.log.empty()) window.OpenLog(options.log);

  // The session's end-task request behaves as the exit command.
  QObject::connect(&app, &QGuiApplication::commitDataRequest, &window, [&window](QSessionManager& manager) {
    if (CheckfBusy() || window.Quitting()) return;
    if (!manager.allowsInteraction()) return;
    const int stay = window.Exit();
    manager.release();
    if (stay) manager.cancel();
  });

  com::FirstPaintWatch watch;
  if (options.exitWhenShown) window.installEventFilter(&watch);
  window.show();
  app.exec();
  window.Shutdown();
  return 0;
}

}  // namespace shell
