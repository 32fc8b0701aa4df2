// Everything the model makes the user see or answer goes through this one
// interface: pop-ups, questions, file dialogs, the progress bar, the mouse cursor,
// the data-set name fields and the event pump. The window implements it with Qt;
// the command-line tools and the tests implement it without a screen.
#pragma once
#include <cstdint>
#include <string>

namespace com {

enum class FileSelect { Cancelled, Existing, New, Error };

struct FileDialog {
  bool save = false;      // save dialog (else load)
  std::string title;      // "Store ECU mapping data", ...
  std::string directory;  // where the dialog starts
  std::string proposal;   // proposed file name or "*.ext"
  std::string extension;  // the only extension offered, without the dot
  bool allowNewDirectory = false;
};

enum Cursor : int { kCursorNormal = 0, kCursorWait = 1 };

class UserIo {
 public:
  virtual ~UserIo() = default;
  virtual void MessagePopup(const std::string& title, const std::string& text) = 0;
  // Yes/no question; true for yes.
  virtual bool ConfirmPopup(const std::string& title, const std::string& text) = 0;
  // Question with up to three labelled buttons (empty labels are left out);
  // returns the 1-based button, or 0 when closed without an answer.
  virtual int ButtonPopup(const std::string& title, const std::string& text, const std::string& button1,
                          const std::string& button2, const std::string& button3) = 0;
  // File dialog; on Existing or New `path` holds the chosen file.
  virtual FileSelect FileSelectPopup(const FileDialog& dialog, std::string& path) = 0;
  // Progress of a transfer: total 0 hides the bar.
  virtual void SetProgressBar(uint32_t done, uint32_t total) = 0;
  // The data-set name fields of the main panel (type 1 configuration, 2 mapping).
  virtual std::string GetConfigName(int type) = 0;
  virtual void ShowConfigName(const std::string& text, int type) = 0;
  virtual int GetMouseCursor() = 0;
  virtual void SetMouseCursor(int cursor) = 0;
  // Lets pending user-interface events run (force: all of them now).
  virtual void ProcessEvents(bool force) = 0;
  // A one-line note on the status line: what happened, without asking anything.
  virtual void ShowStatus(const std::string& text) { lastStatus = text; }

  std::string lastStatus;
};

// A user interface without a screen: pop-ups are recorded, questions answered "no",
// dialogs cancelled, the name fields kept in memory.
class HeadlessUserIo : public UserIo {
 public:
  void MessagePopup(const std::string& title, const std::string& text) override;
  bool ConfirmPopup(const std::string&, const std::string&) override { return false; }
  int ButtonPopup(const std::string&, const std::string&, const std::string&, const std::string&,
                  const std::string&) override {
    return 0;
  }
  FileSelect FileSelectPopup(const FileDialog&, std::string&) override { return FileSelect::Cancelled; }
  void SetProgressBar(uint32_t, uint32_t) override {}
  std::string GetConfigName(int type) override;
  void ShowConfigName(const std::string& text, int type) override;
  int GetMouseCursor() override { return cursor_; }
  void SetMouseCursor(int cursor) override { cursor_ = cursor; }
  void ProcessEvents(bool) override {}

  std::string lastTitle, lastMessage;

 protected:
  std::string parName_, mapName_;
  int cursor_ = kCursorNormal;
};

// The program's user interface; a HeadlessUserIo until the program installs its own.
UserIo& Ui();
void SetUi(UserIo* ui);  // null restores the headless one

}  // namespace com
