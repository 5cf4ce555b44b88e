#include "analysis/pixel_mask.h"

#include <algorithm>

#include "analysis/detail/bit_lanes.h"

namespace glimmer {

namespace {

// The `columns` greys at `out` whose bits are set take their text values, the
// others turn white.
void keepSetGreys(std::uint8_t* out, std::uint64_t bits, std::int32_t columns) {
#if defined(__SSE2__)
  if (columns == 64) {
    // Sixteen at a time: the text value v - 128 for v > 128 (v ^ 0x80 > 0, signed) as v with its top bit cleared.
    const __m128i topBit = _mm_set1_epi8(static_cast<char>(0x80));
    for (std::int32_t i = 0; i < 64; i += 16) {
      const __m128i set = detail::lanesOfBits(bits, i);
      auto* const lane = reinterpret_cast<__m128i*>(out + i);
      const __m128i greys = _mm_loadu_si128(lane);
      const __m128i aboveMiddle = _mm_cmpgt_epi8(_mm_xor_si128(greys, topBit), _mm_setzero_si128());
      const __m128i text = _mm_xor_si128(greys, _mm_and_si128(aboveMiddle, topBit));
      _mm_storeu_si128(lane, _mm_or_si128(_mm_and_si128(set, text), _mm_andnot_si128(set, _mm_set1_epi8(-1))));
    }
    return;
  }
#endif
  for (std::int32_t i = 0; i < columns; ++i) out[i] = (bits >> i & 1) != 0 ? textPixelValue(out[i]) : 255;
}

}  // namespace

void keepTextOnWhite(GreyImage& page, const PixelMask& text) {
  for (std::int32_t y = 0; y < page.height; ++y) {
    std::uint8_t* const greys = page.row(y);
    const std::uint64_t* const words = text.row(y);
    for (std::int32_t wordLeft = 0; wordLeft < page.width; wordLeft += 64) {
      const std::int32_t columns = std::min(64, page.width - wordLeft);
      const std::uint64_t bits = words[wordLeft / 64];
      if (bits == 0) {
        std::fill_n(greys + wordLeft, columns, std::uint8_t{255});
      } else {
        keepSetGreys(greys + wordLeft, bits, columns);
      }
    }
  }
}

}  // namespace glimmer
