// The 8-neighbourhood of a pixel as one byte, and the neighbourhood classes the
// thinning decides by; shared by the thinning and its reference in the tests.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>

namespace glimmer::ring_code {

// Ring code: one bit per neighbour, set when the neighbour is ink, clockwise from
// the upper left. These are the neighbours' offsets in bit order.
inline constexpr std::array<std::int32_t, 8> kNeighbourDx{-1, 0, 1, 1, 1, 0, -1, -1};
inline constexpr std::array<std::int32_t, 8> kNeighbourDy{-1, -1, -1, 0, 1, 1, 1, 0};

constexpr std::uint8_t rotateLeft(std::uint8_t code, int bits) {
  return static_cast<std::uint8_t>((code << bits | code >> (8 - bits)) & 0xFF);
}

// The same neighbourhood read anticlockwise from the upper left: bit i of the
// mirror is bit (8 - i) % 8 of the ring code.
constexpr std::uint8_t mirrored(std::uint8_t code) {
  std::uint8_t mirror = 0;
  for (int bit = 0; bit < 8; ++bit) {
    if ((code >> ((8 - bit) % 8)) & 1) mirror = static_cast<std::uint8_t>(mirror | 1 << bit);
  }
  return mirror;
}

// The least code among the quarter-turn rotations of the neighbourhood and of its
// mirror image, so that one code stands for all of them.
constexpr std::uint8_t canonicalRingCode(std::uint8_t code) {
  std::uint8_t least = code;
  for (int bits = 0; bits < 8; bits += 2) {
    least = std::min({least, rotateLeft(code, bits), rotateLeft(mirrored(code), bits)});
  }
  return least;
}

using CodeTable = std::array<bool, 256>;

// Indexed by raw ring code: true when its canonical code is one of `canonicalCodes`.
constexpr CodeTable tableOf(std::initializer_list<std::uint8_t> canonicalCodes) {
  CodeTable table{};
  for (int code = 0; code < 256; ++code) {
    table[code] =
        std::ranges::find(canonicalCodes, canonicalRingCode(static_cast<std::uint8_t>(code))) != canonicalCodes.end();
  }
  return table;
}

// Neighbourhoods in which the first sweep keeps a boundary pixel.
inline constexpr CodeTable kKeepsBoundaryPixel =
    tableOf({5, 9, 13, 17, 19, 21, 23, 34, 35, 37, 39, 41, 45, 51, 53, 54, 55, 57, 61, 85, 87, 91, 95, 119});
// Neighbourhoods in which the later sweeps remove a pixel.
inline constexpr CodeTable kRedundantNeighbourhood =
    tableOf({7, 10, 11, 14, 15, 27, 31, 42, 43, 46, 47, 59, 62, 63, 107, 111, 127});
// Exactly two ink neighbours: a corner one and the edge one beside it.
inline constexpr CodeTable kCornerWithEdge = tableOf({3});

inline std::uint8_t ringCode(const std::uint8_t* pixel, std::ptrdiff_t stride) {
  return static_cast<std::uint8_t>((pixel[-stride - 1] != 0) | (pixel[-stride] != 0) << 1 |
                                   (pixel[-stride + 1] != 0) << 2 | (pixel[1] != 0) << 3 |
                                   (pixel[stride + 1] != 0) << 4 | (pixel[stride] != 0) << 5 |
                                   (pixel[stride - 1] != 0) << 6 | (pixel[-1] != 0) << 7);
}

}  // namespace glimmer::ring_code
