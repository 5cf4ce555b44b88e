#include "skeleton/skeletonise.h"

#include <gtest/gtest.h>

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
  skeletonise(image);
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

}  // namespace
}  // namespace glimmer
