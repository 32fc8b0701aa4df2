#include "link/cp1252.h"

#include <gtest/gtest.h>

namespace {

TEST(Cp1252, BothDirectionsOfTheCodePage) {
  // "Motè €" as the ECU holds it, and as the program shows it.
  const std::string bytes = "Mot\xE8 \x80";
  const std::string text = "Mot\xC3\xA8 \xE2\x82\xAC";
  EXPECT_EQ(com::FromCp1252(bytes), text);
  EXPECT_EQ(com::ToCp1252(text), bytes);
  // Every byte value survives a round trip through the program's strings.
  std::string all;
  for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(com::ToCp1252(com::FromCp1252(all)), all);
}

TEST(Cp1252, CharactersOutsideTheCodePageAndBrokenUtf8BecomeQuestionMarks) {
  EXPECT_EQ(com::ToCp1252("a\xE2\x88\x9A"
                          "b"),
            "a?b");                                   // U+221A square root
  EXPECT_EQ(com::ToCp1252("\xF0\x9F\x8F\x8D"), "?");  // emoji, four bytes
  EXPECT_EQ(com::ToCp1252("x\xC3"), "x?");            // cut sequence
  EXPECT_EQ(com::ToCp1252("\xC0\xAF"), "?");          // overlong form of "/"
}

TEST(Cp1252, CutCountsCodePageBytesNotUtf8Bytes) {
  std::string name;
  for (int i = 0; i < 40; ++i) name += "\xC3\xA9";  // 40 x 'é', 80 UTF-8 bytes
  const std::string cut = com::ToCp1252(name, 31);
  EXPECT_EQ(cut, std::string(31, '\xE9'));
}

}  // namespace
