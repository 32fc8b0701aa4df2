// The gauge strip above the map editor and the correction editors while the link is
// open: engine speed, throttle, the two wideband readings (the narrow-band voltages on
// a bike without them), engine temperature, injection time and advance of cylinder 1.
// A gauge takes the live page's warning colour while its value is in a warning state
// there (the fault flag of its sensor reading, over-injection, over-dwell).
#pragma once
#include <QFrame>
#include <QString>
#include <vector>

#include "live/liverecord.h"

class QLabel;

namespace maps {

class GaugeStrip : public QFrame {
 public:
  explicit GaugeStrip(QWidget* parent = nullptr);

  // Shows a record (none: every gauge shows "-").
  void ShowRecord(const live::LiveData* record);

  // One gauge as shown, for tests and the screenshots.
  struct Gauge {
    QString name;   // "rpm", "Throttle", ...
    QString value;  // "3000", "12.5", "-"
    bool warn = false;
  };
  std::vector<Gauge> Gauges() const;
  uint32_t Updates() const { return updates_; }  // records shown so far

 private:
  struct Slot {
    const char* name;
    const live::LiveField* field = nullptr;
    QLabel* label = nullptr;
    QString text;
    int warn = -1;  // -1 not yet styled
  };
  // Which field a slot shows for this record and bike.
  void ChooseFields(const live::LiveData* record);
  static bool Warning(const live::LiveData& record, const live::LiveField& field);
  std::vector<Slot> slots_;
  bool widebandSeen_ = false;
  uint32_t updates_ = 0;
};

}  // namespace maps
