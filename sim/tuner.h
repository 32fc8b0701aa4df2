// Map tuning in the simulated ECU: the records of command 10 (TuneExchange), the
// tuning states, and the engine on the dyno that the tuning works on.
//
// The engine holds a hidden "true" injection map per cylinder: the fuel each cell
// needs for lambda 12.5 (a smooth surface 15 % below to 20 % above the map the engine
// started with, the same for the same seed). A rider holds the working point on one
// cell after another (breakpoint to breakpoint, a little jitter, a short move between
// cells) and the lambda sensors report
//     lambda = 125 x need / (injected fuel)     (0.1 units; two sensors, one a cylinder)
// where need and fuel are the true and the active map interpolated at the working
// point, the fuel scaled by the manual correction; with a little noise and 100 ms of
// transport delay. On the overrun (throttle below 0.5 %, above 2500 rpm) the fuel is
// cut and the sensors read lean.
//
// Records (their length tells them apart; multi-byte fields big-endian): Request 1
// answers Info, 2 the settings held (Parms, 200 bytes), 3 stops tuning (Info); Manual
// takes its five fields into the settings and starts state Manual with neutral
// corrections; Auto takes the settings and starts state Auto (sent again, it only
// changes the settings); Freeze and Adjust act in state Manual only. All but Request 2
// are answered with Info; any other length, sub-code or target is not answered. While
// the ECU is locked nothing starts and a running session ends (state Off, reported as
// Locked). The identity's bits 6 (tuning) and 5 (auto) follow the state.
//
// State Auto: the ECU's lambda loop runs every 20 ms and, while the match is enabled,
// moves the injection cells at the working point by a PI law on the relative lambda
// error e = (lambda - target) / target:
//     change = Kp/10000 / 20 x (e - e_previous) + Ki/10000 x e      (e_previous 0 on a new cell),
// limited to the tracking step (step/1000 of the cell per loop run) and applied to
// each cell as cell x (1 + weight x change). The match is enabled when the engine
// temperature lies in the temperature window, the engine speed lies on the rpm axis
// within the rpm margin, and the working point has been steady on the same cell for
// the cell hold time, at least 200 ms (the rpm moved no more than the rpm margin in
// the last 200 ms, the throttle by less than 3 %/s, the fuel was not cut), so that the
// sensors see the cell's own fuel; and the cell held is enabled. Cells to correct:
// with the single/multiple selector 0 the bracketing breakpoints of both axes (up to
// four cells, weighted as the interpolation weighs them), with 1 the nearest breakpoint
// of each axis when it lies within the rpm / throttle tolerance (weight 1; none when
// the working point lies farther). Only cells with a non-zero enable code change:
// code k (1..3) tunes towards lambda target k (a cell tuned to target T ends at
// true map x 125 / T). Cells stay within the injection-time limits (and the map limit
// of 32 ms); a cell held at a limit sets the over-limit flag of its cylinder, as does
// an injection time outside the limits. The tracking mode decides which sensor drives
// which cylinder's map: 0 lambda 1 for cylinder 1 and lambda 2 for cylinder 2,
// 1 lambda 1 for both, 2 cylinder 1 only, 3 cylinder 2 only (lambda 2), any other
// value none. The rider visits the enabled cells row by row, 1.5 s a cell, so that in
// 60 s a block of about 40 cells converges with the gains of slider position 0; without
// enabled cells (or in another state) the rider rides the whole map, 2.3 s a cell.
// Cells of throttle row 0 above 2500 rpm lie in the overrun cut-off: never tuned.
// Info flags: rpm window (A1) as above, temperature window (A2), transient (A3, the
// throttle moving faster than 10 %/s), lambda warnings (A4, A5: more than four times
// the tolerance off the target), matches (A6, A7: within the tolerance), cut-off (B6),
// match enabled (B7), pause (B5); cranking (A0) is never set (the engine runs).

// State Manual: Adjust sets the correction factors (1/1000, 0..2000) and the advance
// offset (0.1 degree, -300..300); while the pause is on the corrections are not
// applied and freezes are ignored. Freeze writes the factor into the injection cells
// at the working point (cell x factor, within 0..32 ms) or adds the offset to the
// advance cells (within -720..720 degrees), by the selector and tolerances of the
// Manual record, and then sets that correction back to neutral.
//
// Every changed cell (tuned, frozen, or written by a row write of command 30) is
// reported in the cell list of the following Infos, at most 32 an Info, in the order
// of their first change, each once with its value at the time of the report.
//
// Use in a test (in-process):
//     sim::AppDevice device;
//     sim::Tuner tuner;                  // seed 740 unless another is given
//     double now = 0;
//     tuner.clock = [&] { return now; };
//     tuner.Install(device);             // after EcuModel::Install when both are used
//     sim::Engine engine(device);        // then talk to it through the pipe as usual
//     ... now += 0.1; exchange ...       // the engine runs up to `now` on each request
// The true map, the state, the settings and the corrections are members below; the
// map the engine runs on is device.ActiveMap() (areas 11, 12 and 13 serve it).
#pragma once
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "sim/appsim.h"

namespace sim {

// Tuning states as the Info record carries them (flags B, bits 0-1).
enum class TuneState : uint8_t { Locked = 0, Off = 1, Manual = 2, Auto = 3 };

inline constexpr size_t kTuneSettingsSize = 200, kTuneInfoSize = 156;
inline constexpr size_t kTuneManualSize = 10, kTuneFreezeSize = 6, kTuneAdjustSize = 4;
inline constexpr int kTuneCells = 32;     // cell-list entries of an Info
inline constexpr int kTuneCellEmpty = 7;  // map type of an empty entry

// The auto-tuning settings, in host order (200 bytes big-endian on the wire).
struct TuneSettings {
  std::array<uint32_t, 20> enableMaskA{}, enableMaskB{};  // word per row, bit per column
  uint16_t rpmMargin = 150;                               // rpm
  int16_t minTemp = 600, maxTemp = 900;                   // 0.1 degree
  std::array<int16_t, 3> targets{125, 125, 125};          // 0.1 lambda unit
  int16_t lambdaTolerance = 5;                            // 0.1 lambda unit
  int16_t minInjTime = 1000, maxInjTime = 32000;          // microseconds
  int32_t kp = 65536, ki = 524;                           // 1/10000
  uint16_t step = 100;                                    // 1/1000
  uint8_t singleCell = 0;                                 // 0 multiple, 1 single
  uint16_t rpmTolerance = 200;                            // rpm
  uint16_t throttleTolerance = 50;                        // 0.1 %
  int16_t cellHold = 0;                                   // ms
  uint8_t trackingMode = 0;

  // Enable code 0..3 of a cell: bit 1 from mask A, bit 0 from mask B.
  int EnableCode(int row, int column) const;
  void SetEnableCode(int row, int column, int code);
  bool AnyEnabled() const;
};
std::vector<uint8_t> EncodeTuneSettings(const TuneSettings& s);
TuneSettings DecodeTuneSettings(const uint8_t* record);  // 200 bytes

// One entry of the Info cell list.
struct TuneCell {
  uint8_t type = kTuneCellEmpty;  // 2, 3 injection cylinder 1, 2; 4 advance; 7 empty
  uint8_t column = 0, row = 0;
  uint16_t value = 0;  // in the map's own units
};
inline uint16_t TuneCellId(int type, int column, int row) {
  return static_cast<uint16_t>((type << 10) | ((column & 31) << 5) | (row & 31));
}

// The Info record, in host order.
struct TuneInfo {
  int16_t rpm = 0, throttle = 0;  // rpm, 0.1 %
  std::array<int16_t, 2> lambda{};
  int16_t target = -1;  // in use; negative: none
  int16_t temperature = 0;
  std::array<uint16_t, 2> baseInjection{};
  std::array<uint16_t, 2> factor{1000, 1000};
  int16_t baseAdvance = 0, advanceCorrection = 0;
  uint8_t flagsA = 0, flagsB = 0, flagsC = 0;
  std::array<TuneCell, kTuneCells> cells{};
  TuneState State() const { return static_cast<TuneState>(flagsB & 3); }
};
std::vector<uint8_t> EncodeTuneInfo(const TuneInfo& info);
TuneInfo DecodeTuneInfo(const uint8_t* record);  // 156 bytes

// Info flag bits.
enum : uint8_t {
  kTuneCranking = 0x01,
  kTuneRpmWindow = 0x02,
  kTuneTempWindow = 0x04,
  kTuneTransient = 0x08,
  kTuneLambda2Warning = 0x10,
  kTuneLambda1Warning = 0x20,
  kTuneLambda2Match = 0x40,
  kTuneLambda1Match = 0x80,
  // flags B
  kTunePause = 0x20,
  kTuneCutOff = 0x40,
  kTuneMatchEnabled = 0x80,
  // flags C
  kTuneOverLimit2 = 0x40,
  kTuneOverLimit1 = 0x80,
};

class Tuner {
 public:
  explicit Tuner(uint32_t seed = 740);

  // Answers command 10 on `device` and reports the cells its row writes change. Takes
  // the true map from the device's active map set. The tuner must outlive the device's use.
  void Install(AppDevice& device);

  std::function<double()> clock;  // seconds; the steady clock unless a test sets one
  // Whether the ECU is locked (state Locked, nothing starts); the device's protected
  // flag unless set (q740-sim adds the lock of its EcuModel).
  std::function<bool()> locked;
  double engineTemp = 80;  // degrees C, against the temperature window
  double holdTime = 1.2;   // seconds the rider holds an enabled cell (plus 0.3 s moving)

  // --- tuning state ---
  TuneState State() const;  // as the Info reports it (Locked while locked)
  // Starts a state with the settings held, as the records would (Off stops).
  void Start(TuneState state);
  TuneSettings settings;
  uint16_t factor1 = 1000, factor2 = 1000;  // manual corrections, 1/1000
  int16_t advanceOffset = 0;                // 0.1 degree
  bool paused = false;

  // --- the engine ---
  // The true injection map of cylinder 0 or 1, 20 x 32 row-major, microseconds.
  const std::array<uint16_t, 640>& TrueMap(int cylinder) const { return trueMap_[cylinder & 1]; }
  uint16_t TrueCell(int cylinder, int row, int column) const {
    return trueMap_[cylinder & 1][static_cast<size_t>(row * 32 + column)];
  }
  // A cell of the active map set as stored: type 2, 3 injection cylinder 1, 2
  // (microseconds), 4 advance (0.1 degree, signed); 0 for another type.
  uint16_t MapCell(int type, int row, int column) const;
  // Takes the true map afresh from the device's active map set as it is now.
  void ResetTrueMap();
  // Runs the engine up to the clock's time (every request does).
  void Advance();
  double Rpm() const { return rpm_; }
  double Throttle() const { return throttle_; }  // 0.1 %
  double Lambda(int sensor) const { return lambda_[sensor & 1]; }
  // The lambda at which the fuel is what the true map asks for (0.1 units).
  static constexpr double kLambdaReference = 125;
  bool CutOff() const { return cutOff_; }  // the fuel is cut on the overrun

  // The Info record now (takes the next cells of the list as reported).
  TuneInfo Info();
  size_t PendingCells() const { return pending_.size(); }

  // --- faults (q740-sim's --tune-fault) ---
  enum class Fault { None, NoAnswer, Short, Long };
  Fault fault = Fault::None;
  int faultAt = 0;  // the tuning reply (from 1) that carries it; 0 every reply
  int replies = 0;  // tuning replies produced
  int refused = 0;  // tuning records of no known length or sub-code (not answered)

 private:
  struct Span {  // the breakpoints of one axis that a value touches
    int lo = 0, hi = 0;
    double wHi = 0;  // weight of hi; lo weighs 1 - wHi
    bool any = true;
  };
  struct Corrected {
    int row, column;
    double weight;
  };
  Device::Reply OnTune(const uint8_t* payload, uint8_t n);
  Device::Reply Answer(std::vector<uint8_t> record);
  void CheckLock();
  void SyncIdentity();
  void SetState(TuneState state);
  void RunStep(double t);
  void MoveRider(double t);
  void BuildPath();
  std::vector<Corrected> CellsAt(bool single) const;
  Span AxisSpan(const int16_t* axis, int n, double value, bool single, double tolerance) const;
  double Interpolated(int type, const std::vector<Corrected>& cells) const;
  double TrueInterpolated(int cylinder, const std::vector<Corrected>& cells) const;
  void Correct(int cylinder, double change, const std::vector<Corrected>& cells);
  void Freeze(uint8_t target, uint16_t value);
  void Changed(int type, int row, int column);
  void SetMapCell(int type, int row, int column, int value);
  void Axes(int16_t* rpm, int16_t* throttle) const;

  AppDevice* device_ = nullptr;
  uint32_t seed_;
  std::mt19937 random_;  // sensor noise
  std::array<std::array<uint16_t, 640>, 2> trueMap_{};
  TuneState state_ = TuneState::Off;

  // engine: loop runs at t0_ + steps_ x 20 ms
  double t0_ = 0;
  int64_t steps_ = 0;
  bool started_ = false;
  double rpm_ = 0, throttle_ = 0, lastThrottle_ = 0, throttleRate_ = 0;
  std::array<double, 2> lambda_{125, 125};
  std::deque<std::array<double, 2>> delay_;  // fuel ratios of the last loop runs
  std::deque<double> rpmHistory_;            // engine speed of the last 200 ms
  // rider
  std::vector<std::pair<int, int>> path_;  // cells (row, column) in the order ridden
  bool pathEnabledOnly_ = false;
  size_t pathIndex_ = 0;
  double segmentStart_ = 0;
  double fromRpm_ = 0, fromThrottle_ = 0;
  // auto loop
  int heldCell_ = -1;  // row * 32 + column of the heaviest cell at the working point
  double heldSince_ = 0;
  std::array<bool, 2> active_{};
  std::array<double, 2> ePrevious_{};
  std::array<std::array<double, 640>, 2> shadow_{};  // cells being tuned, unrounded
  std::array<std::array<int32_t, 640>, 2> shadowOf_{};
  std::array<bool, 2> overLimit_{};
  // what the last loop run found, for the Info
  uint8_t flagsA_ = 0;
  bool cutOff_ = false, matchEnabled_ = false;
  int16_t target_ = -1;
  // cell list
  std::deque<uint16_t> pending_;
  std::array<bool, 3 * 640> isPending_{};
};

// q740-sim's tuning options: --tune-state locked|off|manual|auto, --tune-fault
// none|no-answer|short|long, --tune-fault-at N.
struct TuneOptions {
  std::optional<TuneState> state;
  Tuner::Fault fault = Tuner::Fault::None;
  int faultAt = 0;
};
bool TuneOptionTakesValue(const std::string& name);
// True when `name` is one of them; `error` explains a bad value.
bool ParseTuneOption(const std::string& name, const std::string& value, TuneOptions& options, bool* used,
                     std::string* error);
const char* TuneOptionsHelp();

}  // namespace sim
