#include "live/liverecord.h"

#include <cstdio>

#include "link/bytes.h"
#include "link/utils.h"

namespace live {

namespace {

using T = LiveType;

// clang-format off
constexpr LiveField kFields[] = {
    {"NUMsmotIrqs",           nullptr,    0,   T::U16,    1,    false},
    {"NUMsmotErrs",           nullptr,    2,   T::U16,    1,    false},
    {"NUMrevs",               nullptr,    4,   T::U16,    1,    false},
    {"NUMrpm",                nullptr,    6,   T::U16,    1,    false},
    {"NUMfarfAD",             nullptr,    8,   T::Analog, 1,    false},
    {"NUMfarf",               nullptr,    10,  T::S16,    10,   false},
    {"NUMth2oAD",             nullptr,    12,  T::Analog, 1,    false},
    {"NUMth2o",               nullptr,    14,  T::S16,    10,   false},
    {"NUMtoilAD",             nullptr,    16,  T::Analog, 1,    false},
    {"NUMtoil",               nullptr,    18,  T::S16,    10,   false},
    {"NUMtairAD",             nullptr,    20,  T::Analog, 1,    false},
    {"NUMtair",               nullptr,    22,  T::S16,    10,   false},
    {"NUMpBaroAD",            nullptr,    24,  T::Analog, 1,    false},
    {"NUMpBaro",              nullptr,    26,  T::S16,    1,    false},
    {"NUMlFuelAD",            nullptr,    28,  T::Analog, 1,    false},
    {"NUMlFuel",              nullptr,    30,  T::S16,    10,   false},
    {"NUMnbego1AD",           nullptr,    32,  T::Analog, 1,    false},
    {"NUMnbego1",             nullptr,    34,  T::S16,    10,   false},
    {"NUMnbego2AD",           nullptr,    36,  T::Analog, 1,    false},
    {"NUMnbego2",             nullptr,    38,  T::S16,    10,   false},
    {"NUMmappa",              nullptr,    40,  T::MapSet, 1,    false},
    {"NUMvBatAD",             nullptr,    42,  T::Analog, 1,    false},
    {"NUMvBat",               nullptr,    44,  T::S16,    10,   false},
    {"NUMjTrans",             nullptr,    46,  T::JTrans, 10,   false},
    {"NUMaTrans",             nullptr,    48,  T::S16,    10,   false},
    {"NUMlambdaCan1",         nullptr,    50,  T::S16,    10,   false},
    {"NUMlambdaCan2",         nullptr,    52,  T::S16,    10,   false},
    {"NUMterog1A",            nullptr,    54,  T::U16,    1000, false},
    {"NUMterog2A",            nullptr,    56,  T::U16,    1000, false},
    {"NUMterog1B",            nullptr,    58,  T::U16,    1000, false},
    {"NUMterog2B",            nullptr,    60,  T::U16,    1000, false},
    {"NUMusInjBase1",         nullptr,    62,  T::U16,    1000, false},
    {"NUMusInjBase2",         nullptr,    64,  T::U16,    1000, false},
    {"NUMkInjTair",           nullptr,    66,  T::U16,    1000, false},
    {"NUMkInjTh2o_oil",       nullptr,    68,  T::U16,    1000, false},
    {"NUMkInjPbaro",          nullptr,    70,  T::U16,    1000, false},
    {"NSkInjBanco1",          nullptr,    72,  T::U16,    1000, true},
    {"NSkInjBanco2",          nullptr,    74,  T::U16,    1000, true},
    {"NSkInjBanco",           nullptr,    76,  T::U16,    1000, true},
    {"NUMkInjUser1",          nullptr,    78,  T::U16,    1000, false},
    {"NUMkInjUser2",          nullptr,    80,  T::U16,    1000, false},
    {"NUMkInjCrank",          nullptr,    82,  T::U16,    1000, false},
    {"NUMkInjVel",            nullptr,    84,  T::U16,    1000, false},
    // 86: not shown
    {"NUMusInjTransRpm",      nullptr,    88,  T::S16,    1000, false},
    {"NUMusInjTransTh2o_oil", nullptr,    90,  T::S16,    1000, false},
    {"NUMusInjTrans",         nullptr,    92,  T::S16,    1000, false},
    {"NUMusInjVbatA",         nullptr,    94,  T::U16,    1000, false},
    {"NUMusInjVbatB",         nullptr,    96,  T::U16,    1000, false},
    {"NUMfase1",              "NUMfase2", 98,  T::S16,    10,   false},
    {"NUMdegFaseBase",        nullptr,    100, T::S16,    1,    false},
    {"NSdegFaseBanco",        nullptr,    102, T::S16,    1,    true},
    {"NUMteta1",              nullptr,    104, T::S16,    10,   false},
    {"NUMteta2",              nullptr,    106, T::S16,    10,   false},
    {"NUMddgAdvBase",         nullptr,    108, T::S16,    10,   false},
    {"NSddgAdvBanco1",        nullptr,    110, T::S16,    10,   true},
    {"NSddgAdvBanco2",        nullptr,    112, T::S16,    10,   true},
    {"NSddgAdvBanco",         nullptr,    114, T::S16,    10,   true},
    {"NUMddgAdvUser1",        nullptr,    116, T::S16,    10,   false},
    {"NUMddgAdvUser2",        nullptr,    118, T::S16,    10,   false},
    {"NUMddgAdvTair",         nullptr,    120, T::S16,    10,   false},
    {"NUMddgAdvTh2o_oil",     nullptr,    122, T::S16,    10,   false},
    {"NUMddgAdvPbaro",        nullptr,    124, T::S16,    10,   false},
    {"NUMddgAdvVel",          nullptr,    126, T::S16,    10,   false},
    // 128: not shown
    {"NUMddgAdvTrans",        nullptr,    130, T::S16,    10,   false},
    {"NUMdwell1",             "NUMdwell2", 132, T::U16,   1000, false},
    {"NUMvelWheel",           nullptr,    134, T::U16,    1,    false},
    {"NUMdistWheel",          nullptr,    136, T::U16,    10,   false},
};

constexpr LiveLed kLeds[] = {
    {"",                  "protectionOff", 0, 7},
    {"LEDisEngineOn",     "isEngineOn",    0, 4},
    {"LEDisTrigEnabled",  "isTrigEnabled", 0, 3},
    {"LEDisInjEnabled",   "isInjEnabled",  0, 2},
    {"LEDisCranking",     "isCranking",    0, 1},
    {"LEDisCutOff",       "isCutOff",      0, 0},
    {"LEDisOverInj1",     "isOverInj1",    1, 7, true},
    {"LEDisOverInj2",     "isOverInj2",    1, 6, true},
    {"LEDisDTC",          "isDTC",         1, 0, true},
    {"LEDisOverDwell1",   "isOverDwell1",  2, 7, true},
    {"LEDisOverDwell2",   "isOverDwell2",  2, 6, true},
    {"LEDisFuelRes",      "isFuelRes",     2, 3, true},
    {"LEDisVbatFail",     "isVbatFail",    2, 2, true},
    {"LEDisVbatHigh",     "isVbatHigh",    2, 1, true},
    {"LEDisCodeLoad",     "isCodeLoad",    2, 0},
    {"LEDisShiftSet",     "isShiftSet",    3, 6},
    {"LEDisSet",          "isSet",         3, 5},
    {"LEDisCambiata",     "isCambiata",    3, 4},
    {"LEDisHoldOff",      "isHoldOff",     3, 3},
    {"LEDisTimeOut",      "isTimeOut",     3, 2},
    {"LEDfShiftCutOff",   "fShiftCutOff",  3, 1},
    {"LEDisStop",         "isStop",        4, 7},
    {"LEDisDropSwitch",   "isDropSwitch",  4, 6},
    {"LEDstopOrDrop",     "stopOrDrop",    4, 5},
    {"LEDisPoilLow",      "isPoilLow",     4, 3, true},
    {"LEDisFuelPump",     "isFuelPump",    4, 2},
    {"LEDisStarterIn",    "isStarterIn",   4, 1},
    {"LEDisCoc",          "isCoc",         4, 0},
    {"LEDisStarterOut",   "isStarterOut",  5, 7},
    {"LEDisFan",          "isFan",         5, 6},
    {"LEDisHeat",         "isHeat",        5, 5},
    {"LEDisMilLamp",      "isMilLamp",     5, 4, true},
    {"LEDisLight",        "isLight",       5, 3},
    {"LEDisClutch",       "isClutch",      5, 2},
    {"LEDisSideStand",    "isSideStand",   5, 1},
    {"LEDisNeutral",      "isNeutral",     5, 0},
};
// clang-format on

// Length of the type prefix of a control name: the leading capitals (NUM, NS, LED).
size_t PrefixLength(const char* name) {
  size_t n = 0;
  while (name[n] >= 'A' && name[n] <= 'Z') ++n;
  return n;
}

}  // namespace

std::string LiveField::ColumnName() const {
  std::string name = control;
  // NUM and NS are the two prefixes of this record's controls.
  if (name.rfind("NUM", 0) == 0) return name.substr(3);
  if (name.rfind("NS", 0) == 0) return name.substr(2);
  return name.substr(PrefixLength(control));
}

std::span<const LiveField> LiveFields() {
  return kFields;
}

std::span<const LiveLed> LiveLeds() {
  return kLeds;
}

int DivisorDecimals(uint16_t divisor) {
  int decimals = 0;
  for (uint16_t d = divisor; d >= 10; d /= 10) ++decimals;
  return decimals;
}

uint16_t RawWord(const LiveData& record, const LiveField& field) {
  return com::Get16BE(record.data() + field.offset);
}

uint8_t StatusByte(const LiveData& record, int byte) {
  return record[kStatusOffset + byte];
}

bool StatusBit(const LiveData& record, int byte, int bit) {
  return (StatusByte(record, byte) >> bit) & 1;
}

uint16_t AnalogCount(uint16_t word) {
  return word & 0x0FFF;
}

bool AnalogFault(uint16_t word) {
  return (word & 0x8000) != 0;
}

uint16_t EffectiveDivisor(const LiveData& record, const LiveField& field) {
  if (field.type == LiveType::JTrans) return StatusBit(record, 1, 1) ? field.divisor : 1;
  if (field.type == LiveType::Analog || field.type == LiveType::MapSet) return 1;
  return field.divisor;
}

double ShownValue(const LiveData& record, const LiveField& field) {
  const uint16_t word = RawWord(record, field);
  switch (field.type) {
    case LiveType::Analog:
      return AnalogCount(word);
    case LiveType::MapSet:
      return word + 1.0;
    case LiveType::U16:
      return static_cast<double>(word) / field.divisor;
    case LiveType::S16:
    case LiveType::JTrans:
      return static_cast<double>(static_cast<int16_t>(word)) / EffectiveDivisor(record, field);
  }
  return 0;
}

std::string ShownText(const LiveData& record, const LiveField& field) {
  return com::FixedText(ShownValue(record, field), DivisorDecimals(EffectiveDivisor(record, field)));
}

bool ProtectionOff(const LiveData& record) {
  return StatusBit(record, 0, 7);
}

bool EngineOn(const LiveData& record) {
  return StatusBit(record, 0, 4);
}

const LiveField* FindLiveField(const std::string& control) {
  for (const LiveField& f : kFields)
    if (control == f.control || (f.control2 && control == f.control2)) return &f;
  return nullptr;
}

const LiveLed* FindLiveLed(const std::string& control) {
  for (const LiveLed& l : kLeds)
    if (*l.control && control == l.control) return &l;
  return nullptr;
}

}  // namespace live
