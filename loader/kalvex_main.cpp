// Kalvex, the firmware loader: one window that keeps a link to the ECU's boot
// loader, shows its identity and the installed application, and programs a
// firmware file.
//
//   kalvex [--port DEVICE]...   adds (and selects) a serial device to the port list
//   kalvex --exit-when-shown    prints "shown" and quits once the window has been painted
#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "link/appdirs.h"
#include "link/firstpaint.h"
#include "link/numberformat.h"
#include "link/com.h"
#include "link/frame.h"
#include "loader/info.h"
#include "loader/init.h"
#include "loader/mainpanel.h"

int main(int argc, char** argv) {
  const std::string release =
      std::to_string(loader::appRelease >> 8) + "." + std::to_string(loader::appRelease & 0xFF);
  if (com::AnswerVersion(argc, argv, "kalvex", release)) return 0;  // no display needed
  QApplication app(argc, argv);
  com::UseOneNumberFormat(app);
  QGuiApplication::setDesktopFileName(QStringLiteral("kalvex"));  // the menu entry's icon for the window
  std::vector<std::string> extraDevices;
  bool exitWhenShown = false;
  const QStringList args = QApplication::arguments();
  for (int i = 1; i < args.size(); ++i) {
    const QString arg = args[i];
    if (arg == QLatin1String("--port") && i + 1 < args.size()) {
      extraDevices.push_back(args[++i].toStdString());
    } else if (arg.startsWith(QLatin1String("--port="))) {
      extraDevices.push_back(arg.mid(7).toStdString());
    } else if (arg == QLatin1String("--exit-when-shown")) {
      exitWhenShown = true;
    } else if (arg == QLatin1String("-h") || arg == QLatin1String("--help")) {
      std::printf(
          "Usage: kalvex [--port DEVICE]... [--exit-when-shown] [--version]\n"
          "Programs the ECU's application firmware through its boot loader.\n"
          "--port DEVICE adds a serial device (e.g. a simulator's pseudo-terminal) to the port list\n"
          "and selects it. --exit-when-shown prints \"shown\" and quits once the window is painted.\n");
      return 0;
    } else {
      std::fprintf(stderr, "kalvex: unexpected argument '%s' (try --help)\n", arg.toLocal8Bit().constData());
      return 2;
    }
  }

  com::frameLayout = com::BootFrame;
  loader::MainPanel panel;  // LoadMainPanel
  loader::KalvexUserIo io(&panel);
  com::SetUi(&io);
  loader::SetView(&panel);

  loader::ReadInitFile();
  com::InitPortList(extraDevices);
  if (!extraDevices.empty()) com::PortIndex() = com::AddPortDevice(extraDevices.back());
  panel.LoadPortList();
  loader::SetMainTitle();

  QObject::connect(&panel, &loader::MainPanel::quitRequested, &app, [&panel] {
    panel.close();
    QCoreApplication::quit();
  });
  com::FirstPaintWatch watch;
  if (exitWhenShown) panel.installEventFilter(&watch);
  panel.show();
  panel.Start();
  app.exec();

  com::CloseComPort();
  loader::SetView(nullptr);
  com::SetUi(nullptr);
  return 0;
}
