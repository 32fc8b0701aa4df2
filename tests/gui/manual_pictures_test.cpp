// The manual's pictures: every page of the Kestra window with the simulator's data,
// written by `make pictures` into the folder KESTRA_MANUAL_PICTURES names (skipped
// when it is not set).
#include "kestra_fixture.h"

#include <QDir>
#include <QPixmap>

#include "shell/panelswitch.h"

namespace kestra_test {
namespace {

using shell::PageId;

// Page, and the name of its picture (docs/pictures/kestra-NAME.png).
const std::pair<PageId, const char*> kPages[] = {
    {PageId::Main, "main"},           {PageId::MapEditor, "maps"},  {PageId::MapTuning, "tuning"},
    {PageId::Injection, "injection"}, {PageId::Advance, "advance"}, {PageId::Param1, "param1"},
    {PageId::Param2, "param2"},       {PageId::Param3, "param3"},   {PageId::Lineariz, "lineariz"},
    {PageId::CanAcq, "canacq"},       {PageId::Config, "config"},   {PageId::Diagnostics, "diagnostics"},
    {PageId::Live, "live"},
};

TEST_F(KestraWindowTest, ManualPictures) {
  const QString dir = qEnvironmentVariable("KESTRA_MANUAL_PICTURES");
  if (dir.isEmpty()) GTEST_SKIP() << "KESTRA_MANUAL_PICTURES not set";
  ASSERT_TRUE(QDir().mkpath(dir));
  Start();
  window->resize(1560, 980);
  window->show();
  // The simulator's configuration and mapping, received as the user does.
  ASSERT_TRUE(Connect());
  AnswerDialog("CBconfiguration");
  Click(F().CBreceive);
  AnswerDialog("CBmapping1");
  Click(F().CBreceive);
  F().TMstatus->clear();  // start-up notes about the build tree are no part of the pictures
  int written = 0;
  for (const auto& [page, name] : kPages) {
    if (page != PageId::Main && !window->Pages().Has(page)) continue;
    window->Switcher().SwitchTo(page);
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
    const QString path = QStringLiteral("%1/kestra-%2.png").arg(dir, QLatin1String(name));
    EXPECT_TRUE(window->grab().save(path)) << path.toStdString();
    ++written;
  }
  EXPECT_EQ(written, static_cast<int>(std::size(kPages)));  // every page is in the window
}

}  // namespace
}  // namespace kestra_test
