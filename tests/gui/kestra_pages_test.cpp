// The configuration, CAN acquisition and linearisation pages in the Kestra window,
// against the in-process ECU simulator.
#include "kestra_fixture.h"

#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTableWidget>
#include <cstring>

#include "canacq/caqpage.h"
#include "config/cfgdata.h"
#include "config/cfgpanel.h"
#include "ecudata/ecudata.h"
#include "link/bytes.h"
#include "link/commands.h"
#include "live/lineariz.h"
#include "live/lnrpage.h"
#include "shell/commands.h"
#include "shell/panelswitch.h"
#include "ui_canacq.h"
#include "ui_config.h"
#include "ui_lineariz.h"

namespace kestra_test {
namespace {

using shell::PageId;

int16_t At(uint32_t offset, int i) {
  return static_cast<int16_t>(com::Get16LE(ecu::ecuParData + offset + 2 * i));
}

class PagesTest : public KestraWindowTest {
 protected:
  void SetUp() override {
    KestraWindowTest::SetUp();
    canacq::SetCanLabelPath(QString::fromStdString(Path("canlabel.ini")));
  }
  void TearDown() override {
    canacq::SetCanLabelPath(QString());
    KestraWindowTest::TearDown();
  }

  config::CfgPage& Cfg() { return *dynamic_cast<config::CfgPage*>(window->Pages().Find(PageId::Config)); }
  canacq::CaqPage& Caq() { return *dynamic_cast<canacq::CaqPage*>(window->Pages().Find(PageId::CanAcq)); }
  live::LnrPage& Lnr() { return *dynamic_cast<live::LnrPage*>(window->Pages().Find(PageId::Lineariz)); }

  // Picks a bike on the configuration page as the user does: family, model, year in turn.
  void ChooseBike(int family, int model, int year) {
    Ui::CfgPanel& f = Cfg().Form();
    for (auto [ring, value] : {std::pair{f.RINGtypeBikeFamily, family}, std::pair{f.RINGtypeBikeModel, model},
                               std::pair{f.RINGtypeBikeYear, year}}) {
      const int index = ring->findData(value);
      ASSERT_GE(index, 0) << ring->objectName().toStdString() << " " << value;
      ring->setCurrentIndex(index);
      emit ring->activated(index);
    }
  }

  static void SetCell(QTableWidget* table, int row, int column, const QString& text) {
    table->item(row, column)->setText(text);
  }
};

TEST_F(PagesTest, SendRefusesTheChosenBikeOnOldHardware) {
  device.identity.hardware = {1, 0, 0, 0};
  Start();
  Click(F().CBconfig);
  ASSERT_EQ(window->Pages().Current(), PageId::Config);
  // Multistrada 1100 2007 has fuel control and a reserve sensor.
  ChooseBike(2, 2, 7);
  EXPECT_EQ(config::GetBikeCode(ecu::ecuParData), 0x020207u);
  EXPECT_EQ(config::fFuelControl, 1);
  EXPECT_EQ(config::fFuelReserve, 1);
  EXPECT_TRUE(io.Messages().empty());
  ASSERT_TRUE(Connect());
  AnswerDialog("CBconfiguration");
  Click(F().CBsend);
  auto messages = io.Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].title, "Send");
  EXPECT_EQ(messages[0].text, "The configuration bike selected is not compatible with the ECU hardware!");
  EXPECT_EQ(device.received[com::BeginWrite], 0);

  // A Monster S4R 2007 has neither: it is sent.
  ChooseBike(1, 10, 7);
  EXPECT_EQ(config::fFuelControl, 0);
  io.log.clear();
  AnswerDialog("CBconfiguration");
  Click(F().CBsend);
  messages = io.Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "Done!");
  EXPECT_EQ(device.uploadsAccepted, 1);
  EXPECT_EQ(config::GetBikeCode(device.parBlock.data()), 0x010A07u);
}

TEST_F(PagesTest, ConfigurationPageFollowsTheBike) {
  Start();
  Ui::CfgPanel& f = Cfg().Form();
  // "Not set": "-undefined-" and empty model and year rings.
  EXPECT_EQ(f.RINGtypeBikeFamily->currentText(), "-undefined-");
  EXPECT_EQ(f.RINGtypeBikeModel->count(), 1);
  EXPECT_EQ(f.RINGtypeBikeModel->currentText(), "");
  EXPECT_EQ(f.RINGtypeBikeYear->currentText(), "");

  Click(F().CBconfig);
  // Choosing a family whose lists lack the model or year stops after re-filling the rings.
  const int monster = f.RINGtypeBikeFamily->findData(1);
  f.RINGtypeBikeFamily->setCurrentIndex(monster);
  emit f.RINGtypeBikeFamily->activated(monster);
  EXPECT_EQ(f.RINGtypeBikeModel->currentText(), "400");
  EXPECT_EQ(f.RINGtypeBikeYear->currentText(), "2003");
  EXPECT_EQ(config::GetBikeCode(ecu::ecuParData), config::kBikeNotSet);  // no gather yet
  EXPECT_EQ(f.RINGtypeBikeYear->findData(6), -1);                        // Monster 400 has no 2006
  EXPECT_EQ(f.RINGtypeBikeFamily->findData(255), -1);

  // Monster S4R 2007: idle control, one injector per cylinder, no dashboard.
  ChooseBike(1, 10, 7);
  EXPECT_EQ(config::fTempIsOil, 1);
  EXPECT_FALSE(f.GRPidling->isHidden());
  EXPECT_TRUE(f.GRPdoubleInj->isHidden());
  EXPECT_TRUE(f.NUMkInjBratio->isHidden());
  EXPECT_TRUE(f.GRPdash->isHidden());
  EXPECT_TRUE(f.TABoffsVbat->isRowHidden(2));
  // The family changes, the model index 10 does not exist there: the rings show the
  // first entries and the next gather stores them.
  const int superbike = f.RINGtypeBikeFamily->findData(6);
  f.RINGtypeBikeFamily->setCurrentIndex(superbike);
  emit f.RINGtypeBikeFamily->activated(superbike);
  EXPECT_EQ(f.RINGtypeBikeModel->currentText(), "749");
  EXPECT_EQ(config::GetBikeCode(ecu::ecuParData), 0x010A07u);
  ASSERT_TRUE(window->Pages().GatherAllPanels());
  EXPECT_EQ(config::GetBikeCode(ecu::ecuParData), 0x060003u);

  // Where the new family has the model and the year, they are kept.
  ChooseBike(1, 1, 5);  // Monster 620 2005
  const int multistrada = f.RINGtypeBikeFamily->findData(2);
  f.RINGtypeBikeFamily->setCurrentIndex(multistrada);
  emit f.RINGtypeBikeFamily->activated(multistrada);
  EXPECT_EQ(f.RINGtypeBikeModel->currentText(), "1000");
  EXPECT_EQ(f.RINGtypeBikeYear->currentText(), "2005");
  EXPECT_EQ(config::GetBikeCode(ecu::ecuParData), 0x020105u);
  EXPECT_EQ(config::fFuelControl, 1);  // Multistrada 1000: pattern J

  // A code outside the catalogue (a Monster 400 of 2006 from a file) is shown as it
  // is and stored back unchanged; the flags keep the last bike's.
  config::PutBikeCode(ecu::ecuParData, 0x010006);
  ASSERT_TRUE(window->Pages().ScatterAllPanels());
  EXPECT_EQ(f.RINGtypeBikeModel->currentText(), "400");
  EXPECT_EQ(f.RINGtypeBikeYear->currentText(), "2006 (not listed)");
  EXPECT_EQ(config::fFuelControl, 1);
  ASSERT_TRUE(window->Pages().GatherAllPanels());
  EXPECT_EQ(config::GetBikeCode(ecu::ecuParData), 0x010006u);

  // Superbike 1098R 2008: two injectors, dashboard, water.
  ChooseBike(6, 5, 8);
  EXPECT_EQ(config::fTempIsOil, 0);
  EXPECT_FALSE(f.GRPdoubleInj->isHidden());
  EXPECT_FALSE(f.TABoffsVbat->isRowHidden(2));
  EXPECT_FALSE(f.GRPdash->isHidden());
  EXPECT_TRUE(io.Messages().empty());
}

TEST_F(PagesTest, ConfigurationGatherRoundsSortsAndKeepsTheGeometry) {
  Start();
  Click(F().CBconfig);
  ChooseBike(6, 5, 8);
  Ui::CfgPanel& f = Cfg().Form();
  // A file's geometry and constants are replaced by the built-in ones on every gather.
  std::memset(ecu::ecuParData + 1160, 0xEE, 27);
  ecu::ecuParData[1216] = 9;
  for (int c = 0; c < 16; ++c) {
    SetCell(f.TABdwell, 0, c, QString::number(6 + c));
    SetCell(f.TABdwell, 1, c, QStringLiteral("4.000"));
  }
  SetCell(f.TABdwell, 0, 0, QStringLiteral("20.05"));  // above point 2: repaired
  SetCell(f.TABdwell, 1, 0, QStringLiteral("3.25"));
  SetCell(f.TABoffsVbat, 2, 4, QStringLiteral("0.5"));
  f.NUMidlKp->setValue(1.5);
  f.STRdashTitle->setText(QString::fromUtf8("Größe"));
  f.TBOXnotes->setPlainText(QString::fromUtf8("Jetting: 2 € steps"));
  f.TBdropSwitchOn->setChecked(true);
  ASSERT_TRUE(window->Pages().GatherAllPanels());
  EXPECT_EQ(com::Get16LE(ecu::ecuParData + 1160), 3300);
  EXPECT_EQ(At(1164, 0), 2700);
  EXPECT_EQ(ecu::ecuParData[1180], 2);
  EXPECT_EQ(ecu::ecuParData[1181], 48);
  EXPECT_EQ(ecu::ecuParData[1216], 2);
  EXPECT_EQ(ecu::ecuParData[1211], 1);
  EXPECT_EQ(At(config::kDwellVolts, 0), 200);  // 20.0 at most
  EXPECT_EQ(At(config::kDwellVolts, 1), 200);  // 7.0 was below 20.0: copied
  EXPECT_EQ(At(config::kDwellTimes, 1), 3250);
  EXPECT_EQ(At(config::kOffsB, 4), 500);
  EXPECT_EQ(com::Get32LE(ecu::ecuParData + 1136), 98304u);
  EXPECT_EQ(ecu::ecuParData[1187 + 2], 0xF6);  // ö in Windows-1252
  EXPECT_EQ(config::GetNotes(ecu::ecuParData), "Jetting: 2 € steps");
  // The repaired table is shown again.
  EXPECT_EQ(f.TABdwell->item(0, 1)->text(), "20.0");
  EXPECT_EQ(f.STRdashTitle->text(), QString::fromUtf8("Größe"));
}

TEST_F(PagesTest, CanPageDefaultsLabelsAndEdits) {
  QFile labels(QString::fromStdString(Path("canlabel.ini")));
  ASSERT_TRUE(labels.open(QIODevice::WriteOnly));
  labels.write("RPM;TPS\n\n\nSpeed;Gear;Fuel;Errors\n");
  labels.close();
  Start();
  Ui::CaqPanel& f = Caq().Form();
  for (int n = 1; n <= 20; ++n) {
    auto* id = f.CAQcontent->findChild<QSpinBox*>(QStringLiteral("NUMcanId%1").arg(n));
    auto* rate = f.CAQcontent->findChild<QComboBox*>(QStringLiteral("RINGfreqId%1").arg(n));
    ASSERT_TRUE(id && rate);
    EXPECT_EQ(id->value(), 512 + 4 * (n - 1));
    EXPECT_EQ(rate->currentText(), "200 Hz");
    EXPECT_EQ(id->minimum(), 0x100);
    EXPECT_EQ(id->maximum(), 0x7FF);
  }
  EXPECT_EQ(f.TMch1_1->text(), "RPM");
  EXPECT_EQ(f.TMch2_1->text(), "TPS");
  EXPECT_EQ(f.TMch3_1->text(), "?");
  EXPECT_EQ(f.TMch1_2->text(), "?");
  EXPECT_EQ(f.TMch4_4->text(), "Errors");
  EXPECT_EQ(f.TMch1_5->text(), "?");
  EXPECT_EQ(f.TMcanHex1->text(), "0x200");

  // Edited identifiers and rates are what the block keeps.
  f.NUMcanId3->setValue(0x310);
  f.RINGfreqId3->setCurrentIndex(f.RINGfreqId3->findData(4));
  f.RINGfreqId20->setCurrentIndex(f.RINGfreqId20->findData(0));
  ASSERT_TRUE(window->Pages().GatherAllPanels());
  EXPECT_EQ(com::Get16LE(ecu::ecuParData + 1232 + 4), (4 << 11) | 0x310);
  EXPECT_EQ(com::Get16LE(ecu::ecuParData + 1232 + 38), 0x24C);
  EXPECT_EQ(f.TMcanHex3->text(), "0x310");
  EXPECT_FALSE(f.NUMcanId20->isEnabled());  // "Off"

  // A block word outside the control's range and not edited comes back unchanged.
  com::Put16LE(ecu::ecuParData + 1232 + 10, 0x0050);
  ASSERT_TRUE(window->Pages().ScatterAllPanels());
  ASSERT_TRUE(window->Pages().GatherAllPanels());
  EXPECT_EQ(com::Get16LE(ecu::ecuParData + 1232 + 10), 0x0050);
}

TEST_F(PagesTest, ConfigurationButtonPagesAndTheCanWarning) {
  Start();
  EXPECT_TRUE(F().CBconfig->isEnabled());
  EXPECT_TRUE(F().CBlineariz->isEnabled());
  Click(F().CBconfig);
  EXPECT_EQ(window->Pages().Current(), PageId::Config);
  Click(F().CBconfig);
  EXPECT_EQ(window->Pages().Current(), PageId::CanAcq);
  Click(Caq().Form().CBmapsPage);
  EXPECT_EQ(window->Pages().Current(), PageId::Config);
  Click(Cfg().Form().CBmapsPage);
  EXPECT_EQ(window->Pages().Current(), PageId::CanAcq);
  Click(F().CBinfo);
  Click(F().CBconfig);  // the last page of the group comes back
  EXPECT_EQ(window->Pages().Current(), PageId::CanAcq);

  // Two active frames with one identifier: leaving asks; "no" keeps the page.
  Ui::CaqPanel& f = Caq().Form();
  f.NUMcanId2->setValue(0x200);
  Click(F().CBinfo);
  ASSERT_EQ(io.log.size(), 1u);
  EXPECT_EQ(io.log[0].kind, "confirm");
  EXPECT_EQ(io.log[0].title, "Warning!");
  EXPECT_EQ(io.log[0].text, "Active CAN-frames with duplicate IDs.\nIgnore?");
  EXPECT_EQ(window->Pages().Current(), PageId::CanAcq);
  // Store of the configuration ends quietly when the warning is refused.
  io.log.clear();
  AnswerDialog("CBconfiguration");
  Click(F().CBstore);
  ASSERT_EQ(io.log.size(), 2u);
  EXPECT_EQ(io.log[1].kind, "confirm");
  EXPECT_TRUE(io.dialogs.empty());
  // One of them off: no question.
  f.RINGfreqId2->setCurrentIndex(0);
  io.log.clear();
  Click(F().CBinfo);
  EXPECT_TRUE(io.log.empty());
  EXPECT_EQ(window->Pages().Current(), PageId::Main);
}

TEST_F(PagesTest, LinearisationTablesStackByTheEquipment) {
  Start();
  Click(F().CBconfig);
  ChooseBike(1, 10, 7);  // Monster S4R 2007: oil, analogue air, lambda 1
  Click(F().CBlineariz);
  ASSERT_EQ(window->Pages().Current(), PageId::Lineariz);
  Ui::LnrPanel& f = Lnr().Form();
  auto shown = [&f] {
    std::vector<std::string> names;
    for (const live::LnrTable& t : live::LnrTables())
      if (!f.LNRcontent->findChild<QWidget*>(QStringLiteral("GRP") + t.control)->isHidden())
        names.push_back(t.control);
    return names;
  };
  EXPECT_EQ(shown(), (std::vector<std::string>{"TABfarf", "TABtoil", "TABtair", "TABpAir", "TABnbego1"}));
  EXPECT_TRUE(f.GRPpercFuelReserve->isHidden());

  // Multistrada 1000 2004: fuel level and the reserve percentage, last.
  Click(F().CBconfig);
  ChooseBike(2, 1, 4);
  Click(F().CBlineariz);
  EXPECT_EQ(shown(), (std::vector<std::string>{"TABfarf", "TABtoil", "TABnbego1", "TABfuelLevel"}));
  EXPECT_FALSE(f.GRPpercFuelReserve->isHidden());
  // Hidden tables keep their values: the coolant table is gathered as it was.
  com::Put16LE(ecu::ecuParData + 624 + 6, 345);
  ASSERT_TRUE(window->Pages().ScatterAllPanels());
  ASSERT_TRUE(window->Pages().GatherAllPanels());
  EXPECT_EQ(At(624, 3), 345);
  EXPECT_TRUE(io.Messages().empty());
}

TEST_F(PagesTest, LinearisationGatherFixesThrottleAndSorts) {
  Start();
  Click(F().CBlineariz);
  Ui::LnrPanel& f = Lnr().Form();
  for (int c = 0; c < 16; ++c) {
    SetCell(f.TABfarf, 1, c, QString::number(100 + 50 * c));
    SetCell(f.TABth2o, 0, c, QString::number(10 * c + 10));
    SetCell(f.TABth2o, 1, c, QString::number(c));
  }
  SetCell(f.TABth2o, 0, 1, QStringLiteral("30"));
  SetCell(f.TABth2o, 0, 2, QStringLiteral("20"));
  SetCell(f.TABth2o, 1, 1, QStringLiteral("-12.3"));
  SetCell(f.TABfarf, 2, 5, QStringLiteral("55.5"));   // fixed output
  SetCell(f.TABpAir, 1, 0, QStringLiteral("12000"));  // above 10000
  f.NUMpercFuelReserve->setValue(12.5);
  ASSERT_TRUE(window->Pages().GatherAllPanels());
  EXPECT_EQ(At(624, 1), 30);
  EXPECT_EQ(At(624, 2), 30);
  EXPECT_EQ(At(592, 2), -123);
  EXPECT_EQ(At(592, 1), -123);
  EXPECT_EQ(At(528, 5), 333);
  EXPECT_EQ(At(784, 0), 10000);
  EXPECT_EQ(com::Get16LE(ecu::ecuParData + 1202), 125);
  // Shown again after the repair.
  EXPECT_EQ(f.TABth2o->item(0, 2)->text(), "30");
  EXPECT_EQ(f.TABfarf->item(2, 5)->text(), "33.3");

  // A cell that does not hold a number fails the gather, and nothing of the page
  // reaches the block, not even the tables read before it.
  SetCell(f.TABfarf, 1, 3, QStringLiteral("299"));
  SetCell(f.TABnbego2, 1, 3, QStringLiteral("lean"));
  EXPECT_EQ(window->Pages().GatherAllPanels(), 0);
  EXPECT_EQ(At(560, 3), 250);
  SetCell(f.TABnbego2, 1, 3, QStringLiteral("0"));

  // Interpolation fills columns 2 to 15 of the input row from the first and last.
  SetCell(f.TABfarf, 1, 0, QStringLiteral("200"));
  SetCell(f.TABfarf, 1, 15, QStringLiteral("950"));
  Click(f.CBinterpFarf);
  EXPECT_EQ(f.TABfarf->item(1, 1)->text(), "250");
  EXPECT_EQ(f.TABfarf->item(1, 14)->text(), "900");
  EXPECT_EQ(At(560, 1), 150);  // only the table changed
}

TEST_F(PagesTest, ThrottleSettingWithTheSimulator) {
  Start();
  Click(F().CBlineariz);
  for (int i = 0; i < 16; ++i)
    com::Put16LE(ecu::ecuParData + 560 + 2 * i, static_cast<uint16_t>(100 + 50 * i));
  ASSERT_TRUE(window->Pages().ScatterAllPanels());
  Ui::LnrPanel& f = Lnr().Form();
  // With the port closed the button is dimmed, and a reading says "COMM error...".
  Lnr().Timer();
  EXPECT_FALSE(f.CBcalibrationFarf->isEnabled());
  Lnr().ReadFarfColumn(2);
  ASSERT_EQ(io.Messages().size(), 1u);
  EXPECT_EQ(io.Messages()[0].text, "COMM error...");

  ASSERT_TRUE(Connect());
  Lnr().Timer();
  EXPECT_TRUE(f.CBcalibrationFarf->isEnabled());
  // A double click on the header row reads that column.
  emit f.TABfarf->cellDoubleClicked(0, 7);
  emit f.TABfarf->cellDoubleClicked(1, 8);  // other rows are edited, not read
  EXPECT_EQ(f.TABfarf->item(1, 8)->text(), "500");
  EXPECT_EQ(f.TABfarf->item(1, 7)->text(), QString::number(sim::AppDevice::kThrottleIdle));
  // A reading that gets one byte fails with the generic error; the block is untouched.
  io.log.clear();
  device.throttleReply = sim::AppDevice::ThrottleReply::OneByte;
  AnswerDialog("CBset");
  AnswerDialog("CBcancel");
  Click(f.CBcalibrationFarf);
  ASSERT_EQ(io.Messages().size(), 1u);
  EXPECT_EQ(io.Messages()[0].title, "Throttle Setting");
  EXPECT_EQ(io.Messages()[0].text, "Some error occurred...");
  EXPECT_EQ(At(560, 0), 100);

  // Idle 100, full 900, over inputs that would all fall below the new idle one: the new
  // inputs are in place before the sorting, and the outputs keep their fixed steps.
  io.log.clear();
  device.throttleReply = sim::AppDevice::ThrottleReply::Count;
  device.throttleCounts = {100, 100, 100, 100, 899, 901, 900, 900};
  device.throttleReadings = 0;
  for (int c = 1; c < 15; ++c) SetCell(f.TABfarf, 1, c, QStringLiteral("0"));
  SetCell(f.TABth2o, 1, 0, QStringLiteral("7.5"));  // an edit of another table is kept
  AnswerDialog("CBset");
  AnswerDialog("CBset");
  Click(f.CBcalibrationFarf);
  EXPECT_TRUE(io.Messages().empty());
  const int16_t expected[16] = {100, 153, 206, 260, 313, 366, 420, 473,
                                526, 580, 633, 686, 740, 793, 846, 900};
  for (int i = 0; i < 16; ++i) EXPECT_EQ(At(560, i), expected[i]) << i;
  EXPECT_EQ(f.TABfarf->item(1, 3)->text(), "260");
  for (int c = 0; c < 4; ++c)
    EXPECT_EQ(f.TABfarf->item(2, c)->text(), QStringList({"0.0", "6.7", "13.3", "20.0"})[c]) << c;
  EXPECT_EQ(At(592, 0), 75);
  EXPECT_FALSE(Lnr().ThrottleDialog()->isVisible());

  // A full-open reading that is not above the idle one is refused; the pop-up stays.
  io.log.clear();
  device.throttleCounts = {100, 100, 100, 100, 90, 90, 90, 90};
  device.throttleReadings = 0;
  io.confirms.push_back(true);  // "Possible error": continue
  AnswerDialog("CBset");
  AnswerDialog("CBset");
  AnswerDialog("CBcancel");
  Click(f.CBcalibrationFarf);
  ASSERT_EQ(io.Messages().size(), 1u);
  EXPECT_EQ(io.Messages()[0].title, "Warning!");
  EXPECT_EQ(io.Messages()[0].text, live::szFullNotAboveIdle);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(At(560, i), expected[i]) << i;

  // An idle reading far from the first input asks; "no" closes the pop-up untouched.
  io.log.clear();
  device.throttleCounts = {600};
  AnswerDialog("CBset");
  Click(f.CBcalibrationFarf);
  ASSERT_EQ(io.log.size(), 2u);
  EXPECT_EQ(io.log[1].kind, "confirm");
  EXPECT_EQ(io.log[1].text, "Possible error\nContinue?");
  EXPECT_EQ(At(560, 0), 100);
  EXPECT_FALSE(Lnr().ThrottleDialog()->isVisible());

  // The header row reads one column.
  Lnr().ReadFarfColumn(4);
  EXPECT_EQ(f.TABfarf->item(1, 4)->text(), "600");
}

}  // namespace
}  // namespace kestra_test
