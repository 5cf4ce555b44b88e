// Sixteen pixels as one vector, pixel x + i in lane i: the few steps the
// thinning's distance levels take, on SSE2 where the processor has it (every
// x86-64 does) and lane by lane elsewhere, with the same results.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace glimmer::sixteen_pixels {

inline constexpr int kLanes = 16;

#if defined(__SSE2__)

using Sixteen = __m128i;

inline Sixteen load(const std::uint8_t* at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); }
inline void store(std::uint8_t* at, Sixteen lanes) { _mm_storeu_si128(reinterpret_cast<__m128i*>(at), lanes); }
inline Sixteen splat(std::uint8_t value) { return _mm_set1_epi8(static_cast<char>(value)); }
inline Sixteen lesser(Sixteen a, Sixteen b) { return _mm_min_epu8(a, b); }
inline Sixteen greater(Sixteen a, Sixteen b) { return _mm_max_epu8(a, b); }
// a + b, 255 where that passes 255.
inline Sixteen addCapped(Sixteen a, Sixteen b) { return _mm_adds_epu8(a, b); }
// Bit i set where lane i is not 0.
inline std::uint16_t nonZeroLanes(Sixteen lanes) {
  return static_cast<std::uint16_t>(~_mm_movemask_epi8(_mm_cmpeq_epi8(lanes, _mm_setzero_si128())));
}
// 255 in each of the first `count` lanes (all from 16 on) that is below 255 (ink),
// 0 in the others.
inline Sixteen inkLanes(Sixteen pixels, std::int32_t count) {
  const Sixteen lane = _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  const Sixteen counted = _mm_cmpgt_epi8(_mm_set1_epi8(static_cast<char>(std::min(count, kLanes))), lane);
  return _mm_andnot_si128(_mm_cmpeq_epi8(pixels, _mm_set1_epi8(-1)), counted);
}
// How many lanes are ink (below 255).
inline std::int32_t inkCount(Sixteen pixels) {
  const Sixteen ones = _mm_andnot_si128(_mm_cmpeq_epi8(pixels, _mm_set1_epi8(-1)), _mm_set1_epi8(1));
  const Sixteen sums = _mm_sad_epu8(ones, _mm_setzero_si128());  // each half's lanes added up
  return _mm_cvtsi128_si32(sums) + _mm_extract_epi16(sums, 4);
}
// 255 in lane i where bit i of `bits` is clear, 0 where it is set.
inline Sixteen clearBitLanes(std::uint16_t bits) {
  // Byte 0 of `bits` to lanes 0-7, byte 1 to lanes 8-15, then each lane's own bit.
  Sixteen spread = _mm_cvtsi32_si128(bits);
  spread = _mm_unpacklo_epi8(spread, spread);
  spread = _mm_unpacklo_epi16(spread, spread);
  spread = _mm_unpacklo_epi32(spread, spread);
  const Sixteen bit = _mm_setr_epi8(1, 2, 4, 8, 16, 32, 64, -128, 1, 2, 4, 8, 16, 32, 64, -128);
  return _mm_cmpeq_epi8(_mm_and_si128(spread, bit), _mm_setzero_si128());
}

// Lane i of the result is lane i - kBy of `lanes`, lanes below kBy coming from the
// top of `before` (the sixteen pixels to the left).
template <int kBy>
Sixteen movedRight(Sixteen lanes, Sixteen before) {
  return _mm_or_si128(_mm_slli_si128(lanes, kBy), _mm_srli_si128(before, kLanes - kBy));
}

// Lane i of the result is lane i + kBy of `lanes`, the top lanes coming from the
// bottom of `after` (the sixteen pixels to the right).
template <int kBy>
Sixteen movedLeft(Sixteen lanes, Sixteen after) {
  return _mm_or_si128(_mm_srli_si128(lanes, kBy), _mm_slli_si128(after, kLanes - kBy));
}

#else

using Sixteen = std::array<std::uint8_t, kLanes>;

inline Sixteen load(const std::uint8_t* at) {
  Sixteen lanes;
  std::memcpy(lanes.data(), at, kLanes);
  return lanes;
}
inline void store(std::uint8_t* at, const Sixteen& lanes) { std::memcpy(at, lanes.data(), kLanes); }
inline Sixteen splat(std::uint8_t value) {
  Sixteen lanes;
  lanes.fill(value);
  return lanes;
}

template <typename Op>
Sixteen laneByLane(const Sixteen& a, const Sixteen& b, Op op) {
  Sixteen result;
  for (int i = 0; i < kLanes; ++i) result[i] = static_cast<std::uint8_t>(op(a[i], b[i]));
  return result;
}
inline Sixteen lesser(const Sixteen& a, const Sixteen& b) {
  return laneByLane(a, b, [](int x, int y) { return std::min(x, y); });
}
inline Sixteen greater(const Sixteen& a, const Sixteen& b) {
  return laneByLane(a, b, [](int x, int y) { return std::max(x, y); });
}
inline Sixteen addCapped(const Sixteen& a, const Sixteen& b) {
  return laneByLane(a, b, [](int x, int y) { return std::min(x + y, 255); });
}
inline std::uint16_t nonZeroLanes(const Sixteen& lanes) {
  std::uint16_t bits = 0;
  for (int i = 0; i < kLanes; ++i) bits = static_cast<std::uint16_t>(bits | (lanes[i] != 0 ? 1 << i : 0));
  return bits;
}
inline Sixteen inkLanes(const Sixteen& pixels, std::int32_t count) {
  Sixteen lanes;
  for (int i = 0; i < kLanes; ++i) lanes[i] = i < count && pixels[i] != 255 ? 255 : 0;
  return lanes;
}
inline std::int32_t inkCount(const Sixteen& pixels) {
  return static_cast<std::int32_t>(std::ranges::count_if(pixels, [](std::uint8_t pixel) { return pixel != 255; }));
}
inline Sixteen clearBitLanes(std::uint16_t bits) {
  Sixteen lanes;
  for (int i = 0; i < kLanes; ++i) lanes[i] = (bits >> i & 1) != 0 ? 0 : 255;
  return lanes;
}

template <int kBy>
Sixteen movedRight(const Sixteen& lanes, const Sixteen& before) {
  Sixteen result;
  for (int i = 0; i < kLanes; ++i) result[i] = i >= kBy ? lanes[i - kBy] : before[kLanes - kBy + i];
  return result;
}

template <int kBy>
Sixteen movedLeft(const Sixteen& lanes, const Sixteen& after) {
  Sixteen result;
  for (int i = 0; i < kLanes; ++i) result[i] = i + kBy < kLanes ? lanes[i + kBy] : after[i + kBy - kLanes];
  return result;
}

#endif

}  // namespace glimmer::sixteen_pixels
