#include "Paths.h"

#include <sys/stat.h>

namespace mirel {

std::string FileNameFromPath(std::string_view path)
{
    const size_t last = path.find_last_of("\\/");
    if (last == std::string_view::npos)
        return std::string(path);
    return std::string(path.substr(last + 1));
}

bool SameFile(const std::string& a, const std::string& b)
{
    struct stat sa {};
    struct stat sb {};
    if (stat(a.c_str(), &sa) != 0 || stat(b.c_str(), &sb) != 0)
        return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace mirel
