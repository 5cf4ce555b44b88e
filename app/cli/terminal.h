// The terminal glimmer-cli draws its progress on.
#pragma once

namespace glimmer::cli {

// The width of the terminal on stderr, read afresh at every call so that a
// resized window is followed; 80 when it cannot be had.
int terminalColumns();

}  // namespace glimmer::cli
