// Reads a binary Netpbm page: P5 (greyscale), or P6 with every pixel turned
// into its luma. Samples are scaled to 0..255; a short raster reads as white.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>

#include "common/grey_image.h"

namespace glimmer {

struct PnmResult {
  std::optional<GreyImage> image;  // empty when the file is not a valid PNM
  std::string problem;             // why not, in words for the user ("header cut short")
  std::string warning;             // a page that was read but is damaged: its raster was cut short
};

// The most pixels a page may have (65535 columns wide or high at most).
inline constexpr std::uint64_t kMaxPnmPixels = 268'435'456;

// Reads the page at `path`; only a regular file is read. A file that shrinks
// while it is read fails.
PnmResult readPnm(const std::string& path);

// Reads an opened file that was `sizeWhenOpened` bytes long when opened.
PnmResult readPnmStream(std::FILE* file, std::uint64_t sizeWhenOpened);

// Decodes a page held in memory. A caller that only deals with small pages
// (a fuzzer) may set a lower `maxPixels`; larger pages then fail as too large.
PnmResult decodePnm(std::span<const std::uint8_t> bytes, std::uint64_t maxPixels = kMaxPnmPixels);

}  // namespace glimmer
