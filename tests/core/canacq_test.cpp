// CAN frame settings, the duplicate-identifier warning and canlabel.ini.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "canacq/canacq.h"
#include "ecudata/image.h"
#include "scripted_ui.h"

namespace {

using canacq::MakeCanWord;

TEST(CanAcqTest, DefaultsAndWordLayout) {
  std::vector<uint8_t> block(ecu::kParSize, 0);
  canacq::InitCaqData(block.data());
  for (int i = 0; i < canacq::kCanFrames; ++i) {
    const uint16_t w = canacq::GetCanWord(block.data(), i);
    EXPECT_EQ(canacq::CanId(w), 512 + 4 * i);
    EXPECT_STREQ(canacq::RateText(canacq::RateCode(w)), "200 Hz");
  }
  EXPECT_EQ(block[1232], 0x00);  // 0x1A00 little-endian: rate 3, identifier 0x200
  EXPECT_EQ(block[1233], 0x1A);
  EXPECT_EQ(canacq::MakeCanWord(4, 0x7FF), 0x27FF);
  EXPECT_EQ(canacq::RateCode(0xF900), 31);
  EXPECT_EQ(canacq::CanId(0xF900), 0x100);
  EXPECT_FALSE(canacq::FindDuplicateCanIds(block.data()));
}

TEST(CanAcqTest, DuplicatesCountOnlyBetweenActiveFrames) {
  std::vector<uint8_t> block(ecu::kParSize, 0);
  canacq::InitCaqData(block.data());
  // Identifier 0x210 twice, one of them "Off" (frame 5 has 0x210 by default).
  canacq::PutCanWord(block.data(), 4, MakeCanWord(1, 0x300));
  canacq::PutCanWord(block.data(), 3, MakeCanWord(1, 0x210));
  canacq::PutCanWord(block.data(), 17, MakeCanWord(0, 0x210));
  EXPECT_FALSE(canacq::FindDuplicateCanIds(block.data()));
  canacq::PutCanWord(block.data(), 17, MakeCanWord(4, 0x210));
  EXPECT_TRUE(canacq::FindDuplicateCanIds(block.data()));

  // The question decides; without duplicates nothing is asked.
  testing_ui::ScriptedUi ui;
  canacq::InitCaqData(ecu::ecuParData);
  EXPECT_EQ(canacq::IgnoreCaqWarning(), 1);
  EXPECT_TRUE(ui.popups.empty());
  canacq::PutCanWord(ecu::ecuParData, 0, MakeCanWord(2, 0x300));
  canacq::PutCanWord(ecu::ecuParData, 1, MakeCanWord(3, 0x300));
  EXPECT_EQ(canacq::IgnoreCaqWarning(), 0);
  ui.confirms = {true};
  EXPECT_EQ(canacq::IgnoreCaqWarning(), 1);
  ASSERT_EQ(ui.popups.size(), 2u);
  EXPECT_EQ(ui.popups[0].title, "Warning!");
  EXPECT_EQ(ui.popups[0].text, "Active CAN-frames with duplicate IDs.\nIgnore?");
  canacq::InitCaqData(ecu::ecuParData);
}

TEST(CanAcqTest, LabelLines) {
  struct Case {
    const char* name;
    std::string content;
    int frame;
    std::vector<std::string> labels;
  };
  const std::string longLine = std::string(198, 'a') + ";bcd;e";
  const Case cases[] = {
      {"two labels", "RPM;TPS\n", 0, {"RPM", "TPS", "?", "?"}},
      {"more than four pieces", "a;b;c;d;e;f\n", 0, {"a", "b", "c", "d"}},
      {"empty line", "x\n\ny\n", 1, {"?", "?", "?", "?"}},
      {"third line", "x\n\ny;z\n", 2, {"y", "z", "?", "?"}},
      {"CR LF and blanks", "  Speed ; Gear \r\nx\r\n", 0, {"Speed", "Gear", "?", "?"}},
      {"no final newline", "a\nb;c", 1, {"b", "c", "?", "?"}},
      {"empty piece", "a;;c\n", 0, {"a", "", "c", "?"}},
      // Only 200 characters count: the second piece is cut to "b", the third is lost.
      {"overlong line", longLine + "\nnext\n", 0, {std::string(198, 'a'), "b", "?", "?"}},
      {"overlong line, next frame", longLine + "\nnext\n", 1, {"next", "?", "?", "?"}},
      {"Windows-1252", "Temp\xB0;\xD6l\n", 0, {"Temp°", "Öl", "?", "?"}},
      {"UTF-8", "Temp°;Öl\n", 0, {"Temp°", "Öl", "?", "?"}},
      {"control bytes", std::string("a\x01\x00z;b\x7F", 7) + "\n", 0, {"az", "b", "?", "?"}},
  };
  for (const Case& c : cases) {
    const auto labels = canacq::ParseCanLabels(c.content);
    for (int ch = 0; ch < 4; ++ch)
      EXPECT_EQ(labels[c.frame][ch], c.labels[ch]) << c.name << " channel " << ch;
  }

  // Five lines label frames 1 to 5; frames 6 to 20 show "?".
  const auto five = canacq::ParseCanLabels("1\n2\n3\n4\n5\n");
  EXPECT_EQ(five[4][0], "5");
  for (int f = 5; f < canacq::kCanFrames; ++f)
    for (int ch = 0; ch < 4; ++ch) EXPECT_EQ(five[f][ch], "?");
  // Lines after the twentieth are not read.
  std::string many;
  for (int i = 1; i <= 30; ++i) many += std::to_string(i) + "\n";
  EXPECT_EQ(canacq::ParseCanLabels(many)[19][0], "20");
  // A UTF-8 character cut by the length limit is dropped, not misread.
  const auto cut = canacq::ParseCanLabels(std::string(199, 'x') + "Ö\n");
  EXPECT_EQ(cut[0][0], std::string(199, 'x'));
}

TEST(CanAcqTest, LabelFile) {
  bool found = true;
  const auto missing = canacq::ReadCanLabelFile("/nonexistent/canlabel.ini", &found);
  EXPECT_FALSE(found);
  EXPECT_EQ(missing[0][0], "?");
  EXPECT_EQ(canacq::ReadCanLabelFile("/dev/null", &found)[0][0], "?");  // not a regular file
  EXPECT_FALSE(found);

  const std::string path = ::testing::TempDir() + "canlabel_test.ini";
  {
    std::ofstream out(path, std::ios::binary);
    out << "RPM;TPS;MAP;ECT\n";
  }
  const auto labels = canacq::ReadCanLabelFile(path, &found);
  EXPECT_TRUE(found);
  EXPECT_EQ(labels[0][3], "ECT");
  EXPECT_EQ(labels[1][0], "?");
  std::remove(path.c_str());
}

}  // namespace
