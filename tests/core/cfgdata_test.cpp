// The configuration fields: defaults, constants, voltage-point repair, texts and the
// lists of the bike rings.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "config/bike.h"
#include "config/cfgdata.h"
#include "ecudata/fieldkeep.h"
#include "ecudata/fields.h"
#include "ecudata/image.h"
#include "link/bytes.h"

namespace {

const ecu::Field& FieldOf(const char* control, int16_t row = -1) {
  for (const ecu::Field& f : config::CfgFields())
    if (std::strcmp(f.control, control) == 0 && (row < 0 || f.row == row)) return f;
  static ecu::Field none{};
  ADD_FAILURE() << control;
  return none;
}

int16_t At(const uint8_t* block, uint32_t offset, int i) {
  return static_cast<int16_t>(com::Get16LE(block + offset + 2 * i));
}
void Set(uint8_t* block, uint32_t offset, int i, int v) {
  com::Put16LE(block + offset + 2 * i, static_cast<uint16_t>(static_cast<int16_t>(v)));
}

TEST(CfgDataTest, DefaultsAndConstants) {
  std::vector<uint8_t> block(ecu::kParSize, 0x77);
  config::InitCfgData(block.data());
  EXPECT_EQ(config::GetBikeCode(block.data()), config::kBikeNotSet);
  EXPECT_EQ(com::Get16LE(block.data() + 1160), 3300);
  EXPECT_EQ(block[1204], 1);
  for (int i = 1205; i <= 1215; ++i) EXPECT_EQ(block[i], 0) << i;
  EXPECT_EQ(block[1216], 2);
  EXPECT_EQ(block[64], 0);
  EXPECT_EQ(block[1187], 0);
  for (uint32_t table : {464u, 496u, 1040u, 1072u, 1104u})
    for (int i = 0; i < 16; ++i) EXPECT_EQ(At(block.data(), table, i), 0);
  EXPECT_EQ(com::Get16LE(block.data() + 1150), 1000);  // injector B ratio 1.000
  EXPECT_EQ(com::Get32LE(block.data() + 1136), 0u);
  // Built-in geometry: two cylinders at 0.0 and 270.0 degrees, a 48-2 wheel.
  EXPECT_EQ(At(block.data(), 1162, 1), 2700);
  const uint8_t geometry[] = {0, 1, 0, 1, 2, 3, 0, 1, 0, 0, 0, 0, 0, 0, 2, 48, 2, 1, 1, 5, 2};
  EXPECT_EQ(std::memcmp(block.data() + 1166, geometry, sizeof geometry), 0);
  EXPECT_EQ(block[1163 + 24], 0);  // the title's first byte (1187)

  // Whatever a file held, the constants and the geometry are written again; the
  // toggles and the notes are not.
  std::memset(block.data() + 1160, 0xEE, 1217 - 1160);
  block[1210] = 1;
  config::WriteCfgConstants(block.data());
  EXPECT_EQ(com::Get16LE(block.data() + 1160), 3300);
  EXPECT_EQ(std::memcmp(block.data() + 1166, geometry, sizeof geometry), 0);
  EXPECT_EQ(block[1204], 1);
  EXPECT_EQ(block[1209], 0);
  EXPECT_EQ(block[1210], 1);
  EXPECT_EQ(block[1211], 0xEE);
  EXPECT_EQ(block[1215], 0);
  EXPECT_EQ(block[1216], 2);
  EXPECT_EQ(block[1187], 0xEE);  // the title is the page's
}

TEST(CfgDataTest, RoundingOfShownValues) {
  // 20.05 V is 201 (halves away from zero); -0.0005 ms is -1 us; 16.16 gains.
  EXPECT_EQ(ecu::ToRaw(FieldOf("TABdwell", 0), 20.05), 201);
  EXPECT_EQ(ecu::ToRaw(FieldOf("TABdwell", 1), -0.0005), -1);
  EXPECT_EQ(ecu::ToRaw(FieldOf("TABoffsVbat", 2), 1.2345), 1235);
  EXPECT_EQ(ecu::ToRaw(FieldOf("NUMidlKp"), 1.5), 98304);
  EXPECT_EQ(ecu::ToRaw(FieldOf("NUMkInjBratio"), 1.0005), 1001);
  // Typed values outside the range are held at its ends.
  EXPECT_EQ(ecu::ClampShown(FieldOf("TABdwell", 0), 25.0), 20.0);
  EXPECT_EQ(ecu::ClampShown(FieldOf("NUMkInjBratio"), -1.0), 0.0);

  // A gain finer than its decimals survives a gather of an untouched control.
  std::vector<uint8_t> before(ecu::kParSize, 0), after(ecu::kParSize, 0);
  com::Put32LE(before.data() + 1140, 3);  // Ki = 0.0000458, shown "0.0000"
  com::Put32LE(after.data() + 1140, 0);
  ecu::KeepUneditedValues(before.data(), after.data(), config::CfgFields());
  EXPECT_EQ(com::Get32LE(after.data() + 1140), 3u);
  com::Put32LE(after.data() + 1140, 65536);  // edited to 1.0000: taken
  ecu::KeepUneditedValues(before.data(), after.data(), config::CfgFields());
  EXPECT_EQ(com::Get32LE(after.data() + 1140), 65536u);
}

TEST(CfgDataTest, FallingVoltagePointsCopyTheirPredecessor) {
  std::vector<uint8_t> block(ecu::kParSize, 0);
  for (int i = 0; i < 16; ++i) {
    Set(block.data(), 496, i, 60 + 10 * i);
    Set(block.data(), 464, i, 5000 - 100 * i);
    Set(block.data(), 1104, i, 60 + 10 * i);
    Set(block.data(), 1040, i, 900 - i);
    Set(block.data(), 1072, i, 800 - i);
  }
  EXPECT_FALSE(config::SortVbatTables(block.data()));
  Set(block.data(), 496, 4, 20);     // dwell point 5 below point 4
  Set(block.data(), 1104, 9, -100);  // signed compare
  EXPECT_TRUE(config::SortVbatTables(block.data()));
  EXPECT_EQ(At(block.data(), 496, 4), 90);
  EXPECT_EQ(At(block.data(), 464, 4), 4700);
  EXPECT_EQ(At(block.data(), 496, 5), 110);
  EXPECT_EQ(At(block.data(), 1104, 9), 140);
  EXPECT_EQ(At(block.data(), 1040, 9), 892);
  EXPECT_EQ(At(block.data(), 1072, 9), 792);
}

TEST(CfgDataTest, TextsAreWindows1252InTheBlock) {
  std::vector<uint8_t> block(ecu::kParSize, 0);
  config::PutNotes(block.data(), "Düse 3 € ok");
  EXPECT_EQ(block[64 + 1], 0xFC);  // ü
  EXPECT_EQ(block[64 + 7], 0x80);  // €
  EXPECT_EQ(config::GetNotes(block.data()), "Düse 3 € ok");
  config::PutNotes(block.data(), std::string(500, 'x'));
  EXPECT_EQ(config::GetNotes(block.data()).size(), 399u);
  EXPECT_EQ(block[64 + 399], 0);
  config::PutNotes(block.data(), "short");  // what lies after the terminator stays
  EXPECT_EQ(config::GetNotes(block.data()), "short");
  EXPECT_EQ(block[64 + 5], 0);
  EXPECT_EQ(block[64 + 6], 'x');

  block[1187 + 15] = 'Z';  // the byte after the title is not the title's
  config::PutDashTitle(block.data(), "Ölwechsel bei 12000 km");
  EXPECT_EQ(config::GetDashTitle(block.data()), "Ölwechsel bei 1");
  config::PutDashTitle(block.data(), "S4R");
  EXPECT_EQ(block[1187 + 3], 0);
  EXPECT_EQ(block[1187 + 14], 0);
  EXPECT_EQ(block[1187 + 15], 'Z');
  EXPECT_EQ(config::GetDashTitle(block.data()), "S4R");
}

TEST(CfgDataTest, BikeRingLists) {
  const auto undefined = config::BikeRingItems(config::kBikeNotSet);
  ASSERT_EQ(undefined.family.size(), 9u);
  EXPECT_EQ(undefined.family.back().text, "-undefined-");
  EXPECT_EQ(undefined.family.back().value, 255);
  ASSERT_EQ(undefined.model.size(), 1u);
  EXPECT_EQ(undefined.model[0].text, "");
  ASSERT_EQ(undefined.year.size(), 1u);
  EXPECT_EQ(undefined.year[0].value, 0);

  // Monster 400: 2003, 2004, 2005, 2007 - no 2006.
  const auto monster = config::BikeRingItems(config::MakeBikeCode(1, 0, 3));
  EXPECT_EQ(monster.family.size(), 8u);
  EXPECT_EQ(monster.model.size(), 11u);
  EXPECT_EQ(monster.model[10].text, "S4R");
  std::vector<int> years;
  for (const auto& y : monster.year) years.push_back(y.value);
  EXPECT_EQ(years, (std::vector<int>{3, 4, 5, 7}));
  EXPECT_EQ(monster.year[0].text, "2003");

  // A model the family does not have lists the years of its model 0.
  const auto hyper = config::BikeRingItems(config::MakeBikeCode(0, 5, 8));
  ASSERT_EQ(hyper.model.size(), 1u);
  ASSERT_EQ(hyper.year.size(), 2u);
  EXPECT_EQ(hyper.year[1].text, "2009");
}

}  // namespace
