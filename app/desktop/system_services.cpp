#include "app/desktop/main_dialog.h"
#include "app/shell/child_process.h"
#include "app/shell/core_count.h"
#include "pipeline/driver.h"

namespace glimmer {

MainDialogServices systemServices() {
  return {.countProcessorCores = countProcessorCores,
          .processImageFile = processImageFile,
          .runChildProcess = runChildProcess};
}

}  // namespace glimmer
