#include "params/param1.h"

#include <array>
#include <initializer_list>
#include <utility>

#include "config/bike.h"
#include "ecudata/image.h"
#include "link/com.h"
#include "link/commands.h"
#include "link/frame.h"
#include "link/userio.h"
#include "ecudata/fieldkeep.h"
#include "ecudata/fieldmake.h"
#include "shell/connection.h"

namespace params {

// The field-table builders.
using ecu::Byte;
using ecu::Cells;
using ecu::Field;
using ecu::FieldKind;
using ecu::FieldType;
using ecu::Hidden;
using ecu::Num;

namespace {

using FT = FieldType;
constexpr double kTmin = -30.0, kTmax = 250.0;  // temperatures, degrees C

// The table of page 1. The two fan thresholds are signed, as the other temperatures
// are, so that a threshold below zero reads back as it was entered.
const auto kPr1Fields = std::to_array<Field>({
    Num("NUMlimArpm", kLimArpm, FT::S16, 1, 0, 20000, 0, 0),
    Num("NUMlimJrpm", kLimJrpm, FT::S16, 1, 0, 20000, 0, 0),
    Num("NUMlimShiftLight1", kShiftLight1, FT::S16, 1, 0, 20000, 0, 0),
    Num("NUMlimShiftLight2", kShiftLight2, FT::S16, 1, 0, 20000, 0, 0),
    Num("NUMthrRpmCutOff", 11802, FT::S16, 1, 0, 20000, 0, 0),
    Num("NUMthrFarfCutOff", 11804, FT::S16, 10, 0, 100.0, 1, 0),
    Num("NUMmsPostCutOff", 11806, FT::U16, 1, 0, 32767, 0, 0),
    Num("NUMddgAdvCutOff1", 11808, FT::S16, 10, -30.0, 30.0, 1, 0),
    Num("NUMddgAdvCutOff2", 11810, FT::S16, 10, -30.0, 30.0, 1, 0),
    Num("NUMkInjCutOff1", 11812, FT::U16, 1000, 0, 2.0, 3, 1000),
    Num("NUMkInjCutOff2", 11814, FT::U16, 1000, 0, 2.0, 3, 1000),
    Num("NUMdelayDropSwitch", 11844, FT::S16, 1, 0, 32767, 0, 0),
    Cells("TABpreInj", kPreInjTemp, FT::S16, 10, kTmin, kTmax, 1, 0, 1, kPreInjPoints, 0, 0),
    Cells("TABpreInj", kPreInjValue, FT::S16, 10, 0, 3200.0, 1, 0, 1, kPreInjPoints, 1, 0),
    Num("NUMshiftMinRpm", 11576, FT::U16, 1, 0, 20000, 0, 0),
    Num("NUMshiftDelay", 11578, FT::U16, 1, 0, 32767, 0, 0),
    Num("NUMshiftWidth", 11580, FT::U16, 1, 0, 32767, 0, 0),
    Num("NUMshiftHoldOff", 11582, FT::U16, 1, 0, 32767, 0, 0),
    Num("NUMkShiftInj", 11584, FT::U16, 1000, 0, 2.0, 3, 1000),
    Num("NUMwheelCirc", 11586, FT::U16, 1, 1000, 3000, 0, 2000, kPr1SpeedIn),
    Num("NUMwheelPuls", 11588, FT::U16, 1, 1, 12, 0, 1, kPr1SpeedIn),
    Num("NUMvalFan1", kFan1, FT::S16, 10, kTmin, kTmax, 1, 0, kPr1Fan1),
    Num("NUMvalFan2", kFan2, FT::S16, 10, kTmin, kTmax, 1, 0, kPr1Fan2),
    Num("NUMidlingTh2o_oil1", kIdleTemp1, FT::S16, 10, kTmin, kTmax, 1, 0, kPr1Idling),
    Num("NUMidlingTh2o_oil2", kIdleTemp2, FT::S16, 10, kTmin, kTmax, 1, 0, kPr1Idling),
    Num("NUMidlingRpm1", kIdleRpm1, FT::S16, 1, 1000, 2500, 0, 1000, kPr1Idling),
    Num("NUMidlingRpm2", kIdleRpm2, FT::S16, 1, 1000, 2500, 0, 1000, kPr1Idling),
    Num("NUMdeltaRpmIdling", 11866, FT::S16, 1, 0, 20000, 0, 0, kPr1Idling),
    Num("NUMdeltaMsIdling", 11868, FT::U16, 1, 0, 32767, 0, 0, kPr1Idling),
    Num("NUMperStartIdl", 11872, FT::U16, 10, 0, 100.0, 1, 0, kPr1Idling),
    Num("NUMminFarfIdl", 11870, FT::U16, 10, 0, 100.0, 1, 0, kPr1Idling),
    Byte("TBcocOn", kCocOn, FieldKind::Toggle, 0, kPr1Coc),
    Num("NUMcocRpmInf", 11816, FT::U16, 1, 0, 20000, 0, 0, kPr1Coc),
    Num("NUMcocRpmSup", 11818, FT::U16, 1, 0, 20000, 0, 0, kPr1Coc),
    Num("NUMcocGasInf", 11820, FT::U16, 10, 0, 100.0, 1, 0, kPr1Coc),
    Num("NUMcocGasSup", 11822, FT::U16, 10, 0, 100.0, 1, 0, kPr1Coc),
    Num("NUMcocTh2o_oilInf", 11824, FT::S16, 10, kTmin, kTmax, 1, 0, kPr1Coc),
    Num("NUMcocTh2o_oilSup", 11826, FT::S16, 10, kTmin, kTmax, 1, 0, kPr1Coc),
    Num("NUMcocDkStep", 11830, FT::U16, 10, 0, 100.0, 1, 0, kPr1Coc),
    Num("NUMcocDkMax", 11832, FT::U16, 10, 0, 100.0, 1, 0, kPr1Coc),
    // Shown with three decimals: with one, a stored 0.150 s would come back as 0.200.
    Num("NUMmsCoc", 11828, FT::U16, 1000, 0.1, 65.535, 3, 100, kPr1Coc),
    Byte("RINGtypeDTC", kTypeDtc, FieldKind::Ring, 0, kPr1Dtc),
    Byte("TBenableDTC", kEnableDtc, FieldKind::Toggle, 1, kPr1Dtc),
    Byte("RINGlevelDTC", kLevelDtc, FieldKind::Ring, 0, kPr1Dtc),
    // Stored settings that the page's check uses but no control shows.
    Hidden("map11840", 11840, FT::S16, 250),
    Hidden("map11842", 11842, FT::S16, 3000),
    Hidden("map11846", 11846, FT::S16, 150),
    Hidden("map11848", 11848, FT::S16, 50),
});

const Field& F(const char* control) {
  return *ecu::FindField(kPr1Fields, control);
}

const Field& AtOffset(uint32_t offset) {
  for (const Field& f : kPr1Fields)
    if (f.offset == offset) return f;
  return kPr1Fields.front();
}

int64_t Raw(const char* control) {
  return ecu::GetRaw(ecu::ecuMapData, F(control));
}

// Stores a corrected value, brought into the field's shown range; true when the
// stored value changed.
bool Store(const char* control, int64_t raw) {
  const Field& f = F(control);
  const int64_t value = ecu::ToRaw(f, ecu::ClampShown(f, ecu::ToShown(f, raw)));
  if (value == ecu::GetRaw(ecu::ecuMapData, f)) return false;
  ecu::SetRaw(ecu::ecuMapData, f, value);
  return true;
}

// An upper bound below its lower bound takes the lower bound's value.
bool RaiseToLower(const char* upper, const char* lower) {
  const Field& up = F(upper);
  const Field& lo = F(lower);
  const int64_t l = ecu::GetRaw(ecu::ecuMapData, lo);
  if (ecu::GetRaw(ecu::ecuMapData, up) >= l) return false;
  ecu::SetRaw(ecu::ecuMapData, up, l);
  return true;
}

bool Exchange(uint8_t step) {
  uint8_t reply[255];
  uint8_t length = 0;
  if (!com::TxCommand(com::ResetCoCorrection, &step, 1)) return false;
  return com::RxResponse(com::ResetCoCorrection, reply, sizeof reply, &length) == 0;
}

}  // namespace

std::span<const ecu::Field> Pr1Fields() {
  return kPr1Fields;
}

bool Pr1GroupShown(uint8_t group) {
  switch (group) {
    case kPr1SpeedIn:
      return config::fSpeedIn;
    case kPr1Fan1:
      return config::fFan1;
    case kPr1Fan2:
      return config::fFan2;
    case kPr1Idling:
      return config::fIdling;
    case kPr1Coc:
      return config::fNbego1 || config::fNbego2;
    case kPr1Dtc:
      return config::fDtc;
    default:
      return true;
  }
}

void InitPr1Data() {
  ecu::WriteDefaults(ecu::ecuMapData, kPr1Fields);
}

uint8_t CheckPr1Values(const uint8_t* before) {
  uint8_t changed = 0;
  const auto edited = [before](std::initializer_list<const char*> controls) {
    for (const char* c : controls)
      if (ecu::FieldEdited(before, ecu::ecuMapData, F(c))) return true;
    return false;
  };
  // 1, 2: shift light 2 stays 50 below both rev limits, shift light 1 50 below shift
  // light 2 (never below the controls' range). The page is shown again after these
  // corrections too, so that it never shows other values than the block holds.
  if (edited({"NUMlimShiftLight2", "NUMlimArpm", "NUMlimJrpm"}) &&
      Raw("NUMlimShiftLight2") >= Raw("NUMlimArpm")) {
    if (Store("NUMlimShiftLight2", Raw("NUMlimArpm") - 50)) changed = 1;
    if (Raw("NUMlimShiftLight2") >= Raw("NUMlimJrpm") && Store("NUMlimShiftLight2", Raw("NUMlimJrpm") - 50))
      changed = 1;
  }
  if (edited({"NUMlimShiftLight1", "NUMlimShiftLight2", "NUMlimArpm", "NUMlimJrpm"}) &&
      Raw("NUMlimShiftLight1") >= Raw("NUMlimShiftLight2") &&
      Store("NUMlimShiftLight1", Raw("NUMlimShiftLight2") - 50))
    changed = 1;
  // 3
  if (edited({"map11846", "map11848"}) && Raw("map11846") < Raw("map11848") &&
      Store("map11846", Raw("map11848")))
    changed = 1;
  // 4: pre-injection temperature points do not decrease; a lower point takes its
  // predecessor's point and value.
  const Field& temp = AtOffset(kPreInjTemp);
  const Field& value = AtOffset(kPreInjValue);
  for (int i = 1; i < kPreInjPoints && ecu::FieldEdited(before, ecu::ecuMapData, temp); ++i) {
    if (ecu::GetRaw(ecu::ecuMapData, temp, 0, i) < ecu::GetRaw(ecu::ecuMapData, temp, 0, i - 1)) {
      ecu::SetRaw(ecu::ecuMapData, temp, ecu::GetRaw(ecu::ecuMapData, temp, 0, i - 1), 0, i);
      ecu::SetRaw(ecu::ecuMapData, value, ecu::GetRaw(ecu::ecuMapData, value, 0, i - 1), 0, i);
      changed = 1;
    }
  }
  // 5
  if (edited({"NUMidlingTh2o_oil2", "NUMidlingTh2o_oil1"}) &&
      Raw("NUMidlingTh2o_oil2") < Raw("NUMidlingTh2o_oil1")) {
    Store("NUMidlingTh2o_oil2", Raw("NUMidlingTh2o_oil1"));
    Store("NUMidlingRpm2", Raw("NUMidlingRpm1"));
    changed = 1;
  }
  // 6: CO-correction bounds (rpm and throttle unsigned, temperature signed, by their types).
  for (auto [upper, lower] :
       {std::pair{"NUMcocRpmSup", "NUMcocRpmInf"}, std::pair{"NUMcocGasSup", "NUMcocGasInf"},
        std::pair{"NUMcocTh2o_oilSup", "NUMcocTh2o_oilInf"}})
    if (edited({upper, lower}) && RaiseToLower(upper, lower)) changed = 1;
  return changed;
}

uint8_t ResetCoc() {
  if (!com::isComOpen) {
    com::Ui().MessagePopup("CO-correction", "COMM error...");
    return 0;
  }
  if (!Exchange(1) || !Exchange(2)) {
    com::Ui().MessagePopup("CO-correction", shell::szGenericError);
    return 0;
  }
  return 1;
}

const char* DtcTypeLabel(int type) {
  static const char* const labels[kDtcTypeCount] = {"0  undefined", "1  Superbike 1098R", "2  Superbike 1198",
                                                    "3  Streetfighter 1098S"};
  return type >= 0 && type < kDtcTypeCount ? labels[type] : "";
}

}  // namespace params
