// The diagnostics page in the window against the simulated ECU: records shown, the
// lock, a typed value written with its clamp, a reset and the password log-in.
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "diagnostics/dgnpage.h"
#include "kestra_fixture.h"
#include "sim/engine.h"
#include "ui_diagnost.h"

namespace kestra_test {
namespace {

class DgnPageTest : public KestraWindowTest {
 protected:
  void StartDiag() {
    model.clock = [] { return 0.0; };
    model.Install(device);
    Start();
    ASSERT_TRUE(Connect());
    Click(F().CBdiag);
    page = dynamic_cast<dgn::DgnPage*>(window->Pages().Find(shell::PageId::Diagnostics));
    ASSERT_NE(page, nullptr);
    window->Link().MainTimer();
  }
  QLineEdit* Edit(const char* name) { return page->Widget()->findChild<QLineEdit*>(name); }
  void Type(QLineEdit* edit, const QString& text) {
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, text);
    QTest::keyClick(edit, Qt::Key_Return);
  }

  sim::EcuModel model;
  dgn::DgnPage* page = nullptr;
};

TEST_F(DgnPageTest, ShowsTheRecordsAndWritesTypedValues) {
  model.faultySensors = {"farf"};
  StartDiag();
  EXPECT_EQ(Edit("STRonTime")->text().toStdString(), "   3d  4h 25m 12s");
  EXPECT_EQ(Edit("NUMrpmLimit")->text().toStdString(), "9000");
  EXPECT_EQ(Edit("NUMsizeofDiagStatus")->text().toStdString(), "92");
  EXPECT_TRUE(page->Form().CBfarfErrReset->styleSheet().contains("255, 0, 0"));
  EXPECT_TRUE(page->Form().TOGBfarf->isChecked());
  EXPECT_TRUE(Edit("NUMrpmLimit")->isEnabled());  // the ECU has no password
  EXPECT_TRUE(page->Form().CBdgnPwdConfirm->isHidden());

  Type(Edit("NUMrpmLimit"), "70000");
  EXPECT_EQ(Edit("NUMrpmLimit")->text().toStdString(), "65535");
  Type(Edit("NUMthrottleLimit"), "70.0");
  EXPECT_EQ(Edit("NUMthrottleLimit")->text().toStdString(), "70.0");

  Click(page->Form().TOGBfarf);  // monitoring off: the fields are dimmed, the colour goes
  EXPECT_FALSE(page->Form().TOGBfarf->isChecked());
  EXPECT_FALSE(Edit("NUMfarfADmin")->isEnabled());
  EXPECT_FALSE(page->Form().CBfarfErrReset->styleSheet().contains("255, 0, 0"));

  Click(page->Form().CBstarterInCntReset);
  window->Link().MainTimer();
  EXPECT_EQ(Edit("NUMcntStarterIn")->text().toStdString(), "0");
}

TEST_F(DgnPageTest, LockedUntilThePasswordIsTyped) {
  model.diagPassword = "abc";
  StartDiag();
  EXPECT_FALSE(Edit("NUMrpmLimit")->isEnabled());
  EXPECT_FALSE(page->Form().CBonTimeReset->isEnabled());
  EXPECT_FALSE(page->Form().CBdgnPwdSet->isEnabled());
  ASSERT_TRUE(page->Form().CBdgnPwdConfirm->isEnabled());

  page->Form().STRdgnPwd->setText("abc");
  Click(page->Form().CBdgnPwdConfirm);
  EXPECT_TRUE(page->Form().STRdgnPwd->text().isEmpty());
  EXPECT_TRUE(Edit("NUMrpmLimit")->isEnabled());
  EXPECT_TRUE(page->Form().CBdgnPwdSet->isEnabled());
  EXPECT_FALSE(page->Form().STRdgnPwd->isEnabled());
  EXPECT_TRUE(io.Messages().empty());

  Click(F().TBcom);  // disconnected: locked again, the records cleared
  window->Link().MainTimer();
  EXPECT_FALSE(Edit("NUMrpmLimit")->isEnabled());
  EXPECT_EQ(Edit("NUMrpmLimit")->text().toStdString(), "0");
  EXPECT_EQ(page->Form().CBdgnPwdSet->text().toStdString(), "Change");
}

TEST_F(DgnPageTest, AReconnectionOnAnotherPageProbesThePasswordAgain) {
  model.diagPassword = "abc";
  StartDiag();
  page->Form().STRdgnPwd->setText("abc");
  Click(page->Form().CBdgnPwdConfirm);
  ASSERT_TRUE(Edit("NUMrpmLimit")->isEnabled());
  // Off and on again while the main panel is in front: a new connection, locked again.
  Click(F().CBinfo);
  Click(F().TBcom);
  model.diagUnlocked = false;  // the ignition was off meanwhile: the ECU is locked again
  ASSERT_TRUE(Connect());
  Click(F().CBdiag);
  window->Link().MainTimer();
  EXPECT_FALSE(Edit("NUMrpmLimit")->isEnabled());
  EXPECT_TRUE(page->Form().CBdgnPwdConfirm->isEnabled());
  EXPECT_FALSE(page->Form().CBdgnPwdConfirm->isHidden());
}

}  // namespace
}  // namespace kestra_test
