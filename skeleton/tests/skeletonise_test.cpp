#include "skeleton/skeletonise.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace glimmer {
namespace {

using Picture = std::vector<std::string>;

// '#' is black ink, 'o' the lightest grey (254), '.' white; in the result any
// other value shows as '?'.
Picture thinned(const Picture& rows) {
  GreyImage image(static_cast<std::int32_t>(rows.front().size()), static_cast<std::int32_t>(rows.size()));
  for (std::int32_t y = 0; y < image.height; ++y) {
    for (std::int32_t x = 0; x < image.width; ++x) {
      const char c = rows[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)];
      image.at(x, y) = c == '#' ? 0 : c == 'o' ? 254 : 255;
    }
  }
  skeletonise(image, true);
  Picture result = rows;
  for (std::int32_t y = 0; y < image.height; ++y) {
    for (std::int32_t x = 0; x < image.width; ++x) {
      const std::uint8_t v = image.at(x, y);
      result[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)] = v == 0 ? '#' : v == 255 ? '.' : '?';
    }
  }
  return result;
}

TEST(Skeletonise, ThinsShapesToOnePixelLines) {
  struct Case {
    Picture shape;
    Picture skeleton;
  };
  const Case cases[] = {
      {{"...", ".#.", "..."}, {"...", ".#.", "..."}},
      {{".......", "...#...", "...#...", ".#####.", "...#...", "...#...", "......."},
       {".......", "...#...", "...#...", ".#####.", "...#...", "...#...", "......."}},
      {{".....", ".###.", ".###.", ".###.", "....."}, {".....", ".....", "..#..", ".....", "....."}},
      {{".....", ".ooo.", ".ooo.", ".ooo.", "....."}, {".....", ".....", "..#..", ".....", "....."}},
      {{"..........", ".########.", ".########.", ".........."},
       {"..........", "..........", ".########.", ".........."}},
      {{"...........", ".#########.", ".#########.", ".#########.", ".#########.", ".#########.", "..........."},
       {"...........", "...........", "...........", "...#####...", "...........", "...........", "..........."}},
      {{"........", ".######.", ".######.", ".##..##.", ".##..##.", ".######.", ".######.", "........"},
       {"........", "........", "...###..", "..#...#.", "..#...#.", "..#..#..", "...##...", "........"}},
      // The outermost rows and columns are never removed.
      {{"####", "#..#", "####"}, {"####", "#..#", "####"}},
      {{"##", "##", "o#"}, {"##", "##", "##"}},
      // Whether the stroke at (1, 1) goes on past its corner neighbour is read
      // at (-1, 0), outside the raster: background, so the pixel goes.
      {{"#...", "##..", "...."}, {"#...", "#...", "...."}},
  };
  for (const Case& c : cases) EXPECT_EQ(thinned(c.shape), c.skeleton);
}

// The levels as their definition gives them: sweep after sweep, every interior
// pixel of the sweep's level whose four neighbours all reach it rises by one,
// until a sweep raises none or the levels reach 255.
int levelsBySweeps(GreyImage& image) {
  for (int level = 1;; ++level) {
    bool raised = false;
    for (std::int32_t y = 1; level < 255 && y < image.height - 1; ++y) {
      for (std::int32_t x = 1; x < image.width - 1; ++x) {
        if (image.at(x, y) == level && image.at(x - 1, y) >= level && image.at(x + 1, y) >= level &&
            image.at(x, y - 1) >= level && image.at(x, y + 1) >= level) {
          image.at(x, y) = static_cast<std::uint8_t>(level + 1);
          raised = true;
        }
      }
    }
    if (!raised) return level + 1;
  }
}

// Random boxes and specks of ink, some touching the edges, and one box too
// thick for the pixel byte: the two passes must give the sweeps' levels.
TEST(Skeletonise, DistanceLevelsMatchTheirSweeps) {
  std::mt19937 random(17);
  for (std::int32_t round = 0; round < 60; ++round) {
    const auto width = static_cast<std::int32_t>(1 + random() % 90);
    const auto height = static_cast<std::int32_t>(1 + random() % 70);
    GreyImage image(width, height, 0);
    for (std::uint32_t box = random() % 12; box > 0; --box) {
      const auto left = static_cast<std::int32_t>(random() % static_cast<std::uint32_t>(width));
      const auto top = static_cast<std::int32_t>(random() % static_cast<std::uint32_t>(height));
      const auto right = std::min(width - 1, left + static_cast<std::int32_t>(random() % 40));
      const auto bottom = std::min(height - 1, top + static_cast<std::int32_t>(random() % 40));
      for (std::int32_t y = top; y <= bottom; ++y) {
        for (std::int32_t x = left; x <= right; ++x) image.at(x, y) = random() % 9 == 0 ? 0 : 1;
      }
    }
    GreyImage swept = image;
    EXPECT_EQ(computeDistanceLevels(image), levelsBySweeps(swept)) << width << " x " << height;
    EXPECT_EQ(image.pixels, swept.pixels) << width << " x " << height;
  }
  GreyImage thick(530, 530, 1);
  GreyImage swept = thick;
  EXPECT_EQ(computeDistanceLevels(thick), 256);
  EXPECT_EQ(levelsBySweeps(swept), 256);
  EXPECT_EQ(thick.pixels, swept.pixels);
}

}  // namespace
}  // namespace glimmer
