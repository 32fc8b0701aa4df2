// kestra-cli map export / map import / diff as a user runs them: the built program on
// files in a scratch directory.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "link/bytes.h"
#include "maps/mapcsv.h"
#include "run_program.h"

namespace {

const std::string kCli = std::string(BUILD_DIR) + "/cli/kestra-cli";

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteAll(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

const int16_t kThrottle[20] = {0,   20,  40,  60,  80,  100, 125, 150, 200, 250,
                               300, 350, 400, 450, 500, 600, 700, 800, 900, 1000};

// A mapping file with stamps, notes, a bike, rising axes and some cells on every map.
std::string MakeMapping() {
  std::string b(12344, '\0');
  auto put = [&b](uint32_t offset, int i, int v) {
    com::Put16LE(reinterpret_cast<uint8_t*>(b.data()) + offset + 2 * i, static_cast<uint16_t>(v));
  };
  std::memcpy(b.data(), "Kestra v1.3", 11);
  std::memcpy(b.data() + 32, "Q740_MAP_DATA_v1.00", 19);
  std::memcpy(b.data() + 64, "base tune", 9);
  com::Put32LE(reinterpret_cast<uint8_t*>(b.data()) + 11876, 0x060508);
  const uint32_t places[5][3] = {
      {464, 3024, 3088}, {3128, 4408, 4472}, {5896, 7176, 7240}, {4512, 5792, 5856}, {7280, 8560, 8624}};
  for (int id = 1; id <= 5; ++id) {
    for (int c = 0; c < 32; ++c) put(places[id - 1][1], c, (id <= 2 ? 500 : 10) * c);
    for (int r = 0; r < 20; ++r) put(places[id - 1][2], r, id == 5 ? -300 + 20 * r : kThrottle[r]);
    for (int i = 0; i < 640; ++i) put(places[id - 1][0], i, id == 2 || id == 4 ? (i % 200) - 100 : i);
  }
  for (int i = 0; i < 640; ++i) put(464 + 1280, i, 2 * i);
  for (uint32_t o = 9000; o < 9100; ++o) b[o] = static_cast<char>(o);
  return b;
}

std::string MakeConfiguration() {
  std::string b(1276, '\0');
  std::memcpy(b.data() + 32, "Q740_PAR_DATA_v1.00", 19);
  return b;
}

using test_support::Outcome;

class MapCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    struct stat st {};
    if (stat(kCli.c_str(), &st) != 0) GTEST_SKIP() << "kestra-cli not built at " << kCli;
    char tmpl[] = "/tmp/kestra-mapcli-test.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    mapping = MakeMapping();
    WriteAll(dir + "/tune.emd", mapping);
  }
  void TearDown() override {
    std::error_code ignored;
    if (!dir.empty()) std::filesystem::remove_all(dir, ignored);
  }

  // Runs kestra-cli with standard input from `input`, output and errors caught.
  Outcome Cli(const std::vector<std::string>& args, const std::string& input = "") {
    return test_support::RunProgram(dir, kCli, args, input);
  }

  std::string dir, mapping;
};

TEST_F(MapCliTest, ExportToStandardOutputAndToAFile) {
  const std::string file = dir + "/tune.emd";
  Outcome o = Cli({"map", "export", file, "advance"});
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out, maps::ExportMapCsv(reinterpret_cast<const uint8_t*>(mapping.data()), 2, 0));
  EXPECT_EQ(o.out.substr(0, 12), ",0,500,1000,");
  EXPECT_EQ(o.err, "");

  o = Cli({"map", "export", file, "1", "--cyl", "2", "--out", dir + "/inj2.csv"});
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out, "");
  EXPECT_EQ(ReadAll(dir + "/inj2.csv"),
            maps::ExportMapCsv(reinterpret_cast<const uint8_t*>(mapping.data()), 1, 1));

  // Wrong usage (2), and files that are not mappings (1).
  WriteAll(dir + "/bike.ecd", MakeConfiguration());
  std::string foreign = mapping;
  foreign[40] = 'X';
  WriteAll(dir + "/foreign.emd", foreign);
  const struct {
    std::vector<std::string> args;
    int status;
    const char* message;
  } refusals[] = {
      {{"map", "export", file, "advance", "--cyl", "2"}, 2, "has one plane"},
      {{"map", "export", file, "1", "--cyl", "3"}, 2, "--cyl takes 1 or 2"},
      {{"map", "export", file, "spark"}, 2, "'spark' is not a map"},
      {{"map", "export", file}, 2, "takes FILE and MAP"},
      {{"map", "export", file, "2", "--bogus"}, 2, "unknown option"},
      {{"map", "frobnicate"}, 2, "export or import"},
      {{"map", "export", dir + "/bike.ecd", "2"}, 1, "a configuration file (1276 bytes), not a mapping file"},
      {{"map", "export", dir + "/foreign.emd", "2"}, 1, "Incompatible data format!"},
      {{"map", "export", dir + "/missing.emd", "2"}, 1, "No such file"},
      {{"map", "export", dir, "2"}, 1, "not a regular file"},
      {{"map", "export", file, "2", "--out", file}, 1, "is the mapping file itself"},
  };
  for (const auto& r : refusals) {
    o = Cli(r.args);
    EXPECT_EQ(o.status, r.status) << r.args.back();
    EXPECT_NE(o.err.find(r.message), std::string::npos) << o.err;
  }
  EXPECT_EQ(ReadAll(file), mapping);
}

TEST_F(MapCliTest, ImportRoundTripChangesOnlyTheEditedBytes) {
  const std::string file = dir + "/tune.emd";
  Outcome o = Cli({"map", "export", file, "injvel"});
  ASSERT_EQ(o.status, 0) << o.err;
  // Row 3, column 4: line 5, field 6.
  std::string csv = o.out;
  size_t start = 0;
  for (int line = 1; line < 5; ++line) start = csv.find('\n', start) + 1;
  for (int field = 1; field < 6; ++field) start = csv.find(',', start) + 1;
  csv.replace(start, csv.find(',', start) - start, "1.500");

  o = Cli({"map", "import", file, "injvel", "-"}, csv);
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_NE(o.out.find("Imported \"Injection Correction by Velocity\""), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("1 value changed"), std::string::npos) << o.out;
  const std::string after = ReadAll(file);
  ASSERT_EQ(after.size(), mapping.size());
  const uint32_t cell = 5896 + 2 * (3 * 32 + 4);
  for (size_t i = 0; i < after.size(); ++i)
    if (i != cell && i != cell + 1) {
      ASSERT_EQ(after[i], mapping[i]) << "byte " << i;
    }
  EXPECT_EQ(com::Get16LE(reinterpret_cast<const uint8_t*>(after.data()) + cell), 1500);

  // The file is replaced, not written in place: a hard link keeps the old content.
  ASSERT_EQ(link(file.c_str(), (dir + "/old.emd").c_str()), 0);
  WriteAll(dir + "/same.csv", csv);
  o = Cli({"map", "import", file, "3", dir + "/same.csv"});
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_NE(o.out.find("0 values changed"), std::string::npos) << o.out;
  EXPECT_EQ(ReadAll(file), after);
  struct stat a {
  }, b{};
  ASSERT_EQ(stat(file.c_str(), &a), 0);
  ASSERT_EQ(stat((dir + "/old.emd").c_str(), &b), 0);
  EXPECT_NE(a.st_ino, b.st_ino);
}

TEST_F(MapCliTest, RefusedImportsLeaveTheFileByteForByte) {
  const std::string file = dir + "/tune.emd";
  const std::string csv = Cli({"map", "export", file, "advance"}).out;
  ASSERT_FALSE(csv.empty());
  const std::string firstLine = csv.substr(0, csv.find('\n') + 1);
  std::string single = mapping;
  single[11880] = 1;
  WriteAll(dir + "/single.emd", single);
  const struct {
    std::string target, map, text;
    std::vector<std::string> extra;
    int status;
    const char* message;
  } cases[] = {
      {file, "advance", firstLine, {}, 1, "line 2: missing"},
      {file,
       "advance",
       csv.substr(0, csv.rfind(',') + 1) + "x\n",
       {},
       1,
       "line 21, field 33: 'x' is not a number"},
      {file, "advance", "," + csv.substr(csv.find(',', 1) + 1), {}, 1, "line 1: 32 fields"},
      {file, "injection", csv, {}, 1, "line 2, field 2: value -10.0 is outside"},
      {file, "injvel", csv, {}, 1, "line 1, field 4: X breakpoint 1000 is outside"},
      {dir + "/single.emd",
       "1",
       Cli({"map", "export", file, "1"}).out,
       {"--cyl", "2"},
       1,
       "single-matrix flag"},
  };
  for (const auto& c : cases) {
    const std::string before = ReadAll(c.target);
    std::vector<std::string> args = {"map", "import", c.target, c.map, "-"};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    const Outcome o = Cli(args, c.text);
    EXPECT_EQ(o.status, c.status) << c.message;
    EXPECT_NE(o.err.find(c.message), std::string::npos) << o.err;
    EXPECT_NE(o.err.find("is left as it was"), std::string::npos) << o.err;
    EXPECT_EQ(ReadAll(c.target), before) << c.message;
  }
  // No temporary files stay behind.
  size_t entries = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    entries += e.path().filename().string()[0] == '.';
  EXPECT_EQ(entries, 0u);

  // A single matrix is imported into both planes.
  const Outcome o =
      Cli({"map", "import", dir + "/single.emd", "1", "-"}, Cli({"map", "export", file, "1"}).out);
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_NE(o.out.find("both cylinders"), std::string::npos) << o.out;
  EXPECT_EQ(Cli({"map", "export", dir + "/single.emd", "1", "--cyl", "2"}).out,
            Cli({"map", "export", file, "1"}).out);
}

TEST_F(MapCliTest, DiffAnswersAsDiffDoes) {
  const std::string a = dir + "/tune.emd";
  std::string changed = mapping;
  std::memcpy(changed.data(), "Kestra v9.9", 11);  // stamps are not content
  WriteAll(dir + "/restamped.emd", changed);
  Outcome o = Cli({"diff", a, dir + "/restamped.emd"});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out, "");

  com::Put16LE(reinterpret_cast<uint8_t*>(changed.data()) + 3128 + 2 * (8 * 32 + 11), 128);
  WriteAll(dir + "/changed.emd", changed);
  o = Cli({"diff", a, dir + "/changed.emd"});
  EXPECT_EQ(o.status, 1) << o.err;
  EXPECT_EQ(o.out, "Advance  5500 RPM  20.0: -3.3 -> 12.8 (+16.1)\n");
  o = Cli({"diff", "--csv", a, dir + "/changed.emd"});
  EXPECT_EQ(o.status, 1) << o.err;
  EXPECT_EQ(o.out, "item,plane,x,y,a,b,change\nAdvance,,5500 RPM,20.0,-3.3,12.8,+16.1\n");

  WriteAll(dir + "/a.ecd", MakeConfiguration());
  std::string par = MakeConfiguration();
  par[601] = 1;                         // a coolant linearisation output
  par[1275] = static_cast<char>(0x80);  // a word no field table describes
  WriteAll(dir + "/b.ecd", par);
  o = Cli({"diff", dir + "/a.ecd", dir + "/b.ecd"});
  EXPECT_EQ(o.status, 1) << o.err;
  EXPECT_EQ(o.out, "TABth2o  column 5  row 2: 0.0 -> 25.6 (+25.6)\nOffset 1274: 0 -> 32768 (+32768)\n");
  o = Cli({"diff", "--csv", dir + "/a.ecd", dir + "/b.ecd"});
  EXPECT_EQ(o.status, 1) << o.err;
  EXPECT_EQ(o.out,
            "item,plane,x,y,a,b,change\nTABth2o,,column 5,row 2,0.0,25.6,+25.6\n"
            "Offset 1274,,,,0,32768,+32768\n");

  const struct {
    std::vector<std::string> args;
    const char* message;
  } troubles[] = {
      {{"diff", a, dir + "/a.ecd"}, "diff compares two files of one kind"},
      {{"diff", a, dir + "/missing.emd"}, "No such file"},
      {{"diff", a}, "two files"},
      {{"diff", a, a, "--cyl", "2"}, "only --csv"},
  };
  for (const auto& t : troubles) {
    o = Cli(t.args);
    EXPECT_EQ(o.status, 2) << t.message;
    EXPECT_NE(o.err.find(t.message), std::string::npos) << o.err;
  }
}

}  // namespace
