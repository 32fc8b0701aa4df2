#include "shell/mainwindow.h"

#include "logs/ui/logspage.h"

#include <QCloseEvent>
#include <QFont>
#include <QScreen>
#include <QTimer>

#include "ecudata/ecudata.h"
#include "ecudata/files.h"
#include "ecudata/info.h"
#include "ecudata/init.h"
#include "link/com.h"
#include "protect/pwddialog.h"
#include "shell/commands.h"
#include "shell/connection.h"
#include "shell/connectnotice.h"
#include "maps/ui/mapcompare.h"
#include "maps/ui/mp1page.h"
#include "shell/historywindow.h"
#include "shell/linkmonitor.h"
#include "shell/mainpage.h"
#include "shell/panelswitch.h"
#include "shell/qtuserio.h"
#include "tuning/manual.h"
#include "ui_kestra_main.h"

namespace shell {

MainWindow::MainWindow(QtUserIo* io, QWidget* parent)
    : QWidget(parent), form_(std::make_unique<Ui::KestraMain>()) {
  form_->setupUi(this);
  if (!io) {
    ownIo_ = std::make_unique<QtUserIo>();
    io = ownIo_.get();
  }
  io_ = io;
  io_->Attach(this, form_->NSprogressBar, form_->TMecuParName, form_->TMecuMapName);
  io_->AttachStatus(form_->TMstatus);
  com::SetUi(io_);

  pages_ = std::make_unique<PageRegistry>(form_->STACKpages);
  pages_->Add(std::make_unique<MainPage>(form_->PGmain));
  pages_->Show(PageId::Main);
  switcher_ = std::make_unique<PanelSwitcher>(*pages_);

  LinkControls lc;
  lc.TBcom = form_->TBcom;
  lc.RINGport = form_->RINGport;
  lc.CBcheckLink = form_->CBcheckLink;
  lc.TMversion = form_->TMversion;
  lc.CBload = form_->CBload;
  lc.CBimport = form_->CBimport;
  lc.CBstore = form_->CBstore;
  lc.CBsend = form_->CBsend;
  lc.CBreceive = form_->CBreceive;
  link_ = new LinkMonitor(lc, *pages_, this);

  CommandButtons cb;
  cb.CBload = form_->CBload;
  cb.CBimport = form_->CBimport;
  cb.CBstore = form_->CBstore;
  cb.CBsend = form_->CBsend;
  cb.CBreceive = form_->CBreceive;
  cb.CBexit = form_->CBexit;
  commands_ = new Commands(cb, *pages_, *link_, this);

  QFont big = form_->TMtitle->font();
  big.setPointSizeF(big.pointSizeF() * 2.2);
  big.setBold(true);
  form_->TMtitle->setFont(big);
  form_->NSprogressBar->setVisible(false);
  // The bar appears and disappears during transfers without moving the rest.
  QSizePolicy keep = form_->NSprogressBar->sizePolicy();
  keep.setRetainSizeWhenHidden(true);
  form_->NSprogressBar->setSizePolicy(keep);
  form_->TMversion->setText(QString::fromLatin1(szNoConnection));

  ConnectButtons();
  // The notice when the ECU holds other data sets than the working ones.
  auto* notice = new ConnectNotice(form_->TMstatus, this);
  notice->onCompare = [this] {
    switcher_->Maps();
    if (auto* editor = dynamic_cast<maps::Mp1Page*>(pages_->Find(PageId::MapEditor));
        editor && editor->Comparing())
      editor->Comparing()->CompareWithEcu();
  };
  link_->onConnected = [notice] { notice->Check(); };
  // The protection button and the logo's two hot spots (the title is the logo).
  protect::InstallProtection(this, form_->CBprotect, form_->TMtitle);
}

MainWindow::~MainWindow() {
  com::SetUi(nullptr);
}

void MainWindow::ConnectButtons() {
  PanelSwitcher* s = switcher_.get();
  connect(form_->CBinfo, &QPushButton::clicked, this, [s] { s->Info(); });
  connect(form_->CBmaps, &QPushButton::clicked, this, [s] { s->Maps(); });
  connect(form_->CBinj, &QPushButton::clicked, this, [s] { s->Injection(); });
  connect(form_->CBadv, &QPushButton::clicked, this, [s] { s->Advance(); });
  connect(form_->CBparms, &QPushButton::clicked, this, [s] { s->Parameters(); });
  connect(form_->CBlineariz, &QPushButton::clicked, this, [s] { s->Linearizations(); });
  connect(form_->CBconfig, &QPushButton::clicked, this, [s] { s->Configuration(); });
  connect(form_->CBdiag, &QPushButton::clicked, this, [s] { s->Diagnost(); });
  connect(form_->CBlive, &QPushButton::clicked, this, [s] { s->Live(); });
  connect(form_->CBlogs, &QPushButton::clicked, this, [s] { s->Logs(); });
  connect(form_->CBhistory, &QPushButton::clicked, this, [this] {
    if (CheckfBusy()) return;
    auto* history = new HistoryWindow(*pages_, this);
    history->setAttribute(Qt::WA_DeleteOnClose);
    history->onCompare = [this](const ecu::HistoryEntry& entry) {
      switcher_->Maps();
      if (auto* editor = dynamic_cast<maps::Mp1Page*>(pages_->Find(PageId::MapEditor));
          editor && editor->Comparing())
        editor->Comparing()->CompareWithEntry(entry);
    };
    history->show();
  });
  connect(form_->CBexit, &QPushButton::clicked, this, [this] {
    if (!CheckfBusy()) Exit();
  });
}

// Buttons whose page or command is not part of this build stay dimmed.
void MainWindow::DimMissing() {
  const struct {
    QPushButton* button;
    bool present;
  } buttons[] = {
      {form_->CBmaps, pages_->Has(PageId::MapEditor)},    {form_->CBinj, pages_->Has(PageId::Injection)},
      {form_->CBadv, pages_->Has(PageId::Advance)},       {form_->CBparms, pages_->Has(PageId::Param1)},
      {form_->CBlineariz, pages_->Has(PageId::Lineariz)}, {form_->CBconfig, pages_->Has(PageId::Config)},
      {form_->CBdiag, pages_->Has(PageId::Diagnostics)},  {form_->CBlive, pages_->Has(PageId::Live)},
      {form_->CBlogs, pages_->Has(PageId::Logs)},         {form_->CBprotect, true},
  };
  for (const auto& b : buttons) link_->SetHeld(b.button, !b.present);
}

uint8_t MainWindow::LoadPanels() {
  PanelSwitcher* front = switcher_.get();
  pages_->hooks.showPage = [front](PageId id) { front->SwitchTo(id); };
  const uint8_t ok = RegisterAllPages(*pages_, this);
  // The page buttons of the paged groups, on the pages themselves.
  PanelSwitcher* s = switcher_.get();
  for (auto* button : form_->STACKpages->findChildren<QPushButton*>(QStringLiteral("CBparmPage")))
    connect(button, &QPushButton::clicked, this, [s] { s->NextParameterPage(); });
  for (auto* button : form_->STACKpages->findChildren<QPushButton*>(QStringLiteral("CBmapsPage")))
    connect(button, &QPushButton::clicked, this, [s] { s->NextConfigurationPage(); });
  // The map panels' buttons to the tuning page in its two modes.
  for (const char* name : {"CBautoMap", "CBautoMap_2"})
    for (auto* button : form_->STACKpages->findChildren<QPushButton*>(QString::fromLatin1(name)))
      connect(button, &QPushButton::clicked, this, [s] { s->MapsTuneAuto(); });
  for (auto* button : form_->STACKpages->findChildren<QPushButton*>(QStringLiteral("CBmanualMap")))
    connect(button, &QPushButton::clicked, this, [s] { s->MapsTuneManual(); });
  DimMissing();
  return ok;
}

void MainWindow::OpenLog(const std::string& path) {
  auto* page = dynamic_cast<logs::LogsPage*>(pages_->Find(PageId::Logs));
  if (!page) return;
  switcher_->SwitchTo(PageId::Logs);
  page->OpenLog(QString::fromStdString(path));
}

QString MainWindow::TitleText() {
  return QString::asprintf("%s %s v%u.%u%s", ecu::appName, ecu::appSubname, unsigned(ecu::appRelease >> 8),
                           unsigned(ecu::appRelease & 0xFF), ecu::appExtra);
}

void MainWindow::Startup(const std::vector<std::string>& extraPorts, bool scanSerial) {
  pages_->Show(PageId::Main);
  ecu::ReadInitFile();
  com::InitPortList(extraPorts, scanSerial);
  if (!extraPorts.empty()) {
    // The device named on the command line is the one to connect to.
    com::PortIndex() = com::AddPortDevice(extraPorts.front());
    com::comPort = com::PortItems()[com::PortIndex()].value;
  }
  link_->FillPortSelector();
  // The editor pages need room for a whole map row and their notes: start large enough for
  // them, within the screen.
  QSize start = sizeHint().expandedTo(QSize(1400, 900));
  if (const QScreen* screen = this->screen()) start = start.boundedTo(screen->availableGeometry().size());
  resize(start);
  move(ecu::cfg.winPosX, ecu::cfg.winPosY);

  for (int type : {ecu::kParType, ecu::kMapType}) {
    if (ecu::LoadEcu(0, type, com::kCursorNormal))
      pages_->BlocksReplaced(type);  // the last files, as they came
    else
      io_->ShowConfigName("", type);
  }

  tuning::LoadMtSettings(false);  // the last tuning settings, silently
  pages_->ScatterAllPanels();
  pages_->GatherAllPanels();
  ecu::InitEcuRefData();
  setWindowTitle(TitleText());
  form_->TMtitle->setText(TitleText());
  link_->Start();
}

void MainWindow::Shutdown() {
  link_->Timer()->stop();
  if (com::isComOpen) com::CloseComPort();
  ecu::WriteInitFile();
}

int MainWindow::Exit() {
  if (quitting_) return 0;
  const int stay = commands_->Exit();
  if (stay) return stay;
  quitting_ = true;
  link_->Timer()->stop();
  if (onQuit) onQuit();
  return 0;
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (quitting_) {
    event->accept();
    return;
  }
  if (CheckfBusy() || Exit() != 0) {
    event->ignore();
    return;
  }
  event->accept();
}

}  // namespace shell
