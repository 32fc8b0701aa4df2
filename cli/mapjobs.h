// kestra-cli's spreadsheet jobs: one map to and from CSV, and the differences between
// two data files of one kind.
#pragma once
#include <string>
#include <vector>

namespace ecu {
struct DataFile;
}

namespace cli {

// RunMapJob's answers besides an exit status: wrong usage (the problem is in
// *problem) and a request for the usage text.
inline constexpr int kMapJobUsage = -1;
inline constexpr int kMapJobHelp = -2;

// True for the commands that RunMapJob runs: "map" and "diff".
bool IsMapJob(const std::string& command);

// Runs "map export FILE MAP [--cyl 1|2] [--out OUT]", "map import FILE MAP CSV [--cyl 1|2]"
// or "diff A B [--csv]" (args start with the command). Exit status for map: 0 done,
// 1 refused or failed; for diff as diff(1): 0 equal, 1 different, 2 trouble. Messages
// go through com::Ui(), results to standard output.
int RunMapJob(const std::vector<std::string>& args, std::string* problem);

// Reads a mapping file; anything else is refused (with `title`) as `info` refuses it.
bool ReadMapping(const char* title, const std::string& path, ecu::DataFile* file);

}  // namespace cli
