// The two modal selection dialogs of the data commands. Closing one with its close
// box or Esc answers like its "Cancel" button (0).
#pragma once
#include <QDialog>
#include <string>
#include <vector>

namespace shell {

// A row of answer buttons; the caller waits in exec() until one is pressed.
class SelectionDialog : public QDialog {
 public:
  struct Choice {
    const char* objectName;
    const char* caption;
    int result;  // 0 is "Cancel"
  };
  SelectionDialog(QWidget* parent, const QString& title, const QString& question,
                  const std::vector<Choice>& choices);
};

// Mode 1 (files): "Configuration" 1, "Mapping" 2, "Cancel" 0.
// Mode 2 (ECU): "Configuration" 1, "Mapping 1" 2, "Mapping 2" 3, "Cancel" 0.
int SelectEcuData(int mode, QWidget* parent);
// "Q740 v1.2 Data" 1, "Talaris Data" 2, "Cancel" 0.
int SelectDataVersion(QWidget* parent);

}  // namespace shell
