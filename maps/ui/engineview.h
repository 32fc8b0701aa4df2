// The running engine in view on an editor page: the page's timer duty on the link's
// rhythm (live::EnginePoll), the gauge strip above the page, and the working point with
// its trail on the page's tables (and, on the map editor, its graphs). The page gives
// the cell of its shown map for a record; everything else is here.
#pragma once
#include <QObject>
#include <functional>
#include <memory>
#include <vector>

#include "live/enginepoll.h"
#include "live/workpoint.h"

class QBoxLayout;

namespace maps {

class GaugeStrip;
class WorkMarker;

class EngineView : public QObject {
 public:
  // The strip goes at the top of `layout`.
  EngineView(QBoxLayout* layout, QObject* parent);
  ~EngineView() override;

  // The pages that show the engine share one poll (one record stream, one Ping cadence).
  void SetPoll(std::shared_ptr<live::EnginePoll> poll) { poll_ = std::move(poll); }
  live::EnginePoll& Poll() { return *poll_; }

  // The cell of the shown map for a record (invalid: nothing to mark), and a key of
  // what is shown (map and cylinder): when it changes the trail starts afresh.
  std::function<live::WorkCell(const live::LiveData&)> cellOf;
  std::function<int()> shownKey;
  void AddMarker(WorkMarker* marker) { markers_.push_back(marker); }
  // Told the marks at every redraw (the map editor's graphs).
  std::function<void(const std::vector<live::WorkTrail::Mark>&)> onMarks;

  // The page's duty on a main-timer tick; its result is counted by the main timer.
  uint8_t Tick();
  // The page's timer interval: as fast as the link allows while the engine is polled.
  int TimerInterval() const;
  // Draws the strip and the marks now (the ticks do it at most kRedrawPeriod apart).
  void Redraw();
  // The page left the front: nothing stays marked.
  void Leave();

  GaugeStrip* Strip() const { return strip_; }
  const std::vector<live::WorkTrail::Mark>& Marks() const { return marks_; }
  static constexpr double kRedrawPeriod = 1.0 / 60.0;

 private:
  std::shared_ptr<live::EnginePoll> poll_;
  GaugeStrip* strip_;
  std::vector<WorkMarker*> markers_;
  live::WorkTrail trail_;
  std::vector<live::WorkTrail::Mark> marks_;
  uint32_t seenRecords_ = 0;
  int key_ = -1;
  double lastDraw_ = -1e9;
  bool dirty_ = true;
  bool drawnLive_ = false;  // the last redraw showed a record
};

}  // namespace maps
