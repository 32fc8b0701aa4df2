// The data commands of the main panel: Load, Import, Store, Send, Receive and Exit.
// Each dims its button while it runs, shows the wait cursor, and ends any failure
// with "Some error occurred..." under its own name.
#pragma once
#include <QObject>

#include "shell/pages.h"

class QPushButton;
class QWidget;

namespace shell {

class LinkMonitor;

struct CommandButtons {
  QPushButton* CBload = nullptr;
  QPushButton* CBimport = nullptr;
  QPushButton* CBstore = nullptr;
  QPushButton* CBsend = nullptr;
  QPushButton* CBreceive = nullptr;
  QPushButton* CBexit = nullptr;
};

class Commands : public QObject {
 public:
  Commands(const CommandButtons& buttons, PageRegistry& pages, LinkMonitor& link, QWidget* dialogParent);

  void Load();
  void Import();
  void Store();
  void Send();
  void Receive();
  // 0 when the program may quit, 1 when it stays (tuning refused, or unsaved
  // changes that the user does not want to lose).
  int Exit();

 private:
  // Dims the button and sets the wait cursor for the lifetime of a command.
  class Running;

  CommandButtons b_;
  PageRegistry& pages_;
  LinkMonitor& link_;
  QWidget* dialogParent_;
};

}  // namespace shell
