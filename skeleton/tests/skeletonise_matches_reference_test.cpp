// The fast thinning against the plain sweeps it replaces, byte for byte.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "formats/pnm_reader.h"
#include "skeleton/skeletonise.h"
#include "skeleton/tests/reference_skeletonise.h"

namespace glimmer {
namespace {

namespace fs = std::filesystem;

// Thins copies of `image` both ways, the fast one with the shared `scratch`
// (left over from other rasters), and reports the first pixel that differs.
::testing::AssertionResult thinsLikeTheReference(const GreyImage& image, ThinningScratch& scratch) {
  GreyImage fast = image;
  GreyImage reference = image;
  skeletonise(fast, scratch);
  referenceSkeletonise(reference);
  for (std::int32_t y = 0; y < image.height; ++y) {
    for (std::int32_t x = 0; x < image.width; ++x) {
      if (fast.at(x, y) != reference.at(x, y)) {
        return ::testing::AssertionFailure()
               << image.width << " x " << image.height << ": pixel (" << x << ", " << y << ") is " << int{fast.at(x, y)}
               << ", reference " << int{reference.at(x, y)};
      }
    }
  }
  return ::testing::AssertionSuccess();
}

std::uint8_t randomInk(std::mt19937& random) { return static_cast<std::uint8_t>(random() % 255); }

// Scattered ink of the given density, up to every edge.
GreyImage noise(std::int32_t width, std::int32_t height, double density, std::mt19937& random) {
  GreyImage image(width, height);
  std::bernoulli_distribution ink(density);
  for (std::uint8_t& pixel : image.pixels) {
    if (ink(random)) pixel = randomInk(random);
  }
  return image;
}

// Overlapping filled rectangles and discs, strokes to blobs, some cut by the
// edges, with pin holes: shapes of many levels.
GreyImage shapes(std::int32_t width, std::int32_t height, int count, std::mt19937& random) {
  GreyImage image(width, height);
  for (int i = 0; i < count; ++i) {
    const auto cx = static_cast<std::int32_t>(random() % static_cast<unsigned>(width));
    const auto cy = static_cast<std::int32_t>(random() % static_cast<unsigned>(height));
    const auto rx = static_cast<std::int32_t>(1 + random() % static_cast<unsigned>(width / 3 + 1));
    const auto ry = static_cast<std::int32_t>(1 + random() % static_cast<unsigned>(height / 3 + 1));
    const bool disc = random() % 2 == 0;
    for (std::int32_t y = std::max(0, cy - ry); y < std::min(height, cy + ry + 1); ++y) {
      for (std::int32_t x = std::max(0, cx - rx); x < std::min(width, cx + rx + 1); ++x) {
        const double dx = static_cast<double>(x - cx) / rx;
        const double dy = static_cast<double>(y - cy) / ry;
        if (!disc || dx * dx + dy * dy <= 1.0) image.at(x, y) = randomInk(random);
      }
    }
  }
  for (int hole = 0; hole < width * height / 200; ++hole) {
    image.at(static_cast<std::int32_t>(random() % static_cast<unsigned>(width)),
             static_cast<std::int32_t>(random() % static_cast<unsigned>(height))) = 255;
  }
  return image;
}

// Shapes in a band of rows away from the top and bottom, with ink on the
// outermost rows and columns all round: the edges' ink lies beyond the rows
// around the shapes' box.
GreyImage shapesInABandWithInkedEdges(std::int32_t width, std::int32_t height, std::mt19937& random) {
  GreyImage image = shapes(width, height, 3, random);
  const auto bandTop = static_cast<std::int32_t>(1 + random() % static_cast<unsigned>(height / 3 + 1));
  const auto bandBottom = static_cast<std::int32_t>(height - 1 - random() % static_cast<unsigned>(height / 3 + 1));
  for (std::int32_t y = 1; y < height - 1; ++y) {
    for (std::int32_t x = 1; x < width - 1 && (y < bandTop || y >= bandBottom); ++x) image.at(x, y) = 255;
  }
  std::bernoulli_distribution ink(0.8);
  for (std::int32_t y = 0; y < height; ++y) {
    for (std::int32_t x = 0; x < width; ++x) {
      const bool edge = x == 0 || y == 0 || x == width - 1 || y == height - 1;
      if (edge && ink(random)) image.at(x, y) = randomInk(random);
    }
  }
  return image;
}

// Sizes around the working copy's sixteen-pixel steps too.
TEST(SkeletoniseMatchesReference, RandomRastersOfManySizesAndDensities) {
  ThinningScratch scratch;
  const std::pair<std::int32_t, std::int32_t> sizes[] = {{1, 1},   {1, 7},   {2, 2},   {3, 3},   {4, 9},
                                                         {9, 4},   {15, 9},  {16, 16}, {17, 23}, {31, 12},
                                                         {33, 62}, {62, 60}, {65, 20}, {130, 41}};
  for (const auto& [width, height] : sizes) {
    for (unsigned seed = 0; seed < 60; ++seed) {
      std::mt19937 random(seed);
      for (const double density : {0.1, 0.5, 0.8, 0.97}) {
        ASSERT_TRUE(thinsLikeTheReference(noise(width, height, density, random), scratch)) << "seed " << seed;
      }
      ASSERT_TRUE(thinsLikeTheReference(shapes(width, height, 1 + static_cast<int>(seed % 6), random), scratch))
          << "seed " << seed;
      ASSERT_TRUE(thinsLikeTheReference(shapesInABandWithInkedEdges(width, height, random), scratch))
          << "seed " << seed;
    }
  }
}

// Levels stop at 255 in a blob more than 510 pixels across.
TEST(SkeletoniseMatchesReference, BlobDeeperThanTheHighestLevel) {
  ThinningScratch scratch;
  std::mt19937 random(11);
  GreyImage blob(560, 540, 0);
  for (int hole = 0; hole < 40; ++hole) {
    blob.at(static_cast<std::int32_t>(random() % 560), static_cast<std::int32_t>(random() % 540)) = 255;
  }
  EXPECT_TRUE(thinsLikeTheReference(blob, scratch));
  GreyImage framed(600, 600);
  for (std::int32_t y = 20; y < 580; ++y) {
    for (std::int32_t x = 20; x < 580; ++x) framed.at(x, y) = 3;
  }
  EXPECT_TRUE(thinsLikeTheReference(framed, scratch));
}

// Real scans, as read (nearly all ink) and cut at two thresholds (text strokes).
TEST(SkeletoniseMatchesReference, PageCrops) {
  const fs::path crops = fs::path(GLIMMER_SOURCE_DIR) / ".." / "shared" / "pages" / "crops";
  if (!fs::is_directory(crops)) GTEST_SKIP() << "no page crops at " << crops;
  ThinningScratch scratch;
  int pages = 0;
  for (const fs::directory_entry& entry : fs::directory_iterator(crops)) {
    if (entry.path().extension() != ".pgm") continue;
    std::ifstream file(entry.path(), std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    const PnmResult page = decodePnm(bytes);
    ASSERT_TRUE(page.image) << entry.path() << ": " << page.problem;
    for (const int threshold : {255, 160, 100}) {
      GreyImage cut = *page.image;
      for (std::uint8_t& pixel : cut.pixels) pixel = pixel < threshold ? pixel : 255;
      EXPECT_TRUE(thinsLikeTheReference(cut, scratch)) << entry.path() << " below " << threshold;
    }
    ++pages;
  }
  EXPECT_GT(pages, 0);
}

}  // namespace
}  // namespace glimmer
