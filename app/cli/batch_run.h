// Runs the items of a batch, `jobs` pages at a time, each page its own driver
// run, and reports on stderr: the messages of each page, one progress bar for
// the batch on a terminal, and a summary at the end.
#pragma once

#include <vector>

#include "app/cli/batch_plan.h"
#include "app/cli/cli_options.h"

namespace glimmer::cli {

// The exit status: 0 when no item failed, 1 when any did. A batch stopped by
// SIGINT or SIGTERM (once stopGentlyOnInterrupt is in force) abandons its
// running pages, prints its summary and ends the process by that signal.
int runBatch(const Options& options, const std::vector<BatchItem>& items, Parallelism parallelism);

}  // namespace glimmer::cli
