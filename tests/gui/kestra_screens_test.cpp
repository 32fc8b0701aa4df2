// Pictures of the configuration, CAN acquisition and linearisation pages for a bike
// with oil temperature and one with coolant, for looking at the layout. Written only
// when KESTRA_SCREENSHOT_DIR names a folder; otherwise the test is skipped.
#include "kestra_fixture.h"

#include <QComboBox>
#include <QDialog>
#include <QPixmap>

#include "canacq/caqpage.h"
#include "config/cfgpanel.h"
#include "shell/panelswitch.h"
#include "live/lnrpage.h"
#include "ui_config.h"

namespace kestra_test {
namespace {

using shell::PageId;

TEST_F(KestraWindowTest, PagePictures) {
  const QString dir = qEnvironmentVariable("KESTRA_SCREENSHOT_DIR");
  if (dir.isEmpty()) GTEST_SKIP() << "KESTRA_SCREENSHOT_DIR not set";
  canacq::SetCanLabelPath(QStringLiteral(BUILD_DIR "/shell/canlabel.ini"));  // the shipped sample
  Start();
  canacq::SetCanLabelPath(QString());
  window->resize(1500, 950);
  window->show();
  // The simulator's configuration, received as the user does.
  ASSERT_TRUE(Connect());
  AnswerDialog("CBconfiguration");
  Click(F().CBreceive);
  auto* cfg = dynamic_cast<config::CfgPage*>(window->Pages().Find(PageId::Config));
  ASSERT_NE(cfg, nullptr);
  const struct {
    const char* name;
    int family, model, year;
  } bikes[] = {{"oil-monster-s4r-2007", 1, 10, 7},
               {"water-superbike-1098r-2008", 6, 5, 8},
               {"fuel-multistrada-1000-2004", 2, 1, 4}};
  for (const auto& bike : bikes) {
    window->Switcher().SwitchTo(PageId::Config);
    Ui::CfgPanel& f = cfg->Form();
    for (auto [ring, value] :
         {std::pair{f.RINGtypeBikeFamily, bike.family}, std::pair{f.RINGtypeBikeModel, bike.model},
          std::pair{f.RINGtypeBikeYear, bike.year}}) {
      const int index = ring->findData(value);
      ASSERT_GE(index, 0);
      ring->setCurrentIndex(index);
      emit ring->activated(index);
    }
    for (PageId page : {PageId::Config, PageId::CanAcq, PageId::Lineariz}) {
      window->Switcher().SwitchTo(page);
      QApplication::processEvents();
      const char* pageName = page == PageId::Config   ? "config"
                             : page == PageId::CanAcq ? "canacq"
                                                      : "lineariz";
      EXPECT_TRUE(window->grab().save(QStringLiteral("%1/%2-%3.png").arg(dir, pageName, bike.name)));
    }
  }
  auto* lnr = dynamic_cast<live::LnrPage*>(window->Pages().Find(PageId::Lineariz));
  QDialog* gas = lnr->ThrottleDialog();
  gas->show();
  QApplication::processEvents();
  EXPECT_TRUE(gas->grab().save(dir + QStringLiteral("/throttle-setting.png")));
  gas->hide();
  ASSERT_EQ(io.Messages().size(), 1u);
  EXPECT_EQ(io.Messages()[0].text, "Done!");
}

}  // namespace
}  // namespace kestra_test
