#pragma once

#include "CliOptions.h"

namespace mirel::cli {

// Runs one parsed command and returns the exit status. Installs console services for the run.
int Run(const Options& options);

}  // namespace mirel::cli
