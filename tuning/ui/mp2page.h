// The map tuning page (form resources/mp2panel.ui): the session's status and
// readings, the settings controls, the manual corrections, and the tuning table of
// the shown map with its enable colours and the working-point marker. Its timer duty
// runs the session cycle of the model (tuning/map2.h) on every main-timer tick.
#pragma once
#include <QObject>
#include <memory>
#include <string>

#include "params/fieldbinding.h"
#include "shell/pages.h"
#include "tuning/manual.h"
#include "tuning/tuneview.h"

class QTableWidget;
class QWidget;

namespace Ui {
class Mp2Panel;
}

namespace tuning {

class MtvDialog;

class Mp2Page : public QObject, public shell::Page {
 public:
  Mp2Page(QWidget* parent, shell::PageRegistry* registry);
  ~Mp2Page() override;

  shell::PageId Id() const override { return shell::PageId::MapTuning; }
  QWidget* Widget() override { return widget_; }
  uint8_t Init() override;  // InitMp2Panel
  uint8_t Scatter() override { return ScatterMp2Panel(); }
  uint8_t Timer() override { return Mp2Timer(); }

  uint8_t ScatterMp2Panel();
  uint8_t Mp2Timer();

  Ui::Mp2Panel& Form() { return *form_; }
  bool AutoScroll() const { return autoScroll_; }
  const WorkingPointMarker& Marker() const { return marker_; }
  // The table's background of a map cell that carries no colour.
  uint32_t NormalBackground() const { return normalBg_; }

  // ---- callbacks (public for the tests) ----
  void TuningSwitch(int button);         // 0 auto, 1 off, 2 manual
  void EnableDoubleClick(int c, int r);  // position as NextEnableCode counts it
  void Key(TuneKey key);
  void TableKey(bool plus);
  void OpenValueDialog();
  void ShowGains();
  void AutoScrollSwitch();  // double click on TBautoScroll while tuning
  uint8_t GatherTuneSettings();
  TuneSteps Steps() const;

 private:
  void LayoutTable();
  void FillTuneTable();
  void FillCell(int tableRow, int col);
  void ShowTuneInfo(bool withSettings);
  void ScatterTuneSettings();
  void SetDimming(bool portOpen);
  void ShowModeControls();
  void MarkWorkingPoint();
  void UpdateAutoScroll();
  void NewTuneConfig();
  void SelectSingleMul();
  void ChangeCurTuneCyl();
  void SelectMapTab(int index);
  void SetShown(const char* control, bool visible);
  void SetDim(const char* control, bool dimmed);
  bool Busy() const;

  QWidget* widget_;
  std::unique_ptr<Ui::Mp2Panel> form_;
  params::FieldBinding binding_;
  shell::PageRegistry* registry_;
  std::unique_ptr<MtvDialog> dialog_;
  WorkingPointMarker marker_;
  EnableCycle cycle_;
  uint32_t normalBg_ = 0xFFFFFF;
  uint32_t normalLambdaBg_ = 0xFFFFFF;
  int laidOutMap_ = 0;
  bool autoScroll_ = false;
  bool tableClickPending_ = false;
  bool scattering_ = false;
  bool gainsNoted_ = false;
  std::string gainsNote_;

  friend class MtvDialog;
};

}  // namespace tuning
