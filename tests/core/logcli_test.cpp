// kestra-cli log summary|bin|propose as a user runs them: the built program on files in
// a scratch directory.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "link/bytes.h"
#include "run_program.h"

namespace {

const std::string kCli = std::string(BUILD_DIR) + "/cli/kestra-cli";

const int16_t kThrottle[20] = {0,   20,  40,  60,  80,  100, 125, 150, 200, 250,
                               300, 350, 400, 450, 500, 600, 700, 800, 900, 1000};

// A mapping file: map 1 with X 0, 500, ... rpm, the throttle axis and cell i = i (cylinder
// 2: 2 i); map 5 with a temperature axis; a pattern in bytes that no map owns.
std::string MakeMapping() {
  std::string b(12344, '\0');
  auto put = [&b](uint32_t offset, int i, int v) {
    com::Put16LE(reinterpret_cast<uint8_t*>(b.data()) + offset + 2 * i, static_cast<uint16_t>(v));
  };
  std::memcpy(b.data(), "Kestra v1.3", 11);
  std::memcpy(b.data() + 32, "Q740_MAP_DATA_v1.00", 19);
  com::Put32LE(reinterpret_cast<uint8_t*>(b.data()) + 11876, 0x060508);
  for (int c = 0; c < 32; ++c) put(3024, c, 500 * c);
  for (int r = 0; r < 20; ++r) put(3088, r, kThrottle[r]);
  for (int i = 0; i < 640; ++i) put(464, i, i), put(464 + 1280, i, 2 * i);
  for (int c = 0; c < 32; ++c) put(8560, c, 100 * c);
  for (int r = 0; r < 20; ++r) put(8624, r, -300 + 100 * r);
  for (uint32_t o = 9000; o < 9100; ++o) b[o] = static_cast<char>(o);
  return b;
}

// `n` records 10 ms apart at 1000 rpm and 2 degrees of throttle (map 1 row 1, column 2),
// warm, engine on, both wideband readings `lambda`.
std::string MakeLog(int n, const char* lambda) {
  std::string text = "time_s,rpm,revs,farf,th2o,toil,lambdaCan1,lambdaCan2,isEngineOn,isCranking,isCutOff\n";
  for (int i = 0; i < n; ++i) {
    char line[200];
    std::snprintf(line, sizeof line, "%.3f,1000,250,2.0,80.0,80.0,%s,%s,1,0,0\n", i * 0.01, lambda, lambda);
    text += line;
  }
  return text;
}

std::vector<std::vector<std::string>> Grid(const std::string& csv) {
  std::vector<std::vector<std::string>> lines;
  std::istringstream in(csv);
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> fields;
    std::string field;
    std::istringstream fs(line);
    while (std::getline(fs, field, ',')) fields.push_back(field);
    if (!line.empty() && line.back() == ',') fields.push_back("");
    lines.push_back(fields);
  }
  return lines;
}

// The words of the line of `text` that starts with the word `first`.
std::vector<std::string> Words(const std::string& text, const std::string& first) {
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream ws(line);
    std::vector<std::string> words;
    std::string w;
    while (ws >> w) words.push_back(w);
    if (!words.empty() && words[0] == first) return words;
  }
  return {};
}

using test_support::Outcome;

class LogJobsCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    struct stat st {};
    if (stat(kCli.c_str(), &st) != 0) GTEST_SKIP() << "kestra-cli not built at " << kCli;
    char tmpl[] = "/tmp/kestra-logcli-test.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    mapping = MakeMapping();
    test_support::WriteAll(dir + "/tune.emd", mapping);
    test_support::WriteAll(dir + "/run.csv", MakeLog(60, "10.0"));
  }
  void TearDown() override {
    std::error_code ignored;
    if (!dir.empty()) std::filesystem::remove_all(dir, ignored);
  }
  Outcome Run(std::vector<std::string> args) { return test_support::RunProgram(dir, kCli, args); }
  std::string P(const char* name) const { return dir + "/" + name; }

  std::string dir, mapping;
};

TEST_F(LogJobsCliTest, SummaryGivesRecordsRateAndOneLinePerChannel) {
  test_support::WriteAll(P("gaps.csv"), "time_s,rpm,farf\n0.000,1000,2.5\n0.010,,3.5\n0.020,3000,4.5\n");
  const Outcome o = Run({"log", "summary", P("gaps.csv")});
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_NE(o.out.find("Records:  3\n"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("Duration: 0.020 s\n"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("Rate:     100.0 records/s\n"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("Gaps:     1 (records with a missing or unreadable field)\n"), std::string::npos)
      << o.out;
  EXPECT_EQ(Words(o.out, "channel"), (std::vector<std::string>{"channel", "min", "mean", "max"}));
  EXPECT_EQ(Words(o.out, "rpm"), (std::vector<std::string>{"rpm", "1000", "2000.000", "3000"}));
  EXPECT_EQ(Words(o.out, "farf"), (std::vector<std::string>{"farf", "2.5", "3.500", "4.5"}));
  EXPECT_NE(o.err.find("line 3: a missing field"), std::string::npos) << o.err;
}

TEST_F(LogJobsCliTest, ALogWithoutTimeTakesItsRate) {
  test_support::WriteAll(P("plain.csv"), "rpm,farf\n1000,2.5\n2000,3.5\n3000,4.5\n");
  Outcome o = Run({"log", "summary", P("plain.csv"), "--rate", "10"});
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_NE(o.out.find("Duration: 0.200 s\n"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("Rate:     10.0 records/s\n"), std::string::npos) << o.out;
  o = Run({"log", "summary", P("plain.csv")});
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.err.find("no time column"), std::string::npos) << o.err;
  o = Run({"log", "summary", P("plain.csv"), "--rate", "0"});
  EXPECT_EQ(o.status, 2);
  EXPECT_NE(o.err.find("--rate"), std::string::npos) << o.err;
}

TEST_F(LogJobsCliTest, BinCountsOrMeansInMapExportsShape) {
  // Filters on: the first 0.1 s has no throttle 0.1 s earlier, so 50 of 60 records count.
  for (const auto& [args, cell] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"injection"}, "50"},
           {{"1", "--filters", "off"}, "60"},
           {{"1", "--channel", "lambdaCan1"}, "10.000"}}) {
    std::vector<std::string> full{"log", "bin", P("run.csv"), P("tune.emd")};
    full.insert(full.end(), args.begin(), args.end());
    const Outcome o = Run(full);
    ASSERT_EQ(o.status, 0) << o.err;
    const auto grid = Grid(o.out);
    ASSERT_EQ(grid.size(), 21u);
    for (const auto& line : grid) ASSERT_EQ(line.size(), 33u);
    EXPECT_EQ(grid[0][3], "1000");
    EXPECT_EQ(grid[2][0], "2.0");
    EXPECT_EQ(grid[2][3], cell) << args[0];
    EXPECT_EQ(grid[2][4], args.size() == 3 && args[1] == "--channel" ? "" : "0");
  }
  // Map 5: revs and the engine temperature on its own axes.
  const Outcome o = Run({"log", "bin", P("run.csv"), P("tune.emd"), "cranking", "--filters=off"});
  ASSERT_EQ(o.status, 0) << o.err;
  const auto grid = Grid(o.out);
  ASSERT_EQ(grid.size(), 21u);
  EXPECT_EQ(grid[12][0], "80.0");
  EXPECT_EQ(grid[12][3], "60");  // 250 revs: the tie of 200 and 300 goes to 200
}

TEST_F(LogJobsCliTest, ProposeWritesThePlaneAndApplyChangesOnlyItsCells) {
  // 40 filtered records with a reading 0.1 s later; 10 / 8 asks for 1.25 times the fuel:
  // cell 34 (row 1, column 2) 34 -> 42.5 -> 43.
  Outcome o = Run({"log", "propose", P("run.csv"), P("tune.emd"), "--target", "8"});
  ASSERT_EQ(o.status, 0) << o.err;
  auto grid = Grid(o.out);
  ASSERT_EQ(grid.size(), 21u);
  EXPECT_EQ(grid[2][3], "0.043");
  EXPECT_EQ(grid[2][4], "0.035");
  EXPECT_NE(o.err.find("from lambdaCan1: 1 cells with at least 20 records, 1 to change"), std::string::npos)
      << o.err;
  EXPECT_EQ(test_support::ReadText(P("tune.emd")), mapping) << "nothing written without --apply";

  o = Run({"log", "propose", P("run.csv"), P("tune.emd"), "--target", "8", "--min", "41"});
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(Grid(o.out)[2][3], "0.034");

  o = Run({"log", "propose", P("run.csv"), P("tune.emd"), "--cyl", "2", "--target", "8", "--out", P("p.csv"),
           "--apply"});
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out, "Applied to " + P("tune.emd") + ": 1 cell changed\n");
  EXPECT_EQ(Grid(test_support::ReadText(P("p.csv")))[2][3], "0.085");  // 68 x 1.25
  const std::string after = test_support::ReadText(P("tune.emd"));
  ASSERT_EQ(after.size(), mapping.size());
  for (size_t i = 0; i < after.size(); ++i)
    if (i != 464 + 1280 + 68 && i != 464 + 1280 + 69) {
      ASSERT_EQ(after[i], mapping[i]) << "byte " << i;
    }
  EXPECT_EQ(com::Get16LE(reinterpret_cast<const uint8_t*>(after.data()) + 464 + 1280 + 68), 85);
}

TEST_F(LogJobsCliTest, ATargetTableInMapExportsShape) {
  ASSERT_EQ(Run({"map", "export", P("tune.emd"), "1", "--out", P("target.csv")}).status, 0);
  // Every cell 10.000 except row 1, column 2 (8.000): 10 / 8 there, 1 elsewhere.
  auto grid = Grid(test_support::ReadText(P("target.csv")));
  std::string text;
  for (size_t l = 0; l < grid.size(); ++l) {
    for (size_t f = 0; f < grid[l].size(); ++f) {
      if (f) text += ',';
      text += l == 0 || f == 0 ? grid[l][f] : (l == 2 && f == 3 ? "8.000" : "10.000");
    }
    text += '\n';
  }
  test_support::WriteAll(P("target.csv"), text);
  const Outcome o = Run({"log", "propose", P("run.csv"), P("tune.emd"), "--target-csv", P("target.csv")});
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(Grid(o.out)[2][3], "0.043");
}

TEST_F(LogJobsCliTest, RefusalsAndWrongUsage) {
  test_support::WriteAll(P("comma.csv"), "time_s,rpm,farf\n0,1000,2,5\n");
  test_support::WriteAll(P("binary.csv"), std::string("\x7F"
                                                      "ELF\x02\x01\x01\0\0\0",
                                                      10));
  const struct {
    std::vector<std::string> args;
    int status;
    const char* message;
  } cases[] = {
      {{"log", "summary", P("comma.csv")}, 1, "decimal comma"},
      {{"log", "summary", P("binary.csv")}, 1, "not a CSV text"},
      {{"log", "summary", P("missing.csv")}, 1, "missing.csv"},
      {{"log", "summary"}, 2, "log summary takes LOG.csv"},
      {{"log", "bin", P("run.csv"), P("tune.emd"), "6"}, 2, "is not a map"},
      {{"log", "bin", P("run.csv"), P("tune.emd"), "1", "--filters", "maybe"},
       2,
       "--filters takes on or off"},
      {{"log", "bin", P("run.csv"), P("tune.emd"), "1", "--channel", "nope"}, 1, "no column nope"},
      {{"log", "bin", P("run.csv"), P("run.csv"), "1"}, 1, "run.csv"},
      {{"log", "propose", P("run.csv"), P("tune.emd"), "--target", "0"}, 2, "--target"},
      {{"log", "propose", P("run.csv"), P("tune.emd"), "--target", "8", "--target-csv", P("x")}, 2, "one of"},
      {{"log", "propose", P("run.csv"), P("tune.emd"), "--delay-ms", "-5"}, 2, "--delay-ms"},
      {{"log", "propose", P("run.csv"), P("tune.emd"), "--min", "2.5"}, 2, "--min"},
      {{"log", "propose", P("run.csv"), P("tune.emd"), "--cyl", "3"}, 2, "--cyl"},
      {{"log", "propose", P("run.csv"), P("tune.emd"), "--channel", "rpm"}, 2, "unknown option"},
      {{"log", "propose", P("comma.csv"), P("tune.emd"), "--apply"}, 1, "decimal comma"},
  };
  for (const auto& c : cases) {
    const Outcome o = Run(c.args);
    EXPECT_EQ(o.status, c.status) << c.args[1] << " " << o.err;
    EXPECT_NE(o.err.find(c.message), std::string::npos) << o.err;
    EXPECT_TRUE(o.out.empty()) << o.out;
  }
  EXPECT_EQ(test_support::ReadText(P("tune.emd")), mapping);
}

}  // namespace
