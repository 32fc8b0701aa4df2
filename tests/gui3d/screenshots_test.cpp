// Pictures of both graph windows for looking at them (not run by default):
//   xvfb-run -a build/tests/plot_tests --gtest_also_run_disabled_tests --gtest_filter='*Screenshots*'
// writes /tmp/graph2d.png, /tmp/plot3d.png (the scene, multisampled) and
// /tmp/plot3d_window.png (the window as shown).
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QScreen>
#include <QTest>
#include <QtDataVisualization/Q3DSurface>

#include "../gui/fake_editor.h"
#include "graphs/graph2d.h"
#include "graphs/graphwindows.h"
#include "graphs/plot.h"
#include "ui_plot.h"

namespace {

TEST(GraphScreenshots, DISABLED_Screenshots) {
  graphs_test::BlockGuard blocks;
  graphs_test::ResetBlocks();
  graphs_test::FillTunedInjection();
  graphs_test::FakeEditor editor;
  graphs_test::RecordingUi popups;
  graphs::GraphWindows windows(&editor);
  editor.scatter = [&] { return windows.Scatter(); };
  editor.active = {13, 8};
  windows.Graph2D().resize(900, 600);
  windows.Plot().resize(900, 700);
  ASSERT_EQ(windows.Show2D(true), 1);
  ASSERT_EQ(windows.Show3D(true), 1);
  QApplication::processEvents();
  // A multi-point selection: the current point and three more along the column.
  windows.Graph2D().Model().selection = {8, 9, 10, 11};
  windows.Scatter();
  QApplication::processEvents();
  EXPECT_TRUE(windows.Graph2D().grab().save("/tmp/graph2d.png"));

  Q3DSurface* s = windows.Plot().Surface();
  ASSERT_NE(s, nullptr);
  const QImage scene = s->renderToImage(4, s->size());
  EXPECT_TRUE(scene.save("/tmp/plot3d.png"));
  // The window as the X server shows it, the plot's own frame included.
  for (int i = 0; i < 20; ++i) {
    QApplication::processEvents();
    QTest::qWait(10);
  }
  const QImage window = windows.Plot().screen()->grabWindow(windows.Plot().winId()).toImage();
  EXPECT_TRUE(window.save("/tmp/plot3d_window.png"));
}

}  // namespace
