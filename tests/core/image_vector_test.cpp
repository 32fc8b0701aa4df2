// The transfer image against bytes worked out by hand, and the program's image code
// against the simulated firmware's own: two independent encoders that must agree.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "ecudata/image.h"
#include "sim/simimage.h"
#include "test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Sparse = std::vector<std::pair<size_t, Bytes>>;  // bytes at their offsets, zero elsewhere

Bytes Expand(size_t size, const Sparse& bytes) {
  Bytes out(size, 0);
  for (const auto& [at, run] : bytes) std::copy(run.begin(), run.end(), out.begin() + static_cast<long>(at));
  return out;
}

struct VectorCase {
  const char* name;
  int type;
  sim::BlockKind kind;
  std::string setName;
  Sparse block;  // working block, PC order
  Sparse image;  // the image, worked out from the layout by hand
  Sparse back;   // the block read back from the image (marker in place)
};

void PrintTo(const VectorCase& c, std::ostream* os) {
  *os << c.name;
}

// Parameter block: a text pair at 10, a 16-bit value at 464, a 32-bit one at 1136,
// the bike word, two single bytes at 1166 between swapped fields, a 16-bit value at
// 1202, no marker. Name "Vxy": 'V' and 'x' lie in the pair the checksum leaves out.
//   checksum words (little-endian pairs from image offset 6):
//   0x0079 + 0x2211 + 0x3412 + 0x0201 + 0x0403 + 0x0100 + 0x070A + 0xBBAA + 0xEFBE + 0xB5E0
//   = 0x2C5F2; carry folded in: 0xC5F2 + 0x2 = 0xC5F4; complement 0x3A0B, stored big-endian.
// Map block: record 0 offset 0 (swapped), record 0 offset 4 (not), record 1 offset 2
// (swapped), the two bytes at 11834 between two runs (not), empty name.
//   0x0201 + 0x4433 + 0x0605 + 0x8877 + 0xB5E0 = 0x18A90; 0x8A90 + 0x1 = 0x8A91; complement 0x756E.
const VectorCase kVectors[] = {
    {"ParameterBlock",
     ecu::kParType,
     sim::BlockKind::Parameters,
     "Vxy",
     {{10, {0x11, 0x22}},
      {464, {0x34, 0x12}},
      {1136, {0x04, 0x03, 0x02, 0x01}},
      {1156, {0x07, 0x0A, 0x01, 0x00}},
      {1166, {0xAA, 0xBB}},
      {1202, {0xEF, 0xBE}}},
     {{0, {0x05, 0x1C, 0x3A, 0x0B, 'V', 'x', 'y'}},
      {46, {0x11, 0x22}},
      {500, {0x12, 0x34}},
      {1172, {0x01, 0x02, 0x03, 0x04}},
      {1192, {0x00, 0x01, 0x0A, 0x07}},
      {1202, {0xAA, 0xBB}},
      {1238, {0xBE, 0xEF}},
      {1308, {0xE0, 0xB5}}},
     {{10, {0x11, 0x22}},
      {464, {0x34, 0x12}},
      {1136, {0x04, 0x03, 0x02, 0x01}},
      {1156, {0x07, 0x0A, 0x01, 0x00}},
      {1166, {0xAA, 0xBB}},
      {1202, {0xEF, 0xBE}},
      {1272, {0xB5, 0xE0}}}},
    {"MapBlockRecords",
     ecu::kMapType,
     sim::BlockKind::Maps,
     "",
     {{11892, {0x02, 0x01}}, {11896, {0x33, 0x44}}, {11908, {0x06, 0x05}}, {11834, {0x77, 0x88}}},
     {{0, {0x30, 0x58, 0x75, 0x6E}},
      {11928, {0x01, 0x02}},
      {11932, {0x33, 0x44}},
      {11944, {0x05, 0x06}},
      {11870, {0x77, 0x88}},
      {12376, {0xE0, 0xB5}}},
     {{11892, {0x02, 0x01}},
      {11896, {0x33, 0x44}},
      {11908, {0x06, 0x05}},
      {11834, {0x77, 0x88}},
      {12340, {0xB5, 0xE0}}}},
};

class ImageVector : public ::testing::TestWithParam<VectorCase> {};

TEST_P(ImageVector, BothEncodersGiveTheHandDerivedBytes) {
  const VectorCase& c = GetParam();
  const Bytes block = Expand(ecu::BlockSize(c.type), c.block);
  const Bytes expected = Expand(ecu::ImageSize(c.type), c.image);

  Bytes image(ecu::ImageSize(c.type));
  ecu::BlockToImage(c.type, block.data(), c.setName, image.data());
  EXPECT_EQ(image, expected) << "program";
  EXPECT_EQ(sim::EncodeImage(c.kind, block, c.setName), expected) << "simulator";
}

TEST_P(ImageVector, BothDecodersReadTheHandDerivedBytes) {
  const VectorCase& c = GetParam();
  const Bytes image = Expand(ecu::ImageSize(c.type), c.image);
  const Bytes back = Expand(ecu::BlockSize(c.type), c.back);

  Bytes scratch = image, block(ecu::BlockSize(c.type));
  std::string name = "unset";
  ASSERT_TRUE(ecu::ImageToBlock(c.type, scratch.data(), block.data(), &name));
  EXPECT_EQ(block, back);
  EXPECT_EQ(name, c.setName);

  Bytes simBlock;
  std::string simName = "unset";
  ASSERT_TRUE(sim::DecodeImage(c.kind, image, &simBlock, &simName));
  EXPECT_EQ(simBlock, back);
  EXPECT_EQ(simName, c.setName);
}

INSTANTIATE_TEST_SUITE_P(Literal, ImageVector, ::testing::ValuesIn(kVectors), test_support::CaseName());

// Whole blocks of varied bytes: the two encoders agree byte for byte, and each
// decoder reads the other's image.
TEST(ImageCodecs, ProgramAndSimulatorAgree) {
  const struct {
    int type;
    sim::BlockKind kind;
  } kinds[] = {{ecu::kParType, sim::BlockKind::Parameters}, {ecu::kMapType, sim::BlockKind::Maps}};
  for (const auto& k : kinds) {
    for (uint8_t seed : {0, 1, 77, 200}) {
      SCOPED_TRACE(testing::Message() << "type " << k.type << " seed " << int(seed));
      Bytes block(ecu::BlockSize(k.type));
      test_support::FillPattern(block.data(), static_cast<uint32_t>(block.size()), seed);
      const std::string name = "Set " + std::to_string(seed) + " with a name of more than 31 characters";
      Bytes image(ecu::ImageSize(k.type));
      ecu::BlockToImage(k.type, block.data(), name, image.data());
      ASSERT_EQ(sim::EncodeImage(k.kind, block, name), image);

      Bytes decoded;
      std::string decodedName;
      ASSERT_TRUE(sim::DecodeImage(k.kind, image, &decoded, &decodedName));
      Bytes viaProgram(block.size());
      ASSERT_TRUE(ecu::ImageToBlock(k.type, image.data(), viaProgram.data(), nullptr));
      EXPECT_EQ(decoded, viaProgram);
      EXPECT_EQ(decodedName, name.substr(0, 31));
    }
  }
}

// The simulated firmware refuses what the program would refuse.
TEST(ImageCodecs, SimulatorRefusesBadImages) {
  const Bytes block(1276, 0x5A);
  const Bytes good = sim::EncodeImage(sim::BlockKind::Parameters, block, "ok");
  struct Damage {
    const char* what;
    size_t at;
    uint8_t value;
  } const damages[] = {
      {"length", 1, 0x1D}, {"checksum", 3, 0x00}, {"marker", 36 + 1272, 0xB5}, {"data", 600, 0x00}};
  for (const Damage& d : damages) {
    Bytes bad = good;
    bad[d.at] = d.value;
    ASSERT_NE(bad, good) << d.what;
    Bytes out{1, 2, 3};
    std::string name = "kept";
    EXPECT_FALSE(sim::DecodeImage(sim::BlockKind::Parameters, bad, &out, &name)) << d.what;
    EXPECT_EQ(out, (Bytes{1, 2, 3})) << d.what;
    EXPECT_EQ(name, "kept") << d.what;
  }
  Bytes shorter(good.begin(), good.end() - 2), out;
  EXPECT_FALSE(sim::DecodeImage(sim::BlockKind::Parameters, shorter, &out, nullptr));
  // The first two bytes of the name are outside the checksum: changing them is accepted.
  Bytes renamed = good;
  renamed[4] = 'O';
  std::string name;
  EXPECT_TRUE(sim::DecodeImage(sim::BlockKind::Parameters, renamed, &out, &name));
  EXPECT_EQ(name, "Ok");
}

}  // namespace
