// The log model: the CSV reader, the statistics, binning onto a map's axes, the
// filters, the delayed reading and the injection proposal.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <cstring>
#include <span>
#include <string>
#include <tuple>
#include <vector>

#include "link/bytes.h"
#include "live/datalog.h"
#include "logs/logcsv.h"
#include "logs/logmap.h"
#include "logs/plotreduce.h"
#include "logs/rolling.h"
#include "ecudata/image.h"
#include "maps/map1.h"
#include "test_support.h"

namespace {

using logs::Log;
using logs::ReadResult;

ReadResult ReadText(const std::string& text, Log* log, std::string* error, logs::ReadOptions options = {}) {
  return logs::ReadLogText(text, options, log, error);
}

std::vector<float> Column(const Log& log, const char* name) {
  const int i = log.Find(name);
  if (i < 0) return {};
  const logs::Column& column = log.channels[static_cast<size_t>(i)];
  return std::vector<float>(column.begin(), column.end());
}

// Values of one channel as text, "-" for a gap: compact to compare in a table.
std::string Shown(std::span<const float> values) {
  std::string s;
  for (float v : values) {
    if (!s.empty()) s += ' ';
    s += std::isnan(v) ? std::string("-") : std::to_string(static_cast<int>(std::lround(v * 10)));
  }
  return s;
}

// ------------------------------------------------------------------------- reader

struct ReaderCase {
  const char* name;
  std::string text;
  double rate;
  const char* b;      // channel "b" in tenths, "-" for a gap
  const char* times;  // times in tenths of a second
  uint64_t gaps, skipped;
};

void PrintTo(const ReaderCase& c, std::ostream* os) {
  *os << c.name;
}

class ReaderTable : public ::testing::TestWithParam<ReaderCase> {};

TEST_P(ReaderTable, ReadsValuesGapsAndTimes) {
  const ReaderCase& c = GetParam();
  // One block; then blocks of a few bytes, with the records pushed beyond the first
  // block (which always holds the first 4 KiB) by blank lines after the header.
  for (size_t block : {size_t{8} << 20, size_t{5}}) {
    logs::ReadOptions options;
    options.rate = c.rate;
    options.blockBytes = block;
    std::string text = c.text;
    if (block < 100) text.insert(text.find('\n') + 1, std::string(5000, '\n'));
    Log log;
    std::string error;
    ASSERT_EQ(logs::ReadLogText(text, options, &log, &error), ReadResult::Read) << error;
    EXPECT_EQ(Shown(Column(log, "b")), c.b) << "block " << block;
    std::vector<float> times(log.time.begin(), log.time.end());
    EXPECT_EQ(Shown(times), c.times);
    EXPECT_EQ(log.gapRecords, c.gaps);
    EXPECT_EQ(log.skippedLines, c.skipped);
    EXPECT_EQ(log.channels.size(), log.names.size());
    ASSERT_EQ(log.stats.size(), log.channels.size());
    for (size_t i = 0; i < log.channels.size(); ++i) {
      EXPECT_EQ(log.channels[i].size(), log.Records());
      const logs::ChannelStats s = logs::Stats(log.channels[i]);
      EXPECT_EQ(log.stats[i].count, s.count) << log.names[i];
      EXPECT_EQ(log.stats[i].min, s.min);
      EXPECT_EQ(log.stats[i].max, s.max);
      EXPECT_DOUBLE_EQ(log.stats[i].mean, s.mean);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Csv, ReaderTable,
    ::testing::Values(
        ReaderCase{"plain", "time_s,a,b\n0.000,1,2.5\n0.100,1,3\n", 0, "25 30", "0 1", 0, 0},
        ReaderCase{"gaps_for_missing_and_bad_fields", "time_s,a,b\n0,1,\n0.1,1,x\n0.2,1,4\n0.3,1\n", 0,
                   "- - 40 -", "0 1 2 3", 3, 0},
        ReaderCase{"quoted_header_and_fields", "\"time_s\", \"a\" ,\"b\"\n0,1,\"2\"\n", 0, "20", "0", 0, 0},
        ReaderCase{"crlf_and_blank_lines", "time_s,a,b\r\n0,1,2\r\n\r\n0.1,1,3\r\n", 0, "20 30", "0 1", 0, 0},
        ReaderCase{"last_line_whole_without_line_end", "time_s,a,b\n0,1,2\n0.1,1,3\n0.2,1,4", 0, "20 30 40",
                   "0 1 2", 0, 0},
        ReaderCase{"cut_last_line_loses_its_last_field", "time_s,b,a\n0,1,2\n0.1,3", 0, "10 -", "0 1", 1, 0},
        ReaderCase{"cut_in_the_time", "time_s,a,b\n0,1,2\n0.1", 0, "20", "0", 0, 1},
        ReaderCase{"time_going_back_or_missing", "time_s,a,b\n0,1,1\n0.2,1,2\n0.1,1,3\n,1,4\n0.3,1,5\n", 0,
                   "10 20 50", "0 2 3", 0, 2},
        ReaderCase{"time_column_anywhere", "b,Time\n7,0\n8,0.5\n", 0, "70 80", "0 5", 0, 0},
        ReaderCase{"no_time_column_uses_the_rate", "a,b\n1,2\n1,3\n1,4\n", 10, "20 30 40", "0 1 2", 0, 0},
        ReaderCase{"extra_fields_left_out", "time_s,a,b\n0,1,2\n0.1,1,3,9\n", 0, "20 30", "0 1", 0, 0},
        ReaderCase{"no_inf_or_nan", "time_s,a,b\n0,1,inf\n0.1,1,nan\n", 0, "- -", "0 1", 2, 0},
        ReaderCase{"header_only", "time_s,a,b\n", 0, "", "", 0, 0},
        ReaderCase{"byte_order_mark", "\xEF\xBB\xBFtime_s,a,b\n0,1,2\n", 0, "20", "0", 0, 0}),
    [](const ::testing::TestParamInfo<ReaderCase>& info) { return std::string(info.param.name); });

struct RefusedCase {
  const char* name;
  std::string text;
  const char* message;
};

void PrintTo(const RefusedCase& c, std::ostream* os) {
  *os << c.name;
}

class RefusedTable : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(RefusedTable, SaysWhy) {
  Log log;
  std::string error;
  ASSERT_EQ(logs::ReadLogText(GetParam().text, {}, &log, &error, "run.csv"), ReadResult::Failed);
  EXPECT_NE(error.find(GetParam().message), std::string::npos) << error;
  EXPECT_EQ(error.rfind("run.csv: ", 0), 0u) << error;
  EXPECT_EQ(log.Records(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Csv, RefusedTable,
    ::testing::Values(RefusedCase{"decimal_comma", "time_s,rpm,farf\n0,1000,12,5\n", "decimal comma"},
                      RefusedCase{"semicolons_of_a_decimal_comma_sheet", "time_s;rpm\n0;1000\n",
                                  "decimal comma"},
                      RefusedCase{"binary",
                                  std::string("\x7F"
                                              "ELF\x02\x01\x01\0\0\0",
                                              10),
                                  "not a CSV text"},
                      RefusedCase{"empty", "", "empty"},
                      RefusedCase{"numbers_without_a_header", "0,1,2\n0.1,1,2\n", "not the names"},
                      RefusedCase{"no_time_and_no_rate", "a,b\n1,2\n", "no time column"}),
    [](const ::testing::TestParamInfo<RefusedCase>& info) { return std::string(info.param.name); });

TEST(LogReader, ReadsTheDatalogsOwnFormat) {
  live::LiveData record{};
  const live::LiveField* rpm = live::FindLiveField("NUMrpm");
  const live::LiveField* farf = live::FindLiveField("NUMfarf");
  com::Put16BE(record.data() + rpm->offset, 6500);
  com::Put16BE(record.data() + farf->offset, static_cast<uint16_t>(-25));
  record[live::kStatusOffset] = 0x10;  // engine on
  std::string text = live::CsvHeader();
  for (int i = 0; i < 3; ++i) text += live::CsvRow(i * 0.0057, record);
  Log log;
  std::string error;
  ASSERT_EQ(ReadText(text, &log, &error), ReadResult::Read) << error;
  EXPECT_EQ(log.timeName, "time_s");
  EXPECT_EQ(log.Records(), 3u);
  EXPECT_EQ(log.names.size(), live::LiveFields().size() + live::LiveLeds().size());
  EXPECT_EQ(Column(log, "rpm"), (std::vector<float>{6500, 6500, 6500}));
  EXPECT_FLOAT_EQ(Column(log, "farf")[1], -2.5f);
  EXPECT_EQ(Column(log, "isEngineOn")[2], 1.0f);
  EXPECT_DOUBLE_EQ(log.time[2], 0.011);
  EXPECT_EQ(log.gapRecords, 0u);
}

TEST(LogReader, ReportsProgressInBytesAndStopsWhenCancelled) {
  std::string text = "time_s,a\n";
  for (int i = 0; i < 2000; ++i) text += std::to_string(i) + ".000," + std::to_string(i % 7) + "\n";
  logs::ReadOptions options;
  options.blockBytes = 1000;
  std::vector<uint64_t> done;
  options.progress = [&done, &text](uint64_t d, uint64_t total) {
    EXPECT_EQ(total, text.size());
    done.push_back(d);
  };
  Log log;
  std::string error;
  ASSERT_EQ(logs::ReadLogText(text, options, &log, &error), ReadResult::Read) << error;
  ASSERT_GT(done.size(), 5u);
  EXPECT_TRUE(std::is_sorted(done.begin(), done.end()));
  EXPECT_EQ(done.back(), text.size());
  EXPECT_EQ(log.Records(), 2000u);
  EXPECT_EQ(log.skippedLines, 0u);
  for (size_t i = 0; i < log.Records(); ++i) {
    ASSERT_EQ(log.time[i], static_cast<double>(i));
    ASSERT_EQ(Column(log, "a")[i], static_cast<float>(i % 7));
  }

  std::atomic<bool> cancel{false};
  options.cancel = &cancel;
  options.progress = [&cancel](uint64_t, uint64_t) { cancel = true; };
  EXPECT_EQ(logs::ReadLogText(text, options, &log, &error), ReadResult::Cancelled);
  EXPECT_EQ(log.Records(), 0u);
  EXPECT_TRUE(log.names.empty());
}

TEST(LogReader, ALargeLogReadsTheSameInOneBlockAndInMany) {
  // Enough values that the columns are filled by two threads, with gaps, a line going
  // back in time and long numbers that the short path leaves to from_chars.
  std::string text = "time_s";
  for (int c = 0; c < 100; ++c) text += ",c" + std::to_string(c);
  text += "\n";
  for (int r = 0; r < 3000; ++r) {
    text += r == 1500 ? "1.000" : std::to_string(r) + ".5";
    for (int c = 0; c < 100; ++c)
      text += (r + c) % 97 == 0 ? std::string(",") : "," + std::to_string(r * 0.001234567 - c) + "e0";
    text += "\n";
  }
  Log whole, pieces;
  std::string error;
  ASSERT_EQ(ReadText(text, &whole, &error), ReadResult::Read) << error;
  logs::ReadOptions small;
  small.blockBytes = 10000;
  ASSERT_EQ(ReadText(text, &pieces, &error, small), ReadResult::Read) << error;
  EXPECT_EQ(whole.Records(), 2999u);
  EXPECT_EQ(whole.skippedLines, 1u);
  EXPECT_EQ(whole.time, pieces.time);
  EXPECT_EQ(whole.gapRecords, pieces.gapRecords);
  for (size_t c = 0; c < whole.channels.size(); ++c) {
    ASSERT_EQ(Shown(whole.channels[c]), Shown(pieces.channels[c])) << c;
    EXPECT_EQ(whole.stats[c].count, logs::Stats(whole.channels[c]).count);
    EXPECT_EQ(pieces.stats[c].min, logs::Stats(pieces.channels[c]).min);
  }
  EXPECT_FLOAT_EQ(whole.channels[3][10], static_cast<float>(10 * 0.001234567 - 3));
}

TEST(LogReader, StatisticsLeaveGapsOut) {
  const float gap = std::nanf("");
  const logs::ChannelStats s = logs::Stats({3, gap, -1, 4});
  EXPECT_EQ(s.count, 3u);
  EXPECT_EQ(s.min, -1);
  EXPECT_EQ(s.max, 4);
  EXPECT_DOUBLE_EQ(s.mean, 2);
  EXPECT_EQ(logs::Stats({gap}).count, 0u);
}

// ------------------------------------------------------------------------ binning

TEST(LogBinning, NearestBreakpointAndTiesToTheLowerIndex) {
  const double axis[] = {0, 500, 1000, 1500, 1500, 3000};
  const struct {
    double value;
    int index;
  } cases[] = {{0, 0},    {249, 0},  {250, 0},  {251, 1},  {500, 1},  {750, 1},  {1000, 2},
               {1250, 2}, {1251, 3}, {1500, 3}, {2250, 3}, {2251, 5}, {-100, 0}, {99999, 5}};
  for (const auto& c : cases) EXPECT_EQ(logs::NearestBreakpoint(axis, 6, c.value), c.index) << c.value;
}

// A log built in memory: channel names and one row of values per record, time first.
Log MakeLog(const std::vector<std::string>& names, const std::vector<std::vector<double>>& rows) {
  Log log;
  log.timeName = "time_s";
  log.names = names;
  log.channels.resize(names.size());
  for (const auto& row : rows) {
    log.time.push_back(row[0]);
    for (size_t c = 0; c < names.size(); ++c) log.channels[c].push_back(static_cast<float>(row[c + 1]));
  }
  return log;
}

logs::Filters AllOff() {
  logs::Filters f;
  f.engineRunning = f.warm = f.steadyThrottle = false;
  return f;
}

TEST(LogFilters, EngineRunningAndWarmByTheCapabilityFlag) {
  const float gap = std::nanf("");
  const Log log = MakeLog({"isEngineOn", "isCranking", "isCutOff", "th2o", "toil"}, {{0, 1, 0, 0, 80, 20},
                                                                                     {1, 0, 0, 0, 80, 80},
                                                                                     {2, 1, 1, 0, 80, 80},
                                                                                     {3, 1, 0, 1, 80, 80},
                                                                                     {4, 1, 0, 0, 59.9, 80},
                                                                                     {5, 1, 0, 0, 60, 60},
                                                                                     {6, 1, 0, 0, gap, 70}});
  const struct {
    bool engine, warm, oil;
    std::vector<uint8_t> pass;
  } cases[] = {
      {true, false, false, {1, 0, 0, 0, 1, 1, 1}},
      {false, true, false, {1, 1, 1, 1, 0, 1, 0}},
      {false, true, true, {0, 1, 1, 1, 1, 1, 1}},
      {true, true, false, {1, 0, 0, 0, 0, 1, 0}},
  };
  for (const auto& c : cases) {
    logs::Filters f = AllOff();
    f.engineRunning = c.engine;
    f.warm = c.warm;
    f.tempIsOil = c.oil;
    std::vector<uint8_t> pass;
    std::string error;
    ASSERT_TRUE(logs::ApplyFilters(log, f, &pass, &error)) << error;
    EXPECT_EQ(pass, c.pass) << c.engine << c.warm << c.oil;
  }
}

TEST(LogFilters, SteadyThrottleLooksBackATenthOfASecond) {
  // Records in the first 0.1 s have nothing to look back at; 0.15 looks at 0.05.
  const Log log =
      MakeLog({"farf"},
              {{0.0, 10}, {0.05, 10}, {0.1, 12}, {0.15, 12.1}, {0.2, 14}, {0.3, 16}, {0.301, 11}, {0.4, 14}});
  logs::Filters f = AllOff();
  f.steadyThrottle = true;
  std::vector<uint8_t> pass;
  std::string error;
  ASSERT_TRUE(logs::ApplyFilters(log, f, &pass, &error)) << error;
  EXPECT_EQ(pass, (std::vector<uint8_t>{0, 0, 1, 0, 1, 1, 0, 1}));
}

TEST(LogFilters, AMissingChannelIsNamed) {
  const Log log = MakeLog({"farf", "rpm"}, {{0, 1, 2}});
  std::vector<uint8_t> pass;
  std::string error;
  logs::Filters f;
  EXPECT_FALSE(logs::ApplyFilters(log, f, &pass, &error));
  EXPECT_NE(error.find("isEngineOn"), std::string::npos) << error;
  f = AllOff();
  f.warm = true;
  f.tempIsOil = true;
  EXPECT_FALSE(logs::ApplyFilters(log, f, &pass, &error));
  EXPECT_NE(error.find("toil"), std::string::npos) << error;
}

TEST(LogDelay, TheFirstRecordAtOrAfterTheDelay) {
  const std::vector<int32_t> index = logs::DelayedIndex({0, 0.05, 0.1, 0.15, 0.3, 0.3}, 0.1);
  EXPECT_EQ(index, (std::vector<int32_t>{2, 3, 4, 4, -1, -1}));
  EXPECT_EQ(logs::DelayedIndex({0, 0.1}, 0), (std::vector<int32_t>{0, 1}));
}

// ----------------------------------------------------------------------- proposal

// A map block with map 1 axes 0, 500, ... 15500 rpm and the throttle axis.
std::vector<uint8_t> MakeBlock(int16_t cell) {
  std::vector<uint8_t> block(12344, 0);
  maps::MapPlace place;
  maps::GetMapPlace(1, 0, &place);
  for (int c = 0; c < maps::kMapCols; ++c) com::Put16LE(block.data() + place.xAxis + 2 * c, 500 * c);
  for (int r = 0; r < maps::kMapRows; ++r)
    com::Put16LE(block.data() + place.yAxis + 2 * r, static_cast<uint16_t>(maps::bpMapThrottle[r]));
  for (int plane = 0; plane < 2; ++plane) {
    maps::GetMapPlace(1, plane, &place);
    for (int i = 0; i < maps::kMapCells; ++i)
      com::Put16LE(block.data() + place.matrix + 2 * i, static_cast<uint16_t>(cell));
  }
  return block;
}

int16_t Cell(const std::vector<uint8_t>& block, int plane, int cell) {
  maps::MapPlace place;
  maps::GetMapPlace(1, plane, &place);
  return static_cast<int16_t>(com::Get16LE(block.data() + place.matrix + 2 * cell));
}

// `n` records at 100 per second at one working point, each with `reading` in both
// wideband channels (lambdaCan2 zero when `second` is false).
void AddRecords(std::vector<std::vector<double>>* rows, int n, double rpm, double farf, double reading,
                bool second = true) {
  for (int i = 0; i < n; ++i) {
    const double t = rows->empty() ? 0 : rows->back()[0] + 0.01;
    rows->push_back({t, rpm, farf, reading, second ? reading : 0});
  }
}

Log ProposalLog(const std::vector<std::vector<double>>& rows) {
  return MakeLog({"rpm", "farf", "lambdaCan1", "lambdaCan2"}, rows);
}

TEST(LogProposal, RoundsHalvesAwayHoldsLimitsAndKeepsThinCells) {
  // Target 8: a reading of 8.5 asks for 1.0625 times the fuel. The delay is 0, so each
  // record reads its own value.
  std::vector<std::vector<double>> rows;
  AddRecords(&rows, 20, 1000, 2.0, 8.5);   // row 1, column 2: 8 -> 8.5 -> 9
  AddRecords(&rows, 19, 2000, 2.0, 8.5);   // column 4: 19 records, kept
  AddRecords(&rows, 30, 1500, 10.0, 8.5);  // row 5, column 3: 31000 -> 32000
  AddRecords(&rows, 25, 3000, 2.0, 0.0);   // no reading: nothing counted
  AddRecords(&rows, 20, 2500, 2.0, 4.0);   // half the fuel: 8 -> 4
  std::vector<uint8_t> block = MakeBlock(8);
  maps::MapPlace place;
  maps::GetMapPlace(1, 0, &place);
  com::Put16LE(block.data() + place.matrix + 2 * (5 * 32 + 3), 31000);

  logs::ProposalOptions o;
  o.targetAfr = 8;
  o.delaySeconds = 0;
  o.filters = AllOff();
  logs::Proposal p;
  std::string error;
  ASSERT_TRUE(logs::ProposeInjection(ProposalLog(rows), block.data(), o, &p, &error)) << error;
  EXPECT_EQ(p.lambdaChannel, "lambdaCan1");
  EXPECT_EQ(p.count[1 * 32 + 2], 20u);
  EXPECT_EQ(p.after[1 * 32 + 2], 9);
  EXPECT_EQ(p.count[1 * 32 + 4], 19u);
  EXPECT_EQ(p.after[1 * 32 + 4], 8);
  EXPECT_EQ(p.after[5 * 32 + 3], 32000);
  EXPECT_EQ(p.count[1 * 32 + 6], 0u);
  EXPECT_EQ(p.after[1 * 32 + 5], 4);
  EXPECT_EQ(p.changed, 3);

  // Negative old values cannot come from the editor, but a file may hold them: held at 0.
  logs::ApplyProposal(p, 0, block.data());
  EXPECT_EQ(Cell(block, 0, 1 * 32 + 2), 9);
  EXPECT_EQ(Cell(block, 1, 1 * 32 + 2), 8) << "cylinder 2 untouched";

  // A minimum of 19 takes the thin cell too.
  o.minRecords = 19;
  ASSERT_TRUE(logs::ProposeInjection(ProposalLog(rows), MakeBlock(8).data(), o, &p, &error));
  EXPECT_EQ(p.after[1 * 32 + 4], 9);
}

TEST(LogProposal, ReadingTakenAfterTheDelayAndTheTargetTable) {
  // 20 records at 1000 rpm, then 20 at 2000 rpm with another reading: with a delay of
  // 0.1 s the last ten of the first cell read the second cell's mixture.
  std::vector<std::vector<double>> rows;
  AddRecords(&rows, 20, 1000, 2.0, 8.0);
  AddRecords(&rows, 20, 2000, 2.0, 12.0);
  logs::ProposalOptions o;
  o.targetAfr = 8;
  o.filters = AllOff();
  o.minRecords = 1;
  o.delaySeconds = 0.1;
  logs::Proposal p;
  std::string error;
  ASSERT_TRUE(logs::ProposeInjection(ProposalLog(rows), MakeBlock(1000).data(), o, &p, &error)) << error;
  EXPECT_EQ(p.count[1 * 32 + 2], 20u);
  EXPECT_DOUBLE_EQ(p.ratio[1 * 32 + 2], (10 * 1.0 + 10 * 1.5) / 20);
  EXPECT_EQ(p.count[1 * 32 + 4], 10u) << "the last ten have no record 0.1 s later";
  EXPECT_EQ(p.after[1 * 32 + 2], 1250);

  o.targetTable.assign(maps::kMapCells, 8.0);
  o.targetTable[1 * 32 + 4] = 12.0;
  ASSERT_TRUE(logs::ProposeInjection(ProposalLog(rows), MakeBlock(1000).data(), o, &p, &error)) << error;
  EXPECT_EQ(p.after[1 * 32 + 4], 1000);
  o.targetTable[7] = 0;
  EXPECT_FALSE(logs::ProposeInjection(ProposalLog(rows), MakeBlock(1000).data(), o, &p, &error));
}

TEST(LogProposal, SecondCylinderFallsBackToTheFirstSensor) {
  std::vector<std::vector<double>> rows;
  AddRecords(&rows, 20, 1000, 2.0, 8.5, false);
  logs::ProposalOptions o;
  o.cylinder = 1;
  o.targetAfr = 8;
  o.filters = AllOff();
  o.delaySeconds = 0;
  logs::Proposal p;
  std::string error;
  std::vector<uint8_t> block = MakeBlock(8);
  ASSERT_TRUE(logs::ProposeInjection(ProposalLog(rows), block.data(), o, &p, &error)) << error;
  EXPECT_EQ(p.lambdaChannel, "lambdaCan1");
  EXPECT_EQ(p.after[1 * 32 + 2], 9);
  logs::ApplyProposal(p, 1, block.data());
  EXPECT_EQ(Cell(block, 1, 1 * 32 + 2), 9);
  EXPECT_EQ(Cell(block, 0, 1 * 32 + 2), 8);

  rows.clear();
  AddRecords(&rows, 20, 1000, 2.0, 8.5, true);
  ASSERT_TRUE(logs::ProposeInjection(ProposalLog(rows), block.data(), o, &p, &error)) << error;
  EXPECT_EQ(p.lambdaChannel, "lambdaCan2");

  block[maps::kSingleMatrixOffset] |= 1;
  EXPECT_FALSE(logs::ProposeInjection(ProposalLog(rows), block.data(), o, &p, &error));
  EXPECT_NE(error.find("single-matrix"), std::string::npos) << error;
  // One matrix for both: the proposal of cylinder 1 goes into both planes.
  o.cylinder = 0;
  ASSERT_TRUE(logs::ProposeInjection(ProposalLog(rows), block.data(), o, &p, &error)) << error;
  logs::ApplyProposal(p, 0, block.data());
  EXPECT_EQ(Cell(block, 0, 1 * 32 + 2), 9);
  EXPECT_EQ(Cell(block, 1, 1 * 32 + 2), 9);
}

}  // namespace

// A channel reduced to pixel columns keeps each column's first, lowest, highest and last
// value, leaves gaps out, and puts records beyond the view into the edge columns.
TEST(LogPlotReduce, ColumnsKeepSpikesAndGaps) {
  const std::vector<double> time = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const std::vector<float> values = {5, 1, 9, 2, nan, nan, 7, 3, 4, 6};
  std::vector<logs::PixelColumn> cols;
  // Five columns of 2 s over [0, 10): records 0-1, 2-3, 4-5, 6-7, 8-9.
  logs::ReduceToColumns(time.data(), values.data(), {0, time.size()}, 0, 10, 5, &cols);
  ASSERT_EQ(cols.size(), 5u);
  EXPECT_EQ(cols[0].first, 5);
  EXPECT_EQ(cols[0].min, 1);
  EXPECT_EQ(cols[0].max, 5);
  EXPECT_EQ(cols[0].last, 1);
  EXPECT_EQ(cols[1].max, 9);
  EXPECT_TRUE(cols[2].empty());  // only gaps
  EXPECT_EQ(cols[3].first, 7);
  EXPECT_EQ(cols[4].last, 6);
  // The visible records of [3.5, 6.5] widened by one on each side: 3..7.
  const logs::RecordSpan span = logs::VisibleRecords(time.data(), time.size(), 3.5, 6.5);
  EXPECT_EQ(span.begin, 3u);
  EXPECT_EQ(span.end, 8u);
  logs::ReduceToColumns(time.data(), values.data(), span, 3.5, 6.5, 3, &cols);
  EXPECT_EQ(cols[0].first, 2);  // record 3 (t = 3) lies left of the view: the first column
  EXPECT_EQ(cols[2].last, 3);   // record 7 (t = 7) right of it: the last column
  // The nearest record, the earlier one on a tie.
  EXPECT_EQ(logs::NearestRecord(time.data(), time.size(), 4.5), 4u);
  EXPECT_EQ(logs::NearestRecord(time.data(), time.size(), 4.6), 5u);
  EXPECT_EQ(logs::NearestRecord(time.data(), time.size(), -3), 0u);
  EXPECT_EQ(logs::NearestRecord(time.data(), time.size(), 99), 9u);
}

// Applying a proposal writes only the cells it changes, and keeps a cell that was
// edited since the proposal was made.
TEST(LogProposal, ApplyKeepsCellsEditedSince) {
  std::vector<uint8_t> block(ecu::kMapSize, 0);
  maps::MapPlace place;
  maps::GetMapPlace(1, 0, &place);
  const maps::CellArray cells{block.data() + place.matrix};
  for (int c = 0; c < maps::kMapCells; ++c) cells.Set(c, 1000);
  logs::Proposal p;
  p.before.fill(1000);
  p.after.fill(1000);
  p.after[10] = 1100;
  p.after[11] = 1200;
  cells.Set(11, 1005);  // edited after the proposal
  cells.Set(12, 1007);  // edited, and the proposal leaves it
  int kept = -1;
  EXPECT_EQ(logs::ApplyProposal(p, 0, block.data(), &kept), 1);
  EXPECT_EQ(kept, 1);
  EXPECT_EQ(cells.Get(10), 1100);
  EXPECT_EQ(cells.Get(11), 1005);
  EXPECT_EQ(cells.Get(12), 1007);
}

// A rolling log keeps the span it is given (plus at most a tenth before it drops), drops
// whole chunks, and never lets time go back.
TEST(LogRolling, KeepsTheSpanAndTimeNeverGoesBack) {
  logs::RollingLog rolling({"a", "b"}, 10.0);
  for (int i = 0; i <= 2000; ++i) rolling.Append(i * 0.01, {float(i), float(-i)});
  const logs::Log& log = rolling.Data();
  EXPECT_EQ(log.time.size(), log.channels[0].size());
  EXPECT_EQ(log.channels[1].size(), log.time.size());
  EXPECT_LE(log.time.back() - log.time.front(), 11.0 + 1e-9);
  EXPECT_GE(log.time.back() - log.time.front(), 10.0 - 1e-9);
  EXPECT_FLOAT_EQ(log.channels[0].back(), 2000);
  EXPECT_FLOAT_EQ(log.channels[0][0], static_cast<float>(std::lround(log.time[0] * 100)));
  rolling.Append(5.0, {1});  // earlier than the last: taken as the last; a missing value is a gap
  EXPECT_DOUBLE_EQ(log.time.back(), 20.0);
  EXPECT_TRUE(std::isnan(log.channels[1].back()));
}

// The block summary gives the same columns as scanning every record, gaps and views
// that start and end inside blocks included.
TEST(LogPlotReduce, BlockSummaryGivesTheSameColumns) {
  const size_t n = 20000;
  std::vector<double> time(n);
  std::vector<float> values(n);
  unsigned seed = 7;
  for (size_t i = 0; i < n; ++i) {
    seed = seed * 1103515245u + 12345u;
    time[i] = static_cast<double>(i) * 0.01;
    values[i] =
        (seed >> 20) % 97 == 0 ? std::numeric_limits<float>::quiet_NaN() : static_cast<float>(seed >> 16);
  }
  for (size_t i = 5000; i < 5300; ++i)
    values[i] = std::numeric_limits<float>::quiet_NaN();  // whole blocks of gaps
  logs::BlockSummary blocks;
  logs::SummariseBlocks(values.data(), n, &blocks);
  for (const auto& [t0, t1, width] :
       {std::tuple{0.0, 200.0, 37}, std::tuple{3.3, 171.1, 640}, std::tuple{49.0, 54.0, 11}}) {
    const logs::RecordSpan span = logs::VisibleRecords(time.data(), n, t0, t1);
    std::vector<logs::PixelColumn> plain, summarised;
    logs::ReduceToColumns(time.data(), values.data(), span, t0, t1, width, &plain);
    logs::ReduceToColumns(time.data(), values.data(), span, t0, t1, width, &summarised, &blocks);
    ASSERT_EQ(plain.size(), summarised.size());
    for (size_t c = 0; c < plain.size(); ++c) {
      EXPECT_EQ(plain[c].empty(), summarised[c].empty()) << c;
      if (plain[c].empty()) continue;
      EXPECT_EQ(plain[c].first, summarised[c].first) << c;
      EXPECT_EQ(plain[c].min, summarised[c].min) << c;
      EXPECT_EQ(plain[c].max, summarised[c].max) << c;
      EXPECT_EQ(plain[c].last, summarised[c].last) << c;
    }
  }
}
