#include "CliCommands.h"
#include "CliOptions.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    using namespace mirel::cli;
    const std::vector<std::string> args(argv + 1, argv + argc);
    std::string error;
    const auto options = ParseArguments(args, error);
    if (!options) {
        std::fprintf(stderr, "mirel-cli: %s\nTry 'mirel-cli --help' for more information.\n",
                     error.c_str());
        return kExitUsage;
    }
    return Run(*options);
}
