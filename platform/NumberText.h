#pragma once

#include <cstdint>
#include <string>

namespace mirel {

// A whole number with the digit grouping and negative form of the user's locale (UTF-8),
// e.g. "9,036" where the locale groups with commas.
std::string FormatNumber(int64_t value);

}  // namespace mirel
