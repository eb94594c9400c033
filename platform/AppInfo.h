#pragma once

#include "Version.h"

#include <string>

namespace mirel {

// "Mirel".
const char* AppTitle();
// major "." minor "." revision, without leading zeros, e.g. "0.1.4".
std::string AppVersionText();

}  // namespace mirel
