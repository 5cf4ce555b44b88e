// How every stored pixel becomes the analysis's 8-bit grey, whatever its form:
// colour by ITU-R BT.601 luma, transparency laid over white, samples of other
// bit depths scaled to 0..255 as the PNM reader scales them.
#pragma once

#include <cstdint>

namespace glimmer {

// (19595 R + 38470 G + 7471 B + 32768) >> 16: the weights a grey JPEG decode
// uses; R = G = B gives that grey back.
constexpr std::uint8_t lumaOf(std::uint32_t red, std::uint32_t green, std::uint32_t blue) {
  return static_cast<std::uint8_t>((19595 * red + 38470 * green + 7471 * blue + 32768) >> 16);
}

// One sample with coverage `alpha` (255 opaque) laid over white, rounded.
constexpr std::uint32_t overWhite(std::uint32_t sample, std::uint32_t alpha) {
  return (sample * alpha + 255 * (255 - alpha) + 127) / 255;
}

constexpr std::uint8_t lumaOverWhite(std::uint32_t red, std::uint32_t green, std::uint32_t blue, std::uint32_t alpha) {
  return lumaOf(overWhite(red, alpha), overWhite(green, alpha), overWhite(blue, alpha));
}

// A sample of `maxValue` levels scaled to 0..255, (v x 255 + max / 2) / max.
constexpr std::uint8_t scaledSample(std::uint32_t value, std::uint32_t maxValue) {
  return static_cast<std::uint8_t>((value * 255 + maxValue / 2) / maxValue);
}

}  // namespace glimmer
