#include "loader/commands.h"

#include "link/com.h"
#include "link/userio.h"
#include "link/utils.h"
#include "loader/init.h"
#include "loader/program.h"
#include "loader/view.h"

namespace loader {

bool SelzFirmwareFile(const std::string& title, std::string& path) {
  com::FileDialog dialog;
  dialog.save = false;
  dialog.title = title;
  dialog.directory = cfg.lastFwDir;
  dialog.proposal = "*.mlf";
  dialog.extension = "mlf";
  dialog.allowNewDirectory = true;
  std::string chosen;
  switch (com::Ui().FileSelectPopup(dialog, chosen)) {
    case com::FileSelect::Cancelled:
      path.clear();
      return true;
    case com::FileSelect::Existing:
      path = chosen;
      return true;
    default:
      path.clear();
      return false;
  }
}

void Send() {
  if (fProgramming) return;
  if (!com::isComOpen) {
    com::Ui().MessagePopup("Firmware Programming", "Connection error...");
    return;
  }
  std::string path;
  if (!SelzFirmwareFile("Firmware File", path) || path.empty()) return;

  fProgramming = true;
  const int cursor = com::Ui().GetMouseCursor();
  com::Ui().SetMouseCursor(com::kCursorWait);
  View().DimControls(true);
  View().SetStatusText("Programming...");
  com::Ui().ProcessEvents(false);

  cfg.lastFwDir = com::DirectoryOf(path);
  WriteInitFile();

  programResult = SendFirmware(path);
  fUpdUfwVersion = true;

  com::Ui().SetMouseCursor(cursor);
  View().DimControls(false);
  fProgramming = false;
}

void SetComPort(int index) {
  if (fProgramming) {
    View().SelectPort(com::PortIndex());
    return;
  }
  com::PortIndex() = index;
  com::CloseComPort();
  com::OpenComPort();
  WriteInitFile();
}

void Exit() {
  if (fProgramming) return;
  fQuit = true;
}

}  // namespace loader
