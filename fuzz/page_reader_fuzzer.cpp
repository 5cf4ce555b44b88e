// The page reader on arbitrary bytes, with the limits and checks the driver
// uses (pages of at most 65,536 pixels, PDF pages drawn at 72 dpi): it must
// never crash, a refusal says why, and every page it gives is whole and within
// the limits.
#include <cstdint>

#include "formats/page_reader.h"
#include "fuzz/fuzz_support.h"

namespace {

constexpr std::uint64_t kMaxFuzzPixels = 1 << 16;
// A long file of pages costs time, not coverage: the first pages show it all.
constexpr std::int32_t kMaxFuzzPages = 8;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using glimmer::fuzz::require;
  glimmer::ReadOptions options;
  options.maxPixels = kMaxFuzzPixels;
  options.pdfDpi = 72;
  const glimmer::OpenOutcome opened = glimmer::openPages({data, size}, options);
  if (!opened.source) {
    require(!opened.problem.empty(), "a refused input says why");
    return 0;
  }
  require(opened.source->pageCount() >= 1, "an opened input has pages");
  for (std::int32_t i = 0; i < opened.source->pageCount() && i < kMaxFuzzPages; ++i) {
    const glimmer::PageOutcome outcome = opened.source->readPage(i);
    if (!outcome.page) {
      require(!outcome.problem.empty(), "a refused page says why");
      continue;
    }
    const glimmer::GreyImage& image = outcome.page->image;
    glimmer::fuzz::requireWholeRaster(image, kMaxFuzzPixels);
  }
  return 0;
}
