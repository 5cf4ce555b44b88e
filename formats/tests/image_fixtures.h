// Test pages in the formats the image library writes, made independently of
// Glimmer's own writers, so the readers are checked against the library.
#pragma once

#include <leptonica/allheaders.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "common/grey_image.h"

namespace glimmer::test_support {

using Bytes = std::vector<std::uint8_t>;

struct PixFree {
  void operator()(PIX* pix) const { pixDestroy(&pix); }
};
using PixPtr = std::unique_ptr<PIX, PixFree>;

// A one-row raster of `depth` bits a sample holding `samples`; 32-bit samples
// are 0xRRGGBBAA.
inline PixPtr rowOf(std::int32_t depth, const std::vector<std::uint32_t>& samples, std::int32_t spp = 3) {
  PixPtr pix(pixCreate(static_cast<l_int32>(samples.size()), 1, depth));
  if (depth == 32) pixSetSpp(pix.get(), spp);
  for (std::size_t x = 0; x < samples.size(); ++x) pixSetPixel(pix.get(), static_cast<l_int32>(x), 0, samples[x]);
  return pix;
}

// `image` as a raster of `depth` bits: 8 (the greys), 16 (each grey x 257) or
// 32 (R = G = B = grey, opaque, with alpha when `spp` is 4).
inline PixPtr pixOf(const GreyImage& image, std::int32_t depth = 8, std::int32_t spp = 3) {
  PixPtr pix(pixCreate(image.width, image.height, depth));
  if (depth == 32) pixSetSpp(pix.get(), spp);
  for (std::int32_t y = 0; y < image.height; ++y) {
    for (std::int32_t x = 0; x < image.width; ++x) {
      const std::uint32_t grey = image.at(x, y);
      const std::uint32_t value = depth == 16 ? grey * 257 : depth == 32 ? grey * 0x01010100u | 0xff : grey;
      pixSetPixel(pix.get(), x, y, value);
    }
  }
  return pix;
}

inline Bytes taken(l_uint8* data, size_t size) {
  Bytes bytes(data, data + size);
  lept_free(data);
  return bytes;
}

inline Bytes pngOf(PIX* pix) {
  l_uint8* data = nullptr;
  size_t size = 0;
  pixWriteMemPng(&data, &size, pix, 0);
  return taken(data, size);
}

inline Bytes tiffOf(const std::vector<PIX*>& pages, l_int32 compression = IFF_TIFF_ZIP) {
  l_uint8* data = nullptr;
  size_t size = 0;
  if (pages.size() == 1) {
    pixWriteMemTiff(&data, &size, pages.front(), compression);
  } else {
    PIXA* pixa = pixaCreate(0);
    for (PIX* page : pages) pixaAddPix(pixa, page, L_COPY);
    pixaWriteMemMultipageTiff(&data, &size, pixa);
    pixaDestroy(&pixa);
  }
  return taken(data, size);
}

inline Bytes pdfOf(const std::vector<PIX*>& pages, l_int32 resolution) {
  PIXA* pixa = pixaCreate(0);
  for (PIX* page : pages) pixaAddPix(pixa, page, L_COPY);
  l_uint8* data = nullptr;
  size_t size = 0;
  pixaConvertToPdfData(pixa, resolution, 1.0, L_FLATE_ENCODE, 0, nullptr, &data, &size);
  pixaDestroy(&pixa);
  return taken(data, size);
}

// Sets the strip offsets of page `index` (from 0) of a little-endian TIFF of
// one strip a page past the file's end, so that page cannot be read.
inline bool breakTiffPage(Bytes& tiff, int index) {
  auto read = [&](std::size_t at, int size) {
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i) value = value << 8 | tiff.at(at + static_cast<std::size_t>(i));
    return value;
  };
  std::size_t directory = read(4, 4);
  for (int page = 0; page < index; ++page) directory = read(directory + 2 + 12 * read(directory, 2), 4);
  for (std::uint32_t entry = 0; entry < read(directory, 2); ++entry) {
    const std::size_t at = directory + 2 + 12 * entry;
    if (read(at, 2) != 273 || read(at + 4, 4) != 1) continue;
    for (int i = 0; i < 4; ++i) tiff[at + 8 + static_cast<std::size_t>(i)] = 0xf0;
    return true;
  }
  return false;
}

}  // namespace glimmer::test_support
