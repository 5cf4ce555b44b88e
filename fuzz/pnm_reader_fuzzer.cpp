// The PNM reader on arbitrary bytes: it must never crash, and a page it accepts
// must be whole and read back the same from its plainest encoding.
#include <cstdint>
#include <span>
#include <string>

#include "formats/pnm_reader.h"
#include "fuzz/fuzz_support.h"

namespace {

// Pages up to this size cover every path of the reader and keep each run fast.
constexpr std::uint64_t kMaxFuzzPixels = 1 << 16;

std::string plainP5(const glimmer::GreyImage& image) {
  std::string bytes = "P5\n" + std::to_string(image.width) + " " + std::to_string(image.height) + "\n255\n";
  bytes.append(image.pixels.begin(), image.pixels.end());
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using glimmer::fuzz::require;
  const glimmer::PnmResult result = glimmer::decodePnm({data, size}, kMaxFuzzPixels);
  if (!result.image) {
    require(!result.problem.empty(), "a rejected page says why");
    return 0;
  }
  const glimmer::GreyImage& image = *result.image;
  glimmer::fuzz::requireWholeRaster(image, kMaxFuzzPixels);

  const std::string plain = plainP5(image);
  const glimmer::PnmResult again =
      glimmer::decodePnm({reinterpret_cast<const std::uint8_t*>(plain.data()), plain.size()});
  require(again.image && *again.image == image, "a page reads back the same from its plain P5 form");
  return 0;
}
