#include "formats/bmp_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "common/tests/scratch_dir.h"

namespace glimmer {
namespace {

using test_support::ScratchDir;

std::string bytes(std::initializer_list<int> values) {
  std::string text;
  for (int value : values) text.push_back(static_cast<char>(value));
  return text;
}

std::string headerFor(std::uint32_t width, std::uint32_t height, std::uint32_t imageBytes) {
  std::string header(54, '\0');
  const auto put = [&header](std::size_t offset, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) header[offset + i] = static_cast<char>(value >> (8 * i));
  };
  header[0] = 'B';
  header[1] = 'M';
  put(2, 54 + imageBytes);
  put(10, 54);
  put(14, 40);
  put(18, width);
  put(22, height);
  header[26] = 1;
  header[28] = 24;
  put(34, imageBytes);
  return header;
}

TEST(WriteBmp, LayoutPadsRowsAndStoresThemBottomUp) {
  const ScratchDir scratch;
  GreyImage row(4, 1), square(2, 2);
  row.pixels = {1, 2, 3, 4};
  square.at(0, 0) = 0;
  const struct {
    GreyImage image;
    std::string expected;
  } cases[] = {
      {GreyImage(1, 1, 200), headerFor(1, 1, 4) + bytes({200, 200, 200, 0})},
      {row, headerFor(4, 1, 12) + bytes({1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4})},
      {square, headerFor(2, 2, 16) + bytes({255, 255, 255, 255, 255, 255, 0, 0, 0, 0, 0, 255, 255, 255, 0, 0})},
      {GreyImage(0, 3), headerFor(0, 3, 0)},
  };
  for (const auto& [image, expected] : cases) {
    test_support::writeFile("page.bmp", std::string(5000, 'x'));
    OutputFile output("page.bmp", {.mayReplace = true});
    ASSERT_TRUE(writeBmp(image, output) && output.commit()) << output.failure();
    EXPECT_EQ(test_support::readFile("page.bmp"), expected) << image.width << "x" << image.height;
    EXPECT_EQ(test_support::listing(), std::vector<std::string>{"page.bmp"});
  }
}

}  // namespace
}  // namespace glimmer
