// Bike catalogue texts and the capability flags that follow from the bike code.
#include <gtest/gtest.h>

#include <array>
#include <string>

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

}  // namespace
