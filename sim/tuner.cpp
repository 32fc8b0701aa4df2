#include "sim/tuner.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>

#include "ecudata/image.h"
#include "link/bytes.h"
#include "link/commands.h"

namespace sim {

namespace {

constexpr double kStep = 0.02;              // seconds between two runs of the lambda loop
constexpr int kDelaySteps = 5;              // transport delay of the exhaust, in loop runs
constexpr double kNoise = 0.004;            // relative noise of the sensors
constexpr int kSteadySteps = 10;            // the rpm must be steady over this many loop runs
constexpr double kMinHold = 0.2;            // seconds on a cell before it is corrected
constexpr double kMove = 0.3;               // seconds the rider takes from cell to cell
constexpr double kWholeMapHold = 2.0;       // seconds a cell when riding the whole map
constexpr double kMaxCatchUp = 5.0;         // seconds the engine runs at most for one request
constexpr double kThrottleRateLimit = 100;  // 0.1 % per second: a transient (10 %/s)
constexpr double kThrottleSteady = 30;      // 0.1 % per second: still moving (3 %/s)
constexpr double kCutOffThrottle = 5, kCutOffRpm = 2500;
// The true map is the fuel for this lambda.
constexpr double kLambdaRef = Tuner::kLambdaReference;
constexpr double kPi = 3.14159265358979323846;
constexpr uint32_t kInjRpmAxis = 3024, kInjThrottleAxis = 3088;
constexpr int kMaxInjection = 32000, kMaxAdvance = 7200;

double SteadySeconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void Put16(uint8_t* p, int value) {
  com::Put16BE(p, static_cast<uint16_t>(value));
}
int16_t S16(const uint8_t* p) {
  return static_cast<int16_t>(com::Get16BE(p));
}
int16_t ToS16(double v) {
  return static_cast<int16_t>(std::clamp<long>(std::lround(v), -32768, 32767));
}
uint16_t ToU16(double v) {
  return static_cast<uint16_t>(std::clamp<long>(std::lround(v), 0, 65535));
}

// The sensor (0, 1) whose lambda drives a cylinder's map in a tracking mode, or -1.
int SensorFor(int mode, int cylinder) {
  switch (mode) {
    case 0:
      return cylinder;
    case 1:
      return 0;
    case 2:
      return cylinder == 0 ? 0 : -1;
    case 3:
      return cylinder == 1 ? 1 : -1;
    default:
      return -1;
  }
}

}  // namespace

// ------------------------------------------------------------------- records

int TuneSettings::EnableCode(int row, int column) const {
  if (row < 0 || row >= 20 || column < 0 || column >= 32) return 0;
  return static_cast<int>((((enableMaskA[row] >> column) & 1) << 1) | ((enableMaskB[row] >> column) & 1));
}

void TuneSettings::SetEnableCode(int row, int column, int code) {
  if (row < 0 || row >= 20 || column < 0 || column >= 32) return;
  const uint32_t bit = 1u << column;
  enableMaskA[row] = (code & 2) ? enableMaskA[row] | bit : enableMaskA[row] & ~bit;
  enableMaskB[row] = (code & 1) ? enableMaskB[row] | bit : enableMaskB[row] & ~bit;
}

bool TuneSettings::AnyEnabled() const {
  for (int r = 0; r < 20; ++r)
    if (enableMaskA[r] | enableMaskB[r]) return true;
  return false;
}

std::vector<uint8_t> EncodeTuneSettings(const TuneSettings& s) {
  std::vector<uint8_t> r(kTuneSettingsSize, 0);
  for (int i = 0; i < 20; ++i) {
    com::Put32BE(r.data() + 4 * i, s.enableMaskA[i]);
    com::Put32BE(r.data() + 80 + 4 * i, s.enableMaskB[i]);
  }
  Put16(r.data() + 160, s.rpmMargin);
  Put16(r.data() + 162, s.minTemp);
  Put16(r.data() + 164, s.maxTemp);
  for (int i = 0; i < 3; ++i) Put16(r.data() + 166 + 2 * i, s.targets[i]);
  Put16(r.data() + 172, s.lambdaTolerance);
  Put16(r.data() + 174, s.minInjTime);
  Put16(r.data() + 176, s.maxInjTime);
  com::Put32BE(r.data() + 180, static_cast<uint32_t>(s.kp));
  com::Put32BE(r.data() + 184, static_cast<uint32_t>(s.ki));
  Put16(r.data() + 188, s.step);
  r[190] = s.singleCell;
  Put16(r.data() + 192, s.rpmTolerance);
  Put16(r.data() + 194, s.throttleTolerance);
  Put16(r.data() + 196, s.cellHold);
  r[198] = s.trackingMode;
  return r;
}

TuneSettings DecodeTuneSettings(const uint8_t* r) {
  TuneSettings s;
  for (int i = 0; i < 20; ++i) {
    s.enableMaskA[i] = com::Get32BE(r + 4 * i);
    s.enableMaskB[i] = com::Get32BE(r + 80 + 4 * i);
  }
  s.rpmMargin = com::Get16BE(r + 160);
  s.minTemp = S16(r + 162);
  s.maxTemp = S16(r + 164);
  for (int i = 0; i < 3; ++i) s.targets[i] = S16(r + 166 + 2 * i);
  s.lambdaTolerance = S16(r + 172);
  s.minInjTime = S16(r + 174);
  s.maxInjTime = S16(r + 176);
  s.kp = static_cast<int32_t>(com::Get32BE(r + 180));
  s.ki = static_cast<int32_t>(com::Get32BE(r + 184));
  s.step = com::Get16BE(r + 188);
  s.singleCell = r[190];
  s.rpmTolerance = com::Get16BE(r + 192);
  s.throttleTolerance = com::Get16BE(r + 194);
  s.cellHold = S16(r + 196);
  s.trackingMode = r[198];
  return s;
}

std::vector<uint8_t> EncodeTuneInfo(const TuneInfo& info) {
  std::vector<uint8_t> r(kTuneInfoSize, 0);
  Put16(r.data() + 0, info.rpm);
  Put16(r.data() + 2, info.throttle);
  Put16(r.data() + 4, info.lambda[0]);
  Put16(r.data() + 6, info.lambda[1]);
  Put16(r.data() + 8, info.target);
  Put16(r.data() + 10, info.temperature);
  for (int i = 0; i < 2; ++i) {
    Put16(r.data() + 12 + 2 * i, info.baseInjection[i]);
    Put16(r.data() + 16 + 2 * i, info.factor[i]);
  }
  Put16(r.data() + 20, info.baseAdvance);
  Put16(r.data() + 22, info.advanceCorrection);
  r[24] = info.flagsA;
  r[25] = info.flagsB;
  r[26] = info.flagsC;
  for (int i = 0; i < kTuneCells; ++i) {
    const TuneCell& c = info.cells[i];
    Put16(r.data() + 28 + 4 * i, TuneCellId(c.type, c.column, c.row));
    Put16(r.data() + 30 + 4 * i, c.value);
  }
  return r;
}

TuneInfo DecodeTuneInfo(const uint8_t* r) {
  TuneInfo info;
  info.rpm = S16(r);
  info.throttle = S16(r + 2);
  info.lambda = {S16(r + 4), S16(r + 6)};
  info.target = S16(r + 8);
  info.temperature = S16(r + 10);
  for (int i = 0; i < 2; ++i) {
    info.baseInjection[i] = com::Get16BE(r + 12 + 2 * i);
    info.factor[i] = com::Get16BE(r + 16 + 2 * i);
  }
  info.baseAdvance = S16(r + 20);
  info.advanceCorrection = S16(r + 22);
  info.flagsA = r[24];
  info.flagsB = r[25];
  info.flagsC = r[26];
  for (int i = 0; i < kTuneCells; ++i) {
    const uint16_t id = com::Get16BE(r + 28 + 4 * i);
    TuneCell& c = info.cells[i];
    c.type = static_cast<uint8_t>(id >> 10);
    c.column = static_cast<uint8_t>((id >> 5) & 31);
    c.row = static_cast<uint8_t>(id & 31);
    c.value = com::Get16BE(r + 30 + 4 * i);
  }
  return info;
}

// --------------------------------------------------------------------- tuner

Tuner::Tuner(uint32_t seed) : clock(SteadySeconds), seed_(seed), random_(seed) {}

void Tuner::Install(AppDevice& device) {
  device_ = &device;
  if (!locked) locked = [this] { return device_ && device_->identity.isProtected; };
  device.handlers[com::TuneExchange] = [this](const uint8_t* p, uint8_t n) { return OnTune(p, n); };
  device.onMapCellChanged = [this](int type, int row, int column) { Changed(type, row, column); };
  ResetTrueMap();
  started_ = false;
  Advance();
  SyncIdentity();
}

// The true map: the starting map scaled by 1 + f, f a smooth surface of two waves
// drawn from the seed per cylinder, stretched to run from -0.15 to +0.20.
void Tuner::ResetTrueMap() {
  if (!device_ || device_->ActiveMap().size() != ecu::kMapSize) return;
  for (int cyl = 0; cyl < 2; ++cyl) {
    std::mt19937 g(seed_ * 2 + static_cast<uint32_t>(cyl));
    auto u01 = [&g] { return static_cast<double>(g()) / 4294967296.0; };
    const double f1 = 0.4 + 0.5 * u01(), f2 = 0.3 + 0.4 * u01();
    const double p1 = u01(), p2 = u01(), tilt1 = 1 + u01(), tilt2 = 0.5 + u01();
    std::array<double, 640> wave{};
    for (int r = 0; r < 20; ++r)
      for (int c = 0; c < 32; ++c) {
        const double u = c / 31.0, v = r / 19.0;
        wave[static_cast<size_t>(r * 32 + c)] = 0.55 * std::sin(2 * kPi * (f1 * u + p1) + tilt1 * v) +
                                                0.45 * std::sin(2 * kPi * (f2 * v + p2) + tilt2 * u);
      }
    const auto [lo, hi] = std::minmax_element(wave.begin(), wave.end());
    const double low = *lo, span = std::max(1e-9, *hi - *lo);
    for (int i = 0; i < 640; ++i) {
      const double f = -0.15 + 0.35 * (wave[static_cast<size_t>(i)] - low) / span;
      const double value = MapCell(2 + cyl, i / 32, i % 32) * (1 + f);
      trueMap_[cyl][static_cast<size_t>(i)] =
          static_cast<uint16_t>(std::clamp<long>(std::lround(value), 0, kMaxInjection));
    }
  }
}

TuneState Tuner::State() const {
  return locked && locked() ? TuneState::Locked : state_;
}

void Tuner::Start(TuneState state) {
  if (state == TuneState::Locked) return;  // the lock is the device's
  SetState(state);
}

void Tuner::SetState(TuneState state) {
  const TuneState before = state_;
  state_ = state;
  if (state != before || state != TuneState::Auto) {
    factor1 = factor2 = 1000;
    advanceOffset = 0;
    paused = false;
  }
  active_ = {false, false};
  BuildPath();
  SyncIdentity();
}

void Tuner::CheckLock() {
  if (State() == TuneState::Locked && (state_ == TuneState::Manual || state_ == TuneState::Auto))
    SetState(TuneState::Off);
  SyncIdentity();
}

// The identity's tuning bits follow the state, so that the ECU's identity (read on the
// other pages) tells whether and how it tunes.
void Tuner::SyncIdentity() {
  if (!device_) return;
  const TuneState s = State();
  device_->identity.flag6 = s == TuneState::Manual || s == TuneState::Auto;
  device_->identity.flag5 = s == TuneState::Auto;
}

// ------------------------------------------------------------------ the map

uint16_t Tuner::MapCell(int type, int row, int column) const {
  if (!device_ || row < 0 || row >= 20 || column < 0 || column >= 32) return 0;
  const std::vector<uint8_t>& block = device_->ActiveMap();
  const uint32_t offset = AppDevice::MatrixOffset(type);
  if (offset == 0 || block.size() != ecu::kMapSize) return 0;
  return com::Get16LE(block.data() + offset + 2 * static_cast<uint32_t>(row * 32 + column));
}

void Tuner::SetMapCell(int type, int row, int column, int value) {
  std::vector<uint8_t>& block = device_->ActiveMap();
  const uint32_t offset = AppDevice::MatrixOffset(type);
  if (offset == 0 || block.size() != ecu::kMapSize) return;
  uint8_t* p = block.data() + offset + 2 * static_cast<uint32_t>(row * 32 + column);
  const auto v = static_cast<uint16_t>(value);
  if (com::Get16LE(p) == v) return;
  com::Put16LE(p, v);
  Changed(type, row, column);
}

void Tuner::Axes(int16_t* rpm, int16_t* throttle) const {
  const std::vector<uint8_t>& block = device_->ActiveMap();
  const bool ok = block.size() == ecu::kMapSize;
  for (int c = 0; c < 32; ++c)
    rpm[c] = ok ? static_cast<int16_t>(com::Get16LE(block.data() + kInjRpmAxis + 2 * c)) : 0;
  for (int r = 0; r < 20; ++r)
    throttle[r] = ok ? static_cast<int16_t>(com::Get16LE(block.data() + kInjThrottleAxis + 2 * r)) : 0;
}

void Tuner::Changed(int type, int row, int column) {
  if (type < 2 || type > 4 || row < 0 || row >= 20 || column < 0 || column >= 32) return;
  const size_t index = static_cast<size_t>((type - 2) * 640 + row * 32 + column);
  if (isPending_[index]) return;
  isPending_[index] = true;
  pending_.push_back(TuneCellId(type, column, row));
}

// The breakpoints an axis value touches: both bracketing ones, or (single) the one
// within the tolerance.
Tuner::Span Tuner::AxisSpan(const int16_t* axis, int n, double v, bool single, double tolerance) const {
  Span s;
  if (v <= axis[0]) {
    s.lo = s.hi = 0;
  } else if (v >= axis[n - 1]) {
    s.lo = s.hi = n - 1;
  } else {
    int nearest = 0;
    bool found = false;
    for (int i = 0; i + 1 < n && !found; ++i) {
      if (axis[i] <= v && v < axis[i + 1]) {
        s.lo = i;
        s.hi = axis[i] == v ? i : i + 1;
        found = true;
      }
      if (std::abs(axis[i + 1] - v) < std::abs(axis[nearest] - v)) nearest = i + 1;
    }
    if (!found) s.lo = s.hi = nearest;  // an axis out of order
  }
  if (s.hi != s.lo) s.wHi = (v - axis[s.lo]) / (axis[s.hi] - axis[s.lo]);
  if (!single) return s;
  // Single: the nearer of the two, when it lies within the tolerance.
  if (s.lo != s.hi && axis[s.hi] - v < v - axis[s.lo]) s.lo = s.hi;
  s.hi = s.lo;
  s.any = std::abs(v - axis[s.lo]) <= tolerance;
  s.wHi = 0;
  return s;
}

std::vector<Tuner::Corrected> Tuner::CellsAt(bool single) const {
  int16_t rpmAxis[32], throttleAxis[20];
  Axes(rpmAxis, throttleAxis);
  const Span x = AxisSpan(rpmAxis, 32, rpm_, single, settings.rpmTolerance);
  const Span y = AxisSpan(throttleAxis, 20, throttle_, single, settings.throttleTolerance);
  std::vector<Corrected> cells;
  if (!x.any || !y.any) return cells;
  const std::pair<int, double> cols[2] = {{x.lo, 1 - x.wHi}, {x.hi, x.wHi}};
  const std::pair<int, double> rows[2] = {{y.lo, 1 - y.wHi}, {y.hi, y.wHi}};
  for (int i = 0; i < (y.lo == y.hi ? 1 : 2); ++i)
    for (int j = 0; j < (x.lo == x.hi ? 1 : 2); ++j) {
      const double w = (y.lo == y.hi ? 1 : rows[i].second) * (x.lo == x.hi ? 1 : cols[j].second);
      cells.push_back({rows[i].first, cols[j].first, w});
    }
  return cells;
}

double Tuner::Interpolated(int type, const std::vector<Corrected>& cells) const {
  double sum = 0;
  for (const Corrected& c : cells) {
    const uint16_t raw = MapCell(type, c.row, c.column);
    sum += c.weight * (type == 4 ? static_cast<int16_t>(raw) : raw);
  }
  return sum;
}

double Tuner::TrueInterpolated(int cylinder, const std::vector<Corrected>& cells) const {
  double sum = 0;
  for (const Corrected& c : cells) sum += c.weight * TrueCell(cylinder, c.row, c.column);
  return sum;
}

// ------------------------------------------------------------------ the engine

void Tuner::Advance() {
  if (!device_) return;
  const double now = clock();
  if (!started_ || now < t0_ + steps_ * kStep - kStep) {  // first run, or a clock set back
    started_ = true;
    t0_ = now;
    steps_ = 0;
    segmentStart_ = heldSince_ = now;
    delay_.clear();
    rpmHistory_.clear();
    BuildPath();
    RunStep(now);
    return;
  }
  double last = t0_ + steps_ * kStep;
  if (now - last > kMaxCatchUp) {  // long without a request: the time between is skipped
    const double skipped = now - kMaxCatchUp - last;
    t0_ += skipped;
    segmentStart_ += skipped;
    heldSince_ += skipped;
  }
  while (t0_ + (steps_ + 1) * kStep <= now + 1e-9) {
    ++steps_;
    RunStep(t0_ + steps_ * kStep);
  }
}

void Tuner::BuildPath() {
  const bool enabledOnly = state_ == TuneState::Auto && settings.AnyEnabled();
  std::vector<std::pair<int, int>> path;
  int ridden = 0;
  for (int r = 0; r < 20; ++r) {
    std::vector<std::pair<int, int>> row;
    for (int c = 0; c < 32; ++c)
      if (!enabledOnly || settings.EnableCode(r, c) != 0) row.emplace_back(r, c);
    if (row.empty()) continue;
    if (ridden++ % 2 == 1) std::reverse(row.begin(), row.end());
    path.insert(path.end(), row.begin(), row.end());
  }
  if (path == path_ && enabledOnly == pathEnabledOnly_) return;
  path_ = std::move(path);
  pathEnabledOnly_ = enabledOnly;
  pathIndex_ = 0;
  segmentStart_ = t0_ + steps_ * kStep;
  fromRpm_ = rpm_;
  fromThrottle_ = throttle_;
}

// The rider: from cell to cell in kMove seconds, then held there with a little jitter.
void Tuner::MoveRider(double t) {
  if (path_.empty()) return;
  const double dwell =
      kMove + (pathEnabledOnly_ ? holdTime + std::max(0, int{settings.cellHold}) / 1000.0 : kWholeMapHold);
  double elapsed = t - segmentStart_;
  if (elapsed >= dwell) {
    pathIndex_ = (pathIndex_ + 1) % path_.size();
    segmentStart_ = t;
    fromRpm_ = rpm_;
    fromThrottle_ = throttle_;
    elapsed = 0;
  }
  int16_t rpmAxis[32], throttleAxis[20];
  Axes(rpmAxis, throttleAxis);
  const auto [row, column] = path_[pathIndex_ % path_.size()];
  const double k = std::min(1.0, elapsed / kMove);
  // The jitter keeps at or a little above the breakpoint, so that the cell held is
  // the one a marker shows (which takes the lower breakpoint first).
  const double rpm = fromRpm_ + (rpmAxis[column] - fromRpm_) * k + 8 * (1 + std::sin(2 * kPi * 1.3 * t));
  const double throttle =
      fromThrottle_ + (throttleAxis[row] - fromThrottle_) * k + 0.4 * (1 + std::sin(2 * kPi * 0.9 * t));
  rpm_ = std::max(0.0, rpm);
  throttle_ = std::max(0.0, throttle);
}

// One run of the ECU's lambda loop at time t.
void Tuner::RunStep(double t) {
  MoveRider(t);
  throttleRate_ = (throttle_ - lastThrottle_) / kStep;
  lastThrottle_ = throttle_;
  rpmHistory_.push_back(rpm_);
  while (rpmHistory_.size() > kSteadySteps) rpmHistory_.pop_front();

  const std::vector<Corrected> bracket = CellsAt(false);
  const std::vector<Corrected> cells = CellsAt(settings.singleCell != 0);

  // The fuel each cylinder gets against what it needs, seen by the sensors a little later.
  cutOff_ = throttle_ < kCutOffThrottle && rpm_ > kCutOffRpm;
  const bool manual = state_ == TuneState::Manual && !paused;
  const double factor[2] = {manual ? factor1 / 1000.0 : 1.0, manual ? factor2 / 1000.0 : 1.0};
  std::array<double, 2> ratio{};
  std::array<double, 2> injection{};
  for (int cyl = 0; cyl < 2; ++cyl) {
    injection[cyl] = Interpolated(2 + cyl, bracket) * factor[cyl];
    const double need = TrueInterpolated(cyl, bracket);
    ratio[cyl] = cutOff_ || injection[cyl] <= 0 ? 2.0 : std::clamp(need / injection[cyl], 0.4, 2.0);
  }
  delay_.push_back(ratio);
  while (delay_.size() > kDelaySteps + 1) delay_.pop_front();
  for (int s = 0; s < 2; ++s) {
    const double noise = (static_cast<double>(random_()) / 4294967296.0 - 0.5) * 2 * kNoise;
    lambda_[s] = kLambdaRef * delay_.front()[s] * (1 + noise);
  }

  // Windows.
  int16_t rpmAxis[32], throttleAxis[20];
  Axes(rpmAxis, throttleAxis);
  const auto [lo, hi] = std::minmax_element(rpmHistory_.begin(), rpmHistory_.end());
  const double margin = settings.rpmMargin;
  const bool rpmOut = *hi - *lo > margin || rpm_ < rpmAxis[0] - margin || rpm_ > rpmAxis[31] + margin;
  const double temp = engineTemp * 10;
  const bool tempOut = temp < settings.minTemp || temp > settings.maxTemp;
  const bool transient = std::abs(throttleRate_) > kThrottleRateLimit;
  uint8_t a = static_cast<uint8_t>((rpmOut ? kTuneRpmWindow : 0) | (tempOut ? kTuneTempWindow : 0) |
                                   (transient ? kTuneTransient : 0));

  // The cell held: the heaviest of the cells around the working point.
  int held = -1;
  double heaviest = -1;
  for (const Corrected& c : bracket)
    if (c.weight > heaviest) heaviest = c.weight, held = c.row * 32 + c.column;
  const bool moving = rpmOut || cutOff_ || std::abs(throttleRate_) > kThrottleSteady;
  if (held != heldCell_ || moving) {
    heldCell_ = held;
    heldSince_ = t;
  }
  const bool settled = t - heldSince_ + 1e-9 >= std::max(kMinHold, settings.cellHold / 1000.0);

  // The target: that of the heaviest cell to correct, when it is enabled.
  const Corrected* lead = nullptr;
  for (const Corrected& c : cells)
    if (!lead || c.weight > lead->weight) lead = &c;
  const int code = lead ? settings.EnableCode(lead->row, lead->column) : 0;
  target_ = -1;
  if (state_ == TuneState::Auto && code != 0) target_ = settings.targets[code - 1];
  if (state_ == TuneState::Manual) target_ = settings.targets[0];
  const int mode = settings.trackingMode;
  const bool tracked = SensorFor(mode, 0) >= 0 || SensorFor(mode, 1) >= 0;
  matchEnabled_ = state_ == TuneState::Auto && target_ > 0 && tracked && !cutOff_ && !rpmOut && !tempOut &&
                  !transient && settled;

  if (target_ > 0 && !cutOff_) {
    const double tolerance = settings.lambdaTolerance;
    const double off[2] = {std::abs(lambda_[0] - target_), std::abs(lambda_[1] - target_)};
    if (off[0] <= tolerance) a |= kTuneLambda1Match;
    if (off[1] <= tolerance) a |= kTuneLambda2Match;
    if (off[0] > 4 * std::max(1.0, tolerance)) a |= kTuneLambda1Warning;
    if (off[1] > 4 * std::max(1.0, tolerance)) a |= kTuneLambda2Warning;
  }
  flagsA_ = a;

  // The PI law on the cells.
  for (int cyl = 0; cyl < 2; ++cyl) {
    overLimit_[cyl] = state_ != TuneState::Off && !cutOff_ &&
                      (injection[cyl] < settings.minInjTime || injection[cyl] > settings.maxInjTime);
    const int sensor = SensorFor(mode, cyl);
    if (!matchEnabled_ || sensor < 0) {
      active_[cyl] = false;
      continue;
    }
    const double e = (lambda_[sensor] - target_) / target_;
    if (!active_[cyl]) ePrevious_[cyl] = 0;  // the proportional part acts at once
    active_[cyl] = true;
    const double kp = std::max(0, settings.kp) / 10000.0 / 20, ki = std::max(0, settings.ki) / 10000.0;
    const double limit = settings.step / 1000.0;
    const double change = std::clamp(kp * (e - ePrevious_[cyl]) + ki * e, -limit, limit);
    ePrevious_[cyl] = e;
    Correct(cyl, change, cells);
  }
}

void Tuner::Correct(int cylinder, double change, const std::vector<Corrected>& cells) {
  const double lo = std::max(0, int{settings.minInjTime});
  const double hi = std::min(kMaxInjection, int{settings.maxInjTime});
  if (lo > hi) {
    overLimit_[cylinder] = true;
    return;
  }
  for (const Corrected& c : cells) {
    if (settings.EnableCode(c.row, c.column) == 0) continue;
    const size_t i = static_cast<size_t>(c.row * 32 + c.column);
    const int current = MapCell(2 + cylinder, c.row, c.column);
    if (shadowOf_[cylinder][i] != current) shadow_[cylinder][i] = shadowOf_[cylinder][i] = current;
    double v = shadow_[cylinder][i] * (1 + c.weight * change);
    if (v < lo || v > hi) {
      v = std::clamp(v, lo, hi);
      overLimit_[cylinder] = true;
    }
    shadow_[cylinder][i] = v;
    const int rounded = static_cast<int>(std::lround(v));
    shadowOf_[cylinder][i] = rounded;
    SetMapCell(2 + cylinder, c.row, c.column, rounded);
  }
}

// Freeze in state Manual: the correction goes into the cells at the working point.
void Tuner::Freeze(uint8_t target, uint16_t value) {
  const std::vector<Corrected> cells = CellsAt(settings.singleCell != 0);
  if (cells.empty()) return;
  for (const Corrected& c : cells) {
    if (target == 4) {
      const int v = static_cast<int16_t>(MapCell(4, c.row, c.column)) +
                    std::clamp<int>(static_cast<int16_t>(value), -300, 300);
      SetMapCell(4, c.row, c.column, std::clamp(v, -kMaxAdvance, kMaxAdvance));
      continue;
    }
    const double f = std::min<uint16_t>(value, 2000) / 1000.0;
    for (int cyl = 0; cyl < 2; ++cyl) {
      if ((target == 2 && cyl == 1) || (target == 3 && cyl == 0)) continue;
      const long v = std::lround(MapCell(2 + cyl, c.row, c.column) * f);
      SetMapCell(2 + cyl, c.row, c.column, static_cast<int>(std::clamp<long>(v, 0, kMaxInjection)));
    }
  }
  if (target == 1) factor1 = factor2 = 1000;
  if (target == 2) factor1 = 1000;
  if (target == 3) factor2 = 1000;
  if (target == 4) advanceOffset = 0;
}

TuneInfo Tuner::Info() {
  TuneInfo info;
  info.rpm = ToS16(rpm_);
  info.throttle = ToS16(throttle_);
  info.lambda = {ToS16(lambda_[0]), ToS16(lambda_[1])};
  const TuneState s0 = State();
  info.target = s0 == TuneState::Auto ? target_ : s0 == TuneState::Manual ? settings.targets[0] : int16_t{-1};
  info.temperature = ToS16(engineTemp * 10);
  const std::vector<Corrected> bracket = CellsAt(false);
  info.baseInjection = {ToU16(Interpolated(2, bracket)), ToU16(Interpolated(3, bracket))};
  const TuneState s = State();
  const bool manual = s == TuneState::Manual;
  info.factor = {manual ? factor1 : uint16_t{1000}, manual ? factor2 : uint16_t{1000}};
  info.baseAdvance = ToS16(Interpolated(4, bracket));
  info.advanceCorrection = manual ? advanceOffset : int16_t{0};
  info.flagsA = flagsA_;
  info.flagsB = static_cast<uint8_t>(static_cast<uint8_t>(s) | (manual && paused ? kTunePause : 0) |
                                     (cutOff_ ? kTuneCutOff : 0) |
                                     (matchEnabled_ && s == TuneState::Auto ? kTuneMatchEnabled : 0));
  info.flagsC =
      static_cast<uint8_t>((overLimit_[0] ? kTuneOverLimit1 : 0) | (overLimit_[1] ? kTuneOverLimit2 : 0));
  for (int i = 0; i < kTuneCells && !pending_.empty(); ++i) {
    const uint16_t id = pending_.front();
    pending_.pop_front();
    TuneCell& c = info.cells[i];
    c.type = static_cast<uint8_t>(id >> 10);
    c.column = static_cast<uint8_t>((id >> 5) & 31);
    c.row = static_cast<uint8_t>(id & 31);
    c.value = MapCell(c.type, c.row, c.column);
    isPending_[static_cast<size_t>((c.type - 2) * 640 + c.row * 32 + c.column)] = false;
  }
  return info;
}

// ------------------------------------------------------------------ command 10

Device::Reply Tuner::Answer(std::vector<uint8_t> record) {
  Device::Reply reply;
  reply.payload = std::move(record);
  ++replies;
  if (fault != Fault::None && (faultAt == 0 || replies == faultAt)) {
    if (fault == Fault::NoAnswer) reply.send = false;
    if (fault == Fault::Short) reply.payload.pop_back();
    if (fault == Fault::Long) reply.payload.push_back(0);
  }
  return reply;
}

// The record is told by its length: Request 1, Manual 10, Auto 200, Freeze 6, Adjust 4.
Device::Reply Tuner::OnTune(const uint8_t* p, uint8_t n) {
  Advance();
  CheckLock();
  const bool open = State() != TuneState::Locked;
  Device::Reply none;
  none.send = false;
  switch (n) {
    case 1:
      if (p[0] == 2) return Answer(EncodeTuneSettings(settings));
      if (p[0] == 3 && open) SetState(TuneState::Off);
      if (p[0] != 1 && p[0] != 3) break;
      return Answer(EncodeTuneInfo(Info()));
    case kTuneManualSize:
      if (open) {
        settings.singleCell = p[0];
        settings.rpmTolerance = com::Get16BE(p + 2);
        settings.throttleTolerance = com::Get16BE(p + 4);
        settings.cellHold = S16(p + 6);
        settings.trackingMode = p[8];
        SetState(TuneState::Manual);
      }
      return Answer(EncodeTuneInfo(Info()));
    case kTuneSettingsSize:
      if (open) {
        settings = DecodeTuneSettings(p);
        SetState(TuneState::Auto);
      }
      return Answer(EncodeTuneInfo(Info()));
    case kTuneFreezeSize:
      if (p[2] < 1 || p[2] > 4) break;
      if (open && state_ == TuneState::Manual && !paused) Freeze(p[2], com::Get16BE(p));
      return Answer(EncodeTuneInfo(Info()));
    case kTuneAdjustSize: {
      const uint8_t target = p[2];
      if (target > 4) break;
      if (open && state_ == TuneState::Manual) {
        const uint16_t value = com::Get16BE(p);
        const uint16_t factor = std::min<uint16_t>(value, 2000);
        if (target == 0) paused = p[3] != 0;
        if (target == 1) factor1 = factor2 = factor;
        if (target == 2) factor1 = factor;
        if (target == 3) factor2 = factor;
        if (target == 4)
          advanceOffset = static_cast<int16_t>(std::clamp<int>(static_cast<int16_t>(value), -300, 300));
      }
      return Answer(EncodeTuneInfo(Info()));
    }
    default:
      break;
  }
  ++refused;
  return none;
}

// ------------------------------------------------------------------ options

bool TuneOptionTakesValue(const std::string& name) {
  return name == "tune-state" || name == "tune-fault" || name == "tune-fault-at";
}

bool ParseTuneOption(const std::string& name, const std::string& value, TuneOptions& options, bool* used,
                     std::string* error) {
  *used = true;
  if (name == "tune-state") {
    static const std::pair<const char*, TuneState> states[] = {{"locked", TuneState::Locked},
                                                               {"off", TuneState::Off},
                                                               {"manual", TuneState::Manual},
                                                               {"auto", TuneState::Auto}};
    for (const auto& [text, state] : states)
      if (value == text) {
        options.state = state;
        return true;
      }
    *error = "--tune-state: 'locked', 'off', 'manual' or 'auto', not '" + value + "'";
    return false;
  }
  if (name == "tune-fault") {
    static const std::pair<const char*, Tuner::Fault> faults[] = {{"none", Tuner::Fault::None},
                                                                  {"no-answer", Tuner::Fault::NoAnswer},
                                                                  {"short", Tuner::Fault::Short},
                                                                  {"long", Tuner::Fault::Long}};
    for (const auto& [text, fault] : faults)
      if (value == text) {
        options.fault = fault;
        return true;
      }
    *error = "--tune-fault: 'none', 'no-answer', 'short' or 'long', not '" + value + "'";
    return false;
  }
  if (name == "tune-fault-at") {
    char* end = nullptr;
    const long v = std::strtol(value.c_str(), &end, 10);
    if (value.empty() || *end != '\0' || v < 1 || v > 1000000000) {
      *error = "--tune-fault-at: '" + value + "' is not a number from 1 to 1000000000";
      return false;
    }
    options.faultAt = static_cast<int>(v);
    return true;
  }
  *used = false;
  return true;
}

const char* TuneOptionsHelp() {
  return "Map tuning (application firmware):\n"
         "  --tune-state STATE      start in tuning state locked (the ECU is protected), off,\n"
         "                          manual or auto, with the default settings (default off)\n"
         "  --tune-fault KIND       tuning replies (command 10) are not sent (no-answer), one\n"
         "                          byte short (short) or one byte long (long)\n"
         "  --tune-fault-at N       only the N-th tuning reply carries the fault\n";
}

}  // namespace sim
