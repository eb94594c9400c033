#include "AppInfo.h"

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

}  // namespace mirel
