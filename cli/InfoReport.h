#pragma once

#include "CliOptions.h"

namespace mirel::cli {

// The info command: what the picture is, how much it can hide, and what is hidden at the offset
// (with the password: what a seal holds), as text or as one JSON object on standard output.
// Reads and writes nothing else. Returns an exit status.
int RunInfo(const Options& options);

}  // namespace mirel::cli
