#include "app/shell/output_folder.h"

#include "system/path_text.h"

namespace glimmer {

std::string outputFolderProblem(const std::string& folder) {
  if (folderExists(folder)) return {};
  return fileExists(folder) ? "Output folder is not a folder" : "Output folder does not exist";
}

}  // namespace glimmer
