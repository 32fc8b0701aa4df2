#include "loader/info.h"

#include <cstdio>

#include "loader/view.h"

namespace loader {

const char* const appName = "Kalvex";
const uint16_t appRelease = 0x0300;
const char* const appExtra = "";

std::string MainTitle(const std::optional<std::string>& suffix) {
  char prefix[128];
  const unsigned major = appRelease >> 8, minor = appRelease & 0xFF;
  if (!suffix) {
    std::snprintf(prefix, sizeof prefix, "%s v%u.%u%s", appName, major, minor, appExtra);
    return prefix;
  }
  std::snprintf(prefix, sizeof prefix, "%s v%u.%u%s    <", appName, major, minor, appExtra);
  std::string title = prefix;
  const size_t n = title.size();
  if (n + 1 < 200) title += suffix->substr(0, 199 - n);
  title += ">";
  return title;
}

bool SetMainTitle(const std::optional<std::string>& suffix) {
  View().SetTitle(MainTitle(suffix));
  return true;
}

}  // namespace loader
