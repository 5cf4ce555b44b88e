// Times thinning a whole page and the stroke-width test of one word, on
// synthetic text: rows of letter-like shapes with strokes a few pixels thick.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "skeleton/skeletonise.h"
#include "skeleton/stroke_width.h"

namespace {

using glimmer::GreyImage;

constexpr std::int32_t kLetterWidth = 18;
constexpr std::int32_t kLetterHeight = 30;
constexpr std::int32_t kStroke = 4;

void fillRect(GreyImage& image, std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height,
              std::uint8_t grey) {
  for (std::int32_t y = top; y < top + height; ++y) {
    for (std::int32_t x = left; x < left + width; ++x) image.at(x, y) = grey;
  }
}

// An elliptic ring inside the letter box.
void drawBowl(GreyImage& image, std::int32_t left, std::int32_t top, std::uint8_t grey) {
  const double rx = kLetterWidth / 2.0;
  const double ry = kLetterHeight / 2.0;
  const double inner = 1.0 - 2.0 * kStroke / kLetterWidth;
  for (std::int32_t y = 0; y < kLetterHeight; ++y) {
    for (std::int32_t x = 0; x < kLetterWidth; ++x) {
      const double dx = (x + 0.5 - rx) / rx;
      const double dy = (y + 0.5 - ry) / ry;
      const double r = dx * dx + dy * dy;
      if (r <= 1.0 && r >= inner * inner) image.at(left + x, top + y) = grey;
    }
  }
}

// Stems, bowls, arches and crossed bars, in grey shades as a scan gives them.
void drawLetter(GreyImage& image, std::int32_t left, std::int32_t top, std::mt19937& random) {
  const auto grey = static_cast<std::uint8_t>(random() % 100);
  switch (random() % 4) {
    case 0:
      fillRect(image, left + kLetterWidth / 2 - kStroke / 2, top, kStroke, kLetterHeight, grey);
      break;
    case 1:
      drawBowl(image, left, top, grey);
      break;
    case 2:
      fillRect(image, left, top + kLetterHeight / 3, kStroke, kLetterHeight * 2 / 3, grey);
      fillRect(image, left + kLetterWidth - kStroke, top + kLetterHeight / 3, kStroke, kLetterHeight * 2 / 3, grey);
      fillRect(image, left, top + kLetterHeight / 3, kLetterWidth, kStroke, grey);
      break;
    default:
      fillRect(image, left + kLetterWidth / 2 - kStroke / 2, top, kStroke, kLetterHeight, grey);
      fillRect(image, left, top + kLetterHeight / 2, kLetterWidth, kStroke, grey);
      break;
  }
}

// A letter-size page at 300 dpi covered with lines of words.
GreyImage syntheticPage() {
  GreyImage page(2550, 3300);
  std::mt19937 random(47);
  for (std::int32_t top = 150; top + kLetterHeight < page.height - 150; top += 2 * kLetterHeight) {
    std::int32_t left = 150;
    while (left + 8 * (kLetterWidth + 4) < page.width - 150) {
      const auto letters = static_cast<std::int32_t>(2 + random() % 7);
      for (std::int32_t i = 0; i < letters; ++i, left += kLetterWidth + 4) drawLetter(page, left, top, random);
      left += kLetterWidth;
    }
  }
  return page;
}

void skeletonisePage(benchmark::State& state) {
  const GreyImage page = syntheticPage();
  GreyImage work;
  for (auto _ : state) {
    state.PauseTiming();
    work = page;
    state.ResumeTiming();
    glimmer::skeletonise(work);
    benchmark::DoNotOptimize(work.pixels.data());
  }
  state.SetLabel("2550 x 3300 synthetic page");
}

void strokeWidthTestOfWord(benchmark::State& state) {
  constexpr std::int32_t letters = 8;
  GreyImage word(letters * (kLetterWidth + 4), kLetterHeight);
  std::mt19937 random(5);
  std::vector<glimmer::CharacterBox> boxes;
  for (std::int32_t i = 0; i < letters; ++i) {
    const std::int32_t left = i * (kLetterWidth + 4);
    drawLetter(word, left, 0, random);
    boxes.push_back({left, 0, left + kLetterWidth - 1, kLetterHeight - 1, kLetterWidth - 1});
  }
  const glimmer::RowBox row{0, 0, word.width - 1, word.height - 1};
  for (auto _ : state) {
    // A fresh scratch each time: a word met before would be looked up, not measured.
    glimmer::StrokeWidthScratch scratch;
    glimmer::CharacterCountsMemo counts;
    benchmark::DoNotOptimize(glimmer::strokeWidthTest(word, boxes, 2000, row, 0, 0, scratch, counts));
  }
}

BENCHMARK(skeletonisePage)->Unit(benchmark::kMillisecond);
BENCHMARK(strokeWidthTestOfWord)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
