// kestra-cli import as a user runs it: the built program on old files in a scratch
// directory.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "ecudata/defaults.h"
#include "ecudata/image.h"
#include "link/bytes.h"
#include "old_data.h"
#include "run_program.h"
#include "test_support.h"

namespace {

using test_support::Bytes;
const std::string kCli = std::string(BUILD_DIR) + "/cli/kestra-cli";

int16_t S16(const Bytes& b, uint32_t offset) {
  return static_cast<int16_t>(com::Get16LE(b.data() + offset));
}
std::string Text(const Bytes& b, uint32_t offset) {
  return std::string(reinterpret_cast<const char*>(b.data() + offset));
}
bool Same(const Bytes& a, uint32_t at, const Bytes& b, uint32_t from, uint32_t size) {
  return std::memcmp(a.data() + at, b.data() + from, size) == 0;
}

using test_support::Outcome;

class ImportCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(kCli)) GTEST_SKIP() << "kestra-cli not built at " << kCli;
    char tmpl[] = "/tmp/kestra-import-cli.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
  }
  void TearDown() override {
    if (!dir.empty()) std::filesystem::remove_all(dir);
  }
  std::string Path(const std::string& name) const { return dir + "/" + name; }

  Outcome Run(const std::vector<std::string>& args) const {
    return test_support::RunProgram(dir, kCli, args);
  }

  std::string dir;
};

TEST_F(ImportCliTest, V12MappingBecomesACurrentMappingFile) {
  const Bytes old = old_data::V12Mapping(3);
  ASSERT_TRUE(test_support::WriteAll(Path("old.emd"), old));
  const Outcome o = Run({"import", "mapping", "v1.2", Path("old.emd"), Path("new.txt")});
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_TRUE(o.err.empty()) << o.err;
  EXPECT_NE(o.out.find(Path("new.emd")), std::string::npos) << o.out;
  EXPECT_FALSE(std::filesystem::exists(Path("new.txt")));

  const Bytes b = test_support::ReadAll(Path("new.emd"));
  ASSERT_EQ(b.size(), ecu::kMapSize);
  EXPECT_EQ(Text(b, 0), "Kestra v1.3");
  EXPECT_EQ(Text(b, 32), "Q740_MAP_DATA_v1.00");
  EXPECT_TRUE(Same(b, 64, old, 0, 400));
  EXPECT_TRUE(Same(b, 7280, old, 7216, 1384));
  EXPECT_TRUE(Same(b, 8664, old, 8600, 560));
  EXPECT_TRUE(Same(b, 10904, old, 10232, 576));
  EXPECT_EQ(com::Get32LE(b.data() + 11876), 0x060006u);  // selector 3
  EXPECT_EQ(S16(b, 12340), static_cast<int16_t>(0xE0B5));
  // The map at 3128 over the throttle axis 0, 20, ..., 1000. The old rows lie every 50
  // on 0..950 and hold 10 r + c: throttle 20 stands for 19 (3.8 above row 0, so 4),
  // throttle 100 for 95 (row 1 + 9), throttle 900 for 855 (row 17 + 1).
  const uint32_t rowAxis = 3128 + 1280 + 64;
  EXPECT_EQ(S16(b, rowAxis + 2 * 1), 20);
  EXPECT_EQ(S16(b, rowAxis + 2 * 19), 1000);
  auto cell = [&](int r, int c) { return S16(b, 3128 + 2 * (r * 32 + c)); };
  EXPECT_EQ(cell(0, 5), 5);
  EXPECT_EQ(cell(1, 0), 4);
  EXPECT_EQ(cell(5, 2), 21);
  EXPECT_EQ(cell(18, 0), 171);
  EXPECT_EQ(cell(19, 31), 221);

  // The program's own info accepts the result.
  const Outcome info = Run({"info", Path("new.emd")});
  EXPECT_EQ(info.status, 0) << info.err;
  EXPECT_NE(info.out.find("this program"), std::string::npos) << info.out;
}

TEST_F(ImportCliTest, TalarisConfigurationBecomesACurrentConfigurationFile) {
  const Bytes old = old_data::TalarisConfiguration(0, 1000);
  ASSERT_TRUE(test_support::WriteAll(Path("old.ecd"), old));
  const Outcome o = Run({"import", "configuration", "talaris", Path("old.ecd"), Path("new")});
  ASSERT_EQ(o.status, 0) << o.err;
  const Bytes b = test_support::ReadAll(Path("new.ecd"));
  ASSERT_EQ(b.size(), ecu::kParSize);
  EXPECT_EQ(Text(b, 0), "Kestra v1.3");
  EXPECT_EQ(Text(b, 32), "Q740_PAR_DATA_v1.00");
  EXPECT_TRUE(Same(b, 64, old, 0, 400));
  EXPECT_TRUE(Same(b, 464, old, 400, 64));
  EXPECT_TRUE(Same(b, 592, old, 528, 64));
  EXPECT_TRUE(Same(b, 1040, old, 656, 96));
  EXPECT_TRUE(Same(b, 1136, old, 752, 12));
  EXPECT_EQ(b[1210], old[790]);
  EXPECT_EQ(b[1211], old[791]);
  EXPECT_EQ(com::Get32LE(b.data() + 1156), 0x060006u);
  const int throttle[16] = {0, 67, 133, 200, 267, 333, 400, 467, 533, 600, 667, 733, 800, 867, 933, 1000};
  const int rebuilt[16] = {0, 66, 133, 200, 266, 333, 400, 466, 533, 600, 666, 733, 800, 866, 933, 1000};
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(S16(b, 528 + 2 * i), throttle[i]) << i;
    EXPECT_EQ(S16(b, 560 + 2 * i), rebuilt[i]) << i;
  }
  // What the old family does not have is the program's start-up default.
  std::memset(ecu::ecuParData, 0, ecu::kParSize);
  ecu::InitStartupDefaults();
  EXPECT_TRUE(Same(b, 656, Bytes(ecu::ecuParData, ecu::ecuParData + ecu::kParSize), 656, 384));
}

TEST_F(ImportCliTest, RefusedFilesWriteNothing) {
  Bytes shortFile = old_data::TalarisMapping();
  shortFile.pop_back();  // 11717 bytes
  ASSERT_TRUE(test_support::WriteAll(Path("short.emd"), shortFile));
  Outcome o = Run({"import", "mapping", "talaris", Path("short.emd"), Path("new.emd")});
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.err.find("Import ECU mapping data: The selected file is not correct!"), std::string::npos)
      << o.err;
  EXPECT_TRUE(o.out.empty());
  EXPECT_FALSE(std::filesystem::exists(Path("new.emd")));

  o = Run({"import", "mapping", "v1.2", Path("missing.emd"), Path("new.emd")});
  EXPECT_EQ(o.status, 1);
  EXPECT_FALSE(std::filesystem::exists(Path("new.emd")));

  // The old file is never replaced by its own conversion.
  const Bytes old = old_data::V12Mapping();
  ASSERT_TRUE(test_support::WriteAll(Path("tune.emd"), old));
  o = Run({"import", "mapping", "v1.2", Path("tune.emd"), Path("tune")});
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(test_support::ReadAll(Path("tune.emd")), old);

  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"import", "mapping", "v1.3", Path("tune.emd"), Path("x")},
        std::vector<std::string>{"import", "maps", "v1.2", Path("tune.emd"), Path("x")},
        std::vector<std::string>{"import", "mapping", "talaris", Path("tune.emd")}}) {
    o = Run(args);
    EXPECT_EQ(o.status, 2) << args[1] << " " << args[2];
  }
  EXPECT_FALSE(std::filesystem::exists(Path("x.emd")));
}

}  // namespace
