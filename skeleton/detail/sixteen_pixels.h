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
