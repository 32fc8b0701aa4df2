#include "sim/engine.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "ecudata/image.h"
#include "link/bytes.h"
#include "link/commands.h"
#include "sim/tuner.h"

namespace sim {

namespace {

constexpr size_t kLiveSize = 144;
constexpr double kCycle = 30.0;  // seconds of the throttle cycle
constexpr double kStartAt = 1.0, kCrankTime = 1.4;

double SteadySeconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void Put16(std::vector<uint8_t>& r, size_t offset, double value) {
  const long v = std::lround(value);
  com::Put16BE(r.data() + offset, static_cast<uint16_t>(std::clamp<long>(v, -32768, 65535)));
}
void PutS16(std::vector<uint8_t>& r, size_t offset, double value) {
  const long v = std::clamp<long>(std::lround(value), -32768, 32767);
  com::Put16BE(r.data() + offset, static_cast<uint16_t>(static_cast<int16_t>(v)));
}
void PutU16(std::vector<uint8_t>& r, size_t offset, double value) {
  const long v = std::clamp<long>(std::lround(value), 0, 65535);
  com::Put16BE(r.data() + offset, static_cast<uint16_t>(v));
}
void PutBit(std::vector<uint8_t>& r, int byte, int bit, bool on) {
  if (on) r[138 + byte] = static_cast<uint8_t>(r[138 + byte] | (1 << bit));
}

// The throttle the rider asks for, seconds into the cycle: idle, a steady pull, a
// full-throttle run with a gear change, the close (overrun cut-off), idle, a gentle
// cruise with small corrections, and back.
double ThrottleTarget(double s) {
  if (s < 4) return 0;
  if (s < 8) return 35.0 * (s - 4) / 4;
  if (s < 12) return 35;
  if (s < 13) return 35 + 50 * (s - 12);
  if (s < 16) return (s > 14 && s < 14.15) ? 0 : 85;  // the gear change at 14 s
  if (s < 16.5) return 85 * (16.5 - s) / 0.5;
  if (s < 22) return 0;
  if (s < 26) return 25 + 4 * std::sin((s - 22) * 2.1);
  if (s < 27) return 25 * (27 - s);
  return 0;
}

// Sensor counts (12 bits) and their physical values.
uint16_t Count(double c) {
  return static_cast<uint16_t>(std::clamp<long>(std::lround(c), 0, 4095));
}
uint16_t TempCount(double celsius) {
  return Count(3500 - celsius * 30);
}

// Physical value (as the diagnostic record shows it) of a sensor's count.
double SensorValue(int sensor, double count) {
  switch (sensor) {
    case 0:
      return (count - 400) / 3;  // throttle, tenths of %
    case 1:
    case 2:
    case 3:
      return (3500 - count) / 3;  // temperature, tenths of a degree
    case 4:
      return count / 20;  // fuel level, tenths of a litre
    case 5:
      return count * 0.371;  // pressure, mbar
    case 6:
    case 7:
      return count * 11000 / 4095;  // lambda sensor voltage, tenths of a millivolt
    default:
      return count / 25;  // battery, tenths of a volt
  }
}

// Bit of a sensor in its switch / error byte, and which of the two bytes.
int SensorByte(int sensor) {
  return sensor < 6 ? 0 : 1;
}
int SensorBit(int sensor) {
  static constexpr int bits[9] = {5, 4, 3, 2, 1, 0, 7, 6, 5};
  return bits[sensor];
}

uint8_t RotateLeft(uint8_t c) {
  return static_cast<uint8_t>((c << 1) | (c >> 7));
}

}  // namespace

EcuModel::EcuModel(const Equipment& eq) : clock(SteadySeconds), equipment(eq) {
  maxErr_.fill(50);
  adMin_.fill(100);
  adMax_.fill(4000);
  adRecov_.fill(200);
  onTime_ = 3 * 86400 + 4 * 3600 + 25 * 60 + 12;  // a bike with a history
  onTimeUser_ = 5 * 3600 + 12 * 60;
  dist_ = 12'345'678;
  distUser_ = 456'789;
  maxRpm_ = 10120;
  overRev_ = 3;
  counters_ = {412, 37, 1290, 88, 970, 1, 654, 4, 2, 11, 9, 405};
}

void EcuModel::Install(AppDevice& device) {
  device_ = &device;
  start_ = last_ = clock();
  device.handlers[com::ReadLive] = [this](const uint8_t* p, uint8_t n) { return OnLive(p, n); };
  device.handlers[com::TestOutput] = [this](const uint8_t* p, uint8_t n) { return OnTestOutput(p, n); };
  device.handlers[com::ReadDiagnostics] = [this](const uint8_t* p, uint8_t n) {
    return OnReadDiagnostics(p, n);
  };
  device.handlers[com::WriteDiagParam] = [this](const uint8_t* p, uint8_t n) {
    return OnWriteDiagParam(p, n);
  };
  device.handlers[com::DiagnosticPassword] = [this](const uint8_t* p, uint8_t n) {
    return OnDiagnosticPassword(p, n);
  };
  device.handlers[com::WriteProtectKeys] = [this](const uint8_t* p, uint8_t n) {
    return OnWriteProtectKeys(p, n);
  };
  device.handlers[com::Identify] = [this](const uint8_t* p, uint8_t n) { return OnIdentify(p, n); };
  device.handlers[com::GetDataName] = [this](const uint8_t* p, uint8_t n) { return OnGetDataName(p, n); };
  device.dataNames.erase(0);  // slot 0 names the configuration below
  UpdateEquipmentValues();
}

// Records 7.1 to 7.3 as the device's addressed values (7.3 follows the bike code of
// the parameter block, which an upload may change).
void EcuModel::UpdateEquipmentValues() {
  if (!device_) return;
  std::vector<uint8_t> r71(8, 0);
  r71[4] = equipment.ignition[0];
  r71[5] = equipment.ignition[1];
  r71[6] = equipment.injection[0];
  r71[7] = equipment.injection[1];
  device_->values[0x07010000] = r71;
  device_->values[0x07020000] = {0, 0, 0, 0, 0, 1, 0, 0};
  std::vector<uint8_t> r73(20, 0);
  uint32_t bike = 0xFF0000;
  if (device_->parBlock.size() == ecu::kParSize)
    bike = com::Get32LE(device_->parBlock.data() + ecu::BikeOffset(ecu::kParType));
  com::Put32BE(r73.data(), bike);
  const Equipment& e = equipment;
  r73[4] = e.doubleInjection;
  r73[5] = e.oilTemperature;
  r73[6] = e.analogAir;
  r73[8] = e.oilPressure;
  r73[9] = e.fuelLevel;
  r73[11] = e.fan1;
  r73[12] = e.fan2;
  r73[13] = e.light;
  r73[14] = e.warningLamp;
  r73[16] = e.lambdaSensors >= 1;
  r73[17] = e.lambdaSensors >= 2;
  r73[18] = e.wheelSpeed;
  r73[19] = e.diagnostics;
  device_->values[0x07030000] = r73;
}

bool EcuModel::SensorFaulty(int sensor) const {
  return std::find(faultySensors.begin(), faultySensors.end(), kSensorNames[sensor]) != faultySensors.end();
}

void EcuModel::Step() {
  const double now = clock();
  double dt = std::clamp(now - last_, 0.0, 0.5);
  last_ = now;
  const double t = now - start_;

  // Start: the starter turns the engine over for a moment, then it fires.
  if (engineEnabled && !started_ && !cranking_ && t >= kStartAt) {
    cranking_ = true;
    crankStart_ = t;
    ++counters_[0];  // starter button
  }
  if (cranking_ && t - crankStart_ >= kCrankTime) {
    cranking_ = false;
    started_ = true;
    cycle_ = 0;
  }
  const bool running = started_;
  if (running) cycle_ = std::fmod(cycle_ + dt, kCycle);
  throttleTarget_ = running ? ThrottleTarget(cycle_) : 0;

  if (dyno && running) {
    // The dyno's rider holds the working point; its engine is warm.
    dyno->Advance();
    throttle = dyno->Throttle() / 10;
    rpm = dyno->Rpm();
    waterTemp = oilTemp = dyno->engineTemp;
  } else {
    // The throttle moves quickly but not in no time; the engine follows with a lag,
    // slower when it falls than when it rises.
    const double maxMove = 250.0 * dt;
    throttle += std::clamp(throttleTarget_ - throttle, -maxMove, maxMove);
    double rpmTarget = 0;
    if (cranking_) rpmTarget = 280;
    if (running) rpmTarget = 1250 + throttle * 105 + (waterTemp < 50 ? 300 : 0);
    const double tau = rpmTarget > rpm ? 0.35 : 0.9;
    rpm += (rpmTarget - rpm) * std::min(1.0, dt / tau);
  }
  throttleRate_ = dt > 0 ? (throttle - lastThrottle_) / dt : 0;
  lastThrottle_ = throttle;

  // Warm-up: water to about 97 C (the fan cuts in at 96), oil a little slower.
  if (running && !dyno) {
    waterTemp += (97.5 - waterTemp) * std::min(1.0, dt / 90.0);
    oilTemp += (104 - oilTemp) * std::min(1.0, dt / 150.0);
    if (fanOn_) waterTemp -= 0.08 * dt;
  }
  if (waterTemp >= 96) fanOn_ = true;
  if (waterTemp <= 92) fanOn_ = false;
  airTemp = 24 + 0.01 * std::max(0.0, waterTemp - 20);

  // Crank counters and the ride.
  revFraction_ += rpm / 60.0 * dt;
  const auto whole = static_cast<uint32_t>(revFraction_);
  revFraction_ -= whole;
  revs_ += whole;
  irqs_ += whole * 24;  // teeth on the crank wheel
  const bool neutral = !running || (throttle < 1 && cycle_ < 4);
  speed_ = neutral ? 0 : std::max(0.0, (rpm - 1100) / 9000 * 190);
  distance_ += speed_ * dt / 3600;

  // Diagnostic counters.
  if (running || cranking_) {
    onTime_ += dt;
    onTimeUser_ += dt;
  }
  if (rpm > rpmLimit_) overRpm_ += dt;
  if (throttle * 10 > throttleLimit_) overThrottle_ += dt;
  dist_ += speed_ * dt / 3.6;
  distUser_ += speed_ * dt / 3.6;
  maxRpm_ = std::max<uint16_t>(maxRpm_, static_cast<uint16_t>(rpm));
  const bool shifting = running && cycle_ > 14 && cycle_ < 14.15;
  if (shifting && !wasShifting_) ++counters_[6];
  wasShifting_ = shifting;
  const bool clutch = running && cycle_ < 1.5;
  if (clutch && !wasClutch_) ++counters_[2];
  wasClutch_ = clutch;
  errorClock_ += dt;
  if (errorClock_ >= 1.0) {
    errorClock_ = 0;
    for (int s = 0; s < 9; ++s)
      if (SensorFaulty(s) && !((switches_ >> (SensorByte(s) * 8 + SensorBit(s))) & 1) &&
          sensorErrors_[s] < 65535)
        ++sensorErrors_[s];
  }
}

std::vector<uint8_t> EcuModel::LiveRecord() {
  Step();
  std::vector<uint8_t> r(kLiveSize, 0);
  const bool running = started_;
  const bool onDyno = dyno && running;
  const bool cutOff = onDyno ? dyno->CutOff() : running && throttle < 1 && rpm > 2200;
  const double vbat = cranking_ ? 10.6 : running ? 13.9 - 0.1 * std::sin(last_) : 12.5;
  const double temp = equipment.oilTemperature ? oilTemp : waterTemp;
  const double cold = std::clamp((70 - temp) / 50, 0.0, 1.0);  // 1 cold .. 0 warm

  PutU16(r, 0, irqs_ & 0xFFFF);
  PutU16(r, 2, 0);
  PutU16(r, 4, revs_ & 0xFFFF);
  PutU16(r, 6, rpm);
  // Analog readings: count, and the fault flag of a sensor that is out of order.
  auto analog = [&](size_t offset, int sensor, uint16_t count) {
    uint16_t word = count;
    if (SensorFaulty(sensor)) word = 0x8000 | 0x0FFF;
    com::Put16BE(r.data() + offset, word);
  };
  analog(8, 0, Count(400 + throttle * 30));
  PutS16(r, 10, throttle * 10);
  analog(12, 1, TempCount(waterTemp));
  PutS16(r, 14, waterTemp * 10);
  analog(16, 2, TempCount(oilTemp));
  PutS16(r, 18, oilTemp * 10);
  analog(20, 3, TempCount(airTemp));
  PutS16(r, 22, airTemp * 10);
  analog(24, 5, Count(1013 / 0.371));
  PutS16(r, 26, 1013);
  const double fuel = 12.5 - distance_ * 0.05;
  analog(28, 4, Count(std::max(0.0, fuel) * 200));
  PutS16(r, 30, std::max(0.0, fuel) * 10);
  // Narrow-band lambda sensors (mV): rich at full throttle, lean on the overrun,
  // switching around the stoichiometric point when cruising.
  auto lambdaMv = [&](double phase) {
    if (!running) return 450.0;
    if (cutOff) return 60.0;
    if (throttle > 60) return 860.0;
    return 450 + 380 * std::sin(last_ * 6.0 + phase);
  };
  const double mv1 = lambdaMv(0), mv2 = lambdaMv(1.3);
  analog(32, 6, Count(mv1 * 4095 / 1100));
  PutS16(r, 34, mv1 * 10);  // tenths of a millivolt
  analog(36, 7, Count(mv2 * 4095 / 1100));
  PutS16(r, 38, mv2 * 10);
  PutU16(r, 40, device_ && device_->activeMapping == 2 ? 1 : 0);
  analog(42, 8, Count(vbat * 250));
  PutS16(r, 44, vbat * 10);
  PutS16(r, 46, throttleRate_ * 10);  // scaled: status byte 1 bit 1 is set below
  PutS16(r, 48, std::clamp(throttleRate_ / 10, -100.0, 100.0) * 10);
  auto afr = [&](double mv) { return running ? (cutOff ? 22.0 : 14.7 - (mv - 450) / 380 * 1.2) : 0.0; };
  // Wideband readings: on the dyno, the fuel the engine gets against what it needs.
  auto wideband = [&](int sensor) { return afrTarget * dyno->Lambda(sensor) / Tuner::kLambdaReference; };
  PutS16(r, 50, (onDyno ? wideband(0) : afr(mv1)) * 10);
  PutS16(r, 52, (onDyno ? wideband(1) : afr(mv2)) * 10);

  // Injection (ms x 1000 and factors x 1000).
  const double base = running || cranking_ ? 1.6 + throttle * 0.085 + rpm / 10000 : 0;
  const double kTair = 1 + (25 - airTemp) * 0.002;
  const double kTemp = 1 + 0.35 * cold;
  const double kCrank = cranking_ ? 2.5 : 1.0;
  const double kBanco = kInjBanco / 1000.0;
  const double transRpm = std::clamp(throttleRate_ * 0.004, -0.5, 1.5);
  const double transTemp = transRpm * cold * 0.5;
  const double trans = running ? transRpm + transTemp : 0;
  const double vbatA = 0.9 + (14 - vbat) * 0.15, vbatB = vbatA + 0.05;
  auto injection = [&](double kCyl) {
    if (!(running || cranking_) || cutOff) return 0.0;
    return base * kTair * kTemp * kCrank * kBanco * kCyl + trans + vbatA;
  };
  const double cyl1 = injection(kInjBanco1 / 1000.0), cyl2 = injection(kInjBanco2 / 1000.0);
  const double share = equipment.doubleInjection && throttle > 40 ? 0.35 : 0.0;  // upper injectors
  PutU16(r, 54, cyl1 * (1 - share) * 1000);
  PutU16(r, 56, cyl2 * (1 - share) * 1000);
  PutU16(r, 58, equipment.doubleInjection ? cyl1 * share * 1000 : 0);
  PutU16(r, 60, equipment.doubleInjection ? cyl2 * share * 1000 : 0);
  PutU16(r, 62, base * 1000);
  PutU16(r, 64, base * 1000);
  PutU16(r, 66, kTair * 1000);
  PutU16(r, 68, kTemp * 1000);
  PutU16(r, 70, 1000);
  PutU16(r, 72, kInjBanco1);
  PutU16(r, 74, kInjBanco2);
  PutU16(r, 76, kInjBanco);
  PutU16(r, 78, 1000);
  PutU16(r, 80, 1000);
  PutU16(r, 82, kCrank * 1000);
  PutU16(r, 84, 1000);
  PutS16(r, 88, running ? transRpm * 1000 : 0);
  PutS16(r, 90, running ? transTemp * 1000 : 0);
  PutS16(r, 92, trans * 1000);
  PutU16(r, 94, vbatA * 1000);
  PutU16(r, 96, vbatB * 1000);

  // Injection phase and ignition advance (degrees x 10, phase base in degrees).
  const double faseBase = 320 + degFaseBanco;
  PutS16(r, 98, faseBase * 10);
  PutS16(r, 100, 320);
  PutS16(r, 102, degFaseBanco);
  const double advBase = running ? 8 + std::min(rpm, 9000.0) / 9000 * 30 - throttle * 0.06 : 5;
  const double advTair = -(airTemp - 25) * 0.05, advTemp = 2.0 * cold;
  const double advTrans = running && throttleRate_ > 50 ? -1.5 : 0;
  auto advance = [&](int16_t cyl) {
    return advBase + (ddgAdvBanco + cyl) / 10.0 + advTair + advTemp + advTrans;
  };
  PutS16(r, 104, advance(ddgAdvBanco1) * 10);
  PutS16(r, 106, advance(ddgAdvBanco2) * 10);
  PutS16(r, 108, advBase * 10);
  PutS16(r, 110, ddgAdvBanco1);
  PutS16(r, 112, ddgAdvBanco2);
  PutS16(r, 114, ddgAdvBanco);
  PutS16(r, 116, 0);
  PutS16(r, 118, 0);
  PutS16(r, 120, advTair * 10);
  PutS16(r, 122, advTemp * 10);
  PutS16(r, 124, 0);
  PutS16(r, 126, 0);
  PutS16(r, 130, advTrans * 10);
  PutU16(r, 132, running || cranking_ ? (3.2 - (vbat - 12) * 0.3) * 1000 : 0);
  PutU16(r, 134, equipment.wheelSpeed ? speed_ : 0);
  PutU16(r, 136, equipment.wheelSpeed ? std::fmod(distance_ * 10, 65536) : 0);
  Put16(r, 86, 0);

  // Status bytes.
  const bool shifting = running && cycle_ > 14 && cycle_ < 14.15;
  const bool neutral = !running || (throttle < 1 && cycle_ < 4);
  PutBit(r, 0, 7, !IsLocked());
  PutBit(r, 0, 4, running);
  PutBit(r, 0, 3, running || cranking_);
  PutBit(r, 0, 2, running || cranking_);
  PutBit(r, 0, 1, cranking_);
  PutBit(r, 0, 0, cutOff);
  PutBit(r, 1, 1, true);  // NUMjTrans in tenths
  PutBit(r, 1, 0, running && equipment.diagnostics && throttle > 80 && cycle_ > 15 && cycle_ < 15.6);
  PutBit(r, 2, 3, equipment.fuelLevel && fuel < 3);
  PutBit(r, 2, 2, vbat < 9);
  PutBit(r, 2, 1, vbat > 15.5);
  PutBit(r, 2, 0, true);  // the key's code was read
  PutBit(r, 3, 6, true);
  PutBit(r, 3, 5, true);
  PutBit(r, 3, 4, shifting);
  PutBit(r, 3, 1, shifting);
  PutBit(r, 4, 3, equipment.oilPressure && !running);
  PutBit(r, 4, 2, running || cranking_ || testFuelPump || (started_ == false && last_ - start_ < 3));
  PutBit(r, 4, 1, cranking_);
  PutBit(r, 4, 0, equipment.lambdaSensors > 0 && running && !cutOff && throttle < 60 && waterTemp > 60);
  PutBit(r, 5, 7, cranking_);
  PutBit(r, 5, 6, fanOn_ || testFan);
  PutBit(r, 5, 5, (equipment.lambdaSensors > 0 && running) || testHeat);
  PutBit(r, 5, 4, !running || testMilLamp || !faultySensors.empty());
  PutBit(r, 5, 3, running || testLight);
  PutBit(r, 5, 2, running && cycle_ < 1.5);
  PutBit(r, 5, 1, !running && !cranking_);
  PutBit(r, 5, 0, neutral);
  return r;
}

bool EcuModel::IsLocked() const {
  if (protectPassword.empty()) return false;
  uint8_t padded[15] = {};
  std::memcpy(padded, protectPassword.data(), std::min<size_t>(protectPassword.size(), 15));
  bool first = true, second = true;
  for (int i = 0; i < 15; ++i) {
    const uint8_t key = RotateLeft(padded[i]);
    if (lastKeys[2 * i] != key || lastKeys[2 * i + 1] != 0) first = false;
    if (lastKeys[2 * i + 1] != key || lastKeys[2 * i] != 0) second = false;
  }
  return !(first || second);
}

void EcuModel::ApplyBench(uint8_t code, uint16_t value) {
  const auto s = static_cast<int16_t>(value);
  switch (code) {
    case 2:
      kInjBanco = value;
      break;
    case 3:
      kInjBanco1 = value;
      break;
    case 4:
      kInjBanco2 = value;
      break;
    case 5:
      degFaseBanco = s;
      break;
    case 6:
      ddgAdvBanco = s;
      break;
    case 7:
      ddgAdvBanco1 = s;
      break;
    case 8:
      ddgAdvBanco2 = s;
      break;
    default:
      break;
  }
}

Device::Reply EcuModel::OnLive(const uint8_t* payload, uint8_t n) {
  Device::Reply reply;
  if (n != 3) {
    reply.send = false;
    return reply;
  }
  ApplyBench(payload[2], com::Get16BE(payload));
  UpdateEquipmentValues();
  reply.payload = LiveRecord();
  return reply;
}

Device::Reply EcuModel::OnTestOutput(const uint8_t* payload, uint8_t n) {
  Device::Reply reply;
  if (n != 2 || payload[0] < 1 || payload[0] > 12) {
    reply.send = false;
    return reply;
  }
  const bool on = payload[1] != 0;
  lastOutputTest = payload[0];
  switch (payload[0]) {
    case 7:
      testFuelPump = on;
      break;
    case 8:
      testFan = on;
      break;
    case 9:
      testLight = on;
      break;
    case 10:
      testMilLamp = on;
      break;
    case 11:
      testHeat = on;
      break;
    case 12:
      if (device_) device_->activeMapping = device_->activeMapping == 2 ? 1 : 2;
      ++counters_[10];
      break;
    default:
      break;
  }
  return reply;
}

// ----------------------------------------------------------------- diagnostics

void EcuModel::UpdateDiagStatus() {
  std::array<uint8_t, 92>& s = diagStatus;
  s.fill(0);
  auto u32 = [&](size_t o, double v) { com::Put32BE(s.data() + o, static_cast<uint32_t>(v)); };
  auto u16 = [&](size_t o, uint16_t v) { com::Put16BE(s.data() + o, v); };
  u32(0, onTime_);
  u32(4, overRpm_);
  u32(8, overThrottle_);
  u32(12, dist_);
  u16(16, maxRpm_);
  u16(18, overRev_);
  u16(20, 0);
  u32(24, onTimeUser_);
  u32(28, distUser_);
  for (int i = 0; i < 4; ++i) u16(32 + 2 * i, outputErrors_[i]);
  u16(44, velWheelErr_);
  for (int i = 0; i < 12; ++i) u16(46 + 2 * i, counters_[i]);
  u16(70, dtcErr_);
  for (int i = 0; i < 9; ++i) {
    u16(72 + 2 * i, sensorErrors_[i]);
    if (SensorFaulty(i)) s[90 + SensorByte(i)] |= static_cast<uint8_t>(1 << SensorBit(i));
  }

  std::array<uint8_t, 140>& p = diagParam;
  p.fill(0);
  com::Put16BE(p.data(), rpmLimit_);
  com::Put16BE(p.data() + 2, throttleLimit_);
  com::Put32BE(p.data() + 4, distLimit_);
  com::Put16BE(p.data() + 8, velWheelLimit_);
  auto value = [](int sensor, uint16_t count) {
    const double v = count == 65535 ? 32767 : SensorValue(sensor, count);
    return static_cast<uint16_t>(static_cast<int16_t>(std::clamp(std::lround(v), -32768L, 32767L)));
  };
  for (int i = 0; i < 9; ++i) {
    com::Put16BE(p.data() + 10 + 2 * i, maxErr_[i]);
    com::Put16BE(p.data() + 28 + 2 * i, adMin_[i]);
    com::Put16BE(p.data() + 46 + 2 * i, value(i, adMin_[i]));
    com::Put16BE(p.data() + 64 + 2 * i, adMax_[i]);
    com::Put16BE(p.data() + 82 + 2 * i, value(i, adMax_[i]));
    com::Put16BE(p.data() + 100 + 2 * i, adRecov_[i]);
    com::Put16BE(p.data() + 118 + 2 * i, value(i, adRecov_[i]));
  }
  p[136] = static_cast<uint8_t>(switches_ & 0xFF);
  p[137] = static_cast<uint8_t>(switches_ >> 8);
}

void EcuModel::ResetDiagItem(uint8_t item) {
  // The totals (items 2 to 5) are the workshop's business: they need the password.
  if (item >= 2 && item <= 5 && !diagUnlocked) return;
  switch (item) {
    case 1:
      sensorErrors_.fill(0);
      outputErrors_.fill(0);
      velWheelErr_ = dtcErr_ = 0;
      break;
    case 2:
      onTime_ = 0;
      break;
    case 3:
      overRpm_ = 0;
      break;
    case 4:
      overThrottle_ = 0;
      break;
    case 5:
      dist_ = 0;
      break;
    case 6:
      maxRpm_ = 0;
      break;
    case 7:
      overRev_ = 0;
      break;
    case 8:
      onTimeUser_ = 0;
      break;
    case 9:
      distUser_ = 0;
      break;
    case 10:
    case 11:
    case 12:
    case 13:
      outputErrors_[item - 10] = 0;
      break;
    case 14:
      velWheelErr_ = 0;
      break;
    case 27:
      dtcErr_ = 0;
      break;
    default:
      if (item >= 15 && item <= 26) counters_[item - 15] = 0;
      if (item >= 28 && item <= 36) sensorErrors_[item - 28] = 0;
      break;
  }
}

void EcuModel::WriteDiagItem(uint8_t item, uint8_t sub, uint16_t value) {
  if (item >= 3 && item <= 14 && sub == 0) {
    if (!diagUnlocked) return;  // the limits need the password
    if (item == 3) rpmLimit_ = value;
    if (item == 4) throttleLimit_ = value;
    if (item == 5) distLimit_ = value;
    if (item == 14) velWheelLimit_ = value;
    return;
  }
  if (item < 28 || item > 36) return;
  const int s = item - 28;
  switch (sub) {
    case 1:
      switches_ = static_cast<uint16_t>(switches_ ^ (1u << (SensorByte(s) * 8 + SensorBit(s))));
      break;
    case 2:
      maxErr_[s] = value;
      break;
    case 3:
      adMin_[s] = value;
      break;
    case 4:
      adMax_[s] = value;
      break;
    case 5:
      adRecov_[s] = value;
      break;
    default:
      break;
  }
}

Device::Reply EcuModel::OnReadDiagnostics(const uint8_t* payload, uint8_t n) {
  Device::Reply reply;
  if (n != 1) {
    reply.send = false;
    return reply;
  }
  Step();
  if (payload[0] != 0) ResetDiagItem(payload[0]);
  UpdateDiagStatus();
  reply.payload.assign(diagStatus.begin(), diagStatus.end());
  return reply;
}

Device::Reply EcuModel::OnWriteDiagParam(const uint8_t* payload, uint8_t n) {
  Device::Reply reply;
  if (n != 4) {
    reply.send = false;
    return reply;
  }
  if (payload[2] != 0) WriteDiagItem(payload[2], payload[3], com::Get16BE(payload));
  UpdateDiagStatus();
  reply.payload.assign(diagParam.begin(), diagParam.end());
  return reply;
}

Device::Reply EcuModel::OnDiagnosticPassword(const uint8_t* payload, uint8_t n) {
  Device::Reply reply;
  if (n != 9) {
    reply.send = false;
    return reply;
  }
  uint8_t stored[8] = {};
  std::memcpy(stored, diagPassword.data(), std::min<size_t>(diagPassword.size(), 8));
  const bool matches = std::memcmp(stored, payload + 1, 8) == 0;
  uint8_t answer = 0;
  if (payload[0] == 1) {  // log in
    diagUnlocked = matches;
    answer = matches;
  } else if (payload[0] == 0 && diagUnlocked) {  // set a new password
    const char* text = reinterpret_cast<const char*>(payload + 1);
    diagPassword.assign(text, strnlen(text, 8));
    answer = 1;
  }
  reply.payload = {answer};
  return reply;
}

// The data names by slot, as the live page shows them: 0 the configuration, 1 and 2
// the two map sets, 8 the map set the engine runs on. A name a test set wins.
Device::Reply EcuModel::OnGetDataName(const uint8_t* payload, uint8_t n) {
  Device::Reply reply;
  reply.send = false;
  if (n != 1 || !device_) return reply;
  const uint8_t slot = payload[0];
  std::string name;
  if (auto it = device_->dataNames.find(slot); it != device_->dataNames.end())
    name = it->second;
  else if (slot == 0)
    name = device_->parName;
  else if (slot == 1 || slot == 2)
    name = device_->mapName[slot - 1];
  else if (slot == 8)
    name = device_->mapName[device_->activeMapping == 2 ? 1 : 0];
  else
    return reply;
  reply.send = true;
  reply.payload.assign(name.begin(), name.begin() + static_cast<long>(std::min<size_t>(name.size(), 255)));
  return reply;
}

// ------------------------------------------------------------------ protection

Device::Reply EcuModel::OnWriteProtectKeys(const uint8_t* payload, uint8_t n) {
  Device::Reply reply;
  if (n != 15) {
    reply.send = false;
    return reply;
  }
  // A new lock erases what the ECU holds.
  const char* text = reinterpret_cast<const char*>(payload);
  protectPassword.assign(text, strnlen(text, 15));
  if (device_) device_->SetDefaultBlocks();
  return reply;
}

Device::Reply EcuModel::OnIdentify(const uint8_t* payload, uint8_t n) {
  Device::Reply reply;
  if (!device_) {
    reply.send = false;
    return reply;
  }
  if (n == 30) std::copy(payload, payload + 30, lastKeys.begin());
  UpdateEquipmentValues();
  reply.payload = device_->IdentityRecord();
  if (IsLocked()) reply.payload[0] |= 0x80;
  return reply;
}

// --------------------------------------------------------------------- options

bool EngineOptionTakesValue(const std::string& name) {
  return name == "lambda" || name == "sensor-fault" || name == "diag-password" ||
         name == "protect-password" || name == "afr-target";
}

bool ParseEngineOption(const std::string& name, const std::string& value, EcuModel& model, bool* used,
                       std::string* error) {
  *used = true;
  Equipment& e = model.equipment;
  if (!EngineOptionTakesValue(name) && !value.empty()) {
    static const char* flags[] = {"oil-temp", "water-temp", "single-injection", "no-wheel-speed",
                                  "engine-off"};
    for (const char* flag : flags)
      if (name == flag) {
        *error = "--" + name + " takes no value";
        return false;
      }
  }
  if (name == "oil-temp") {
    e.oilTemperature = true;
  } else if (name == "water-temp") {
    e.oilTemperature = false;
  } else if (name == "single-injection") {
    e.doubleInjection = false;
  } else if (name == "lambda") {
    if (value != "0" && value != "1" && value != "2") {
      *error = "--lambda: give 0, 1 or 2 sensors";
      return false;
    }
    e.lambdaSensors = value[0] - '0';
  } else if (name == "no-wheel-speed") {
    e.wheelSpeed = false;
  } else if (name == "engine-off") {
    model.engineEnabled = false;
  } else if (name == "sensor-fault") {
    if (std::find(std::begin(kSensorNames), std::end(kSensorNames), value) == std::end(kSensorNames)) {
      *error = "--sensor-fault: '" + value +
               "' is none of farf, th2o, toil, tair, lFuel, pBaro, nbego1, "
               "nbego2, vBat";
      return false;
    }
    model.faultySensors.push_back(value);
  } else if (name == "diag-password") {
    if (value.size() > 8) {
      *error = "--diag-password: at most 8 characters";
      return false;
    }
    model.diagPassword = value;
  } else if (name == "afr-target") {
    char* end = nullptr;
    const double afr = std::strtod(value.c_str(), &end);
    if (value.empty() || *end != '\0' || !(afr >= 8 && afr <= 20)) {
      *error = "--afr-target: an air-fuel ratio from 8 to 20";
      return false;
    }
    model.afrTarget = afr;
  } else if (name == "protect-password") {
    if (value.size() > 15) {
      *error = "--protect-password: at most 15 characters";
      return false;
    }
    model.protectPassword = value;
  } else {
    *used = false;
  }
  return true;
}

const char* EngineOptionsHelp() {
  return "Engine and equipment (application firmware):\n"
         "  --oil-temp              the bike measures oil temperature (default: water)\n"
         "  --lambda N              0, 1 or 2 lambda sensors (default 1)\n"
         "  --single-injection      one injector per cylinder (default two)\n"
         "  --no-wheel-speed        no wheel-speed input\n"
         "  --engine-off            key on, engine never started\n"
         "  --sensor-fault NAME     the sensor's reading carries the fault flag (farf, th2o,\n"
         "                          toil, tair, lFuel, pBaro, nbego1, nbego2, vBat; repeatable)\n"
         "  --diag-password TEXT    diagnostics password, at most 8 characters (default none)\n"
         "  --protect-password TEXT lock the ECU with a password of at most 15 characters\n"
         "  --afr-target AFR        air-fuel ratio the wideband readings centre on when the\n"
         "                          injection map is the engine's true map (default 13.2)\n";
}

}  // namespace sim
