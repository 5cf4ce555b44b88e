// Reads a binary Netpbm page: P5 (greyscale), or P6 keeping the first sample
// of every pixel. Samples are scaled to 0..255; a short raster reads as white.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "common/grey_image.h"

namespace glimmer {

struct PnmResult {
  std::optional<GreyImage> image;  // empty when the file is not a valid PNM
  std::string problem;             // why not, for logs and tests
};

PnmResult readPnm(const std::string& path);
PnmResult decodePnm(std::span<const std::uint8_t> bytes);

}  // namespace glimmer
