// Bike catalogue texts and the capability flags that follow from the bike code.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <initializer_list>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "config/bike.h"
#include "ecudata/image.h"
#include "link/bytes.h"

namespace {

uint32_t Code(int family, int model, int year) {
  return static_cast<uint32_t>(family << 16 | model << 8 | year);
}

using Flags = std::array<uint8_t, 14>;

Flags ReadFlags() {
  using namespace config;
  return {fTempIsOil, fDoubleInj, fNbego1,      fNbego2,      fIdling,  fOilPress, fAirIsAnalog,
          fFan1,      fFan2,      fFuelControl, fFuelReserve, fSpeedIn, fDash,     fDtc};
}

void WriteFlags(const Flags& f) {
  using namespace config;
  uint8_t* const all[] = {&fTempIsOil,   &fDoubleInj,   &fNbego1, &fNbego2, &fIdling,
                          &fOilPress,    &fAirIsAnalog, &fFan1,   &fFan2,   &fFuelControl,
                          &fFuelReserve, &fSpeedIn,     &fDash,   &fDtc};
  for (size_t i = 0; i < f.size(); ++i) *all[i] = f[i];
}

TEST(BikeText, NamesFamilyModelAndYear) {
  EXPECT_EQ(config::BikeText(Code(6, 5, 8)), "Superbike 1098R (2008)");
  EXPECT_EQ(config::BikeText(Code(1, 7, 5)), "Monster S2R 800 (2005)");
  EXPECT_EQ(config::BikeText(Code(3, 1, 6)), "SportClassic PaulSmart 1000 (2006)");
  EXPECT_EQ(config::BikeText(Code(0, 0, 15)), "Hypermotard 1100 (2015)");
}

TEST(BikeText, MissingEntriesGiveEmptyTexts) {
  EXPECT_EQ(config::BikeText(config::kBikeNotSet), "  ()");
  EXPECT_EQ(config::BikeText(Code(7, 9, 3)), "SuperSport  (2003)");
  EXPECT_EQ(config::BikeText(Code(2, 0, 200)), "Multistrada 620 ()");
  EXPECT_EQ(config::BikeText(0xFFFFFFFFu), "  ()");
}

TEST(BikeTables, Lookups) {
  EXPECT_STREQ(config::szTypeBike(1, 0), "Monster");
  EXPECT_STREQ(config::szTypeBike(1, 11), "S4R");
  EXPECT_STREQ(config::szTypeBike(1, 12), "");
  EXPECT_STREQ(config::szTypeBike(8, 0), "");
  EXPECT_STREQ(config::szTypeBike(-1, 0), "");
  EXPECT_STREQ(config::szTypeBike(255, 256), "");
  EXPECT_STREQ(config::szYear(0), "");
  EXPECT_STREQ(config::szYear(1), "");
  EXPECT_STREQ(config::szYear(2), "2002");
  EXPECT_STREQ(config::szYear(15), "2015");
  EXPECT_STREQ(config::szYear(16), "");
  EXPECT_STREQ(config::szYear(255), "");
}

struct FlagCase {
  uint32_t code;
  Flags flags;
};

// One bike per pattern (A ... R), with the year that selects it where a model has two.
const FlagCase kFlagCases[] = {
    {Code(6, 5, 8), {0, 1, 1, 1, 1, 1, 0, 1, 0, 0, 0, 1, 1, 1}},   // A Superbike 1098R
    {Code(6, 4, 7), {0, 0, 1, 0, 1, 1, 0, 1, 0, 0, 0, 1, 1, 0}},   // B Superbike 1098
    {Code(6, 3, 6), {0, 0, 0, 0, 1, 1, 0, 1, 1, 0, 0, 1, 1, 0}},   // C Superbike 999
    {Code(5, 0, 9), {0, 0, 1, 1, 1, 1, 0, 1, 0, 0, 0, 1, 1, 0}},   // D Streetfighter 1098
    {Code(6, 6, 9), {0, 0, 1, 1, 1, 1, 0, 1, 0, 0, 0, 1, 1, 1}},   // E Superbike 1198
    {Code(4, 1, 6), {0, 0, 1, 0, 1, 1, 0, 1, 0, 1, 0, 1, 1, 0}},   // F ST3 2006
    {Code(4, 1, 5), {0, 0, 0, 0, 0, 1, 0, 1, 0, 1, 0, 1, 1, 0}},   // G ST3 2005
    {Code(1, 10, 6), {1, 0, 1, 0, 1, 0, 1, 1, 0, 0, 0, 1, 0, 0}},  // H S4R 2006
    {Code(2, 0, 5), {1, 0, 1, 0, 1, 1, 0, 0, 0, 0, 0, 1, 1, 0}},   // I Multistrada 620
    {Code(2, 1, 4), {1, 0, 1, 0, 1, 1, 0, 0, 0, 1, 0, 1, 1, 0}},   // J Multistrada 1000
    {Code(2, 2, 8), {1, 0, 1, 0, 1, 1, 0, 0, 0, 1, 1, 1, 1, 0}},   // K Multistrada 1100
    {Code(0, 0, 9), {1, 0, 1, 0, 1, 0, 1, 0, 0, 0, 0, 1, 1, 0}},   // L Hypermotard
    {Code(1, 7, 7), {1, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0}},   // M S2R 800 2007
    {Code(1, 8, 6), {1, 0, 1, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0, 0}},   // O S2R 1000 2006
    {Code(1, 8, 7), {1, 0, 1, 0, 1, 0, 1, 0, 0, 0, 0, 1, 0, 0}},   // P S2R 1000 2007
    {Code(1, 10, 5), {0, 0, 0, 0, 0, 0, 1, 1, 1, 0, 0, 0, 0, 0}},  // Q S4R 2005
    {Code(7, 4, 6), {1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0}},   // R SuperSport 1000
};

TEST(ConfigFlagBike, EveryPatternSetsAllFourteenFlags) {
  for (const FlagCase& c : kFlagCases) {
    // From all ones and from all zeros: no flag may keep an old value.
    for (uint8_t start : {0, 1}) {
      Flags before;
      before.fill(start);
      WriteFlags(before);
      config::ConfigFlagBikeCode(c.code);
      EXPECT_EQ(ReadFlags(), c.flags) << config::BikeText(c.code) << " from " << int(start);
    }
  }
}

TEST(ConfigFlagBike, ReadsTheBikeWordOfTheWorkingBlock) {
  WriteFlags(Flags{});
  com::Put32LE(ecu::ecuParData + ecu::kParBikeOffset, Code(6, 5, 9));
  config::ConfigFlagBike();
  EXPECT_EQ(ReadFlags(), kFlagCases[0].flags);
}

TEST(ConfigFlagBike, UnknownCodesKeepTheFlags) {
  const Flags previous = kFlagCases[10].flags;
  for (uint32_t code : {config::kBikeNotSet, Code(1, 0, 6), Code(8, 0, 5), Code(1, 11, 5), Code(6, 5, 10),
                        Code(0, 0, 0), 0x01060508u, 0xFFFFFFFFu}) {
    WriteFlags(previous);
    config::ConfigFlagBikeCode(code);
    EXPECT_EQ(ReadFlags(), previous) << std::hex << code;
    EXPECT_FALSE(config::IsCatalogued(code)) << std::hex << code;
  }
}

TEST(BikeCatalogue, SelectableBikes) {
  // Count per family over every code of the first 16 years; the rows of the catalogue.
  int perFamily[8] = {};
  for (int f = 0; f < 8; ++f)
    for (int m = 0; m < 12; ++m)
      for (int y = 0; y < 16; ++y)
        if (config::IsCatalogued(Code(f, m, y))) {
          ++perFamily[f];
          EXPECT_STRNE(config::szTypeBike(f, 1 + m), "");
          EXPECT_STRNE(config::szYear(y), "");
        }
  const int expected[8] = {2, 29, 7, 8, 10, 2, 18, 12};
  for (int f = 0; f < 8; ++f) EXPECT_EQ(perFamily[f], expected[f]) << config::szTypeBike(f, 0);
  EXPECT_TRUE(config::IsCatalogued(Code(1, 0, 5)));
  EXPECT_TRUE(config::IsCatalogued(Code(1, 0, 7)));
  EXPECT_FALSE(config::IsCatalogued(Code(1, 0, 6)));
}

// The catalogue row by row: family, model and its names, and for each year the
// capability pattern. Every other code of the first 16 years is not catalogued.
struct CatalogueRow {
  int family, model;
  const char* familyName;
  const char* modelName;
  std::vector<std::pair<int, char>> years;  // year (2002 ...), pattern letter
};

std::vector<std::pair<int, char>> Years(std::initializer_list<int> years, char pattern) {
  std::vector<std::pair<int, char>> out;
  for (int y : years) out.emplace_back(y, pattern);
  return out;
}
std::vector<std::pair<int, char>> Range(int first, int last, char pattern) {
  std::vector<std::pair<int, char>> out;
  for (int y = first; y <= last; ++y) out.emplace_back(y, pattern);
  return out;
}
std::vector<std::pair<int, char>> Join(std::vector<std::pair<int, char>> a,
                                       const std::vector<std::pair<int, char>>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

const CatalogueRow kCatalogue[] = {
    {0, 0, "Hypermotard", "1100", Years({2008, 2009}, 'L')},
    {1, 0, "Monster", "400", Years({2003, 2004, 2005, 2007}, 'R')},
    {1, 1, "Monster", "620", Range(2002, 2006, 'R')},
    {1, 2, "Monster", "695", Years({2007}, 'M')},
    {1, 3, "Monster", "750", Years({2002}, 'R')},
    {1, 4, "Monster", "800", Years({2003, 2004}, 'R')},
    {1, 5, "Monster", "900", Years({2002}, 'R')},
    {1, 6, "Monster", "1000", Years({2003, 2004, 2005}, 'R')},
    {1, 7, "Monster", "S2R 800", Join(Years({2005, 2006}, 'R'), Years({2007}, 'M'))},
    {1, 8, "Monster", "S2R 1000", Join(Years({2006}, 'O'), Years({2007}, 'P'))},
    {1, 9, "Monster", "S4", Years({2002, 2003}, 'Q')},
    {1, 10, "Monster", "S4R", Join(Years({2004, 2005}, 'Q'), Years({2006, 2007, 2008}, 'H'))},
    {2, 0, "Multistrada", "620", Years({2005, 2006}, 'I')},
    {2, 1, "Multistrada", "1000", Years({2004, 2005, 2006}, 'J')},
    {2, 2, "Multistrada", "1100", Years({2007, 2008}, 'K')},
    {3, 0, "SportClassic", "GT 1000", Years({2007, 2008, 2009}, 'P')},
    {3, 1, "SportClassic", "PaulSmart 1000", Years({2006}, 'P')},
    {3, 2, "SportClassic", "Sport 1000", Range(2006, 2009, 'P')},
    {4, 0, "SportTuring", "ST2", Years({2002, 2003}, 'G')},
    {4, 1, "SportTuring", "ST3", Join(Years({2004, 2005}, 'G'), Years({2006, 2007}, 'F'))},
    {4, 2, "SportTuring", "ST4", Range(2002, 2005, 'G')},
    {5, 0, "Streetfighter", "1098", Years({2009}, 'D')},
    {5, 1, "Streetfighter", "S-1098", Years({2009}, 'E')},
    {6, 0, "Superbike", "749", Range(2003, 2006, 'C')},
    {6, 1, "Superbike", "848", Years({2008, 2009}, 'B')},
    {6, 2, "Superbike", "998", Years({2002, 2003, 2004}, 'Q')},
    {6, 3, "Superbike", "999", Range(2003, 2006, 'C')},
    {6, 4, "Superbike", "1098", Years({2007, 2008}, 'B')},
    {6, 5, "Superbike", "1098R", Years({2008, 2009}, 'A')},
    {6, 6, "Superbike", "1198", Years({2009}, 'E')},
    {7, 0, "SuperSport", "620", Years({2003}, 'R')},
    {7, 1, "SuperSport", "750", Years({2002}, 'R')},
    {7, 2, "SuperSport", "800", Range(2003, 2007, 'R')},
    {7, 3, "SuperSport", "900", Years({2002}, 'R')},
    {7, 4, "SuperSport", "1000", Range(2003, 2006, 'R')},
};

TEST(BikeCatalogue, EveryEntryWithItsPattern) {
  // Pattern letters A ... R in the order of kFlagCases (there is no N).
  const char letters[] = "ABCDEFGHIJKLMOPQR";
  auto flagsOf = [&](char pattern) {
    const char* at = std::strchr(letters, pattern);
    return kFlagCases[at - letters].flags;
  };
  std::set<uint32_t> listed;
  for (const CatalogueRow& row : kCatalogue) {
    EXPECT_STREQ(config::szTypeBike(row.family, 0), row.familyName);
    EXPECT_STREQ(config::szTypeBike(row.family, 1 + row.model), row.modelName);
    for (const auto& [year, pattern] : row.years) {
      const uint32_t code = Code(row.family, row.model, year - 2000);
      listed.insert(code);
      for (uint8_t start : {0, 1}) {
        Flags before;
        before.fill(start);
        WriteFlags(before);
        config::ConfigFlagBikeCode(code);
        EXPECT_EQ(ReadFlags(), flagsOf(pattern)) << config::BikeText(code) << " pattern " << pattern;
      }
    }
  }
  // Every family and model index up to the first unused ones, the "not set" family,
  // and year indices beyond the year table.
  for (int f : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 255})
    for (int m = 0; m < 16; ++m)
      for (int y = 0; y < 32; ++y) {
        const uint32_t code = Code(f, m, y);
        ASSERT_EQ(config::IsCatalogued(code), listed.count(code) == 1) << std::hex << code;
      }
}

}  // namespace
