#include "skeleton/skeletonise.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "skeleton/tests/golden_runs.h"

namespace glimmer {
namespace {

using Picture = std::vector<std::string>;

// '#' is black ink, 'o' the lightest grey (254), '.' white.
GreyImage fromPicture(const Picture& rows) {
  GreyImage image(static_cast<std::int32_t>(rows.front().size()), static_cast<std::int32_t>(rows.size()));
  for (std::int32_t y = 0; y < image.height; ++y) {
    for (std::int32_t x = 0; x < image.width; ++x) {
      const char c = rows[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)];
      image.at(x, y) = c == '#' ? 0 : c == 'o' ? 254 : 255;
    }
  }
  return image;
}

Picture toPicture(const GreyImage& image) {
  Picture rows(static_cast<std::size_t>(image.height), std::string(static_cast<std::size_t>(image.width), '?'));
  for (std::int32_t y = 0; y < image.height; ++y) {
    for (std::int32_t x = 0; x < image.width; ++x) {
      const std::uint8_t v = image.at(x, y);
      rows[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)] = v == 0 ? '#' : v == 255 ? '.' : '?';
    }
  }
  return rows;
}

Picture thinned(const Picture& picture) {
  GreyImage image = fromPicture(picture);
  skeletonise(image, true);
  return toPicture(image);
}

TEST(Skeletonise, OnePixelShapesStayAsTheyAre) {
  const std::vector<Picture> shapes{
      {"....", "....", "...."},
      {"...", ".#.", "..."},
      {"..........", ".########.", ".........."},
      {".......", "...#...", "...#...", ".#####.", "...#...", "...#...", "......."},
  };
  for (const Picture& shape : shapes) EXPECT_EQ(thinned(shape), shape);
}

TEST(Skeletonise, FilledShapesThinToTheirMiddle) {
  EXPECT_EQ(thinned({".....", ".###.", ".###.", ".###.", "....."}),
            (Picture{".....", ".....", "..#..", ".....", "....."}));
  EXPECT_EQ(thinned({"..........", ".########.", ".########.", ".........."}),
            (Picture{"..........", "..........", ".########.", ".........."}));
  EXPECT_EQ(thinned({"...........", ".#########.", ".#########.", ".#########.", ".#########.", ".#########.",
                     "..........."}),
            (Picture{"...........", "...........", "...........", "...#####...", "...........", "...........",
                     "..........."}));
}

TEST(Skeletonise, LightestGreyIsInk) {
  EXPECT_EQ(thinned({".....", ".ooo.", ".ooo.", ".ooo.", "....."}),
            (Picture{".....", ".....", "..#..", ".....", "....."}));
}

TEST(Skeletonise, OutermostRowsAndColumnsAreNeverRemoved) {
  EXPECT_EQ(thinned({"####", "#..#", "####"}), (Picture{"####", "#..#", "####"}));
  // Too small to have interior pixels: only the conversions run.
  EXPECT_EQ(thinned({"##", "##", "o#"}), (Picture{"##", "##", "##"}));
}

TEST(Skeletonise, LookupTwoStepsBeyondTheRasterReadsAsBackground) {
  // The interior pixel at (1, 1) has ink up-left and left only; whether the
  // stroke goes on is read at (-1, 0), outside the raster, so the pixel goes.
  EXPECT_EQ(thinned({"#...", "##..", "...."}), (Picture{"#...", "#...", "...."}));
}

TEST(Skeletonise, WithoutConversionWorksOnZeroAndOne) {
  GreyImage image(5, 5, 0);
  for (std::int32_t y = 1; y <= 3; ++y) {
    for (std::int32_t x = 1; x <= 3; ++x) image.at(x, y) = 1;
  }
  skeletonise(image, false);
  GreyImage centre(5, 5, 0);
  centre.at(2, 2) = 1;
  EXPECT_EQ(image, centre);
}

TEST(Skeletonise, MatchesRecordedSkeletonsOfWholePages) {
  const auto runs = golden::runs();
  if (runs.empty()) GTEST_SKIP() << "no recorded runs beside the repository";
  for (const golden::Run& run : runs) {
    SCOPED_TRACE(run.outputBmp.string());
    auto page = golden::readGreyBmp(run.outputBmp);
    const auto expected = golden::readGreyBmp(run.skeletonBmp);
    ASSERT_TRUE(page && expected);
    skeletonise(*page, true);
    EXPECT_TRUE(*page == *expected);
  }
}

}  // namespace
}  // namespace glimmer
