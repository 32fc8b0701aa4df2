// Diagnostics: the ECU's status record (command 16) and parameter record (command 17),
// described once as data, the timer duty with its one-failure tolerance, counter
// resets, parameter writes with their clamps, the defaults in 49 steps and the
// diagnostics password (command 19). Plain C++; the page shows what it holds.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace dgn {

inline constexpr uint8_t kStatusSize = 92;
inline constexpr uint8_t kParamSize = 140;

// The nine monitored sensors in record order.
struct Sensor {
  const char* name;  // "farf", as in the control names
  uint8_t item;      // 28 .. 36
  uint8_t byte;      // 0: switch byte 136 / error byte 90; 1: bytes 137 / 91
  uint8_t bit;
};
std::span<const Sensor> Sensors();

// A field of the status record.
enum class StatusShow : uint8_t { Time, Number, Thousandths, Led };
struct StatusField {
  const char* control;
  uint8_t offset;
  bool u32;
  StatusShow show;
};
std::span<const StatusField> StatusFields();

// A field of the parameter record: shown = raw / divisor; a value typed into a
// writable field is sent as value x factor (see WriteValue) with its item and sub-index.
struct ParamField {
  const char* control;
  uint8_t offset;
  bool u32;
  bool isSigned;
  double divisor;
  int decimals;
  bool writable;
  double factor;
  uint8_t item;  // 0 for a derived field
  uint8_t sub;
  int sensor;  // index into Sensors(), -1 for the limits
};
std::span<const ParamField> ParamFields();
const ParamField* FindParamField(const std::string& control);

// The reset buttons and the items they send with the next status read.
struct ResetButton {
  const char* control;
  uint8_t item;
};
std::span<const ResetButton> ResetButtons();

// "%4lud %2luh %2lum %2lus".
std::string ConvertTime(uint32_t seconds);
// The value a typed number sends: value x factor, below 0 as 0, above 65535 as
// 65535, otherwise truncated.
uint16_t WriteValue(double value, double factor);
// The top of each sensor row (-1 when hidden): visible rows stacked from
// height x 352 / 538 at a pitch of height x 19 / 538.
std::array<int, 9> SensorRowTops(int panelHeight, const std::array<bool, 9>& visible);

class DiagModel {
 public:
  // Both records in PC order (little-endian fields), as converted after reception.
  std::array<uint8_t, kStatusSize> status{};
  std::array<uint8_t, kParamSize> param{};

  uint8_t fDgnUnlocked = 0;
  int dgnPwdStep = 0;  // 0 idle, 1 entering the new password, 2 re-entering it
  std::array<uint8_t, 8> firstEntry{};
  uint8_t dgnResetItem = 0;  // sent with the next status read
  bool pwdRead = false;      // the password state was read on this connection
  // What the page shows of the password controls.
  std::string pwdSetLabel = "Change";  // CBdgnPwdSet
  bool pwdFieldEnabled = true;         // STRdgnPwd
  bool pwdFieldFocus = false;          // the field should get the focus (taken by the page)
  uint32_t shown = 0;                  // counts the times the records should be shown

  // Values and fields.
  uint32_t StatusValue(const StatusField& field) const;
  std::string StatusText(const StatusField& field) const;
  int32_t ParamRaw(const ParamField& field) const;
  std::string ParamText(const ParamField& field) const;
  bool SwitchBit(const Sensor& sensor) const;  // set: the sensor is not monitored
  bool ErrorBit(const Sensor& sensor) const;
  // The reset button of a sensor is highlighted: error bit set, switch bit clear.
  bool ResetHighlighted(const Sensor& sensor) const { return ErrorBit(sensor) && !SwitchBit(sensor); }

  // Command 17: writes (value, item, sub-index) or, all zero, only reads; the reply
  // replaces the parameter record. 1 on success; fails at once with the link closed.
  uint8_t WriteDiagParam(uint16_t value, uint8_t item, uint8_t sub);
  // The timer duty while the page is in front; 1 on success.
  uint8_t DgnTimer();
  // Zeroes both records, with every switch bit set.
  void ClearRecords();

  // SetDiagnostics: a reset button, a value field (typed value) or a switch.
  void SetResetItem(uint8_t item) { dgnResetItem = item; }
  uint8_t SetValue(const ParamField& field, double value);
  uint8_t ToggleSwitch(const Sensor& sensor);

  // DefaultParms after the user said yes: 49 steps with the progress bar; shows
  // " Done!" or the error under "Set Defaults". 1 on success.
  uint8_t SetDiagDefaults();
  // The question and the whole command (asks, then runs SetDiagDefaults); `running` is
  // told when the defaults start (after "yes") and when they end.
  uint8_t DefaultParms(const std::function<void(bool)>& running = {});

  // ConfigDgnPwd: `text` is what the password field held (the page clears it).
  void LogIn(const std::string& text);
  void ChangePassword(const std::string& text);

 private:
  uint8_t DiagnosticPassword(uint8_t mode, const std::array<uint8_t, 8>& password, uint8_t* answer);
  void ResetPasswordState();
  uint8_t failures_ = 0;       // consecutive tolerated failures
  uint32_t portOpenings_ = 0;  // com::PortOpenings() when this connection was last seen
};

// Eight password bytes: the text as Windows-1252, cut to 8 bytes, zero-padded.
std::array<uint8_t, 8> PasswordBytes(const std::string& text);

}  // namespace dgn
