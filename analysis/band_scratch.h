// Working storage of one band thread's analysis, reused from pixel to pixel.
#pragma once

#include <cstdint>

namespace glimmer {

class BandScratch {
 public:
  BandScratch(std::int32_t pageWidth, std::int32_t pageHeight) : width_(pageWidth), height_(pageHeight) {}

 private:
  std::int32_t width_;
  std::int32_t height_;
};

}  // namespace glimmer
