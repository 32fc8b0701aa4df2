// Byte swapping, the image checksum and the file-name helpers.
#include <ostream>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/utils.h"
#include "test_support.h"

namespace {

TEST(UtilsTest, Swaps) {
  EXPECT_EQ(com::Swap16(0x1234), 0x3412);
  EXPECT_EQ(com::Swap16(0x00FF), 0xFF00);
  EXPECT_EQ(com::Swap32(0x12345678u), 0x78563412u);
  EXPECT_EQ(com::Swap32(0xFF000001u), 0x010000FFu);
}

TEST(UtilsTest, ChecksumSkipsTheFirstWordAndFoldsCarries) {
  struct Case {
    std::vector<uint8_t> bytes;
    uint16_t sum;
  } cases[] = {
      {{0x12, 0x34}, 0xFFFF},                    // nothing summed
      {{0x00, 0x00, 0x01, 0x00}, 0xFFFE},        // little-endian word 0x0001
      {{0xAA, 0xBB, 0x00, 0x01}, 0xFEFF},        // first word ignored; word 0x0100
      {{0, 0, 0xFF, 0xFF, 0xFF, 0xFF}, 0x0000},  // 0xFFFF + 0xFFFF folds to 0xFFFF
      {{0, 0, 0x01, 0x80, 0x00, 0x80}, 0xFFFD},  // 0x8001 + 0x8000 = 0x10001 folds to 0x0002
  };
  for (const Case& c : cases)
    EXPECT_EQ(com::GetChecksum(c.bytes.data(), static_cast<uint32_t>(c.bytes.size())), c.sum);
}

struct NameCase {
  const char* name;  // the case in words
  const char* path;
  size_t extension;  // GetFileExtension
  const char* withEcd;
  const char* split;  // SplitFileName
};

void PrintTo(const NameCase& c, std::ostream* os) {
  *os << c.name << " (\"" << c.path << "\")";
}

class FileNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(FileNameTest, Helpers) {
  const NameCase& c = GetParam();
  const std::string path = c.path;
  EXPECT_EQ(com::GetFileExtension(path), c.extension);
  EXPECT_EQ(com::SetFileExtension(path, "ecd"), c.withEcd);
  std::string name = "stale";
  EXPECT_EQ(com::SplitFileName(path, name), c.extension);
  EXPECT_EQ(name, c.split);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, FileNameTest,
    ::testing::Values(
        NameCase{"EmptyPath", "", 0, "", ""}, NameCase{"NoExtension", "bike", 4, "bike.ecd", "bike"},
        NameCase{"ThreeCharacterExtension", "bike.txt", 5, "bike.ecd", "bike"},
        NameCase{"DirectoryAndExtension", "/home/u/bike.emd", 13, "/home/u/bike.ecd", "bike"},
        NameCase{"FourCharacterExtensionAfterDots", "a.b.c.dddd", 6, "a.b.c.ecd", "a.b.c"},
        NameCase{"SixCharacterExtensionIsNone", "run.config", 10, "run.config.ecd",
                 "run.config"},                                                   // 6 characters: none
        NameCase{"DotInADirectory", "/d.ir/file", 10, "/d.ir/file.ecd", "file"},  // dot in a directory
        NameCase{"DotInADirectoryWithBackslashes", "C:\\d.ir\\file", 12, "C:\\d.ir\\file.ecd",
                 "file"},  // backslashes too
        NameCase{"BackslashPathWithExtension", "C:\\maps\\run.emd", 12, "C:\\maps\\run.ecd", "run"},
        NameCase{"TrailingDot", "file.", 5, "file.ecd", "file"},
        NameCase{"HiddenFileName", "/tmp/.abc", 6, "/tmp/.ecd", ""},
        NameCase{"TrailingSlash", "/tmp/dir/", 9, "/tmp/dir/.ecd", ""}),
    test_support::CaseName());

TEST(UtilsTest, PadrAndFields) {
  EXPECT_EQ(com::Padr("abc", 6, '.'), "abc...");
  EXPECT_EQ(com::Padr("abcdef", 3, ' '), "abc");
  EXPECT_EQ(com::Padr("", 2, '0'), "00");
  EXPECT_EQ(com::Padr("abc", 0, ' '), "");

  uint8_t field[8];
  com::SetFieldText(field, sizeof field, "longer than eight");
  EXPECT_EQ(field[7], 0);
  EXPECT_EQ(com::FieldText(field, sizeof field), "longer ");
  const uint8_t full[4] = {'a', 'b', 'c', 'd'};
  EXPECT_EQ(com::FieldText(full, 4), "abcd");  // an unterminated field stops at its size
  EXPECT_EQ(com::DirectoryOf("/a/b/c.ecd"), "/a/b");
  EXPECT_EQ(com::DirectoryOf("/c.ecd"), "/");
  EXPECT_EQ(com::DirectoryOf("c.ecd"), "");
}

}  // namespace

// Numbers in files and in the window: a decimal point always, a typed comma taken.
TEST(UtilsTest, NumbersWithAPointWhateverTheLocale) {
  const struct {
    double v;
    int decimals;
    const char* text;
  } written[] = {{12.5, 3, "12.500"}, {-0.04, 1, "-0.0"},  {-1.25, 1, "-1.2"},
                 {2.675, 2, "2.67"},  {1e6, 0, "1000000"}, {0.0005, 3, "0.001"}};
  for (const auto& w : written) EXPECT_EQ(com::FixedText(w.v, w.decimals), w.text) << w.v;
  EXPECT_EQ(com::FixedTextUnsignedZero(-0.04, 1), "0.0");
  EXPECT_EQ(com::FixedTextUnsignedZero(-0.06, 1), "-0.1");
  const struct {
    const char* text;
    bool ok;
    double v;
  } read[] = {{"12.5", true, 12.5},  {"12,5", true, 12.5}, {" -3,25 ", true, -3.25}, {"+7", true, 7},
              {"1.234,5", false, 0}, {"1,2,3", false, 0},  {"12.5x", false, 0},      {"", false, 0},
              {"nan", false, 0},     {"1e3", true, 1000}};
  for (const auto& r : read) {
    double v = 0;
    EXPECT_EQ(com::ParseDecimal(r.text, &v), r.ok) << r.text;
    if (r.ok) {
      EXPECT_DOUBLE_EQ(v, r.v) << r.text;
    }
  }
}
