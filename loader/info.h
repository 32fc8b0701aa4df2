// Kalvex's identity and the window title built from it.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace loader {

extern const char* const appName;   // "Kalvex"
extern const uint16_t appRelease;   // major in the high byte, minor in the low byte
extern const char* const appExtra;  // suffix text, empty in this release

// "Kalvex v3.0" without a suffix; "Kalvex v3.0    <suffix>" with one (the suffix
// cut so that the title stays within 201 characters).
std::string MainTitle(const std::optional<std::string>& suffix);
// Shows MainTitle(suffix) as the window title.
bool SetMainTitle(const std::optional<std::string>& suffix = std::nullopt);

}  // namespace loader
