#include "loader/live.h"

#include "link/com.h"
#include "link/utils.h"
#include "loader/info.h"
#include "loader/program.h"
#include "loader/view.h"

namespace loader {

void ShowDisconnected() {
  SetMainTitle("disconnected");
  View().SetApplicationText("");
}

void LivTimer() {
  if (fQuit) {
    View().Quit();
    return;
  }
  if (!com::isComOpen)
    View().SetPortColour(kColourClosed);
  else
    View().SetPortColour(fOldBload ? kColourOldBload : kColourOpen);

  if (!com::isComOpen) {
    if (linkRetry > 0) {
      --linkRetry;
      return;
    }
    linkRetry = 2;
    com::OpenComPort();
    if (Ping()) {
      linkRetry = 0;
    } else {
      com::CloseComPort();
      ShowDisconnected();
    }
    fBloadFound = false;
    return;
  }

  if (!fBloadFound) {
    if (CheckBloadInfo()) {
      fBloadFound = true;
      fUpdBloadInfo = true;
      fUpdUfwVersion = true;
    } else {
      com::CloseComPort();
      linkRetry = 0;
      ShowDisconnected();
    }
    return;
  }

  bool ok;
  if (fUpdBloadInfo) {
    ok = ShowBootLoaderIdentity();
    if (ok) fUpdBloadInfo = false;
  } else if (fUpdUfwVersion) {
    ok = ShowApplicationVersion();
    if (ok) fUpdUfwVersion = false;
  } else {
    ok = Ping();
  }
  if (ok) {
    linkRetry = 0;
  } else if (linkRetry < 2) {
    ++linkRetry;
  } else {
    com::CloseComPort();
    ShowDisconnected();
  }
}

void MainTimer(bool tick) {
  if (fProgramming) return;
  if (!com::isComOpen) {
    View().SetStatusText("");
    msgClearTime = 0.0;
    programResult = -1;  // a result not yet shown is dropped with the link
  } else if (programResult != -1) {
    switch (programResult) {
      case kResultDone:
        View().SetStatusText("Done!");
        msgClearTime = com::Timer() + kDoneShownSeconds;
        break;
      case kResultInvalidFile:
        View().SetStatusText("Invalid firmware file...");
        msgClearTime = 0.0;
        break;
      case kResultProgrammingError:
        View().SetStatusText("Programming error...");
        msgClearTime = 0.0;
        break;
      default:
        View().SetStatusText("Application error...");
        msgClearTime = 0.0;
        break;
    }
    programResult = -1;
    View().Beep();
  } else if (msgClearTime > 0.0 && com::Timer() > msgClearTime) {
    View().SetStatusText("");
    msgClearTime = 0.0;
  }
  if (tick) LivTimer();
}

}  // namespace loader
