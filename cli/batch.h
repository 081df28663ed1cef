#pragma once

// zwillo-cli batch: many pairs composed at once, on every core.

namespace cli {

extern const char* const BatchHelp;

// The batch command (argv[1] is "batch"): 0 when every pair succeeded, 1 when
// some failed or the batch was interrupted; EUsage for bad arguments.
int Batch(int argc, char** argv);

} // namespace cli
