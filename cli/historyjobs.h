// kestra-cli's history jobs: the list of restore points and recorded data files, and
// one of them written out as a data file.
#pragma once
#include <string>
#include <vector>

namespace cli {

// RunHistoryJob's answers besides an exit status.
inline constexpr int kHistoryJobUsage = -1;
inline constexpr int kHistoryJobHelp = -2;

// True for "history" and "restore".
bool IsHistoryJob(const std::string& command);

// Runs "history [--kind configuration|mapping] [--against FILE]" or
// "restore ENTRY FILE" (args start with the command). Exit status 0 done, 1 failed.
int RunHistoryJob(const std::vector<std::string>& args, std::string* problem);

}  // namespace cli
