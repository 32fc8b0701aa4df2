#include "shell/commands.h"

#include <QPushButton>
#include <algorithm>
#include <ctime>
#include <vector>

#include "config/bike.h"
#include "ecudata/history.h"
#include "ecudata/ecudata.h"
#include "ecudata/files.h"
#include "ecudata/import.h"
#include "ecudata/transfer.h"
#include "link/com.h"
#include "link/userio.h"
#include "shell/connection.h"
#include "shell/linkmonitor.h"
#include "shell/selectdialogs.h"
#include "tuning/map2.h"

namespace shell {

class Commands::Running {
 public:
  Running(LinkMonitor& link, QPushButton* button) : link_(link), button_(button) {
    link_.SetHeld(button_, true);
  }
  ~Running() {
    if (waiting_) com::Ui().SetMouseCursor(previous_);
    link_.SetHeld(button_, false);
  }
  // The wait cursor, once the user has chosen what to do.
  void Wait() {
    if (waiting_) return;
    waiting_ = true;
    previous_ = com::Ui().GetMouseCursor();
    com::Ui().SetMouseCursor(com::kCursorWait);
  }
  // The cursor that the data layer restores after its own questions.
  int Cursor() const { return com::kCursorWait; }

 private:
  LinkMonitor& link_;
  QPushButton* button_;
  int previous_ = com::kCursorNormal;
  bool waiting_ = false;
};

namespace {
void Error(const char* title) {
  com::Ui().MessagePopup(title, szGenericError);
}
}  // namespace

Commands::Commands(const CommandButtons& buttons, PageRegistry& pages, LinkMonitor& link,
                   QWidget* dialogParent)
    : QObject(dialogParent), b_(buttons), pages_(pages), link_(link), dialogParent_(dialogParent) {
  connect(b_.CBload, &QPushButton::clicked, this, &Commands::Load);
  if (b_.CBimport) connect(b_.CBimport, &QPushButton::clicked, this, &Commands::Import);
  connect(b_.CBstore, &QPushButton::clicked, this, &Commands::Store);
  connect(b_.CBsend, &QPushButton::clicked, this, &Commands::Send);
  connect(b_.CBreceive, &QPushButton::clicked, this, &Commands::Receive);
}

void Commands::Load() {
  if (CheckfBusy()) return;
  Running running(link_, b_.CBload);
  const int type = SelectEcuData(1, dialogParent_);
  if (type == 0) return;  // "Cancel" is not an error of the command
  if (!tuning::AbortManualTuning()) return;
  running.Wait();
  pages_.GatherAllPanels();  // the blocks are replaced anyway
  // A cancelled dialog or a refused file leaves the block as it was.
  const uint8_t* block = type == ecu::kParType ? ecu::ecuParData : ecu::ecuMapData;
  const std::vector<uint8_t> before(block, block + (type == ecu::kParType ? ecu::kParSize : ecu::kMapSize));
  const uint8_t loaded = ecu::LoadEcu(1, type, running.Cursor());
  if (!std::equal(before.begin(), before.end(), block)) pages_.BlocksReplaced(type);
  const uint8_t scattered = pages_.ScatterAllPanels();
  if (!loaded || !scattered) Error("Load");
}

void Commands::Import() {
  if (CheckfBusy()) return;
  Running running(link_, b_.CBimport);
  const int type = SelectEcuData(1, dialogParent_);
  if (type == 0) return;  // "Cancel" is not an error of the command
  const int version = SelectDataVersion(dialogParent_);
  if (version == 0) return;
  if (!tuning::AbortManualTuning()) return;
  running.Wait();
  pages_.GatherAllPanels();  // the imported block replaces the gathered one
  // A cancelled dialog or a refused file leaves the block as it was.
  const uint8_t* block = ecu::WorkingBlock(type);
  const std::vector<uint8_t> before(block, block + ecu::BlockSize(type));
  const uint8_t imported = ecu::ImportEcu(type, version, running.Cursor());
  if (!std::equal(before.begin(), before.end(), block)) {
    pages_.BlocksReplaced(type);
    ecu::NoteImportInHistory(type, std::time(nullptr));
  }
  const uint8_t scattered = pages_.ScatterAllPanels();
  if (!imported || !scattered) Error("Import");
}

void Commands::Store() {
  if (CheckfBusy()) return;
  Running running(link_, b_.CBstore);
  const int type = SelectEcuData(1, dialogParent_);
  if (type == 0) return;  // "Cancel" is not an error of the command
  if (!tuning::AbortManualTuning()) return;
  running.Wait();
  if (!pages_.GatherAllPanels()) {
    Error("Store");
    return;
  }
  if (type == 1 && !pages_.hooks.ignoreCaqWarning()) return;
  const uint8_t stored = ecu::StoreEcu("", type, running.Cursor());
  const uint8_t scattered = pages_.ScatterAllPanels();
  if (!stored || !scattered) Error("Store");
}

void Commands::Send() {
  if (CheckfBusy()) return;
  if (!tuning::AbortManualTuning()) return;
  Running running(link_, b_.CBsend);
  fSending = 1;
  const int type = SelectEcuData(2, dialogParent_);
  if (type != 0) {
    running.Wait();
    if (!pages_.GatherAllPanels()) {
      Error("Send");
    } else if (fOldHwConfig && (config::fFuelControl || config::fFuelReserve)) {
      com::Ui().MessagePopup("Send",
                             "The configuration bike selected is not compatible with the ECU hardware!");
    } else if (type == 1 && !pages_.hooks.ignoreCaqWarning()) {
      // refused: nothing is sent
    } else if (!com::isComOpen) {
      Error("Send");
    } else if (ecu::SendEcu(type, running.Cursor())) {
      com::Ui().MessagePopup("Send", "Done!");
      fRefresh = 1;
    } else {
      Error("Send");
    }
  }
  com::Ui().SetProgressBar(0, 0);
  fSending = 0;
}

void Commands::Receive() {
  if (CheckfBusy()) return;
  if (!tuning::AbortManualTuning()) return;
  Running running(link_, b_.CBreceive);
  fReceiving = 1;
  const int type = SelectEcuData(2, dialogParent_);
  if (type != 0) {
    running.Wait();
    pages_.GatherAllPanels();  // the received block replaces the gathered one
    if (!com::isComOpen) {
      Error("Receive");
    } else if (ecu::RequestEcu(type, running.Cursor())) {
      pages_.BlocksReplaced(type == 1 ? ecu::kParType : ecu::kMapType);
      pages_.ScatterAllPanels();
      com::Ui().MessagePopup("Receive", "Done!");
    } else {
      Error("Receive");
    }
  }
  com::Ui().SetProgressBar(0, 0);
  fReceiving = 0;
}

int Commands::Exit() {
  if (!tuning::AbortManualTuning()) return 1;
  if (!pages_.GatherAllPanels()) {
    com::Ui().MessagePopup("Quit Application", szGenericError);
    // The blocks may still hold changes that were never stored: ask all the same.
  }
  return ecu::DiscardNewEcuData() ? 0 : 1;
}

}  // namespace shell
