// The bike catalogue and the capability flags that follow from the bike code.
#include "config/bike.h"

#include <array>
#include <cstdio>

#include "ecudata/image.h"
#include "link/bytes.h"

namespace config {

uint8_t fTempIsOil = 0, fDoubleInj = 0, fNbego1 = 0, fNbego2 = 0, fIdling = 0, fOilPress = 0,
        fAirIsAnalog = 0, fFan1 = 0, fFan2 = 0, fFuelControl = 0, fFuelReserve = 0, fSpeedIn = 0, fDash = 0,
        fDtc = 0;

namespace {

constexpr int kFlagCount = 14;

// Capability patterns, flags in the order fTempIsOil, fDoubleInj, fNbego1, fNbego2, fIdling,
// fOilPress, fAirIsAnalog, fFan1, fFan2, fFuelControl, fFuelReserve, fSpeedIn, fDash, fDtc.
struct Pattern {
  char id;
  std::array<uint8_t, kFlagCount> flags;
};

constexpr Pattern kPatterns[] = {
    {'A', {0, 1, 1, 1, 1, 1, 0, 1, 0, 0, 0, 1, 1, 1}}, {'B', {0, 0, 1, 0, 1, 1, 0, 1, 0, 0, 0, 1, 1, 0}},
    {'C', {0, 0, 0, 0, 1, 1, 0, 1, 1, 0, 0, 1, 1, 0}}, {'D', {0, 0, 1, 1, 1, 1, 0, 1, 0, 0, 0, 1, 1, 0}},
    {'E', {0, 0, 1, 1, 1, 1, 0, 1, 0, 0, 0, 1, 1, 1}}, {'F', {0, 0, 1, 0, 1, 1, 0, 1, 0, 1, 0, 1, 1, 0}},
    {'G', {0, 0, 0, 0, 0, 1, 0, 1, 0, 1, 0, 1, 1, 0}}, {'H', {1, 0, 1, 0, 1, 0, 1, 1, 0, 0, 0, 1, 0, 0}},
    {'I', {1, 0, 1, 0, 1, 1, 0, 0, 0, 0, 0, 1, 1, 0}}, {'J', {1, 0, 1, 0, 1, 1, 0, 0, 0, 1, 0, 1, 1, 0}},
    {'K', {1, 0, 1, 0, 1, 1, 0, 0, 0, 1, 1, 1, 1, 0}}, {'L', {1, 0, 1, 0, 1, 0, 1, 0, 0, 0, 0, 1, 1, 0}},
    {'M', {1, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0}}, {'O', {1, 0, 1, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0, 0}},
    {'P', {1, 0, 1, 0, 1, 0, 1, 0, 0, 0, 0, 1, 0, 0}}, {'Q', {0, 0, 0, 0, 0, 0, 1, 1, 1, 0, 0, 0, 0, 0}},
    {'R', {1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0}},
};

// One selectable bike: family, model, year index (2 = 2002 ...) and its pattern.
struct Entry {
  uint8_t family;
  uint8_t model;
  uint8_t year;
  char pattern;
};

constexpr Entry kCatalogue[] = {
    // Hypermotard
    {0, 0, 8, 'L'},
    {0, 0, 9, 'L'},
    // Monster 400 (no 2006), 620, 695, 750, 800, 900, 1000
    {1, 0, 3, 'R'},
    {1, 0, 4, 'R'},
    {1, 0, 5, 'R'},
    {1, 0, 7, 'R'},
    {1, 1, 2, 'R'},
    {1, 1, 3, 'R'},
    {1, 1, 4, 'R'},
    {1, 1, 5, 'R'},
    {1, 1, 6, 'R'},
    {1, 2, 7, 'M'},
    {1, 3, 2, 'R'},
    {1, 4, 3, 'R'},
    {1, 4, 4, 'R'},
    {1, 5, 2, 'R'},
    {1, 6, 3, 'R'},
    {1, 6, 4, 'R'},
    {1, 6, 5, 'R'},
    // Monster S2R 800, S2R 1000, S4, S4R
    {1, 7, 5, 'R'},
    {1, 7, 6, 'R'},
    {1, 7, 7, 'M'},
    {1, 8, 6, 'O'},
    {1, 8, 7, 'P'},
    {1, 9, 2, 'Q'},
    {1, 9, 3, 'Q'},
    {1, 10, 4, 'Q'},
    {1, 10, 5, 'Q'},
    {1, 10, 6, 'H'},
    {1, 10, 7, 'H'},
    {1, 10, 8, 'H'},
    // Multistrada
    {2, 0, 5, 'I'},
    {2, 0, 6, 'I'},
    {2, 1, 4, 'J'},
    {2, 1, 5, 'J'},
    {2, 1, 6, 'J'},
    {2, 2, 7, 'K'},
    {2, 2, 8, 'K'},
    // SportClassic
    {3, 0, 7, 'P'},
    {3, 0, 8, 'P'},
    {3, 0, 9, 'P'},
    {3, 1, 6, 'P'},
    {3, 2, 6, 'P'},
    {3, 2, 7, 'P'},
    {3, 2, 8, 'P'},
    {3, 2, 9, 'P'},
    // SportTuring
    {4, 0, 2, 'G'},
    {4, 0, 3, 'G'},
    {4, 1, 4, 'G'},
    {4, 1, 5, 'G'},
    {4, 1, 6, 'F'},
    {4, 1, 7, 'F'},
    {4, 2, 2, 'G'},
    {4, 2, 3, 'G'},
    {4, 2, 4, 'G'},
    {4, 2, 5, 'G'},
    // Streetfighter
    {5, 0, 9, 'D'},
    {5, 1, 9, 'E'},
    // Superbike
    {6, 0, 3, 'C'},
    {6, 0, 4, 'C'},
    {6, 0, 5, 'C'},
    {6, 0, 6, 'C'},
    {6, 1, 8, 'B'},
    {6, 1, 9, 'B'},
    {6, 2, 2, 'Q'},
    {6, 2, 3, 'Q'},
    {6, 2, 4, 'Q'},
    {6, 3, 3, 'C'},
    {6, 3, 4, 'C'},
    {6, 3, 5, 'C'},
    {6, 3, 6, 'C'},
    {6, 4, 7, 'B'},
    {6, 4, 8, 'B'},
    {6, 5, 8, 'A'},
    {6, 5, 9, 'A'},
    {6, 6, 9, 'E'},
    // SuperSport
    {7, 0, 3, 'R'},
    {7, 1, 2, 'R'},
    {7, 2, 3, 'R'},
    {7, 2, 4, 'R'},
    {7, 2, 5, 'R'},
    {7, 2, 6, 'R'},
    {7, 2, 7, 'R'},
    {7, 3, 2, 'R'},
    {7, 4, 3, 'R'},
    {7, 4, 4, 'R'},
    {7, 4, 5, 'R'},
    {7, 4, 6, 'R'},
};

// Family name first, then the model names in model-index order.
struct Family {
  const char* name;
  std::array<const char*, 11> models;
  int modelCount;
};

constexpr Family kFamilies[] = {
    {"Hypermotard", {"1100"}, 1},
    {"Monster", {"400", "620", "695", "750", "800", "900", "1000", "S2R 800", "S2R 1000", "S4", "S4R"}, 11},
    {"Multistrada", {"620", "1000", "1100"}, 3},
    {"SportClassic", {"GT 1000", "PaulSmart 1000", "Sport 1000"}, 3},
    {"SportTuring", {"ST2", "ST3", "ST4"}, 3},
    {"Streetfighter", {"1098", "S-1098"}, 2},
    {"Superbike", {"749", "848", "998", "999", "1098", "1098R", "1198"}, 7},
    {"SuperSport", {"620", "750", "800", "900", "1000"}, 5},
};
constexpr int kFamilyCount = static_cast<int>(sizeof(kFamilies) / sizeof(kFamilies[0]));

constexpr const char* kYears[] = {"",     "",     "2002", "2003", "2004", "2005", "2006", "2007",
                                  "2008", "2009", "2010", "2011", "2012", "2013", "2014", "2015"};
constexpr int kYearCount = static_cast<int>(sizeof(kYears) / sizeof(kYears[0]));

const Entry* Find(uint32_t bikeCode) {
  if (bikeCode > 0xFFFFFFu || (bikeCode >> 16) == 0xFF) return nullptr;
  const uint8_t family = static_cast<uint8_t>(bikeCode >> 16);
  const uint8_t model = static_cast<uint8_t>(bikeCode >> 8);
  const uint8_t year = static_cast<uint8_t>(bikeCode);
  for (const Entry& e : kCatalogue)
    if (e.family == family && e.model == model && e.year == year) return &e;
  return nullptr;
}

const Pattern* FindPattern(char id) {
  for (const Pattern& p : kPatterns)
    if (p.id == id) return &p;
  return nullptr;
}

}  // namespace

const char* szTypeBike(int family, int entry) {
  if (family < 0 || family >= kFamilyCount || entry < 0) return "";
  const Family& f = kFamilies[family];
  if (entry == 0) return f.name;
  if (entry - 1 < f.modelCount) return f.models[entry - 1];
  return "";
}

const char* szYear(int year) {
  if (year < 0 || year >= kYearCount) return "";
  return kYears[year];
}

std::string BikeText(uint32_t bikeCode) {
  // Bits 24-31 are not part of the code; every part is looked up by index, and an
  // index outside the tables gives an empty text.
  const int family = static_cast<int>((bikeCode >> 16) & 0xFF);
  const int model = static_cast<int>((bikeCode >> 8) & 0xFF);
  const int year = static_cast<int>(bikeCode & 0xFF);
  char text[3 * 32 + 8];
  std::snprintf(text, sizeof text, "%s %s (%s)", szTypeBike(family, 0), szTypeBike(family, 1 + model),
                szYear(year));
  return text;
}

bool IsCatalogued(uint32_t bikeCode) {
  return Find(bikeCode) != nullptr;
}

void ConfigFlagBikeCode(uint32_t bikeCode) {
  const Entry* e = Find(bikeCode);
  if (e == nullptr) return;
  const Pattern* p = FindPattern(e->pattern);
  if (p == nullptr) return;
  uint8_t* const flags[kFlagCount] = {&fTempIsOil,   &fDoubleInj,   &fNbego1, &fNbego2, &fIdling,
                                      &fOilPress,    &fAirIsAnalog, &fFan1,   &fFan2,   &fFuelControl,
                                      &fFuelReserve, &fSpeedIn,     &fDash,   &fDtc};
  for (int i = 0; i < kFlagCount; ++i) *flags[i] = p->flags[i];
}

void ConfigFlagBike() {
  ConfigFlagBikeCode(com::Get32LE(ecu::ecuParData + ecu::kParBikeOffset));
}

}  // namespace config
