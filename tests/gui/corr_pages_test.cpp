// The injection and advance correction editors in the Kestra window: reached from the
// main panel, the water or oil table by the bike, typed values with the axis repair,
// and the value dialog with its preview, undo and redo.
#include <QApplication>
#include <QClipboard>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QRadioButton>
#include <QTableWidget>
#include <QTableView>
#include <functional>
#include <vector>

#include "kestra_fixture.h"
#include "link/bytes.h"
#include "maps/advance.h"
#include "maps/ui/corrpage.h"
#include "maps/ui/mp1page.h"
#include "ui_corrval.h"

namespace kestra_test {
namespace {

using shell::PageId;

int16_t At(uint32_t offset, int i) {
  return static_cast<int16_t>(com::Get16LE(ecu::ecuMapData + offset + 2 * i));
}
void Set(uint32_t offset, int i, int16_t v) {
  com::Put16LE(ecu::ecuMapData + offset + 2 * i, uint16_t(v));
}

class CorrPagesTest : public KestraWindowTest {
 protected:
  void SetUp() override {
    KestraWindowTest::SetUp();
    config::fTempIsOil = 0;
    Start();
    window->show();
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  }
  void TearDown() override {
    config::fTempIsOil = 0;
    KestraWindowTest::TearDown();
  }
  maps::CorrPage* Page(PageId id) { return dynamic_cast<maps::CorrPage*>(window->Pages().Find(id)); }
  QWidget* Group(maps::CorrPage* p, const char* control) {
    return p->Widget()->findChild<QWidget*>(QStringLiteral("GRP") + control);
  }
  // Answers the next value dialog from the event loop.
  void WithDialog(std::function<void(maps::CorrValDialog*)> answer) {
    auto* poll = new QTimer;
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, answer] {
      auto* dialog = dynamic_cast<maps::CorrValDialog*>(QApplication::activeModalWidget());
      if (!dialog || !dialog->isVisible()) return;
      poll->stop();
      poll->deleteLater();
      answer(dialog);
    });
    poll->start();
  }
  // Types into a cell as the user does: the first key opens the cell's number field.
  void Type(QTableWidget* t, int row, int col, const QString& text) {
    t->setFocus();
    t->setCurrentCell(row, col);
    QTest::keyClicks(t, text.left(1));
    QWidget* editor = QApplication::focusWidget();
    ASSERT_NE(editor, nullptr);
    ASSERT_NE(editor, t);
    QTest::keyClicks(editor, text.mid(1));
    QTest::keyClick(editor, Qt::Key_Return);
    QApplication::processEvents();
  }
  void RightClick(QTableWidget* t, int row, int col) {
    const QRect r = t->visualItemRect(t->item(row, col));
    QTest::mouseClick(t->viewport(), Qt::RightButton, Qt::NoModifier, r.center());
  }
};

TEST_F(CorrPagesTest, InjectionEditorFromTheMainPanel) {
  maps::CorrPage* inj = Page(PageId::Injection);
  ASSERT_NE(inj, nullptr);
  Set(11032, 3, 1234);  // the oil curve, hidden on a water-cooled bike
  ASSERT_EQ(inj->Scatter(), 1);
  Click(F().CBinj);
  ASSERT_EQ(window->Pages().Current(), PageId::Injection);
  EXPECT_TRUE(Group(inj, "TABkjTh2o")->isVisibleTo(inj->Widget()));
  EXPECT_FALSE(Group(inj, "TABkjToil")->isVisibleTo(inj->Widget()));

  // Typed values are held to the cell's limits.
  QTableWidget* air = inj->Curve(0);
  Type(air, 0, 0, "-50");
  Type(air, 1, 0, "7");
  EXPECT_EQ(At(10936, 0), -300);
  EXPECT_EQ(At(10904, 0), 2000);
  EXPECT_EQ(air->item(1, 0)->text(), "2.000");

  // A phase breakpoint typed below its left neighbour is raised to it with its value.
  QTableWidget* phase = inj->Curve(4);
  ASSERT_EQ(phase->objectName(), "TABfase");
  phase->item(0, 1)->setText("500");
  phase->item(1, 1)->setText("200");
  phase->item(0, 2)->setText("300");
  EXPECT_EQ(At(10456, 2), 500);
  EXPECT_EQ(At(10392, 2), 200);
  EXPECT_EQ(phase->item(0, 2)->text(), "500");
  EXPECT_EQ(At(11032, 3), 1234);  // the hidden table kept its value through the gathers

  // Oil temperature: the other table, with the value it kept.
  config::fTempIsOil = 1;
  Click(F().CBinfo);
  Click(F().CBinj);
  EXPECT_FALSE(Group(inj, "TABkjTh2o")->isVisibleTo(inj->Widget()));
  EXPECT_TRUE(Group(inj, "TABkjToil")->isVisibleTo(inj->Widget()));
  EXPECT_EQ(inj->Curve(2)->item(1, 3)->text(), "1.234");

  // The whole cylinder 2 table with both axes, set 1.100: only that cylinder's cells change.
  QTableWidget* cyl2 = inj->User(1);
  cyl2->selectAll();
  std::string title, unit;
  bool bold = false;
  QString previewed;
  WithDialog([&](maps::CorrValDialog* d) {
    title = d->windowTitle().toStdString();
    unit = d->Form().TMunit->text().toStdString();
    EXPECT_TRUE(d->Form().RBset->isChecked());
    d->Form().NSval->setValue(1.1);
    previewed = cyl2->item(8, 16)->text();
    bold = cyl2->item(8, 16)->font().bold();
    d->Form().CBapply->click();
  });
  RightClick(cyl2, 3, 3);
  EXPECT_EQ(title, "Edit Injection");
  EXPECT_EQ(unit, "[k]");
  EXPECT_EQ(previewed, "1.100");
  EXPECT_TRUE(bold);
  for (int i = 0; i < 128; ++i) {
    EXPECT_EQ(At(8920, i), 1100) << i;
    EXPECT_EQ(At(8664, i), 1000) << i;
  }
  EXPECT_EQ(At(9176, 0), 0);
  EXPECT_FALSE(cyl2->item(1, 1)->font().bold());

  // One undo step puts the cells back, redo sets them again.
  EXPECT_TRUE(inj->Undo());
  EXPECT_EQ(At(8920, 5), 1000);
  EXPECT_EQ(cyl2->item(1, 6)->text(), "1.000");
  EXPECT_TRUE(inj->Redo());
  EXPECT_EQ(At(8920, 5), 1100);
}

TEST_F(CorrPagesTest, UndoOnTheMapEditorLeavesAnAdvanceEditAlone) {
  // The map editor had an edit of its own, then the advance editor gets one.
  Click(F().CBmaps);
  auto* maps = dynamic_cast<maps::Mp1Page*>(window->Pages().Find(PageId::MapEditor));
  ASSERT_NE(maps, nullptr);
  maps->Matrix()->setFocus();
  maps->Matrix()->setCurrentIndex(maps->Matrix()->model()->index(3, 3));
  QTest::keyClick(maps->Matrix(), Qt::Key_Plus);
  const std::vector<uint8_t> mapEdited(ecu::ecuMapData, ecu::ecuMapData + ecu::kMapSize);
  // Away from the maps, every page switch gathers every page, the map editor too.
  Click(F().CBadv);
  Click(F().CBinj);
  Click(F().CBadv);
  maps::CorrPage* adv = Page(PageId::Advance);
  const maps::CorrCurve& air = maps::AdvEditor().curves[0];
  Type(adv->Curve(0), 1, 0, "2");
  const int16_t typed = At(air.values, 0);
  ASSERT_NE(typed, mapEdited[air.values] | (mapEdited[air.values + 1] << 8));
  // Back on the maps, Ctrl+Z takes back the map edit, never the advance value.
  Click(F().CBmaps);
  maps->Matrix()->setFocus();
  QTest::keyClick(maps->Matrix(), Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(At(air.values, 0), typed);
  QTest::keyClick(maps->Matrix(), Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(At(air.values, 0), typed);
}

TEST_F(CorrPagesTest, AdvanceDialogAddsAndHoldsAtTheLimit) {
  maps::CorrPage* adv = Page(PageId::Advance);
  ASSERT_NE(adv, nullptr);
  Set(9224, 1 * 16 + 2, -7000);
  ASSERT_EQ(adv->Scatter(), 1);
  Click(F().CBadv);
  ASSERT_EQ(window->Pages().Current(), PageId::Advance);
  QTableWidget* cyl1 = adv->User(0);
  EXPECT_EQ(cyl1->item(2, 3)->text(), "-700.0");
  cyl1->setCurrentCell(2, 3);
  WithDialog([&](maps::CorrValDialog* d) {
    EXPECT_EQ(d->windowTitle(), "Edit Advance");
    d->Form().RBadd->click();
    EXPECT_DOUBLE_EQ(d->Form().NSval->minimum(), -30.0);
    d->Form().NSval->setValue(-30.0);
    d->Form().CBapply->click();
  });
  QTest::keyClick(cyl1, Qt::Key_Return, Qt::ControlModifier);
  EXPECT_EQ(At(9224, 1 * 16 + 2), -7200);
  EXPECT_EQ(At(9224, 1 * 16 + 3), 0);
  EXPECT_EQ(cyl1->item(2, 3)->text(), "-720.0");

  // An option change drops the preview; Esc leaves the block as it was.
  QString previewed, afterChange;
  bool boldAfterChange = true;
  WithDialog([&](maps::CorrValDialog* d) {
    d->Form().RBperc->click();
    EXPECT_EQ(d->Form().TMunit->text(), "[%]");
    d->Form().NSval->setValue(50.0);
    previewed = cyl1->item(2, 3)->text();
    d->Form().RBset->click();
    EXPECT_DOUBLE_EQ(d->Form().NSval->value(), -90.0);  // the cell, held to the set range
    afterChange = cyl1->item(2, 3)->text();
    boldAfterChange = cyl1->item(2, 3)->font().bold();
    d->move(d->pos() + QPoint(40, 30));
    QTest::keyClick(d, Qt::Key_Escape);
  });
  QTest::keyClick(cyl1, Qt::Key_Return, Qt::ControlModifier);
  const QPoint remembered = adv->ValueDialog()->pos_;
  ASSERT_TRUE(adv->ValueDialog()->posSet_);
  QPoint shownAt;
  WithDialog([&](maps::CorrValDialog* d) {
    shownAt = d->pos();
    EXPECT_TRUE(d->Form().RBset->isChecked());  // every opening starts with set
    d->Form().CBcancel->click();
  });
  QTest::keyClick(cyl1, Qt::Key_Return, Qt::ControlModifier);
  EXPECT_EQ(shownAt, remembered);
  EXPECT_EQ(previewed, "-720.0");  // -1080.0 held to the limit
  EXPECT_EQ(afterChange, "-720.0");
  EXPECT_FALSE(boldAfterChange);
  EXPECT_EQ(At(9224, 1 * 16 + 2), -7200);

  // Ctrl+C on cylinder 1, Ctrl+V on cylinder 2: one undo step.
  cyl1->setFocus();
  cyl1->setCurrentCell(2, 3);
  QTest::keyClick(cyl1, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text().toStdString(), "-720.0\n");
  QTableWidget* cyl2 = adv->User(1);
  cyl2->setFocus();
  cyl2->setCurrentCell(2, 3);
  QTest::keyClick(cyl2, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(At(9480, 1 * 16 + 2), -7200);
  EXPECT_EQ(cyl2->item(2, 3)->text(), "-720.0");
  EXPECT_TRUE(adv->Undo());
  EXPECT_EQ(At(9480, 1 * 16 + 2), 0);
  EXPECT_EQ(At(9224, 1 * 16 + 2), -7200);

  // The axis row alone is no selection.
  cyl1->clearSelection();
  cyl1->setCurrentCell(0, 4);
  QTest::keyClick(cyl1, Qt::Key_Return, Qt::ControlModifier);
  ASSERT_FALSE(io.log.empty());
  EXPECT_EQ(io.log.back().title, "Edit Advance");
  EXPECT_EQ(io.log.back().text, "No selection...");
}

}  // namespace
}  // namespace kestra_test
