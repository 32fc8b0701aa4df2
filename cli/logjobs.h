// kestra-cli's datalog jobs: a log's summary, a log laid onto a map, and the injection
// map proposed from its wideband readings.
#pragma once
#include <string>
#include <vector>

namespace cli {

// RunLogJob's answers besides an exit status: wrong usage (the problem is in
// *problem) and a request for the usage text.
inline constexpr int kLogJobUsage = -1;
inline constexpr int kLogJobHelp = -2;

// True for "log summary", "log bin" and "log propose" (the plain "log" records).
bool IsLogJob(const std::vector<std::string>& args);

// Runs "log summary LOG.csv", "log bin LOG.csv FILE.emd MAP [--channel NAME]
// [--filters on|off]" or "log propose LOG.csv FILE.emd [--cyl 1|2] [--target AFR |
// --target-csv FILE] [--delay-ms D] [--min N] [--out OUT.csv] [--apply]"; each also
// takes --rate HZ for a log without a time column. args start with "log". Exit status 0
// done, 1 refused or failed. Messages go through com::Ui(), results to standard output.
int RunLogJob(const std::vector<std::string>& args, std::string* problem);

}  // namespace cli
