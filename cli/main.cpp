#include "CliCommands.h"
#include "CliOptions.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    using namespace mirel::cli;
    const std::vector<std::string> args(argv + 1, argv + argc);
    ParseError error;
    const auto options = ParseArguments(args, error);
    if (!options) {
        if (error.status == kExitUsage)
            std::fprintf(stderr, "mirel-cli: %s\nTry 'mirel-cli --help' for more information.\n",
                         error.message.c_str());
        else
            std::fprintf(stderr, "%s\n", error.message.c_str());
        return error.status;
    }
    if (options->command == Command::Help)
        return ShowHelp(options->helpCommand);
    return Run(*options);
}
