#include "maps/ui/engineview.h"

#include <QBoxLayout>

#include "link/com.h"
#include "maps/ui/gaugestrip.h"
#include "maps/ui/workmarker.h"

namespace maps {

EngineView::EngineView(QBoxLayout* layout, QObject* parent)
    : QObject(parent), poll_(std::make_shared<live::EnginePoll>()), strip_(new GaugeStrip) {
  if (layout) layout->insertWidget(0, strip_);
  strip_->setVisible(false);
}

EngineView::~EngineView() {
  if (!strip_->parent()) delete strip_;  // a page without a layout to put it in
}

int EngineView::TimerInterval() const {
  return com::isComOpen ? 0 : -1;
}

uint8_t EngineView::Tick() {
  const uint8_t result = poll_->Tick();
  const double now = poll_->Now();
  const int key = shownKey ? shownKey() : 0;
  if (key != key_) {
    key_ = key;
    trail_.Clear();
    dirty_ = true;
  }
  if (poll_->Records() != seenRecords_) {
    seenRecords_ = poll_->Records();
    if (poll_->HasRecord() && cellOf) trail_.Add(cellOf(poll_->Record()), poll_->RecordTime());
    dirty_ = true;
  }
  if ((poll_->HasRecord() && com::isComOpen) != drawnLive_) dirty_ = true;  // lost or back
  // The trail fades while the point stands still, so a shown trail is always redrawn.
  if ((dirty_ || marks_.size() > 1) && now - lastDraw_ >= kRedrawPeriod) Redraw();
  if (strip_->isHidden() == (com::isComOpen != 0)) strip_->setVisible(com::isComOpen != 0);
  return result;
}

void EngineView::Redraw() {
  const double now = poll_->Now();
  lastDraw_ = now;
  dirty_ = false;
  const bool current = poll_->HasRecord() && com::isComOpen;
  drawnLive_ = current;
  marks_ = current ? trail_.Marks(now) : std::vector<live::WorkTrail::Mark>{};
  for (WorkMarker* marker : markers_) marker->ShowMarks(marks_);
  if (onMarks) onMarks(marks_);
  strip_->ShowRecord(current ? &poll_->Record() : nullptr);
}

void EngineView::Leave() {
  trail_.Clear();
  marks_.clear();
  for (WorkMarker* marker : markers_) marker->Clear();
  if (onMarks) onMarks(marks_);
  dirty_ = true;
}

}  // namespace maps
