// Bits of a 64-pixel row as byte lanes, for the SSE2 paths that work on a
// row's greys and its bits together.
#pragma once

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>

namespace glimmer::detail {

// The sixteen bits of `bits` from bit `first` on as sixteen byte lanes: all
// ones where the bit is set, zero where it is clear. Each byte of the bits is
// spread over eight lanes and tested against each lane's own bit.
inline __m128i lanesOfBits(std::uint64_t bits, std::int32_t first) {
  const __m128i laneBits = _mm_set1_epi64x(static_cast<long long>(0x8040201008040201u));
  const std::uint64_t low = (bits >> first) & 0xff;
  const std::uint64_t high = (bits >> (first + 8)) & 0xff;
  const __m128i spread = _mm_set_epi64x(static_cast<long long>(high * 0x0101010101010101u),
                                        static_cast<long long>(low * 0x0101010101010101u));
  return _mm_cmpeq_epi8(_mm_and_si128(spread, laneBits), laneBits);
}

// Sixteen unsigned bytes folded into one by `pick` (a lane-wise least or
// greatest), halving four times; the shifts must be constants.
template <typename Pick>
std::int32_t foldLanes(__m128i lanes, Pick pick) {
  lanes = pick(lanes, _mm_srli_si128(lanes, 8));
  lanes = pick(lanes, _mm_srli_si128(lanes, 4));
  lanes = pick(lanes, _mm_srli_si128(lanes, 2));
  lanes = pick(lanes, _mm_srli_si128(lanes, 1));
  return _mm_cvtsi128_si32(lanes) & 0xff;
}
inline std::int32_t leastLane(__m128i lanes) {
  return foldLanes(lanes, [](__m128i a, __m128i b) { return _mm_min_epu8(a, b); });
}
inline std::int32_t greatestLane(__m128i lanes) {
  return foldLanes(lanes, [](__m128i a, __m128i b) { return _mm_max_epu8(a, b); });
}

}  // namespace glimmer::detail

#endif
