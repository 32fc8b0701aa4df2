// The tests never write into the user's own folders: restore points made by the
// tests' commands go to a folder of the build tree.
#include <cstdlib>
#include <string>

namespace {
const bool kTestDataHome = [] {
  setenv("XDG_DATA_HOME", BUILD_DIR "/test-data", 1);
  return true;
}();
}  // namespace
