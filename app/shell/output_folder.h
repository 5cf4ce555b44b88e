// The check both front ends make on an output folder before any work.
#pragma once

#include <string>

namespace glimmer {

// Why `folder` cannot take the outputs: "Output folder does not exist" (the
// empty text included) or "Output folder is not a folder"; the empty text
// when it is a folder.
std::string outputFolderProblem(const std::string& folder);

}  // namespace glimmer
