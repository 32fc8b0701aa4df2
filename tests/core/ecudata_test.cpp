// Version stamps, reference copies, the bike-type check and question, and the
// transfer image with its byte-order table.
#include <ostream>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ecudata/ecudata.h"
#include "ecudata/image.h"
#include "link/bytes.h"
#include "link/utils.h"
#include "scripted_ui.h"
#include "test_support.h"

namespace {

using testing_ui::ScriptedUi;

constexpr uint32_t kMonster400y2003 = 0x010003;     // "Monster 400 (2003)"
constexpr uint32_t kSuperbike1098y2007 = 0x060407;  // "Superbike 1098 (2007)"

using test_support::FillPattern;

class EcuDataTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FillPattern(ecu::ecuParData, ecu::kParSize, 1);
    FillPattern(ecu::ecuMapData, ecu::kMapSize, 2);
    ecu::InitEcuRefData();
  }
  ScriptedUi ui;
};

TEST_F(EcuDataTest, StampsAreWrittenNulPaddedIntoTheirBlock) {
  EXPECT_EQ(ecu::AppVersionText(), "Kestra v1.3");
  ecu::GenerateAppVersion(1);
  ecu::GenerateDataVersion(2);
  const uint8_t* par = ecu::ecuParData;
  const uint8_t* map = ecu::ecuMapData;
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(par)), "Kestra v1.3");
  for (uint32_t i = 11; i < 32; ++i) EXPECT_EQ(par[i], 0) << i;
  EXPECT_EQ(par[32], ecu::ecuParRefData[32]);  // data stamp of the parameter block untouched
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(map + 32)), "Q740_MAP_DATA_v1.00");
  for (uint32_t i = 32 + 19; i < 64; ++i) EXPECT_EQ(map[i], 0) << i;
  EXPECT_EQ(std::memcmp(map, ecu::ecuMapRefData, 32), 0);  // app stamp of the map block untouched

  // Another type does nothing: both blocks stay as they were, byte for byte.
  const std::vector<uint8_t> parBefore(par, par + ecu::kParSize), mapBefore(map, map + ecu::kMapSize);
  for (int type : {0, 3, -1, 13}) {
    ecu::GenerateAppVersion(type);
    ecu::GenerateDataVersion(type);
    EXPECT_EQ(ecu::CheckDataVersion(type, ecu::ecuParData), 0) << type;
    EXPECT_EQ(ecu::CheckAppVersion(type, ecu::ecuParData), 0) << type;
  }
  EXPECT_EQ(std::vector<uint8_t>(par, par + ecu::kParSize), parBefore);
  EXPECT_EQ(std::vector<uint8_t>(map, map + ecu::kMapSize), mapBefore);
  EXPECT_TRUE(ui.popups.empty());
}

struct StampCase {
  const char* name;
  int type;
  const char* appStamp;
  const char* dataStamp;
  bool accepted;
  std::vector<std::pair<std::string, std::string>> popups;  // title, text
};

void PrintTo(const StampCase& c, std::ostream* os) {
  *os << c.name;
}

class StampCheckTest : public EcuDataTest, public ::testing::WithParamInterface<StampCase> {};

TEST_P(StampCheckTest, MessagesAndResult) {
  const StampCase& c = GetParam();
  uint8_t block[ecu::kMapSize] = {};
  com::SetFieldText(block, 32, c.appStamp);
  com::SetFieldText(block + 32, 32, c.dataStamp);
  const bool data = ecu::CheckDataVersion(c.type, block);
  if (data) {
    EXPECT_EQ(ecu::CheckAppVersion(c.type, block), 1);
  }
  EXPECT_EQ(data, c.accepted);
  ASSERT_EQ(ui.popups.size(), c.popups.size());
  for (size_t i = 0; i < c.popups.size(); ++i) {
    EXPECT_EQ(ui.popups[i].kind, "message");
    EXPECT_EQ(ui.popups[i].title, c.popups[i].first);
    EXPECT_EQ(ui.popups[i].text, c.popups[i].second);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Stamps, StampCheckTest,
    ::testing::Values(StampCase{"ParameterStampsRight", 1, "Kestra v1.3", "Q740_PAR_DATA_v1.00", true, {}},
                      StampCase{"MapStampsRight", 2, "Kestra v1.3", "Q740_MAP_DATA_v1.00", true, {}},
                      StampCase{"ParameterFromAnotherRelease",
                                1,
                                "Kestra v1.2",
                                "Q740_PAR_DATA_v1.00",
                                true,
                                {{"Warning Load ECU configuration data",
                                  "Data stored with another application:\n(Kestra v1.2)."}}},
                      StampCase{
                          "MapWithoutAppStamp",
                          2,
                          "",
                          "Q740_MAP_DATA_v1.00",
                          true,
                          {{"Warning Load ECU mapping data", "Data stored with another application:\n()."}}},
                      StampCase{"ParameterBlockWithMapDataStamp",
                                1,
                                "Kestra v1.3",
                                "Q740_MAP_DATA_v1.00",
                                false,
                                {{"Failure Load ECU configuration data", "Incompatible data format!"}}},
                      StampCase{"MapDataStampCut",
                                2,
                                "Kestra v1.3",
                                "Q740_MAP_DATA_v1.0",
                                false,
                                {{"Failure Load ECU mapping data", "Incompatible data format!"}}}),
    test_support::CaseName());

struct DiscardCase {
  const char* name;
  bool parChanged, mapChanged;
  bool answer;
  const char* title;  // null: no question
  uint8_t result;
};

void PrintTo(const DiscardCase& c, std::ostream* os) {
  *os << c.name;
}

class DiscardTest : public EcuDataTest, public ::testing::WithParamInterface<DiscardCase> {};

TEST_P(DiscardTest, TitleByChangedBlocks) {
  const DiscardCase& c = GetParam();
  if (c.parChanged) ecu::ecuParData[ecu::kParSize - 1] ^= 1;
  if (c.mapChanged) ecu::ecuMapData[0] ^= 0x80;
  EXPECT_EQ(ecu::IsEcuDataChanged(1), c.parChanged);
  EXPECT_EQ(ecu::IsEcuDataChanged(2), c.mapChanged);
  ui.confirms.push_back(c.answer);
  EXPECT_EQ(ecu::DiscardNewEcuData(), c.result);
  if (!c.title) {
    EXPECT_TRUE(ui.popups.empty());
    return;
  }
  ASSERT_EQ(ui.popups.size(), 1u);
  EXPECT_EQ(ui.popups[0].kind, "confirm");
  EXPECT_EQ(ui.popups[0].title, c.title);
  EXPECT_EQ(ui.popups[0].text, "Exit without saving changes?");
}

INSTANTIATE_TEST_SUITE_P(Discard, DiscardTest,
                         ::testing::Values(DiscardCase{"NothingChanged", false, false, false, nullptr, 1},
                                           DiscardCase{"ConfigurationChangedAndConfirmed", true, false, true,
                                                       "Updated ECU configuration data!", 1},
                                           DiscardCase{"MappingChangedAndKept", false, true, false,
                                                       "Updated ECU mapping data!", 0},
                                           DiscardCase{"BothChangedAndKept", true, true, false,
                                                       "Updated ECU configuration and mapping data!", 0},
                                           DiscardCase{"BothChangedAndConfirmed", true, true, true,
                                                       "Updated ECU configuration and mapping data!", 1}),
                         test_support::CaseName());

TEST_F(EcuDataTest, ReferenceCopyFollowsOnlyOnCopy) {
  ecu::ecuMapData[5000] ^= 0xFF;
  EXPECT_EQ(ecu::IsEcuDataChanged(2), 1);
  ecu::CopyEcuRefData(1);  // the other block's copy does not help
  EXPECT_EQ(ecu::IsEcuDataChanged(2), 1);
  ecu::CopyEcuRefData(2);
  EXPECT_EQ(ecu::IsEcuDataChanged(2), 0);
}

TEST_F(EcuDataTest, CheckTypeBikeModes) {
  struct Case {
    uint32_t par, map;
    uint8_t lenient, strict;
  } cases[] = {
      {kMonster400y2003, kMonster400y2003, 1, 1},
      {kMonster400y2003, kSuperbike1098y2007, 0, 0},
      {0xFF0000, kSuperbike1098y2007, 1, 0},  // configuration not set
      {kMonster400y2003, 0xFF0305, 1, 0},     // family 255 in the mapping, other bytes differ
      {0xFF0000, 0xFF0000, 1, 1},
      {0xFE0000, 0xFD0000, 0, 0},
  };
  for (const Case& c : cases) {
    ecu::SetBikeWord(1, c.par);
    ecu::SetBikeWord(2, c.map);
    EXPECT_EQ(com::Get32LE(ecu::ecuParData + 1156), c.par);
    EXPECT_EQ(com::Get32LE(ecu::ecuMapData + 11876), c.map);
    EXPECT_EQ(ecu::CheckTypeBike(0), c.lenient) << std::hex << c.par << " " << c.map;
    EXPECT_EQ(ecu::CheckTypeBike(1), c.strict) << std::hex << c.par << " " << c.map;
  }
}

struct AlignCase {
  const char* name;
  int type;  // block being written
  int answer;
  uint32_t parAfter, mapAfter;
};

void PrintTo(const AlignCase& c, std::ostream* os) {
  *os << c.name;
}

class AlignTest : public EcuDataTest, public ::testing::WithParamInterface<AlignCase> {};

TEST_P(AlignTest, QuestionAndAnswer) {
  const AlignCase& c = GetParam();
  ecu::SetBikeWord(1, kMonster400y2003);
  ecu::SetBikeWord(2, kSuperbike1098y2007);
  ui.buttons.push_back(c.answer);
  ecu::AlignTypeBike(c.type);
  EXPECT_EQ(ecu::GetBikeWord(1), c.parAfter);
  EXPECT_EQ(ecu::GetBikeWord(2), c.mapAfter);
  ASSERT_EQ(ui.popups.size(), 1u);
  const auto& p = ui.popups[0];
  EXPECT_EQ(p.kind, "buttons");
  EXPECT_EQ(p.title, "Align type bike");
  EXPECT_EQ(p.text,
            std::string("Attention:\nbike select in configuration: Monster 400 (2003)"
                        "\nbike select in mapping: Superbike 1098 (2007)") +
                (c.type == 1 ? "\nPlease select configuration bike." : "\nPlease select mapping bike."));
  EXPECT_EQ(p.buttons, (std::vector<std::string>{"Monster 400 (2003)", "Superbike 1098 (2007)", ""}));
}

INSTANTIATE_TEST_SUITE_P(
    Align, AlignTest,
    ::testing::Values(
        AlignCase{"ConfigurationTakesTheMappingBike", 1, 2, kSuperbike1098y2007, kSuperbike1098y2007},
        AlignCase{"ConfigurationKeepsItsBike", 1, 1, kMonster400y2003, kSuperbike1098y2007},
        AlignCase{"ConfigurationQuestionClosed", 1, 0, kMonster400y2003, kSuperbike1098y2007},
        AlignCase{"MappingTakesTheConfigurationBike", 2, 1, kMonster400y2003, kMonster400y2003},
        AlignCase{"MappingKeepsItsBike", 2, 2, kMonster400y2003, kSuperbike1098y2007},
        AlignCase{"SecondMapSetTakesTheConfigurationBike", 3, 1, kMonster400y2003, kMonster400y2003},
        AlignCase{"MappingQuestionClosed", 2, 0, kMonster400y2003, kSuperbike1098y2007}),
    test_support::CaseName());

TEST_F(EcuDataTest, AlignAndWarnStayQuietWhenTheChecksPass) {
  ecu::SetBikeWord(1, kMonster400y2003);
  ecu::SetBikeWord(2, kMonster400y2003);
  ecu::AlignTypeBike(1);
  ecu::SetBikeWord(2, 0xFF0000);
  ecu::WarnTypeBike();  // lenient check passes with "not set"
  EXPECT_TRUE(ui.popups.empty());
  ecu::SetBikeWord(2, kSuperbike1098y2007);
  ecu::WarnTypeBike();
  ASSERT_EQ(ui.popups.size(), 1u);
  EXPECT_EQ(ui.popups[0].title, "Check type bike");
  EXPECT_EQ(ui.popups[0].text,
            "Warning:\nbike select in configuration: Monster 400 (2003)\nbike select in mapping: Superbike "
            "1098 (2007)");
}

// ---- transfer image ----

// Where a field lands in the image: 2 or 4 for a swapped field, 0 for a byte left as is.
struct OrderCase {
  int type;
  uint32_t offset;
  int width;
};

TEST(ImageTest, ByteOrderTableAtTheBoundaries) {
  const OrderCase cases[] = {
      {1, 0, 0},     {1, 462, 0},   {1, 464, 2},   {1, 1038, 2},  {1, 1040, 2},  {1, 1134, 2},  {1, 1136, 4},
      {1, 1144, 4},  {1, 1148, 2},  {1, 1152, 2},  {1, 1156, 4},  {1, 1160, 2},  {1, 1164, 2},  {1, 1166, 0},
      {1, 1200, 0},  {1, 1202, 2},  {1, 1204, 0},  {1, 1230, 0},  {1, 1232, 2},  {1, 1270, 2},  {2, 0, 0},
      {2, 462, 0},   {2, 464, 2},   {2, 3126, 2},  {2, 3128, 2},  {2, 8662, 2},  {2, 8664, 2},  {2, 10390, 2},
      {2, 10392, 2}, {2, 11574, 2}, {2, 11598, 2}, {2, 11694, 2}, {2, 11704, 2}, {2, 11706, 2}, {2, 11806, 2},
      {2, 11814, 2}, {2, 11832, 2}, {2, 11834, 0}, {2, 11836, 2}, {2, 11872, 2}, {2, 11874, 0}, {2, 11876, 4},
      {2, 11880, 0}, {2, 11890, 0}, {2, 11892, 2}, {2, 11894, 2}, {2, 11896, 0}, {2, 11904, 0}, {2, 11906, 2},
      {2, 11908, 2}, {2, 11910, 0}, {2, 12326, 2}, {2, 12328, 2}, {2, 12330, 0},
  };
  static uint8_t block[ecu::kMapSize];
  static uint8_t image[ecu::zzzDimMapBuf];
  for (const OrderCase& c : cases) {
    FillPattern(block, ecu::BlockSize(c.type), 3);
    ecu::BlockToImage(c.type, block, "n", image);
    const uint8_t* in = block + c.offset;
    const uint8_t* out = image + 36 + c.offset;
    if (c.width == 0)
      EXPECT_TRUE(out[0] == in[0] && out[1] == in[1]) << c.type << " @" << c.offset;
    else if (c.width == 2)
      EXPECT_TRUE(out[0] == in[1] && out[1] == in[0]) << c.type << " @" << c.offset;
    else
      EXPECT_TRUE(out[0] == in[3] && out[1] == in[2] && out[2] == in[1] && out[3] == in[0])
          << c.type << " @" << c.offset;
  }
}

TEST(ImageTest, HeaderAndRoundTripForBothBlocks) {
  for (int type : {1, 2}) {
    SCOPED_TRACE(type);
    const uint32_t size = ecu::BlockSize(type);
    const uint32_t imageSize = ecu::ImageSize(type);
    std::vector<uint8_t> block(size), image(imageSize), back(size);
    FillPattern(block.data(), size, 9);
    const uint32_t marker = ecu::MarkerOffset(type);
    com::Put16LE(block.data() + marker, 0x1234);  // the image always carries the real marker
    const std::string longName = "A data set name longer than thirty-one characters";
    ecu::BlockToImage(type, block.data(), longName, image.data());

    EXPECT_EQ(com::Get16BE(image.data()), imageSize - 4);
    EXPECT_EQ(com::Get16BE(image.data() + 36 + marker), ecu::imageMarker);
    EXPECT_EQ(com::Get16BE(image.data() + 2), com::GetChecksum(image.data() + 4, imageSize - 4));
    EXPECT_EQ(com::FieldText(image.data() + 4, 32), longName.substr(0, 31));

    std::string name = "untouched";
    ASSERT_TRUE(ecu::ImageToBlock(type, image.data(), back.data(), &name));
    EXPECT_EQ(name, longName.substr(0, 31));
    com::Put16LE(block.data() + marker, ecu::imageMarker);
    EXPECT_EQ(back, block);
  }
}

// Damage done to a correct image; the checksum is recomputed unless `keepSum` is false.
struct BadImageCase {
  const char* name;
  int type;
  uint32_t offset;  // image offset of a big-endian word to overwrite
  uint16_t value;
  bool fixSum;
};

void PrintTo(const BadImageCase& c, std::ostream* os) {
  *os << c.name;
}

class BadImageTest : public ::testing::TestWithParam<BadImageCase> {};

TEST_P(BadImageTest, RejectedAndNothingTouched) {
  const BadImageCase& c = GetParam();
  const uint32_t size = ecu::BlockSize(c.type);
  const uint32_t imageSize = ecu::ImageSize(c.type);
  std::vector<uint8_t> block(size), image(imageSize), target(size, 0xA5);
  FillPattern(block.data(), size, 4);
  ecu::BlockToImage(c.type, block.data(), "name", image.data());
  com::Put16BE(image.data() + c.offset, c.value);
  if (c.fixSum) com::Put16BE(image.data() + 2, com::GetChecksum(image.data() + 4, imageSize - 4));
  std::string name = "kept";
  EXPECT_FALSE(ecu::ImageToBlock(c.type, image.data(), target.data(), &name));
  EXPECT_EQ(name, "kept");
  EXPECT_EQ(target, std::vector<uint8_t>(size, 0xA5));
}

INSTANTIATE_TEST_SUITE_P(
    Images, BadImageTest,
    ::testing::Values(BadImageCase{"ParMarkerSwapped", 1, 36 + 1272, 0xB5E0, true},
                      BadImageCase{"MapMarkerSwapped", 2, 36 + 12340, 0xB5E0, true},
                      BadImageCase{"ParLengthOfMap", 1, 0, 12376, true},
                      BadImageCase{"MapLengthOfPar", 2, 0, 1308, true},
                      BadImageCase{"ParBadChecksum", 1, 2, 0x0000, false},
                      BadImageCase{"MapDataChangedSumKept", 2, 36 + 5000, 0xDEAD, false}),
    [](const ::testing::TestParamInfo<BadImageCase>& info) { return std::string(info.param.name); });

}  // namespace
