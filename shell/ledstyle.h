// The look of the indicator lamps (labels that light up), shared by every page.
#pragma once

namespace shell {

inline constexpr char kLedOff[] =
    "QLabel { border: 1px solid #8a8a8a; border-radius: 3px; padding: 1px 4px; background: #d8d8d8;"
    " color: #202020; }"
    "QLabel:disabled { background: #efefef; color: #a8a8a8; border-color: #c8c8c8; }";
inline constexpr char kLedOn[] =
    "QLabel { border: 1px solid #1d6b1d; border-radius: 3px; padding: 1px 4px; background: #3ad03a;"
    " color: black; font-weight: bold; }"
    "QLabel:disabled { background: #c8e8c8; color: #8aa88a; border-color: #b0c8b0; }";
// A lamp that warns (a limit or a fault).
inline constexpr char kLedWarn[] =
    "QLabel { border: 1px solid #8b1a1a; border-radius: 3px; padding: 1px 4px; background: #f04040;"
    " color: white; font-weight: bold; }"
    "QLabel:disabled { background: #f0c8c8; color: #a88a8a; border-color: #c8b0b0; }";

}  // namespace shell
