// The notice on connect: when the ECU's data-set names (command 15) are not those of
// the working blocks, the status line says so and a "Compare with ECU" button beside
// it offers the comparison on the map editor. Nothing is read beyond the names, and
// nothing changes, until the user clicks.
#pragma once
#include <QObject>
#include <functional>
#include <string>

class QLabel;
class QPushButton;

namespace shell {

struct EcuDataNames {
  std::string configuration, mapping1, mapping2;
};

// Command 15 with selectors 0, 1 and 2; false when a name cannot be read.
bool ReadEcuDataNames(EcuDataNames* names);

// The status text when the working names differ from the ECU's (a working block
// without a name is not compared); "" when they agree. The working mapping agrees
// when it carries the name of either mapping of the ECU.
std::string DataNameNotice(const EcuDataNames& ecu, const std::string& workingConfiguration,
                           const std::string& workingMapping);

class ConnectNotice : public QObject {
 public:
  // Puts the hidden button beside `status` in its layout.
  ConnectNotice(QLabel* status, QWidget* parent);

  // After the link opened: reads the names and shows the notice when they differ.
  void Check();
  QPushButton* Button() const { return button_; }

  // What "Compare with ECU" does (the window opens the map editor and compares).
  std::function<void()> onCompare;

 private:
  QPushButton* button_;
};

}  // namespace shell
