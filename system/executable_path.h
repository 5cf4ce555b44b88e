// Where the running program's own file lies (not argv[0], which may be a bare
// name or a link).
#pragma once

#include <string>

namespace glimmer {

// The absolute path of the running executable; empty when it cannot be found.
std::string executablePath();

// The folder holding it, without a trailing '/' (except for the root "/");
// empty when it cannot be found.
std::string executableFolder();

}  // namespace glimmer
