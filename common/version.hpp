// The tool's version, as the banner, the JSON reports, the manual page and
// the Debian package give it.
#pragma once

inline constexpr const char* kVersion = "1.52";
