// The window's side of com::UserIo: pop-ups, questions and file dialogs as Qt
// dialogs, and the main panel's progress bar, data-set name fields, wait cursor
// and event pump. Tests derive from it and answer the pop-ups themselves.
#pragma once
#include <QPointer>

#include "link/userio.h"

class QLabel;
class QProgressBar;
class QWidget;

namespace shell {

// The event pump of long operations. Without force it only lets the screen redraw
// when the last full pump is less than a second ago; otherwise (and always with
// force) it runs every pending event with fBusy set, so no callback starts inside it.
void ProcessMyEvents(bool force);

class QtUserIo : public com::UserIo {
 public:
  QtUserIo() = default;
  // The main panel's controls that the services write into.
  void Attach(QWidget* mainPanel, QProgressBar* progressBar, QLabel* parName, QLabel* mapName);
  // The status line under the progress bar.
  void AttachStatus(QLabel* status) { status_ = status; }

  void MessagePopup(const std::string& title, const std::string& text) override;
  bool ConfirmPopup(const std::string& title, const std::string& text) override;
  int ButtonPopup(const std::string& title, const std::string& text, const std::string& button1,
                  const std::string& button2, const std::string& button3) override;
  com::FileSelect FileSelectPopup(const com::FileDialog& dialog, std::string& path) override;

  void SetProgressBar(uint32_t done, uint32_t total) override;
  std::string GetConfigName(int type) override;
  void ShowConfigName(const std::string& text, int type) override;
  int GetMouseCursor() override { return cursor_; }
  void SetMouseCursor(int cursor) override;
  void ProcessEvents(bool force) override { ProcessMyEvents(force); }
  void ShowStatus(const std::string& text) override;

 protected:
  QWidget* DialogParent() const { return mainPanel_; }

 private:
  // Pop-ups show the normal arrow even while a command has the wait cursor on.
  class NormalCursorScope;

  QPointer<QWidget> mainPanel_;
  QPointer<QProgressBar> progressBar_;
  QPointer<QLabel> parName_, mapName_, status_;
  int cursor_ = com::kCursorNormal;
};

}  // namespace shell
