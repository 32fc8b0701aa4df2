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
