// Eight pixels read as one little-endian word: pixel x + i is byte i.
#pragma once

#include <bit>
#include <cstdint>

namespace glimmer::eight_pixels {

static_assert(std::endian::native == std::endian::little, "pixel x + i is byte i of the word");

// The top bit of each byte of `eight` that is not 0: adding 0x7F to its low
// seven bits carries into the top bit unless they are all 0, and no byte
// carries into the next.
inline std::uint64_t nonZeroBytes(std::uint64_t eight) {
  constexpr std::uint64_t kLowSeven = 0x7F7F7F7F7F7F7F7Full;
  return (((eight & kLowSeven) + kLowSeven) | eight) & ~kLowSeven;
}

// 1 in each byte that is ink (below 255), 0 in the others.
inline std::uint64_t inkBytes(std::uint64_t eight) { return nonZeroBytes(~eight) >> 7; }

}  // namespace glimmer::eight_pixels
