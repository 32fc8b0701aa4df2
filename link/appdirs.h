// Where the programs find the files they ship with and where they keep their
// settings, the same way in the build tree and in an installed tree:
//
//   build tree       build/shell/kestra       files beside the executable
//   installed tree   <prefix>/bin/kestra      files in <prefix>/share/kestra/
//
// Nothing here needs a setting or an environment variable beyond the user's
// configuration folder (XDG).
#pragma once
#include <string>
#include <vector>

namespace com {

// Folder of the running executable, without the trailing '/' ("" when it cannot be told).
std::string ExecutableDirectory();
// Makes the functions below act as if the executable lived in `directory` (tests);
// "" restores the real folder.
void SetExecutableDirectory(const std::string& directory);

// The places a shipped file is looked for, in order: beside the executable, then
// ../share/kestra/ relative to it. `name` is relative and may hold a subfolder
// ("mtintern.ini", "system/road.fdt", or the folder "system" itself).
std::vector<std::string> ShippedFileCandidates(const std::string& name);
// The first candidate that exists. When none does, the one beside the executable, so
// that opening it fails and the caller's message is the same in either tree.
std::string ShippedFilePath(const std::string& name);

// True when the executable sits in the bin folder of an installed tree
// (<prefix>/bin, with <prefix>/share beside it). An installed program never writes
// into its installation folder, even when it could (run as root).
bool IsInstalledTree();

// The user's configuration folder for `program` ("kestra", "kalvex"):
// $XDG_CONFIG_HOME/<program> when that is an absolute path, else ~/.config/<program>
// ("" when there is no home folder). Not created here.
std::string UserConfigDirectory(const std::string& program);
// The user's data folder for `program`: $XDG_DATA_HOME/<program> when that is an
// absolute path, else ~/.local/share/<program> ("" without a home folder). Not created.
std::string UserDataDirectory(const std::string& program);
// Creates a folder and its parents; true when it exists afterwards.
bool MakeDirectoryPath(const std::string& path);
// The folder for the settings file `fileName` of `program`: beside the executable
// when that folder is writable (and the file too, when it exists) and is not an
// installed tree; otherwise the user's configuration folder, created when missing;
// the current folder as a last resort.
std::string SettingsDirectory(const std::string& program, const std::string& fileName);

// Version of the program set, from the build ("1.3").
const char* PackageVersion();
// True when `argv` asks for --version; then prints "<program> <version>" on standard
// output: the program set's version, or the program's own release followed by the
// set's version in parentheses ("kalvex 3.0 (kestra 1.3)").
bool AnswerVersion(int argc, char** argv, const std::string& program, const std::string& ownRelease = "");
void PrintVersion(const std::string& program, const std::string& ownRelease = "");

}  // namespace com
