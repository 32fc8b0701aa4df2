// Parameter pages 1-3 in the Kestra window: reached from the main panel, the groups
// that follow the bike, gather with the repairs shown again, the traction-control
// presets and the DTC map files, the CO-correction reset against the simulator.
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileInfo>
#include <QStackedWidget>
#include <QTableWidget>
#include <algorithm>
#include <cstring>

#include "ecudata/fields.h"
#include "kestra_fixture.h"
#include "link/bytes.h"
#include "params/param1.h"
#include "params/param3.h"
#include "params/pr1page.h"
#include "params/pr2page.h"
#include "params/pr3page.h"
#include "shell/commands.h"
#include "shell/panelswitch.h"
#include "ui_param1.h"
#include "ui_param2.h"
#include "ui_param3.h"

namespace kestra_test {
namespace {

using shell::PageId;

constexpr uint32_t kSuperbike1098R2008 = (6u << 16) | (5u << 8) | 8u;  // traction control
constexpr uint32_t kMonsterS4R2007 = (1u << 16) | (10u << 8) | 7u;     // no traction control, CO group

class ParamPagesTest : public KestraWindowTest {
 protected:
  void SetUp() override {
    KestraWindowTest::SetUp();
    params::SetDtcSystemDirectory(DTC_PRESET_DIR);
  }
  void TearDown() override {
    params::SetDtcSystemDirectory("");
    com::Put32LE(ecu::ecuParData + ecu::kParBikeOffset, 0xFF0000);
    KestraWindowTest::TearDown();
  }
  void Bike(uint32_t code) { com::Put32LE(ecu::ecuParData + ecu::kParBikeOffset, code); }
  params::Pr1Page& P1() { return *static_cast<params::Pr1Page*>(window->Pages().Find(PageId::Param1)); }
  params::Pr2Page& P2() { return *static_cast<params::Pr2Page*>(window->Pages().Find(PageId::Param2)); }
  params::Pr3Page& P3() { return *static_cast<params::Pr3Page*>(window->Pages().Find(PageId::Param3)); }
  int16_t Map16(uint32_t offset) const {
    return static_cast<int16_t>(com::Get16LE(ecu::ecuMapData + offset));
  }
};

TEST_F(ParamPagesTest, ReachedFromTheMainPanelAndByTheirPageButtons) {
  Start();
  ASSERT_TRUE(F().CBparms->isEnabled());
  Click(F().CBparms);
  EXPECT_EQ(window->Pages().Current(), PageId::Param1);
  EXPECT_EQ(F().STACKpages->currentWidget(), P1().Widget());
  Click(P1().Form().CBparmPage);
  EXPECT_EQ(window->Pages().Current(), PageId::Param2);
  Click(P2().Form().CBparmPage);
  EXPECT_EQ(window->Pages().Current(), PageId::Param1);  // page 3 is locked
  window->Pages().hooks.enableDtcPage = [] { return uint8_t{1}; };
  Click(P1().Form().CBparmPage);
  Click(P2().Form().CBparmPage);
  EXPECT_EQ(window->Pages().Current(), PageId::Param3);
  Click(P3().Form().CBparmPage);
  EXPECT_EQ(window->Pages().Current(), PageId::Param1);
  // Page 3 locked again (a wrong DTC password): "Parameters" does not bring it back.
  Click(P1().Form().CBparmPage);
  Click(P2().Form().CBparmPage);
  ASSERT_EQ(window->Pages().Current(), PageId::Param3);
  window->Pages().hooks.enableDtcPage = [] { return uint8_t{0}; };
  Click(F().CBinfo);
  Click(F().CBparms);
  EXPECT_EQ(window->Pages().Current(), PageId::Param1);
  EXPECT_TRUE(io.Messages().empty());
}

TEST_F(ParamPagesTest, NumbersShowAPointAndTakeATypedComma) {
  Start();
  Click(F().CBparms);
  // The first shown field with decimals.
  const ecu::Field* field = nullptr;
  QDoubleSpinBox* box = nullptr;
  for (const ecu::Field& f : params::Pr1Fields()) {
    if (f.kind != ecu::FieldKind::Numeric || f.decimals == 0 || f.InTable() || f.Count() != 1) continue;
    box = P1().Widget()->findChild<QDoubleSpinBox*>(QString::fromLatin1(f.control));
    if (box && box->isVisibleTo(P1().Widget())) {
      field = &f;
      break;
    }
  }
  ASSERT_NE(field, nullptr);
  EXPECT_NE(box->text().indexOf('.'), -1) << box->text().toStdString();
  double target = std::clamp(1.5, field->min, field->max) == 1.5 ? 1.5 : field->min;
  if (box->value() == target) target = field->max;
  const QString typed = ecu::FormatShown(*field, target).c_str();
  box->setFocus();
  box->selectAll();
  QTest::keyClicks(box, QString(typed).replace('.', ','));
  QTest::keyClick(box, Qt::Key_Return);
  EXPECT_DOUBLE_EQ(box->value(), target) << typed.toStdString();
  ASSERT_TRUE(P1().Gather());
  EXPECT_DOUBLE_EQ(ecu::GetShown(ecu::ecuMapData, *field), target);
}

TEST_F(ParamPagesTest, GroupsFollowTheBike) {
  Start();
  const struct {
    uint32_t bike;
    bool wheels, fan1, fan2, idling, coc, dtc;
  } cases[] = {
      {kSuperbike1098R2008, true, true, false, true, true, true},               // pattern A
      {kMonsterS4R2007, true, true, false, true, true, false},                  // pattern H
      {(1u << 16) | (6u << 8) | 3u, false, false, false, false, false, false},  // Monster 1000 2003: R
      {(4u << 16) | (2u << 8) | 3u, true, true, false, false, false, false},    // ST4 2003: G
  };
  Click(F().CBparms);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bike);
    Bike(c.bike);
    ASSERT_TRUE(P1().Scatter());
    Ui::Pr1Panel& f = P1().Form();
    QWidget* page = P1().Widget();
    EXPECT_EQ(f.NUMwheelCirc->isVisibleTo(page), c.wheels);
    EXPECT_EQ(f.TMwheels->isVisibleTo(page), c.wheels);
    EXPECT_EQ(f.NUMvalFan1->isVisibleTo(page), c.fan1);
    EXPECT_EQ(f.TMfanControl->isVisibleTo(page), c.fan1);
    EXPECT_EQ(f.NUMvalFan2->isVisibleTo(page), c.fan2);
    EXPECT_EQ(f.NUMidlingRpm1->isVisibleTo(page), c.idling);
    EXPECT_EQ(f.TMidling2->isVisibleTo(page), c.idling);
    EXPECT_EQ(f.CBcocReset->isVisibleTo(page), c.coc);
    EXPECT_EQ(f.TMcoc7->isVisibleTo(page), c.coc);
    EXPECT_EQ(f.RINGtypeDTC->isVisibleTo(page), c.dtc);
    EXPECT_EQ(f.TMdtc->isVisibleTo(page), c.dtc);
    EXPECT_TRUE(f.NUMlimArpm->isVisibleTo(page));
  }
}

TEST_F(ParamPagesTest, HiddenCoGroupIsStillGatheredAndChecked) {
  Bike((1u << 16) | (6u << 8) | 3u);  // no CO correction on this bike
  Start();
  Click(F().CBparms);
  Ui::Pr1Panel& f = P1().Form();
  ASSERT_FALSE(f.NUMcocRpmInf->isVisibleTo(P1().Widget()));
  f.NUMcocRpmInf->setValue(3000);
  f.NUMcocRpmSup->setValue(1500);
  f.NUMvalFan1->setValue(-12.5);
  ASSERT_TRUE(P1().Gather());
  EXPECT_EQ(com::Get16LE(ecu::ecuMapData + 11816), 3000);
  EXPECT_EQ(com::Get16LE(ecu::ecuMapData + 11818), 3000);  // repaired and shown again
  EXPECT_DOUBLE_EQ(f.NUMcocRpmSup->value(), 3000);
  EXPECT_EQ(Map16(params::kFan1), -125);  // a negative threshold is kept as entered
  ASSERT_TRUE(P1().Scatter());
  EXPECT_DOUBLE_EQ(f.NUMvalFan1->value(), -12.5);
}

TEST_F(ParamPagesTest, GatherShowsTheRepairedValues) {
  Start();
  Click(F().CBparms);
  Ui::Pr1Panel& f = P1().Form();
  f.NUMlimArpm->setValue(11000);
  f.NUMlimJrpm->setValue(10500);
  f.NUMlimShiftLight2->setValue(11000);
  f.NUMlimShiftLight1->setValue(10500);
  f.TABpreInj->item(0, 0)->setText("20.0");
  f.TABpreInj->item(0, 1)->setText("10.0");  // lower than its predecessor
  f.TABpreInj->item(1, 0)->setText("1500.0");
  f.TABpreInj->item(1, 1)->setText("900.0");
  ASSERT_TRUE(P1().Gather());
  EXPECT_DOUBLE_EQ(f.NUMlimShiftLight2->value(), 10450);
  EXPECT_DOUBLE_EQ(f.NUMlimShiftLight1->value(), 10400);
  EXPECT_EQ(f.TABpreInj->item(0, 1)->text(), "20.0");
  EXPECT_EQ(f.TABpreInj->item(1, 1)->text(), "1500.0");

  // Page 2: a threshold below its predecessor takes its gain and decay too.
  Click(P1().Form().CBparmPage);
  Ui::Pr2Panel& g = P2().Form();
  g.NUMthrAtransP_1->setValue(10.0);
  g.NUMthrAtransP_2->setValue(5.0);
  g.NUMgainAtransP_1->setValue(1.25);
  g.NUMgainAtransP_2->setValue(2.5);
  g.NUMdecayAtransP_1->setValue(0.5);
  g.NUMdecayAtransP_2->setValue(0.75);
  g.NUMclipJtransP->setValue(1.234);
  ASSERT_TRUE(P2().Gather());
  EXPECT_DOUBLE_EQ(g.NUMthrAtransP_2->value(), 10.0);
  EXPECT_DOUBLE_EQ(g.NUMgainAtransP_2->value(), 1.25);
  EXPECT_DOUBLE_EQ(g.NUMdecayAtransP_2->value(), 0.5);
  EXPECT_EQ(Map16(11596), 1234);  // injection clips keep three decimals
  EXPECT_EQ(g.NUMclipAtransP->decimals(), 1);

  // A cell that does not hold a number cannot be gathered.
  g.TABkAtransRPM->item(1, 3)->setText("abc");
  EXPECT_EQ(P2().Gather(), 0);
}

TEST_F(ParamPagesTest, TypeRingLoadsThePresetAtOnce) {
  Start();
  // The pages' defaults (written at start-up) name no bike: the bike comes afterwards, as
  // from a load, and the pages are scattered again.
  Bike(kSuperbike1098R2008);
  window->Pages().ScatterAllPanels();
  window->Pages().hooks.enableDtcPage = [] { return uint8_t{1}; };
  Click(F().CBparms);
  Ui::Pr1Panel& f = P1().Form();
  ASSERT_TRUE(f.RINGtypeDTC->isVisibleTo(P1().Widget()));
  const int index = f.RINGtypeDTC->findData(2);
  ASSERT_GE(index, 0);
  f.RINGtypeDTC->setCurrentIndex(index);
  emit f.RINGtypeDTC->activated(index);
  EXPECT_TRUE(io.dialogs.empty());
  EXPECT_TRUE(io.Messages().empty());
  QFile file(QStringLiteral(DTC_PRESET_DIR "/sbk1198.fdt"));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray bytes = file.readAll();
  ASSERT_EQ(bytes.size(), 1056);
  EXPECT_EQ(std::memcmp(ecu::ecuMapData + params::kDtcKjBlock, bytes.constData(), 608), 0);
  EXPECT_EQ(std::memcmp(ecu::ecuMapData + params::kDtcLevels, bytes.constData() + 608, 448), 0);
  // Page 3 shows it already; the ring's choice is kept by the next gather.
  const double cell =
      com::Get16LE(reinterpret_cast<const uint8_t*>(bytes.constData()) + 2 * (7 * 16 + 15)) / 1000.0;
  EXPECT_EQ(P3().Form().TABmapKjDtc->item(8, 16)->text(), QString::number(cell, 'f', 3));
  Click(P1().Form().CBparmPage);
  EXPECT_EQ(ecu::ecuMapData[params::kTypeDtc], 2);

  // Switching traction control off dims the level.
  window->Switcher().SwitchTo(PageId::Param1);
  ASSERT_TRUE(f.TBenableDTC->isChecked());
  f.TBenableDTC->click();
  EXPECT_FALSE(f.TBenableDTC->isChecked());
  EXPECT_EQ(ecu::ecuMapData[params::kEnableDtc], 0);
  EXPECT_FALSE(f.RINGlevelDTC->isEnabled());
}

TEST_F(ParamPagesTest, RingKeepsAByteItDoesNotList) {
  Bike(kSuperbike1098R2008);
  Start();
  Click(F().CBparms);
  ecu::ecuMapData[params::kLevelDtc] = 17;
  ASSERT_TRUE(P1().Scatter());
  EXPECT_EQ(P1().Form().RINGlevelDTC->currentText(), "17 (not listed)");
  ecu::ecuMapData[params::kLevelDtc] = 0;
  ASSERT_TRUE(P1().Gather());
  EXPECT_EQ(ecu::ecuMapData[params::kLevelDtc], 17);
}

TEST_F(ParamPagesTest, MissingPresetLeavesTheMaps) {
  Bike(kSuperbike1098R2008);
  params::SetDtcSystemDirectory(Path("nothing-here"));
  Start();
  Click(F().CBparms);
  const std::vector<uint8_t> before(ecu::ecuMapData, ecu::ecuMapData + ecu::kMapSize);
  emit P1().Form().RINGtypeDTC->activated(1);
  ASSERT_EQ(io.Messages().size(), 1u);
  EXPECT_EQ(io.Messages()[0].title, "Load DTC Map");
  EXPECT_EQ(io.Messages()[0].text.rfind("Some error occurred...", 0), 0u);
  EXPECT_EQ(std::memcmp(before.data(), ecu::ecuMapData, ecu::kMapSize), 0);
}

TEST_F(ParamPagesTest, DtcPageRepairsAndFiles) {
  Start();
  window->Pages().hooks.enableDtcPage = [] { return uint8_t{1}; };
  window->Switcher().SwitchTo(PageId::Param3);
  Ui::Pr3Panel& f = P3().Form();
  QTableWidget* kj = f.TABmapKjDtc;
  for (int c = 1; c <= 16; ++c) kj->item(0, c)->setText(QString::number(1000 * c));
  for (int r = 1; r <= 8; ++r) {
    kj->item(r, 0)->setText(QString::number(2.0 * r, 'f', 1));
    kj->item(r, 4)->setText("0.900");
  }
  kj->item(0, 5)->setText("3500");  // below column 4 (4000)
  ASSERT_TRUE(P3().Gather());
  EXPECT_EQ(kj->item(0, 5)->text(), "4000");
  for (int r = 1; r <= 8; ++r) EXPECT_EQ(kj->item(r, 5)->text(), "0.900") << r;
  // The level table: one record per row, in the columns of the record.
  f.TABlevelDtc->item(3, 0)->setText("7");
  f.TABlevelDtc->item(3, 1)->setText("85.5");
  f.TABlevelDtc->item(3, 10)->setText("25");  // beyond the range: clamped
  ASSERT_TRUE(P3().Gather());
  EXPECT_EQ(ecu::ecuMapData[params::kDtcLevels + 3 * 14 + 12], 7);
  EXPECT_EQ(com::Get16LE(ecu::ecuMapData + params::kDtcLevels + 3 * 14), 855);
  EXPECT_EQ(ecu::ecuMapData[params::kDtcLevels + 3 * 14 + 11], 20);

  // Store under a name without extension, then load it back through the dialog.
  const std::string stored = Path("mine");
  io.files.push_back({com::FileSelect::New, stored});
  Click(f.CBdtcMapStore);
  ASSERT_TRUE(QFile::exists(QString::fromStdString(stored + ".fdt")));
  EXPECT_EQ(QFileInfo(QString::fromStdString(stored + ".fdt")).size(), 1056);
  EXPECT_EQ(io.dialogs.back().title, "Store DTC Map");
  kj->item(2, 2)->setText("0.123");
  ASSERT_TRUE(P3().Gather());
  io.files.push_back({com::FileSelect::Existing, stored + ".fdt"});
  Click(f.CBdtcMapLoad);
  EXPECT_EQ(io.dialogs.back().title, "Load DTC Map");
  EXPECT_EQ(kj->item(2, 2)->text(), "1.000");
  EXPECT_TRUE(io.Messages().empty());

  // A shipped preset is never overwritten in place.
  const std::string preset = params::DtcPresetPath(1);
  QFile presetFile(QString::fromStdString(preset));
  ASSERT_TRUE(presetFile.open(QIODevice::ReadOnly));
  const QByteArray presetBytes = presetFile.readAll();
  presetFile.close();
  kj->item(2, 2)->setText("0.777");
  io.files.push_back({com::FileSelect::Existing, preset});
  Click(f.CBdtcMapStore);
  ASSERT_EQ(io.Messages().size(), 1u);
  EXPECT_EQ(io.Messages()[0].title, "Store DTC Map");
  EXPECT_NE(io.Messages()[0].text.find("shipped with the program"), std::string::npos);
  ASSERT_TRUE(presetFile.open(QIODevice::ReadOnly));
  EXPECT_EQ(presetFile.readAll(), presetBytes);
}

TEST_F(ParamPagesTest, CoCorrectionResetOverTheLink) {
  Bike(kMonsterS4R2007);
  Start();
  Click(F().CBparms);
  P1().Form().CBcocReset->click();
  ASSERT_EQ(io.Messages().size(), 1u);
  EXPECT_EQ(io.Messages()[0].title, "CO-correction");
  EXPECT_EQ(io.Messages()[0].text, "COMM error...");
  ASSERT_TRUE(Connect());
  io.log.clear();
  P1().Form().CBcocReset->click();
  EXPECT_TRUE(io.Messages().empty());
  EXPECT_EQ(device.cocResets, 1);
  // Ignored while a transfer pumps events.
  shell::fBusy = 1;
  P1().Form().CBcocReset->click();
  shell::fBusy = 0;
  EXPECT_EQ(device.cocResets, 1);
}

// Pictures of the three pages for a bike with traction control and one without, when
// KESTRA_SHOT_DIR names a folder (run under a real display server for real fonts).
TEST_F(ParamPagesTest, Screenshots) {
  const QString dir = qEnvironmentVariable("KESTRA_SHOT_DIR");
  if (dir.isEmpty()) GTEST_SKIP() << "KESTRA_SHOT_DIR not set";
  Start();
  window->resize(1600, 1000);
  window->show();
  window->Pages().hooks.enableDtcPage = [] { return uint8_t{1}; };
  ASSERT_TRUE(Connect());
  AnswerDialog("CBmapping1");
  window->Cmds().Receive();
  for (const auto& [bike, name] :
       {std::pair{kSuperbike1098R2008, "dtc"}, std::pair{kMonsterS4R2007, "nodtc"}}) {
    Bike(bike);
    if (bike == kSuperbike1098R2008) {
      window->Switcher().SwitchTo(PageId::Param1);
      P1().Form().RINGtypeDTC->setCurrentIndex(2);
      emit P1().Form().RINGtypeDTC->activated(2);
    }
    for (PageId page : {PageId::Param1, PageId::Param2, PageId::Param3}) {
      window->Switcher().SwitchTo(PageId::Main);
      window->Switcher().SwitchTo(page);
      QApplication::processEvents();
      const QString file =
          QStringLiteral("%1/page%2-%3.png").arg(dir).arg(static_cast<int>(page) - 5).arg(name);
      EXPECT_TRUE(window->grab().save(file));
    }
  }
}

}  // namespace
}  // namespace kestra_test
