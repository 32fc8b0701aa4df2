// The password dialogs of the window: the protection button, the logo's two hot spots
// (double right-click), log-in through the dialog and Esc as Cancel.
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "kestra_fixture.h"
#include "protect/protect.h"
#include "protect/pwddialog.h"
#include "sim/engine.h"
#include "ui_dtcpassword.h"
#include "ui_password.h"

namespace kestra_test {
namespace {

class ProtectDialogTest : public KestraWindowTest {
 protected:
  void TearDown() override {
    KestraWindowTest::TearDown();
    std::memset(shell::aProtectKeys, 0, sizeof shell::aProtectKeys);
    protect::fEnableDtcPage = 0;
  }
  // Types into the open modal dialog's field and clicks one of its buttons.
  void AnswerWith(const char* field, const QString& text, const std::string& button) {
    QTimer::singleShot(0, [field, text] {
      if (auto* dialog = QApplication::activeModalWidget())
        if (auto* edit = dialog->findChild<QLineEdit*>(field)) edit->setText(text);
    });
    AnswerDialog(button);
  }
};

TEST_F(ProtectDialogTest, ProtectButtonLogsIntoALockedEcu) {
  sim::EcuModel model;
  model.clock = [] { return 0.0; };
  model.protectPassword = "open up";
  model.Install(device);
  Start();
  ASSERT_TRUE(Connect());
  EXPECT_EQ(shell::fEcuProtected, 1);
  EXPECT_TRUE(F().TBcom->styleSheet().contains("#FF0000"));
  ASSERT_TRUE(F().CBprotect->isEnabled());

  AnswerWith("STRpasswd", QStringLiteral("open up"), "CBsetPwdA");
  Click(F().CBprotect);
  EXPECT_EQ(shell::fEcuProtected, 0);
  window->Link().MainTimer();
  EXPECT_TRUE(F().TBcom->styleSheet().contains("#00FF00"));
  EXPECT_TRUE(io.Messages().empty());

  AnswerDialog("esc");  // Esc is Cancel: nothing changes
  Click(F().CBprotect);
  EXPECT_EQ(shell::fEcuProtected, 0);
}

TEST_F(ProtectDialogTest, LogoHotSpotsOpenTheOtherDialogs) {
  Start();
  QWidget* logo = F().TMtitle;
  ASSERT_GT(logo->width(), 100);
  AnswerWith("STRdtcPasswd", QString::fromLatin1(protect::szDtcPwd), "CBok");
  QTest::mouseDClick(logo, Qt::RightButton, Qt::NoModifier, QPoint(5, logo->height() / 2));
  EXPECT_EQ(protect::fEnableDtcPage, 1);
  EXPECT_EQ(window->Pages().hooks.enableDtcPage(), 1);

  AnswerWith("STRpasswd", QStringLiteral("ab"), "CBsetPwdA");
  QTest::mouseDClick(logo, Qt::RightButton, Qt::NoModifier, QPoint(logo->width() - 5, logo->height() / 2));
  EXPECT_EQ(shell::aProtectKeys[0], 0);
  EXPECT_EQ(shell::aProtectKeys[1], protect::DeriveKey('a'));  // the second mode's slot

  // A left double-click, or one in the middle, opens nothing.
  const size_t events = io.log.size();
  QTest::mouseDClick(logo, Qt::LeftButton, Qt::NoModifier, QPoint(5, logo->height() / 2));
  QTest::mouseDClick(logo, Qt::RightButton, Qt::NoModifier, QPoint(logo->width() / 2, logo->height() / 2));
  EXPECT_EQ(io.log.size(), events);
}

}  // namespace
}  // namespace kestra_test
