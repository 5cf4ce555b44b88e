// Owning handles for the image library's objects, so that every exit path
// releases them. Only the format readers and writers of this folder include it.
#pragma once

#include <leptonica/allheaders.h>

#include <cstdint>
#include <memory>

namespace glimmer::leptonica {

struct PixDeleter {
  void operator()(PIX* pix) const { pixDestroy(&pix); }
};
using PixHandle = std::unique_ptr<PIX, PixDeleter>;

// A buffer the library allocated (encoded file data).
struct BufferDeleter {
  void operator()(l_uint8* data) const { lept_free(data); }
};
using BufferHandle = std::unique_ptr<l_uint8, BufferDeleter>;

// Silences the library's messages on standard error and sets its process-wide
// reading options once: 16-bit samples are kept, not cut to their high byte.
void prepareLibrary();

}  // namespace glimmer::leptonica
