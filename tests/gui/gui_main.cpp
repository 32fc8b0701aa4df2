// Entry of the widget tests: Qt's offscreen platform unless told otherwise, one
// QApplication for every test.
#include <gtest/gtest.h>

#include <QApplication>

#include "link/numberformat.h"

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // Restore points made by the tests' commands stay in the build tree.
  qputenv("XDG_DATA_HOME", BUILD_DIR "/test-data");
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  com::UseOneNumberFormat(app);  // as the programs do
  return RUN_ALL_TESTS();
}
