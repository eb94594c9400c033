#pragma once

#include <string>
#include <string_view>

namespace mirel {

// What follows the last "\" or "/" of a path: the whole path when it has neither, the empty
// string when it ends in one. Names that come from either kind of system lose their folders.
std::string FileNameFromPath(std::string_view path);

// True when both paths name the same existing file, through whatever spelling or link.
bool SameFile(const std::string& a, const std::string& b);

}  // namespace mirel
