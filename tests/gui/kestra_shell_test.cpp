// Panel framework and shell services of the Kestra window.
#include "kestra_fixture.h"

#include <QLabel>
#include <QProgressBar>
#include <QStackedWidget>

#include "link/utils.h"
#include "shell/panelswitch.h"

namespace kestra_test {
namespace {

using shell::PageId;

TEST_F(KestraWindowTest, ScatterAndGatherRunInTheirOrders) {
  // Pages are registered in start-up order; the protocol has its own orders.
  for (PageId id : {PageId::MapEditor, PageId::MapTuning, PageId::Injection, PageId::Advance, PageId::Param1,
                    PageId::Param2, PageId::Param3, PageId::Lineariz, PageId::CanAcq, PageId::Config})
    AddPage(id);
  Start();
  auto event = [](const char* prefix, PageId id) { return prefix + std::to_string(static_cast<int>(id)); };
  // Scatter all: configuration, CAN acquisition, linearisations, map editor, map
  // tuning, injection, advance, parameter pages 1, 2, 3.
  const std::vector<std::string> scatterAll = {event("S", PageId::Config),    event("S", PageId::CanAcq),
                                               event("S", PageId::Lineariz),  event("S", PageId::MapEditor),
                                               event("S", PageId::MapTuning), event("S", PageId::Injection),
                                               event("S", PageId::Advance),   event("S", PageId::Param1),
                                               event("S", PageId::Param2),    event("S", PageId::Param3)};
  // Gather all: configuration, map editor, injection, advance, CAN acquisition,
  // linearisations, parameter pages 1, 2, 3.
  const std::vector<std::string> gatherAll = {
      event("G", PageId::Config),  event("G", PageId::MapEditor), event("G", PageId::Injection),
      event("G", PageId::Advance), event("G", PageId::CanAcq),    event("G", PageId::Lineariz),
      event("G", PageId::Param1),  event("G", PageId::Param2),    event("G", PageId::Param3)};
  std::vector<std::string> expected = scatterAll;
  expected.insert(expected.end(), gatherAll.begin(), gatherAll.end());
  EXPECT_EQ(trace, expected);  // start-up: scatter all, gather all
  trace.clear();
  EXPECT_EQ(window->Pages().ScatterAllPanels(), 1);
  EXPECT_EQ(trace, scatterAll);
  trace.clear();
  EXPECT_EQ(window->Pages().GatherAllPanels(), 1);
  EXPECT_EQ(trace, gatherAll);

  // A failing scatter does not stop the others; a failing gather stops at once.
  auto* config = static_cast<FakePage*>(window->Pages().Find(PageId::Config));
  config->scatterOk = 0;
  config->gatherOk = 0;
  trace.clear();
  EXPECT_EQ(window->Pages().ScatterAllPanels(), 0);
  EXPECT_EQ(trace, scatterAll);
  trace.clear();
  EXPECT_EQ(window->Pages().GatherAllPanels(), 0);
  EXPECT_EQ(trace, std::vector<std::string>{"G" + std::to_string(static_cast<int>(PageId::Config))});

  // The map editor is not gathered while map tuning is in front.
  config->gatherOk = 1;
  window->Pages().Show(PageId::MapTuning);
  trace.clear();
  EXPECT_EQ(window->Pages().GatherAllPanels(), 1);
  EXPECT_EQ(std::count(trace.begin(), trace.end(), "G" + std::to_string(static_cast<int>(PageId::MapEditor))),
            0);
}

TEST_F(KestraWindowTest, ParametersButtonCyclesThePages) {
  AddPage(PageId::Param1);
  AddPage(PageId::Param2);
  AddPage(PageId::Param3);
  Start();
  EXPECT_TRUE(F().CBparms->isEnabled());
  EXPECT_FALSE(F().CBinj->isEnabled());  // no injection editor in this build
  std::vector<PageId> shown;
  for (int press = 0; press < 3; ++press) {
    Click(F().CBparms);
    shown.push_back(window->Pages().Current());
  }
  EXPECT_EQ(shown, (std::vector<PageId>{PageId::Param1, PageId::Param2, PageId::Param1}));

  // With the DTC page enabled page 3 follows page 2; from another page the last one comes back.
  window->Pages().hooks.enableDtcPage = [] { return uint8_t{1}; };
  Click(F().CBparms);
  Click(F().CBparms);
  EXPECT_EQ(window->Pages().Current(), PageId::Param3);
  Click(F().CBinfo);
  EXPECT_EQ(window->Pages().Current(), PageId::Main);
  EXPECT_EQ(F().STACKpages->currentWidget(), F().PGmain);
  Click(F().CBparms);
  EXPECT_EQ(window->Pages().Current(), PageId::Param3);
  window->Switcher().NextParameterPage();
  EXPECT_EQ(window->Pages().Current(), PageId::Param1);
  EXPECT_TRUE(io.Messages().empty());
}

TEST_F(KestraWindowTest, PanelChangeErrorComesAfterTheSwitch) {
  FakePage* live = AddPage(PageId::Live);
  FakePage* config = AddPage(PageId::Config);
  FakePage* can = AddPage(PageId::CanAcq);
  (void)can;
  Start();
  config->gatherOk = 0;
  // Which page is in front when the message comes.
  io.probe = [this] { return std::to_string(static_cast<int>(window->Pages().Current())); };
  Click(F().CBlive);
  EXPECT_EQ(window->Pages().Current(), PageId::Live);
  EXPECT_EQ(F().STACKpages->currentWidget(), live->Widget());
  ASSERT_EQ(io.Messages().size(), 1u);
  EXPECT_EQ(io.Messages()[0].title, "Panel Change");
  EXPECT_EQ(io.Messages()[0].text, "Some error occurred...");
  EXPECT_EQ(io.Messages()[0].context, std::to_string(static_cast<int>(PageId::Live)));

  // The CAN acquisition warning refused keeps that page in front.
  config->gatherOk = 1;
  window->Pages().Show(PageId::CanAcq);
  window->Pages().hooks.ignoreCaqWarning = [] { return uint8_t{0}; };
  Click(F().CBinfo);
  EXPECT_EQ(window->Pages().Current(), PageId::CanAcq);
}

TEST_F(KestraWindowTest, OnlyDataPagesAreScatteredOnTheirWay) {
  // Every page would fail its scatter; only pages that show the blocks have one.
  const struct {
    PageId page;
    int scatters;
    bool error;
  } cases[] = {{PageId::Injection, 1, true},
               {PageId::Live, 0, false},
               {PageId::Diagnostics, 0, false},
               {PageId::Param1, 1, true}};
  for (const auto& c : cases) AddPage(c.page)->scatterOk = 0;
  Start();
  for (const auto& c : cases) {
    auto* page = static_cast<FakePage*>(window->Pages().Find(c.page));
    const int before = page->scatters;
    io.log.clear();
    window->Switcher().SwitchTo(c.page);
    EXPECT_EQ(window->Pages().Current(), c.page);
    EXPECT_EQ(page->scatters - before, c.scatters) << static_cast<int>(c.page);
    EXPECT_EQ(io.Messages().size(), c.error ? 1u : 0u) << static_cast<int>(c.page);
  }
  io.log.clear();
  Click(F().CBinfo);  // the main panel has no scatter either
  EXPECT_EQ(window->Pages().Current(), PageId::Main);
  EXPECT_TRUE(io.Messages().empty());
}

TEST_F(KestraWindowTest, ServicesOfTheMainPanel) {
  Start();
  com::UserIo& ui = com::Ui();
  ui.ShowConfigName("Track", 1);
  ui.ShowConfigName("Road", 2);
  ui.ShowConfigName("Nowhere", 5);
  EXPECT_EQ(F().TMecuParName->text(), QStringLiteral("Track"));
  EXPECT_EQ(F().TMecuMapName->text(), QStringLiteral("Road"));
  EXPECT_EQ(ui.GetConfigName(1), "Track");
  EXPECT_EQ(ui.GetConfigName(2), "Road");
  EXPECT_EQ(ui.GetConfigName(3), "_Ooops!_");

  window->show();
  ui.SetProgressBar(50, 199);
  EXPECT_TRUE(F().NSprogressBar->isVisible());
  EXPECT_EQ(F().NSprogressBar->value(), 25);  // truncated
  ui.SetProgressBar(0, 0);
  EXPECT_FALSE(F().NSprogressBar->isVisible());

  ui.SetMouseCursor(com::kCursorWait);
  EXPECT_EQ(ui.GetMouseCursor(), com::kCursorWait);
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
  ui.SetMouseCursor(com::kCursorNormal);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(KestraWindowTest, BikeQuestionOffersTheBikesAsButtons) {
  Start();
  shell::QtUserIo real;  // the window's own pop-ups, not the script
  real.Attach(window.get(), F().NSprogressBar, F().TMecuParName, F().TMecuMapName);
  const struct {
    const char* answer;
    int result;
  } cases[] = {{"text:Monster S4R (2007)", 1}, {"text:Hypermotard 1100 (2010)", 2}, {"close", 0}, {"esc", 0}};
  for (const auto& c : cases) {
    AnswerDialog(c.answer);
    EXPECT_EQ(real.ButtonPopup("Align type bike", "Attention:", "Monster S4R (2007)",
                               "Hypermotard 1100 (2010)", ""),
              c.result)
        << c.answer;
  }
}

TEST_F(KestraWindowTest, EventPumpRunsFullyAtMostOncePerSecond) {
  Start();
  double now = 100.0;
  com::SetTimerSource([&now] { return now; });
  int ran = 0;
  uint8_t busyInside = 0;
  auto post = [&] {
    QTimer::singleShot(0, window.get(), [&] {
      ++ran;
      busyInside = shell::CheckfBusy();
    });
  };
  shell::ProcessMyEvents(true);  // a full pump now
  post();
  now += 0.5;
  shell::ProcessMyEvents(false);  // too soon: drawing only
  EXPECT_EQ(ran, 0);
  now += 0.6;
  shell::ProcessMyEvents(false);  // a second has passed
  EXPECT_EQ(ran, 1);
  EXPECT_EQ(busyInside, 1);  // callbacks inside the pump see the busy flag
  EXPECT_EQ(shell::CheckfBusy(), 0);
  post();
  shell::ProcessMyEvents(true);  // forced: always full
  EXPECT_EQ(ran, 2);
  com::SetTimerSource(nullptr);
}

TEST_F(KestraWindowTest, CommandsWaitWhileBusy) {
  AddPage(PageId::Live);
  Start();
  ASSERT_TRUE(Connect());
  shell::fBusy = 1;
  Click(F().CBreceive);
  Click(F().CBlive);
  Click(F().CBexit);
  shell::fBusy = 0;
  EXPECT_TRUE(io.log.empty());
  EXPECT_EQ(window->Pages().Current(), PageId::Main);
  EXPECT_EQ(quits, 0);
}

}  // namespace
}  // namespace kestra_test
