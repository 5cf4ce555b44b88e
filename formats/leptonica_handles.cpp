#include "formats/leptonica_handles.h"

#include <mutex>

namespace glimmer::leptonica {

void prepareLibrary() {
  static std::once_flag prepared;
  std::call_once(prepared, [] {
    // Failures come back as results and reach the user through the caller;
    // the library's own lines would only clutter standard error.
    setMsgSeverity(L_SEVERITY_NONE);
    leptSetStderrHandler([](const char*) {});
    l_pngSetReadStrip16To8(0);
  });
}

}  // namespace glimmer::leptonica
