// Firmware files: tags, header checksum, the file check and the transmission copy.
#include <ostream>
#include <gtest/gtest.h>

#include "loader/file.h"
#include "loader/program.h"
#include "loader_fixture.h"

namespace {

using namespace loader_testing;
using loader::FirmwareKind;

TEST(FirmwareTag, KnownTags) {
  const struct {
    const char* tag;
    FirmwareKind kind;
  } cases[] = {{"TrvcoBsz", FirmwareKind::FirstGen5600},
               {"TrvBsz55", FirmwareKind::FirstGen5534},
               {"TrvcoCrv", FirmwareKind::SecondGen5600},
               {"TrvCrv55", FirmwareKind::SecondGen5534}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.tag);
    EXPECT_EQ(loader::ClassifyFirmwareTag(reinterpret_cast<const uint8_t*>(c.tag)), c.kind);
    // Any change of any one byte, a change of case included, makes the tag unknown.
    for (int i = 0; i < 8; ++i) {
      for (int delta : {1, 0x20, 0x80}) {
        Bytes t = TagBytes(c.tag);
        t[i] = static_cast<uint8_t>(t[i] ^ delta);
        EXPECT_EQ(loader::ClassifyFirmwareTag(t.data()), FirmwareKind::InvalidFile) << "byte " << i;
      }
    }
  }
  EXPECT_EQ(loader::ClassifyFirmwareTag(reinterpret_cast<const uint8_t*>("TRVCOBSZ")),
            FirmwareKind::InvalidFile);
  EXPECT_EQ(loader::ClassifyFirmwareTag(reinterpret_cast<const uint8_t*>("\0\0\0\0\0\0\0\0")),
            FirmwareKind::InvalidFile);
}

TEST(HeaderChecksum, Examples) {
  EXPECT_EQ(loader::GetHeaderChecksum(reinterpret_cast<const uint8_t*>("abc"), 3), 0xFFFFFAA9u);
  Bytes zeros(544, 0);
  EXPECT_EQ(loader::GetHeaderChecksum(zeros.data(), zeros.size()), 0xFFFFFFFFu);
  // Shifts of 3, 2, 1, 0 bits (not bytes), repeating every four bytes.
  const uint8_t ones[] = {1, 1, 1, 1, 1};
  EXPECT_EQ(loader::GetHeaderChecksum(ones, 5), ~uint32_t{8 + 4 + 2 + 1 + 8});
  // The sum wraps at 32 bits.
  Bytes big(544, 0xFF);
  uint32_t s = 0;
  for (size_t i = 0; i < big.size(); ++i) s += 0xFFu << (3 - i % 4);
  EXPECT_EQ(loader::GetHeaderChecksum(big.data(), big.size()), ~s);
}

struct CheckCase {
  std::string name;
  Bytes file;
  FirmwareKind kind;
};

void PrintTo(const CheckCase& c, std::ostream* os) {
  *os << c.name;
}

class FirmwareCheck : public ::testing::TestWithParam<CheckCase> {};

TEST_P(FirmwareCheck, Kind) {
  TempDir dir;
  std::string path = dir.Write("fw.mlf", GetParam().file);
  EXPECT_EQ(loader::CheckFirmwareFile(path), GetParam().kind);
}

std::vector<CheckCase> CheckCases() {
  std::vector<CheckCase> cases;
  // Files of 0 to 7 bytes fail the check, even when they start like a valid tag.
  const Bytes tag = TagBytes("TrvcoCrv");
  for (int n = 0; n < 8; ++n) {
    cases.push_back(
        {"Short" + std::to_string(n), Bytes(tag.begin(), tag.begin() + n), FirmwareKind::CheckFailed});
  }
  const Bytes full = SecondGenFile("TrvCrv55", Pattern(100));
  cases.push_back({"TagOnlySecondGen", Bytes(full.begin(), full.begin() + 8), FirmwareKind::CheckFailed});
  cases.push_back({"NoBody", Bytes(full.begin(), full.begin() + 12), FirmwareKind::CheckFailed});
  cases.push_back({"SecondGen555", Bytes(full.begin(), full.begin() + 555), FirmwareKind::CheckFailed});
  cases.push_back({"SecondGen556", Bytes(full.begin(), full.begin() + 556), FirmwareKind::SecondGen5534});
  cases.push_back({"SecondGenImage", full, FirmwareKind::SecondGen5534});
  cases.push_back({"SecondGen5600", SecondGenFile("TrvcoCrv", Pattern(9)), FirmwareKind::SecondGen5600});
  cases.push_back({"BadChecksum", SecondGenFile("TrvcoCrv", Pattern(9), false), FirmwareKind::InvalidFile});
  cases.push_back({"FirstGenTagOnly", TagBytes("TrvcoBsz"), FirmwareKind::FirstGen5600});
  cases.push_back({"FirstGen5534", FirstGenFile("TrvBsz55", Pattern(3000)), FirmwareKind::FirstGen5534});
  cases.push_back({"UnknownTag", FirstGenFile("TrvcoBsy", Pattern(600)), FirmwareKind::InvalidFile});
  cases.push_back({"LowerCaseTag", FirstGenFile("trvcobsz", Pattern(600)), FirmwareKind::InvalidFile});
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Files, FirmwareCheck, ::testing::ValuesIn(CheckCases()),
                         [](const auto& info) { return info.param.name; });

TEST(FirmwareCheck, MissingFileAndDirectory) {
  TempDir dir;
  EXPECT_EQ(loader::CheckFirmwareFile(dir.Path() + "/none.mlf"), FirmwareKind::CheckFailed);
  EXPECT_EQ(loader::CheckFirmwareFile(dir.Path()), FirmwareKind::CheckFailed);
}

class CopyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    copies = dir.Path() + "/copies";
    ASSERT_EQ(::mkdir(copies.c_str(), 0700), 0);
    loader::SetCopyDirectory(copies);
  }
  void TearDown() override {
    loader::SetCopyDirectory("");
    loader::ResetSession();
  }
  TempDir dir;
  std::string copies;
};

struct AdjustCase {
  const char* name;
  const char* fileTag;
  uint16_t sysType;
  bool oldBload;
  const char* sentTag;  // null: no copy
};

void PrintTo(const AdjustCase& c, std::ostream* os) {
  *os << c.name;
}

class AdjustPreambolo : public CopyTest, public ::testing::WithParamInterface<AdjustCase> {};

TEST_P(AdjustPreambolo, TagAndImage) {
  const AdjustCase& c = GetParam();
  const Bytes image = Pattern(1500, 9);
  std::string path = dir.Write("fw.mlf", SecondGenFile(c.fileTag, image));
  loader::fOldBload = c.oldBload;
  std::string copy = loader::AdjustPreambolo(path, c.sysType);
  if (!c.sentTag) {
    EXPECT_EQ(copy, "");
    EXPECT_TRUE(dir.List("copies").empty());
    return;
  }
  ASSERT_NE(copy, "");
  Bytes expected = TagBytes(c.sentTag);
  expected.insert(expected.end(), image.begin(), image.end());
  EXPECT_EQ(ReadAll(copy), expected);
  EXPECT_EQ(copy.rfind(copies + "/", 0), 0u);
  std::remove(copy.c_str());
}

INSTANTIATE_TEST_SUITE_P(
    ByBootLoader, AdjustPreambolo,
    ::testing::Values(AdjustCase{"Crv55To5600Plain", "TrvCrv55", 0x5600, true, "TrvcoBsz"},
                      AdjustCase{"Crv55To5600Extended", "TrvCrv55", 0x5600, false, "TrvCrv55"},
                      AdjustCase{"CrvTo5534Plain", "TrvcoCrv", 0x5534, true, "TrvBsz55"},
                      AdjustCase{"CrvTo5534Extended", "TrvcoCrv", 0x5534, false, "TrvcoCrv"},
                      AdjustCase{"CrvTo5600Plain", "TrvcoCrv", 0x5600, true, "TrvcoBsz"},
                      AdjustCase{"Crv55To5534Plain", "TrvCrv55", 0x5534, true, "TrvBsz55"},
                      AdjustCase{"UnknownSystem", "TrvcoCrv", 0x1234, true, nullptr},
                      AdjustCase{"NoSystem", "TrvcoCrv", 0, false, nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CopyTest, PreambleOnlyGivesTagOnly) {
  Bytes file = SecondGenFile("TrvcoCrv", {});
  ASSERT_EQ(file.size(), 556u);
  std::string copy = loader::AdjustPreambolo(dir.Write("fw.mlf", file), 0x5600);
  ASSERT_NE(copy, "");
  EXPECT_EQ(ReadAll(copy), TagBytes("TrvcoCrv"));
  std::remove(copy.c_str());
}

TEST_F(CopyTest, ShortOrChangedFileLeavesNothing) {
  Bytes file = SecondGenFile("TrvcoCrv", {});
  file.pop_back();
  EXPECT_EQ(loader::AdjustPreambolo(dir.Write("short.mlf", file), 0x5600), "");
  // A file that no longer has a valid header when it is copied is not copied.
  EXPECT_EQ(
      loader::AdjustPreambolo(dir.Write("bad.mlf", SecondGenFile("TrvcoCrv", Pattern(10), false)), 0x5600),
      "");
  EXPECT_EQ(loader::AdjustPreambolo(dir.Path() + "/missing.mlf", 0x5600), "");
  EXPECT_TRUE(dir.List("copies").empty());
}

struct DecisionCase {
  const char* name;
  FirmwareKind kind;
  bool oldBload;
  int result;      // -1: a copy is made
  bool wholeFile;  // the copy is the file byte for byte
};

void PrintTo(const DecisionCase& c, std::ostream* os) {
  *os << c.name;
}

class Decision : public CopyTest, public ::testing::WithParamInterface<DecisionCase> {};

TEST_P(Decision, ByKindAndGeneration) {
  const DecisionCase& c = GetParam();
  const Bytes file = loader::IsFirstGeneration(c.kind) ? FirstGenFile("TrvcoBsz", Pattern(700))
                                                       : SecondGenFile("TrvcoCrv", Pattern(700));
  const std::string path = dir.Write("fw.mlf", file);
  loader::fOldBload = c.oldBload;
  loader::sysType = 0x5600;
  std::string copy;
  EXPECT_EQ(loader::PrepareTransmissionCopy(c.kind, path, copy), c.result);
  if (c.result != -1) {
    EXPECT_EQ(copy, "");
    EXPECT_TRUE(dir.List("copies").empty());
    return;
  }
  ASSERT_NE(copy, "");
  Bytes data = ReadAll(copy);
  if (c.wholeFile) {
    EXPECT_EQ(data, file);
  } else {
    ASSERT_EQ(data.size(), file.size() - 548);
    EXPECT_TRUE(std::equal(data.begin() + 8, data.end(), file.begin() + 556));
  }
  std::remove(copy.c_str());
}

INSTANTIATE_TEST_SUITE_P(
    Table, Decision,
    ::testing::Values(
        DecisionCase{"FirstGenPlain", FirmwareKind::FirstGen5600, true, -1, true},
        DecisionCase{"FirstGenExtendedRefused", FirmwareKind::FirstGen5600, false, loader::kResultInvalidFile,
                     false},
        DecisionCase{"SecondGenPlain", FirmwareKind::SecondGen5600, true, -1, false},
        DecisionCase{"SecondGenExtended", FirmwareKind::SecondGen5600, false, -1, false},
        DecisionCase{"InvalidPlain", FirmwareKind::InvalidFile, true, loader::kResultInvalidFile, false},
        DecisionCase{"InvalidExtended", FirmwareKind::InvalidFile, false, loader::kResultInvalidFile, false},
        DecisionCase{"CheckFailed", FirmwareKind::CheckFailed, true, loader::kResultProgrammingError, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CopyTest, NoPlaceForTheCopyIsAProgrammingError) {
  loader::SetCopyDirectory(dir.Path() + "/does-not-exist");
  const std::string path = dir.Write("fw.mlf", FirstGenFile("TrvcoBsz", Pattern(10)));
  loader::fOldBload = true;
  loader::sysType = 0x5600;
  std::string copy;
  EXPECT_EQ(loader::PrepareTransmissionCopy(FirmwareKind::FirstGen5600, path, copy),
            loader::kResultProgrammingError);
  EXPECT_EQ(copy, "");
}

}  // namespace
