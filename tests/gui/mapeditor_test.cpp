// The map editor page and its value dialog, driven through the real tables.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableView>
#include <array>
#include <cstring>

#include "ecudata/ecudata.h"
#include "kestra_fixture.h"
#include "maps/map1.h"
#include "maps/mapedit.h"
#include "maps/ui/maptablemodel.h"
#include "maps/ui/mp1page.h"
#include "maps/ui/mpvdialog.h"
#include "ui_mp1panel.h"
#include "ui_mpvdialog.h"

namespace kestra_test {
namespace {

using maps::Mp1Page;

class MapEditorTest : public KestraWindowTest {
 protected:
  void SetUp() override {
    KestraWindowTest::SetUp();
    maps::idCurMap = 1;
    maps::idCurJcyl = 0;
    maps::posMpvPanelSet = false;
    maps::zoomMpvPanel = false;
    Start();
    ecu::ecuParData[maps::kCylinderCountOffset] = 2;
    // Rising X axes and a recognisable map 2, then a clean reference copy.
    for (int id = 1; id <= 5; ++id) {
      maps::MapPlace p;
      maps::GetMapPlace(id, 0, &p);
      for (int c = 0; c < maps::kMapCols; ++c)
        maps::CellArray{ecu::ecuMapData + p.xAxis}.Set(c, static_cast<int16_t>(500 * (c + 1)));
    }
    SetRaw(2, 0, 4, 6, 123);  // 12.3 degrees
    ecu::InitEcuRefData();
    window->show();
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    Click(F().CBmaps);
    ASSERT_EQ(window->Pages().Current(), shell::PageId::MapEditor);
  }
  void TearDown() override {
    maps::idCurMap = 1;
    maps::idCurJcyl = 0;
    KestraWindowTest::TearDown();
  }

  Mp1Page* Editor() { return static_cast<Mp1Page*>(window->Pages().Find(shell::PageId::MapEditor)); }
  Ui::Mp1Panel& P() { return Editor()->Form(); }
  QTableView* Matrix() { return P().TABmatrix; }

  static int16_t Raw(int map, int plane, int r, int c) {
    maps::MapPlace p;
    maps::GetMapPlace(map, plane, &p);
    return maps::CellArray{ecu::ecuMapData + p.matrix}.Get(r * maps::kMapCols + c);
  }
  static void SetRaw(int map, int plane, int r, int c, int16_t v) {
    maps::MapPlace p;
    maps::GetMapPlace(map, plane, &p);
    maps::CellArray{ecu::ecuMapData + p.matrix}.Set(r * maps::kMapCols + c, v);
  }
  static std::array<uint8_t, ecu::kMapSize> Block() {
    std::array<uint8_t, ecu::kMapSize> b;
    std::memcpy(b.data(), ecu::ecuMapData, ecu::kMapSize);
    return b;
  }

  void ShowMap(int id) {
    P().TPselectMap->setCurrentIndex(id - 1);
    ASSERT_EQ(maps::idCurMap, id);
  }
  void Activate(int row, int col) {
    Matrix()->setFocus();
    Editor()->SetActiveCell(row, col);
  }
  QVariant Data(int row, int col, int role) { return Matrix()->model()->index(row, col).data(role); }
  QString Text(int row, int col) { return Data(row, col, Qt::DisplayRole).toString(); }
  bool Red(int row, int col) {
    return Data(row, col, Qt::ForegroundRole).value<QColor>() == QColor(0xFF, 0, 0);
  }
  bool Bold(int row, int col) { return Data(row, col, Qt::FontRole).value<QFont>().bold(); }
  void Key(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier, QWidget* to = nullptr) {
    QTest::keyClick(to ? to : Matrix(), key, mods);
  }
  // Types text into the active cell and commits it with Enter.
  void Type(const QString& text) {
    // The first key opens the cell's editor; the rest go to the editor.
    QTest::keyClicks(Matrix(), text.left(1));
    QWidget* editor = QApplication::focusWidget();
    ASSERT_NE(editor, nullptr);
    ASSERT_NE(editor, Matrix());
    QTest::keyClicks(editor, text.mid(1));
    QTest::keyClick(editor, Qt::Key_Return);
    QApplication::processEvents();  // the table commits the editor's text queued
  }
  void RightClick(int row, int col) {
    const QRect r = Matrix()->visualRect(Matrix()->model()->index(row, col));
    QTest::mouseClick(Matrix()->viewport(), Qt::RightButton, Qt::NoModifier, r.center());
  }
  // Runs `answer` on the value dialog once it is up.
  void WithDialog(std::function<void(maps::MpvDialog*)> answer) {
    auto* poll = new QTimer;
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, answer] {
      auto* dialog = dynamic_cast<maps::MpvDialog*>(QApplication::activeModalWidget());
      if (!dialog || !dialog->isVisible()) return;
      poll->stop();
      poll->deleteLater();
      answer(dialog);
    });
    poll->start();
  }
};

TEST_F(MapEditorTest, PageShowsTheCatalogue) {
  EXPECT_TRUE(F().CBmaps->isEnabled());
  ASSERT_EQ(P().TPselectMap->count(), 5);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(P().TPselectMap->tabText(i).toStdString(), maps::MapName(i + 1));
  EXPECT_EQ(Matrix()->model()->rowCount(), 21);
  EXPECT_EQ(Matrix()->model()->columnCount(), 32);
  EXPECT_EQ(P().TABbpy->model()->rowCount(), 20);
  EXPECT_EQ(P().TMmapType->text(), "[ms]");
  EXPECT_EQ(Text(0, 2), "1500");
  EXPECT_EQ(Text(1, 0), "0.000");
  EXPECT_EQ(P().TABbpy->model()->index(19, 0).data().toString(), "100.0");
  EXPECT_TRUE(P().CBmanualMap->isEnabled());
  EXPECT_FALSE(P().CBcyl->isHidden());
  EXPECT_EQ(P().CBcyl->text(), "Cyl. 1");

  ShowMap(2);
  EXPECT_EQ(P().TMmapType->text(), "[deg]");
  EXPECT_EQ(Text(5, 6), "12.3");
  EXPECT_TRUE(P().TBsingleMatEditing->isHidden());
  EXPECT_TRUE(P().CBcyl->isHidden());
  // The throttle axis is not editable on maps 1 to 4; map 5's temperature axis is.
  EXPECT_FALSE(P().TABbpy->model()->flags(P().TABbpy->model()->index(0, 0)) & Qt::ItemIsEditable);
  ShowMap(5);
  EXPECT_TRUE(P().TABbpy->model()->flags(P().TABbpy->model()->index(0, 0)) & Qt::ItemIsEditable);
  EXPECT_EQ(P().TMmapType->text(), "K");
}

TEST_F(MapEditorTest, TypedValuesAreMarkedAgainstTheReference) {
  Activate(3, 4);
  Type("1.2345");
  EXPECT_EQ(Raw(1, 0, 2, 4), 1235);
  EXPECT_EQ(Text(3, 4), "1.235");
  EXPECT_TRUE(Red(3, 4));
  EXPECT_TRUE(Bold(3, 4));
  EXPECT_FALSE(Red(3, 5));
  // Above the limit the value is held to 32 ms; back to the reference value it is black again.
  Activate(3, 5);
  Type("99");
  EXPECT_EQ(Raw(1, 0, 2, 5), 32000);
  Activate(3, 4);
  Type("0");
  EXPECT_FALSE(Red(3, 4));
  EXPECT_FALSE(Bold(3, 4));
  // Something that is not a number changes nothing and says so.
  const auto before = Block();
  Activate(3, 6);
  Type("abc");
  EXPECT_EQ(Block(), before);
  EXPECT_TRUE(P().TMstatus->text().contains("not a number"));
}

TEST_F(MapEditorTest, PlusAndMinusStepTheActiveCell) {
  ShowMap(2);
  struct Case {
    Qt::Key key;
    Qt::KeyboardModifiers mods;
    const char* shown;
  } cases[] = {{Qt::Key_Plus, Qt::NoModifier, "12.4"},
               {Qt::Key_Plus, Qt::ControlModifier, "13.4"},
               {Qt::Key_Plus, Qt::AltModifier, "23.4"},
               {Qt::Key_Minus, Qt::AltModifier, "13.4"},
               {Qt::Key_Minus, Qt::NoModifier, "13.3"}};
  Activate(5, 6);
  for (const Case& c : cases) {
    Key(c.key, c.mods);
    EXPECT_EQ(Text(5, 6).toStdString(), c.shown);
  }
  EXPECT_EQ(Raw(2, 0, 4, 6), 133);
  EXPECT_TRUE(Red(5, 6));
  // On the X axis row the keys do nothing.
  const auto before = Block();
  Activate(0, 3);
  Key(Qt::Key_Plus);
  EXPECT_EQ(Block(), before);
}

TEST_F(MapEditorTest, AxisRepairWaitsForTheCheckedGather) {
  Activate(0, 5);
  Type("100");  // below column 4's 2500
  maps::MapPlace p;
  maps::GetMapPlace(1, 0, &p);
  EXPECT_EQ(maps::CellArray{ecu::ecuMapData + p.xAxis}.Get(5), 100);
  SetRaw(1, 0, 7, 4, 4444);
  ShowMap(3);  // the tab change gathers with the axis check
  EXPECT_EQ(maps::CellArray{ecu::ecuMapData + p.xAxis}.Get(5), 2500);
  EXPECT_EQ(Raw(1, 0, 7, 5), 4444);
}

TEST_F(MapEditorTest, UndoAndRedoAcrossADialogApplyAndAKeyPress) {
  ShowMap(2);
  const auto start = Block();
  // Add 1.5 degrees to a 2 x 3 selection through the dialog.
  Activate(5, 6);
  Matrix()->selectionModel()->select(
      QItemSelection(Matrix()->model()->index(5, 6), Matrix()->model()->index(6, 8)),
      QItemSelectionModel::ClearAndSelect);
  WithDialog([](maps::MpvDialog* d) {
    EXPECT_TRUE(d->Form().RBadd->isChecked());  // the default on the advance maps
    d->Form().NSval->setValue(1.5);
    d->Form().CBapply->click();
  });
  RightClick(5, 6);
  EXPECT_EQ(Raw(2, 0, 4, 6), 138);
  EXPECT_EQ(Raw(2, 0, 5, 8), 15);
  const auto afterApply = Block();
  Key(Qt::Key_Plus, Qt::ControlModifier);
  EXPECT_EQ(Raw(2, 0, 4, 6), 148);
  const auto afterPlus = Block();

  // Undo from another map comes back to the map of the edit.
  ShowMap(4);
  Key(Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(Block(), afterApply);
  EXPECT_EQ(maps::idCurMap, 2);
  EXPECT_EQ(Text(5, 6), "13.8");
  Key(Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(Block(), start);
  EXPECT_FALSE(Red(5, 6));
  Key(Qt::Key_Y, Qt::ControlModifier);
  EXPECT_EQ(Block(), afterApply);
  Key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(Block(), afterPlus);
  EXPECT_TRUE(Red(5, 6));

  // A load of the mapping ends the history.
  window->Pages().BlocksReplaced(ecu::kMapType);
  EXPECT_FALSE(Editor()->History().CanUndo());
  Key(Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(Block(), afterPlus);
}

TEST_F(MapEditorTest, DialogPreviewsInBoldAndCancelDropsIt) {
  SetRaw(1, 0, 0, 0, 1000);
  SetRaw(1, 0, 0, 1, 2000);
  Editor()->Rescatter();
  Activate(1, 0);
  Matrix()->selectionModel()->select(
      QItemSelection(Matrix()->model()->index(1, 0), Matrix()->model()->index(1, 1)),
      QItemSelectionModel::ClearAndSelect);
  const auto before = Block();
  QString previewed;
  bool bold = false, red = true;
  WithDialog([&](maps::MpvDialog* d) {
    EXPECT_TRUE(d->Form().RBpercAdd->isChecked());
    EXPECT_EQ(d->Form().LBval->text(), "[%]");
    EXPECT_EQ(d->windowTitle(), "Edit Map");
    EXPECT_FALSE(d->Form().RBinterp->isEnabled());  // a 1 x 2 selection
    EXPECT_TRUE(d->Form().TOGBall->isVisible());
    d->Form().NSval->setValue(10.04);
    previewed = Text(1, 1);
    bold = Bold(1, 1);
    red = Red(1, 1);
    d->move(d->pos() + QPoint(40, 30));
    d->Form().CBcancel->click();
  });
  Editor()->OpenValueDialog();
  EXPECT_EQ(previewed, "2.200");
  EXPECT_TRUE(bold);
  EXPECT_FALSE(red);  // a preview is bold black; red marks what the block holds
  EXPECT_EQ(Block(), before);
  EXPECT_EQ(Text(1, 1), "2.000");
  EXPECT_TRUE(Red(1, 1));  // differs from the reference copy
  EXPECT_TRUE(maps::posMpvPanelSet);
  const QPoint remembered = maps::posMpvPanel;

  // Reopened where it was left; the mode buttons switch the number field.
  QPoint shownAt;
  WithDialog([&](maps::MpvDialog* d) {
    shownAt = d->pos();
    d->Form().RBset->click();
    EXPECT_EQ(d->Form().LBval->text(), "[ms]");
    EXPECT_DOUBLE_EQ(d->Form().NSval->value(), 1.0);
    d->Form().RBreset->click();
    EXPECT_FALSE(d->Form().NSval->isEnabled());
    QTest::keyClick(d, Qt::Key_Escape);
  });
  Editor()->OpenValueDialog();
  EXPECT_EQ(shownAt, remembered);
  EXPECT_EQ(Block(), before);
}

TEST_F(MapEditorTest, ContextMenuShowsTheCommandsWithTheirKeys) {
  auto* menu = Editor()->Widget()->findChild<QMenu*>();
  ASSERT_NE(menu, nullptr);
  std::vector<std::pair<std::string, std::string>> items;
  for (QAction* a : menu->actions())
    if (!a->isSeparator())
      items.emplace_back(a->text().toStdString(),
                         a->shortcut().toString(QKeySequence::PortableText).toStdString());
  const std::vector<std::pair<std::string, std::string>> expected{{"Edit Map...", "Ctrl+Return"},
                                                                  {"Undo", "Ctrl+Z"},
                                                                  {"Redo", "Ctrl+Y"},
                                                                  {"Copy", "Ctrl+C"},
                                                                  {"Paste", "Ctrl+V"},
                                                                  {"Compare...", ""},
                                                                  {"Take from comparison", ""},
                                                                  {"Take whole map from comparison", ""},
                                                                  {"Differences...", ""},
                                                                  {"Compare off", ""}};
  EXPECT_EQ(items, expected);
  // The menu's Undo is the editor's.
  Activate(3, 3);
  Key(Qt::Key_Plus);
  menu->actions()[2]->trigger();
  EXPECT_EQ(Raw(1, 0, 2, 3), 0);
}

TEST_F(MapEditorTest, TemperatureAxisOfMap5IsTypedAndPasted) {
  ShowMap(5);
  QTableView* y = P().TABbpy;
  y->setFocus();
  y->setCurrentIndex(y->model()->index(2, 0));
  QTest::keyClicks(y, "1");
  QWidget* editor = QApplication::focusWidget();
  ASSERT_NE(editor, y);
  QTest::keyClicks(editor, "2.5");
  QTest::keyClick(editor, Qt::Key_Return);
  QApplication::processEvents();
  maps::MapPlace p;
  maps::GetMapPlace(5, 0, &p);
  const maps::CellArray axis{ecu::ecuMapData + p.yAxis};
  EXPECT_EQ(axis.Get(2), 125);
  EXPECT_EQ(y->model()->index(2, 0).data().toString(), "12.5");
  EXPECT_EQ(y->model()->index(2, 0).data(Qt::ForegroundRole).value<QColor>(), QColor(0xFF, 0, 0));

  // Copy two points and paste them lower down; a value below -30 is refused.
  y->setFocus();
  y->selectionModel()->select(QItemSelection(y->model()->index(1, 0), y->model()->index(2, 0)),
                              QItemSelectionModel::ClearAndSelect);
  Key(Qt::Key_C, Qt::ControlModifier, y);
  EXPECT_EQ(QApplication::clipboard()->text(), "0.0\n12.5\n");
  y->setCurrentIndex(y->model()->index(10, 0));
  Key(Qt::Key_V, Qt::ControlModifier, y);
  EXPECT_EQ(axis.Get(11), 125);
  QApplication::clipboard()->setText("-31\n");
  Key(Qt::Key_V, Qt::ControlModifier, y);
  EXPECT_EQ(axis.Get(10), 0);
  EXPECT_TRUE(P().TMstatus->text().contains("outside -30 to 250"));
}

TEST_F(MapEditorTest, RightClickOnTheAxisRowAloneHasNothingToEdit) {
  Activate(0, 3);
  RightClick(0, 3);
  ASSERT_FALSE(io.Messages().empty());
  EXPECT_EQ(io.Messages().back().title, "Edit Map");
  EXPECT_EQ(io.Messages().back().text, "No selection...");
}

TEST_F(MapEditorTest, SingleMatrixAlignmentAsksAndCanBeUndone) {
  SetRaw(1, 1, 3, 3, 777);
  Editor()->Rescatter();
  io.confirms.push_back(false);
  P().TBsingleMatEditing->click();
  ASSERT_FALSE(io.log.empty());
  EXPECT_EQ(io.log.back().title, "Matrixes Alignment");
  EXPECT_EQ(io.log.back().text, "WARNING!\n\nAll matrixes, except the first, will be lost!");
  EXPECT_FALSE(P().TBsingleMatEditing->isChecked());
  EXPECT_EQ(Raw(1, 1, 3, 3), 777);

  P().CBcyl->click();
  EXPECT_EQ(maps::idCurJcyl, 1);
  EXPECT_EQ(P().CBcyl->text(), "Cyl. 2");
  io.confirms.push_back(true);
  P().TBsingleMatEditing->click();
  EXPECT_TRUE(P().TBsingleMatEditing->isChecked());
  EXPECT_EQ(maps::idCurJcyl, 0);
  EXPECT_TRUE(P().CBcyl->isHidden());
  EXPECT_EQ(Raw(1, 1, 3, 3), 0);
  // Typing on cylinder 1 keeps cylinder 2 identical.
  Activate(2, 2);
  Type("4.5");
  EXPECT_EQ(Raw(1, 1, 1, 2), 4500);

  Key(Qt::Key_Z, Qt::ControlModifier);
  Key(Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(Raw(1, 1, 3, 3), 777);
  EXPECT_FALSE(maps::SingleMatrixFlag());
  EXPECT_FALSE(P().TBsingleMatEditing->isChecked());
}

TEST_F(MapEditorTest, OneCylinderHidesTheCylinderControls) {
  ecu::ecuParData[maps::kCylinderCountOffset] = 1;
  maps::idCurJcyl = 1;
  Editor()->Rescatter();
  EXPECT_TRUE(P().TBsingleMatEditing->isHidden());
  EXPECT_TRUE(P().CBcyl->isHidden());
  EXPECT_EQ(maps::idCurJcyl, 0);
}

TEST_F(MapEditorTest, CopyAndPasteThroughTheClipboard) {
  SetRaw(1, 0, 0, 0, 1250);
  SetRaw(1, 0, 0, 1, 2500);
  Editor()->Rescatter();
  Activate(1, 0);
  Matrix()->selectionModel()->select(
      QItemSelection(Matrix()->model()->index(0, 0), Matrix()->model()->index(1, 1)),
      QItemSelectionModel::ClearAndSelect);
  Key(Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text(), "500\t1000\n1.250\t2.500\n");

  // A 3 x 4 block from a spreadsheet: one undo step.
  QApplication::clipboard()->setText("1\t2\t3\t4\n5\t6\t7\t8\n9\t10\t11\t12\n");
  const auto before = Block();
  Activate(10, 20);
  Key(Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(P().TMstatus->text(), "Pasted 3 rows x 4 columns.");
  EXPECT_EQ(Raw(1, 0, 9, 20), 1000);
  EXPECT_EQ(Raw(1, 0, 11, 23), 12000);
  EXPECT_TRUE(Red(12, 23));
  Key(Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(Block(), before);

  // Too large, or a value beyond the limits: nothing is pasted.
  Activate(19, 30);
  Key(Qt::Key_V, Qt::ControlModifier);
  EXPECT_TRUE(P().TMstatus->text().startsWith("Nothing pasted: a block of 3 rows x 4 columns does not fit"));
  QApplication::clipboard()->setText("1\t33\n");
  Activate(2, 2);
  Key(Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(P().TMstatus->text().toStdString(),
            "Nothing pasted: 33 (row 1, column 2 of the copied block) is outside 0 to 32.");
  EXPECT_EQ(Block(), before);
  EXPECT_FALSE(Editor()->History().CanUndo() && Block() != before);
}

TEST_F(MapEditorTest, NotesKeepWindows1252AndTheirLimit) {
  P().TBOXnotes->setPlainText(QString::fromUtf8("Ölkühler 90\u00B0C"));
  ASSERT_TRUE(Editor()->Gather());
  EXPECT_EQ(ecu::ecuMapData[maps::kNotesOffset], 0xD6);
  P().TBOXnotes->setPlainText(QString(450, 'x'));
  EXPECT_EQ(P().TBOXnotes->toPlainText().size(), 399);
  // A notes change is a step of the history like any other edit.
  ASSERT_TRUE(Editor()->Gather());
  Key(Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(P().TBOXnotes->toPlainText(), QString::fromUtf8("Ölkühler 90\u00B0C"));
}

TEST_F(MapEditorTest, CtrlEnterOpensTheDialogAndInterpolates) {
  for (int r = 0; r < 3; ++r) {
    SetRaw(1, 0, r, 0, 1000);
    SetRaw(1, 0, r, 2, 3000);
  }
  Editor()->Rescatter();
  Activate(1, 0);
  Matrix()->selectionModel()->select(
      QItemSelection(Matrix()->model()->index(1, 0), Matrix()->model()->index(3, 2)),
      QItemSelectionModel::ClearAndSelect);
  WithDialog([](maps::MpvDialog* d) {
    EXPECT_TRUE(d->Form().RBinterp->isEnabled());
    EXPECT_EQ(d->Form().TMselection->text().toStdString(),
              "9 cells of Injection: Throttle [\u00B0] 0.0 to 4.0, RPM 500 to 1500");
    d->Form().RBinterpRow->click();
    d->Form().CBapply->click();
  });
  Key(Qt::Key_Return, Qt::ControlModifier);
  for (int r = 0; r < 3; ++r) EXPECT_EQ(Raw(1, 0, r, 1), 2000);
  Key(Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(Raw(1, 0, 1, 1), 0);
}

TEST_F(MapEditorTest, LoadAndReceiveOfAMappingEndTheHistory) {
  // Store the mapping, edit it, then a cancelled load keeps the history.
  io.files.push_back({com::FileSelect::New, Path("tune.emd")});
  AnswerDialog("CBmapping");
  Click(F().CBstore);
  Activate(2, 2);
  Key(Qt::Key_Plus);
  ASSERT_TRUE(Editor()->History().CanUndo());
  AnswerDialog("CBmapping");
  Click(F().CBload);  // the file dialog is cancelled
  EXPECT_TRUE(Editor()->History().CanUndo());
  // A loaded configuration does not touch the mapping's history either.
  AnswerDialog("CBconfiguration");
  Click(F().CBload);
  EXPECT_TRUE(Editor()->History().CanUndo());

  io.files.push_back({com::FileSelect::Existing, Path("tune.emd")});
  AnswerDialog("CBmapping");
  Click(F().CBload);
  EXPECT_FALSE(Editor()->History().CanUndo());
  EXPECT_EQ(Raw(1, 0, 1, 2), 0);
  EXPECT_EQ(Text(2, 2), "0.000");

  Key(Qt::Key_Plus);
  ASSERT_TRUE(Editor()->History().CanUndo());
  ASSERT_TRUE(Connect());
  AnswerDialog("CBmapping1");
  Click(F().CBreceive);
  EXPECT_EQ(io.Messages().back().text, "Done!");
  EXPECT_FALSE(Editor()->History().CanUndo());
}

// A graph window as the 2D graph and the 3D plot plug into the editor.
class FakeGraph : public maps::MapGraphView {
 public:
  uint8_t ShowView() override {
    shown = showOk;
    return showOk;
  }
  void HideView() override { shown = false; }
  bool IsViewShown() const override { return shown; }
  uint8_t ScatterView() override {
    ++scatters;
    return scatterOk;
  }
  void ActiveCellChanged() override { ++moves; }
  uint8_t TimerView() override {
    ++ticks;
    return 1;
  }
  bool shown = false;
  uint8_t showOk = 1, scatterOk = 1;
  int scatters = 0, moves = 0, ticks = 0;
};

TEST_F(MapEditorTest, GraphWindowsFollowTheEditor) {
  EXPECT_TRUE(P().CBgraph2D->isEnabled());  // the real windows are attached; stand-ins replace them
  auto owned2D = std::make_unique<FakeGraph>();
  auto owned3D = std::make_unique<FakeGraph>();
  FakeGraph* g2 = owned2D.get();
  FakeGraph* g3 = owned3D.get();
  Editor()->AttachGraph2D(std::move(owned2D));
  Editor()->AttachGraph3D(std::move(owned3D));
  EXPECT_TRUE(P().CBgraph2D->isEnabled());
  Click(P().CBgraph2D);
  Click(P().CBgraph3D);
  ASSERT_TRUE(g2->shown && g3->shown);

  // A scatter redraws both; the 3D plot's result is the scatter's.
  const int before = g2->scatters;
  EXPECT_TRUE(Editor()->Rescatter());
  EXPECT_EQ(g2->scatters, before + 1);
  g3->scatterOk = 0;
  EXPECT_FALSE(Editor()->Rescatter());
  g3->scatterOk = 1;

  // The active cell, the shading, an edit from the graph with its undo step.
  Activate(4, 7);
  EXPECT_GE(g3->moves, 1);
  EXPECT_EQ(Editor()->ActiveCell(), (Mp1Page::Cell{4, 7}));
  Editor()->ShadeCells({{4, 7}, {5, 7}});
  EXPECT_EQ(Data(5, 7, Qt::BackgroundRole).value<QColor>(), QColor(0xC0, 0xC0, 0xC0));
  Editor()->ShadeCells({});
  EXPECT_NE(Data(5, 7, Qt::BackgroundRole).value<QColor>(), QColor(0xC0, 0xC0, 0xC0));
  Editor()->BeginEdit();
  maps::SetCurMap(7, 3, 250, 0, 0, 0, 0, 1);  // as the 2D graph moves a point
  EXPECT_EQ(Text(4, 7), "0.250");
  Key(Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(Raw(1, 0, 3, 7), 0);

  EXPECT_TRUE(window->Pages().Find(shell::PageId::MapEditor)->Timer());
  EXPECT_EQ(g2->ticks, 1);
  // Leaving the editor hides both; a window that fails to come up says so.
  Click(F().CBinfo);
  EXPECT_FALSE(g2->shown || g3->shown);
  Click(F().CBmaps);
  g2->showOk = 0;
  Click(P().CBgraph2D);
  ASSERT_FALSE(io.Messages().empty());
  EXPECT_EQ(io.Messages().back().title, "2D Graph");
  EXPECT_EQ(io.Messages().back().text, "Some error occurred...");
}

// With KESTRA_SCREENSHOTS set to a folder, the editor with some changed cells and the
// value dialog are written there as PNG files (for looking at them, not for checking).
TEST_F(MapEditorTest, Screenshots) {
  const QByteArray dir = qgetenv("KESTRA_SCREENSHOTS");
  if (dir.isEmpty()) GTEST_SKIP() << "KESTRA_SCREENSHOTS not set";
  window->resize(1560, 900);
  window->show();
  for (int r = 0; r < maps::kMapRows; ++r)
    for (int c = 0; c < maps::kMapCols; ++c) SetRaw(1, 0, r, c, static_cast<int16_t>(800 + 40 * r + 25 * c));
  ecu::InitEcuRefData();
  Editor()->Rescatter();
  Activate(6, 9);
  Key(Qt::Key_Plus, Qt::AltModifier);
  Activate(8, 12);
  Type("3.5");
  Activate(7, 10);
  Matrix()->selectionModel()->select(
      QItemSelection(Matrix()->model()->index(7, 10), Matrix()->model()->index(9, 13)),
      QItemSelectionModel::ClearAndSelect);
  QApplication::processEvents();
  window->grab().save(QString::fromUtf8(dir) + "/mapeditor.png");
  for (auto* button : {"RBpercAdd", "RBset", "RBinterp"}) {
    WithDialog([&](maps::MpvDialog* d) {
      d->findChild<QRadioButton*>(button)->click();
      if (std::string(button) == "RBpercAdd") d->Form().NSval->setValue(5.0);
      QApplication::processEvents();
      d->grab().save(QString::fromUtf8(dir) + "/mpvdialog_" + button + ".png");
      if (std::string(button) == "RBpercAdd")
        window->grab().save(QString::fromUtf8(dir) + "/mapeditor_preview.png");
      d->Form().CBcancel->click();
    });
    Editor()->OpenValueDialog();
  }
  ShowMap(2);
  QApplication::processEvents();
  window->grab().save(QString::fromUtf8(dir) + "/mapeditor_map2.png");
}

}  // namespace
}  // namespace kestra_test
