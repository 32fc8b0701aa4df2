// The live record: the 144-byte reply of ReadLive (command 7), described once as
// data. Every shown field has its offset, its type, the control that shows it and
// its divisor; the status LEDs have their byte and bit. The live page, the datalog
// (kestra-cli log and the page's Record toggle) and the simulator's tests all read
// these two tables.
//
// The record is kept as it arrived (big-endian fields); the accessors convert.
#pragma once
#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace live {

inline constexpr uint8_t kLiveDataSize = 144;
using LiveData = std::array<uint8_t, kLiveDataSize>;

enum class LiveType : uint8_t {
  U16,
  S16,
  Analog,  // converter count in bits 11..0, fault flag in bit 15
  MapSet,  // active map set 0 or 1, shown plus 1
  JTrans,  // int16, divisor 10 while bit 1 of status byte 1 is set, else 1
};

struct LiveField {
  const char* control;   // the control that shows it ("NUMrpm")
  const char* control2;  // a second control with the same value, or null
  uint8_t offset;
  LiveType type;
  uint16_t divisor;  // 1, 10 or 1000 (JTrans: the divisor while scaled)
  bool bench;        // a bench adjustment control (NS...), the ECU's answer

  // Column name of the datalog: the control's name without its type prefix.
  std::string ColumnName() const;
};

// A status LED: bit `bit` of status byte `byte` (0..5, offset 138 + byte).
struct LiveLed {
  const char* control;  // "LEDisEngineOn"; "" for the protection bit (no LED)
  const char* column;   // datalog column
  uint8_t byte;
  uint8_t bit;
  bool warn = false;  // a fault or a limit reached: shown in the warning style when set
};

// Every shown field in offset order (the two fields marked "not shown" have no entry).
std::span<const LiveField> LiveFields();
// Every status LED in byte order, within a byte from bit 7 down.
std::span<const LiveLed> LiveLeds();

inline constexpr uint8_t kStatusOffset = 138;

// Decimals of a divisor: 1 -> 0, 10 -> 1, 1000 -> 3.
int DivisorDecimals(uint16_t divisor);

// The field's word, converted to host order.
uint16_t RawWord(const LiveData& record, const LiveField& field);
uint8_t StatusByte(const LiveData& record, int byte);
bool StatusBit(const LiveData& record, int byte, int bit);

// Analog readings: the 12-bit count and the fault flag.
uint16_t AnalogCount(uint16_t word);
bool AnalogFault(uint16_t word);

// The divisor the field is shown with in this record (JTrans follows its status bit).
uint16_t EffectiveDivisor(const LiveData& record, const LiveField& field);
// The value shown: raw / divisor; an analog reading its count; the map set plus 1.
double ShownValue(const LiveData& record, const LiveField& field);
// The shown value as text with the divisor's decimals ("12.5", "0.998", "4095").
std::string ShownText(const LiveData& record, const LiveField& field);

// Flags that every display of the record derives (with the port open).
bool ProtectionOff(const LiveData& record);  // bit 7 of status byte 0
bool EngineOn(const LiveData& record);       // bit 4 of status byte 0

const LiveField* FindLiveField(const std::string& control);
const LiveLed* FindLiveLed(const std::string& control);

}  // namespace live
