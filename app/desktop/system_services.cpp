#include "app/desktop/main_dialog.h"
#include "pipeline/driver.h"
#include "system/child_process.h"
#include "system/core_count.h"

namespace glimmer {

MainDialogServices systemServices() {
  return {.countProcessorCores = countProcessorCores,
          .processImageFile = processImageFile,
          .runChildProcess = runChildProcess};
}

}  // namespace glimmer
