#include "AppInfo.h"

#include <filesystem>
#include <system_error>

namespace mirel {

const char* AppTitle()
{
    return "Mirel";
}

std::string AppVersionText()
{
    return std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor) + "." +
           std::to_string(kVersionRevision);
}

std::string AppPath()
{
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        return "./";
    std::string folder = exe.parent_path().string();
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

}  // namespace mirel
