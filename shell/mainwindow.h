// Kestra's main window: the main panel's form, the pages in front of it, and the
// modules that drive them (link monitor, panel switcher, data commands, pop-ups).
// It only assembles them and runs start-up and shut-down in their order.
#pragma once
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "shell/pages.h"

namespace Ui {
class KestraMain;
}

namespace shell {

class Commands;
class LinkMonitor;
class PanelSwitcher;
class QtUserIo;

class MainWindow : public QWidget {
 public:
  // `io` answers the pop-ups; null makes the window's own Qt pop-ups.
  explicit MainWindow(QtUserIo* io = nullptr, QWidget* parent = nullptr);
  ~MainWindow() override;

  // Loads every page (their forms and defaults); 0 when one cannot be loaded.
  uint8_t LoadPanels();
  // Settings, port list (`extraPorts` from the command line, the first of them
  // selected), the last data files, scatter and gather, reference copies, title.
  void Startup(const std::vector<std::string>& extraPorts, bool scanSerial = true);
  // Brings the Logs page to the front and starts reading `path` (kestra --log FILE).
  void OpenLog(const std::string& path);
  // After the main loop: close the port, write the settings file.
  void Shutdown();

  // The exit command; 0 when the program quits (then `onQuit` runs), 1 when it stays.
  int Exit();
  std::function<void()> onQuit;
  bool Quitting() const { return quitting_; }

  Ui::KestraMain& Form() { return *form_; }
  PageRegistry& Pages() { return *pages_; }
  LinkMonitor& Link() { return *link_; }
  Commands& Cmds() { return *commands_; }
  PanelSwitcher& Switcher() { return *switcher_; }
  QtUserIo& Io() { return *io_; }

  static QString TitleText();

 protected:
  // The close box acts as the exit command.
  void closeEvent(QCloseEvent* event) override;

 private:
  void ConnectButtons();
  void DimMissing();

  std::unique_ptr<Ui::KestraMain> form_;
  std::unique_ptr<QtUserIo> ownIo_;
  QtUserIo* io_;
  std::unique_ptr<PageRegistry> pages_;
  std::unique_ptr<PanelSwitcher> switcher_;
  LinkMonitor* link_;
  Commands* commands_;
  bool quitting_ = false;
};

}  // namespace shell
