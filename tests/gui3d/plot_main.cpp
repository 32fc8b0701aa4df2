// Entry of the 3D plot tests: they need an OpenGL window, so they run on an X
// server (ctest starts them under xvfb-run).
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdio>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (qEnvironmentVariableIsEmpty("DISPLAY")) {
    std::fprintf(stderr, "plot_tests: no X display (run them under xvfb-run)\n");
    return 1;
  }
  qputenv("QT_QPA_PLATFORM", "xcb");
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
