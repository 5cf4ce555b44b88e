#include "analysis/pixel_mask.h"

#include <algorithm>

namespace glimmer {

void keepTextOnWhite(GreyImage& page, const PixelMask& text) {
  for (std::int32_t y = 0; y < page.height; ++y) {
    std::uint8_t* const greys = page.row(y);
    const std::uint64_t* const words = text.row(y);
    for (std::int32_t wordLeft = 0; wordLeft < page.width; wordLeft += 64) {
      const std::int32_t columns = std::min(64, page.width - wordLeft);
      const std::uint64_t bits = words[wordLeft / 64];
      std::uint8_t* const out = greys + wordLeft;
      if (bits == 0) {
        std::fill_n(out, columns, std::uint8_t{255});
        continue;
      }
      for (std::int32_t i = 0; i < columns; ++i) out[i] = (bits >> i & 1) != 0 ? textPixelValue(out[i]) : 255;
    }
  }
}

}  // namespace glimmer
