#include "app/desktop/main_dialog.h"
#include "pipeline/driver.h"
#include "system/child_process.h"
#include "system/core_count.h"

namespace glimmer {

namespace {

// How long the viewer is watched for a failure it reports at once (no
// handler for the file, no display); it is never waited for beyond that.
constexpr std::chrono::milliseconds kViewerWatch(500);

}  // namespace

MainDialogServices systemServices() {
  return {.countProcessorCores = countProcessorCores,
          .processImageFile = processImageFile,
          .openImageViewer = [](const std::string& path) {
            return startDetachedChild({"xdg-open", path}, kViewerWatch);
          }};
}

}  // namespace glimmer
