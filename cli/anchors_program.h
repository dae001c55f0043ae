// tavrin-anchors as a function: the whole program but the process around it.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "cli/page_loader.h"

namespace tavrin::cli {

enum ExitCode : int { kExitSuccess = 0, kExitFailure = 1, kExitUsage = 2 };

// What a run may cost: each fetch, and the run as a whole.
struct Limits {
  FetchLimits fetch;
  RunLimits run;
};

// Runs the program on `args` (the arguments after the program name) and returns its exit
// code. The result goes to `out` or to the -o file, messages to `err`; on failure `out` and the
// -o file are left untouched. A run over its budget fails with a message saying which bound.
int RunAnchorsProgram(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                      const Limits& limits = {});

}  // namespace tavrin::cli
