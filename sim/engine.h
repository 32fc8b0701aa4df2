// The running engine behind the simulated ECU: live record (command 7) with the bench
// adjustments echoed, output tests (command 11), the equipment records read with
// ReadValues (addresses 7.1, 7.2, 7.3), the diagnostic records and password
// (commands 16, 17, 19), the access protection (command 3 and the protected flag of
// Identify, which stays set until the right keys arrive), and the data names by slot
// (command 15: 0 the configuration, 1 and 2 the map sets, 8 the active one).
//
// Time comes from `clock` (seconds); tests set their own, q740-sim uses the steady
// clock. The engine starts a second after the model is created, cranks, idles and
// then rides a 30-second throttle cycle while it warms up.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "sim/appsim.h"

namespace sim {

// What the simulated bike is fitted with (the equipment record 7.3 and the sensors).
struct Equipment {
  bool oilTemperature = false;  // oil instead of water temperature
  bool doubleInjection = true;
  bool analogAir = true;  // analog air temperature and pressure sensors
  bool oilPressure = true;
  bool fuelLevel = true;
  bool fan1 = true, fan2 = false;
  bool light = true;
  bool warningLamp = true;
  int lambdaSensors = 1;  // 0, 1 or 2
  bool wheelSpeed = true;
  bool diagnostics = true;
  // Output assignment (record 7.1): per cylinder its ignition output (0..1) and
  // injection output (0..3); 0xFF for none.
  std::array<uint8_t, 2> ignition{0, 1};
  std::array<uint8_t, 2> injection{0, 1};
};

// Sensors in the order of the diagnostic records.
inline constexpr const char* kSensorNames[9] = {"farf",  "th2o",   "toil",   "tair", "lFuel",
                                                "pBaro", "nbego1", "nbego2", "vBat"};

class Tuner;

class EcuModel {
 public:
  explicit EcuModel(const Equipment& equipment = {});

  // Answers the commands above on `device` (its handlers and addressed values).
  // The model must outlive the device's use.
  void Install(AppDevice& device);

  std::function<double()> clock;  // seconds; the steady clock unless a test sets one
  Equipment equipment;
  bool engineEnabled = true;  // false: the engine never starts (key on, engine off)
  // Sensors whose readings carry the fault flag (names as kSensorNames).
  std::vector<std::string> faultySensors;
  // The engine on the tuning simulator's dyno. When set, the running engine is that
  // one: its rider's working point gives the engine speed and the throttle, its fuel
  // cut-off the cut-off, its engine temperature the temperatures, and the wideband
  // readings (lambdaCan1, lambdaCan2) are afrTarget x true cell / the ECU's cell at that
  // point, with its noise and exhaust delay. It must outlive the model's use.
  Tuner* dyno = nullptr;
  double afrTarget = 13.2;  // air-fuel ratio the wideband readings centre on

  // --- engine state (after the last request) ---
  double throttle = 0;  // %
  double rpm = 0;
  double waterTemp = 20, oilTemp = 20, airTemp = 24;  // degrees C
  // Bench adjustments as the ECU holds them (raw values of the record).
  uint16_t kInjBanco = 1000, kInjBanco1 = 1000, kInjBanco2 = 1000;
  int16_t degFaseBanco = 0, ddgAdvBanco = 0, ddgAdvBanco1 = 0, ddgAdvBanco2 = 0;
  // Output tests: the toggled outputs (codes 7 to 11) and the last test code.
  bool testFuelPump = false, testFan = false, testLight = false, testMilLamp = false, testHeat = false;
  int lastOutputTest = 0;

  // --- diagnostics ---
  std::string diagPassword;  // empty: none
  bool diagUnlocked = false;
  std::array<uint8_t, 92> diagStatus{};  // big-endian, as sent
  std::array<uint8_t, 140> diagParam{};  // big-endian, as sent

  // --- protection ---
  std::string protectPassword;  // empty: the ECU is not locked
  std::array<uint8_t, 30> lastKeys{};
  bool IsLocked() const;  // the keys of the last Identify do not open the lock

  // The live record at the model's current time (advances the engine).
  std::vector<uint8_t> LiveRecord();
  // Advances the engine to the clock's time.
  void Step();
  // Rewrites the equipment records 7.1 to 7.3 (after a change of `equipment`).
  void UpdateEquipmentValues();

 private:
  Device::Reply OnLive(const uint8_t* payload, uint8_t n);
  Device::Reply OnTestOutput(const uint8_t* payload, uint8_t n);
  Device::Reply OnReadDiagnostics(const uint8_t* payload, uint8_t n);
  Device::Reply OnWriteDiagParam(const uint8_t* payload, uint8_t n);
  Device::Reply OnDiagnosticPassword(const uint8_t* payload, uint8_t n);
  Device::Reply OnWriteProtectKeys(const uint8_t* payload, uint8_t n);
  Device::Reply OnIdentify(const uint8_t* payload, uint8_t n);
  Device::Reply OnGetDataName(const uint8_t* payload, uint8_t n);
  void ApplyBench(uint8_t code, uint16_t value);
  void ResetDiagItem(uint8_t item);
  void WriteDiagItem(uint8_t item, uint8_t sub, uint16_t value);
  void UpdateDiagStatus();
  bool SensorFaulty(int sensor) const;

  AppDevice* device_ = nullptr;
  double start_ = 0, last_ = 0;
  double throttleTarget_ = 0;
  double lastThrottle_ = 0, throttleRate_ = 0;
  bool started_ = false, cranking_ = false;
  double crankStart_ = 0;
  bool fanOn_ = false;
  uint32_t revs_ = 0, irqs_ = 0;
  double revFraction_ = 0, distance_ = 0;  // km
  double speed_ = 0;                       // km/h
  double cycle_ = 0;                       // seconds into the throttle cycle
  // Diagnostic counters.
  double onTime_ = 0, onTimeUser_ = 0, overRpm_ = 0, overThrottle_ = 0;
  double dist_ = 0, distUser_ = 0;  // meters
  uint16_t maxRpm_ = 0, overRev_ = 0;
  std::array<uint16_t, 12> counters_{};
  std::array<uint16_t, 9> sensorErrors_{};
  std::array<uint16_t, 4> outputErrors_{};  // trig1, trig2, inj1, inj2
  uint16_t velWheelErr_ = 0, dtcErr_ = 0;
  bool wasShifting_ = false, wasClutch_ = false;
  double errorClock_ = 0;
  // Diagnostic parameters (host order).
  uint16_t rpmLimit_ = 9000, throttleLimit_ = 700, velWheelLimit_ = 400;
  uint32_t distLimit_ = 1000;
  std::array<uint16_t, 9> maxErr_{}, adMin_{}, adMax_{}, adRecov_{};
  uint16_t switches_ = 0;  // bit per sensor: set = not monitored
};

// Equipment options of q740-sim ("--oil-temp", "--lambda 2", ...): true when `name`
// is one of them (with `value` when it takes one); `error` explains a bad value.
bool ParseEngineOption(const std::string& name, const std::string& value, EcuModel& model, bool* used,
                       std::string* error);
bool EngineOptionTakesValue(const std::string& name);
const char* EngineOptionsHelp();

}  // namespace sim
