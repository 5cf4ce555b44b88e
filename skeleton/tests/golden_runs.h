// Access to the recorded runs of an independent implementation, kept beside the
// repository in shared/golden/. Tests that use them skip when they are absent.
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "common/grey_image.h"

namespace glimmer::golden {

struct Run {
  std::filesystem::path outputBmp;  // the background-free page
  std::filesystem::path skeletonBmp;
  std::filesystem::path scores;
};

inline std::vector<Run> runs() {
  namespace fs = std::filesystem;
  const fs::path root = fs::path(GLIMMER_SOURCE_DIR) / ".." / "shared" / "golden";
  std::vector<Run> found;
  std::error_code error;
  for (const auto& entry : fs::recursive_directory_iterator(root, error)) {
    const fs::path& path = entry.path();
    if (path.extension() != ".bmp" || path.filename() == "skeleton.bmp") continue;
    const fs::path folder = path.parent_path();
    if (fs::exists(folder / "skeleton.bmp") && fs::exists(folder / "scores.txt")) {
      found.push_back({path, folder / "skeleton.bmp", folder / "scores.txt"});
    }
  }
  std::ranges::sort(found, {}, &Run::outputBmp);
  return found;
}

inline std::string readText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A 24-bit bitmap whose three channels hold the same grey, rows bottom-up.
inline std::optional<GreyImage> readGreyBmp(const std::filesystem::path& path) {
  const std::string bytes = readText(path);
  const auto field = [&](std::size_t offset) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i)
      value |= static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[offset + i])) << (8 * i);
    return static_cast<std::int32_t>(value);
  };
  if (bytes.size() < 54 || bytes[0] != 'B' || bytes[1] != 'M') return std::nullopt;
  GreyImage image(field(18), field(22));
  const std::size_t rowSize = (3 * static_cast<std::size_t>(image.width) + 3) / 4 * 4;
  if (bytes.size() < 54 + rowSize * static_cast<std::size_t>(image.height)) return std::nullopt;
  for (std::int32_t y = 0; y < image.height; ++y) {
    const std::size_t rowStart = 54 + rowSize * static_cast<std::size_t>(image.height - 1 - y);
    for (std::int32_t x = 0; x < image.width; ++x) {
      image.at(x, y) = static_cast<std::uint8_t>(bytes[rowStart + 3 * static_cast<std::size_t>(x)]);
    }
  }
  return image;
}

}  // namespace glimmer::golden
