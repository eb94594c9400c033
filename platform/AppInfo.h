#pragma once

#include <string>

namespace mirel {

inline constexpr int kVersionMajor = 0;
inline constexpr int kVersionMinor = 1;
inline constexpr int kVersionRevision = 4;

// "Mirel".
const char* AppTitle();
// major "." minor "." revision, without leading zeros: "0.1.4".
std::string AppVersionText();
// The folder of the running executable, ending in "/"; "./" when it cannot be found.
std::string AppPath();

}  // namespace mirel
