// The Logs page: a datalog read in the background (the window answers throughout),
// stacked time plots with a cursor, the log laid onto a map's grid as a heat map with
// its filters, and the injection proposal handed to the map editor as a preview. Usable
// with or without a link: it works on files and on the working mapping.
#pragma once
#include <QObject>
#include <QString>
#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "logs/logcsv.h"
#include "logs/logmap.h"
#include "shell/pages.h"

class QTimer;

namespace Ui {
class LogsPanel;
}

namespace logs {

class TimePlot;
class LogMapView;

class LogsPage : public QObject, public shell::Page {
 public:
  explicit LogsPage(QWidget* parent);
  ~LogsPage() override;

  shell::PageId Id() const override { return shell::PageId::Logs; }
  QWidget* Widget() override { return widget_; }
  uint8_t Init() override;
  // The map view follows the working mapping (its axes and its bike).
  uint8_t Scatter() override;
  void BlocksReplaced(int type) override;

  // Starts reading a log in the background; the page shows it when it is read.
  void OpenLog(const QString& path);
  // Asks for a file, then OpenLog.
  void OpenLogDialog();
  bool Loading() const { return loading_ != nullptr; }
  void CancelLoad();
  // Runs the event loop until the reading ended (tests, start-up with --log); false on
  // the time-out.
  bool WaitLoaded(int milliseconds);
  const Log* CurrentLog() const { return log_.get(); }
  QString LogPath() const { return path_; }

  // The map view's settings as the controls hold them.
  Filters CurrentFilters() const;
  int CurrentMap() const;
  const Binning& CurrentBinning() const { return binning_; }
  // Builds the injection proposal and offers it in the map editor.
  bool Propose();
  // The proposal options as the controls hold them (target table included).
  ProposalOptions CurrentProposalOptions() const;

  TimePlot* Plot() const;
  LogMapView* MapView() const;
  Ui::LogsPanel& Form() { return *form_; }

  // Brings another page to the front (the shell's panel switch); the proposal needs the
  // map editor.
  std::function<void(shell::PageId)> showPage;
  // Where the map editor's proposal goes: (proposal, cylinder, source).
  std::function<void(const Proposal&, int, const QString&)> offerProposal;

 private:
  void PollLoad();
  void FinishLoad();
  void FillChannelList();
  void FilterChannelList(const QString& text);
  void DefaultLayout();
  void UpdateMapView();
  void CellClicked(int cell);
  void SpanMarked(double t0, double t1);
  void ShowCursor(size_t record);
  void ShowLogStatus();
  void ChooseTargetTable();

  QWidget* parent_;
  QWidget* widget_ = nullptr;
  std::unique_ptr<Ui::LogsPanel> form_;
  std::shared_ptr<const Log> log_;
  QString path_;
  // The reading in the background: a fresh log swapped in whole when it is done.
  struct Load {
    std::shared_ptr<Log> log = std::make_shared<Log>();
    std::atomic<bool> cancel{false}, done{false};
    std::atomic<uint64_t> bytes{0}, total{0};
    ReadResult result = ReadResult::Failed;
    std::string error;
    QString path;
    std::thread thread;
  };
  std::unique_ptr<Load> loading_;
  QTimer* poll_ = nullptr;
  Binning binning_;
  std::vector<double> targetTable_;
  QString targetTablePath_;
};

}  // namespace logs
