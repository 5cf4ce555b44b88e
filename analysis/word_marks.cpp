#include "analysis/word_marks.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <optional>
#include <vector>

namespace glimmer {

namespace {

struct Box {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;  // inclusive
  bool contains(std::int32_t x, std::int32_t y) const { return left <= x && x <= right && top <= y && y <= bottom; }
  std::int32_t width() const { return right - left + 1; }
  std::int32_t height() const { return bottom - top + 1; }
};

struct Point {
  std::int32_t x;
  std::int32_t y;
};

Box clippedTo(const GreyImage& image, Box box) {
  return {std::max(box.left, 0), std::max(box.top, 0), std::min(box.right, image.width - 1),
          std::min(box.bottom, image.height - 1)};
}

// A word whose text grey lies closer to its background than this, or than
// half the page's usual contrast, is too faint to be told from paper texture.
constexpr std::int32_t kClearContrast = 64;
// How far the pale, blurred edge of a stroke reaches from its ink.
constexpr std::int32_t kEdgeWidth = 2;
// Text greys and margins this close describe the same ink.
constexpr std::int32_t kSameGrey = 16;

// How one word's greys divide: its text grey within its margin, and what lies
// nearer the paper around it than its text grey.
class WordGreys {
 public:
  WordGreys(const KeptWord& word, std::int32_t paper) : level_(word.textLevel), margin_(word.margin), paper_(paper) {}

  bool isBackground(std::int32_t grey) const { return std::abs(grey - paper_) < std::abs(grey - level_); }
  bool isText(std::int32_t grey) const { return std::abs(grey - level_) <= margin_ && !isBackground(grey); }
  std::int32_t contrast() const { return std::abs(paper_ - level_); }
  // Within the quarter of the grey range next to the paper.
  bool isPaper(std::int32_t grey) const { return 4 * std::abs(grey - paper_) <= contrast(); }

 private:
  std::int32_t level_;
  std::int32_t margin_;
  std::int32_t paper_;
};

// The paper around a word: the median grey of the unpainted pixels of its box
// grown by two pixels. (The analysis's background grey is the commonest grey
// of a small block, which inside large bold letters is the ink.)
std::int32_t paperAround(const GreyImage& page, const GreyImage& words, const KeptWord& word) {
  const Box box = clippedTo(page, {word.left - 2, word.top - 2, word.right + 2, word.bottom + 2});
  std::array<std::int32_t, 256> counts{};
  std::int32_t total = 0;
  for (std::int32_t y = box.top; y <= box.bottom; ++y) {
    for (std::int32_t x = box.left; x <= box.right; ++x) {
      if (words.at(x, y) != 255) continue;
      ++counts[page.at(x, y)];
      ++total;
    }
  }
  std::int32_t grey = 0;
  for (std::int32_t seen = counts[0]; seen * 2 <= total && grey < 255; seen += counts[++grey]) {
  }
  return grey;
}

// The least contrast of a word that stands out from the paper. Faint "words"
// are mostly paper texture the analysis took for text: their greys tell
// neither ink from paper nor marks from more texture. On a page of faint
// writing the limit follows the page.
std::int32_t leastClearContrast(std::span<const WordGreys> greys) {
  if (greys.empty()) return kClearContrast;
  std::vector<std::int32_t> contrasts;
  contrasts.reserve(greys.size());
  for (const WordGreys& g : greys) contrasts.push_back(g.contrast());
  const auto middle = contrasts.begin() + static_cast<std::ptrdiff_t>(contrasts.size() / 2);
  std::nth_element(contrasts.begin(), middle, contrasts.end());
  return std::min(kClearContrast, *middle / 2);
}

// The sizes marks are judged by: the word's x-height, since its characters'
// full heights vary with ascenders and descenders.
struct WordScale {
  explicit WordScale(const KeptWord& word) : xHeight(std::max(word.baseline - word.meanLine, 2)) {}
  std::int32_t xHeight;
};

struct Component {
  Box box;
  std::int32_t pixelCount = 0;
};

// Too small to be a letter: dots, accents, punctuation, quotes, dashes. Specks
// of a few pixels are noise.
bool hasMarkSize(const Component& c, const WordScale& scale) {
  const std::int32_t x = scale.xHeight;
  const bool lowEnough = c.box.height() < x;  // a letter is at least an x-height tall
  const bool narrowEnough = c.box.width() <= x || (c.box.width() <= 3 * x && c.box.height() * 3 <= x);
  return lowEnough && narrowEnough && c.pixelCount <= x * x && c.pixelCount >= std::max(2, x * x / 64);
}

// A solid, roughly round or square blob about half an x-height across.
bool hasBulletShape(const Component& c, const WordScale& scale) {
  const std::int32_t x = scale.xHeight;
  const std::int32_t w = c.box.width();
  const std::int32_t h = c.box.height();
  const bool sized = std::min(w, h) * 4 >= x && std::max(w, h) <= x;
  return sized && std::max(w, h) <= 2 * std::min(w, h) && c.pixelCount * 2 >= w * h;
}

// Where a word's marks may lie: from about one x-height above its mean line
// (accents over capitals) to three quarters of an x-height below its baseline (comma
// tails), and one x-height to either side (punctuation, quotes, dashes).
Box markZone(const KeptWord& word, const WordScale& scale) {
  const std::int32_t x = scale.xHeight;
  return {word.left - x, word.meanLine - x - x / 4, word.right + x, word.baseline + 3 * x / 4};
}

// Where a bullet may stand before the first word of a line.
Box bulletZone(const KeptWord& word, const WordScale& scale) {
  const std::int32_t x = scale.xHeight;
  return {word.left - 4 * x, word.meanLine - x / 4, word.left - 1, word.baseline + x / 4};
}

// No kept word starts left of `word` on its line within the bullet's reach.
bool startsItsLine(const KeptWord& word, const WordScale& scale, std::span<const KeptWord> kept) {
  const std::int32_t reach = word.left - 5 * scale.xHeight;
  return std::none_of(kept.begin(), kept.end(), [&](const KeptWord& other) {
    return other.left < word.left && other.right >= reach && other.meanLine <= word.baseline &&
           other.baseline >= word.meanLine;
  });
}

// Finds the components of a word's text grey that lie wholly inside a zone and
// touch no painted letter.
class ComponentSearch {
 public:
  ComponentSearch(const GreyImage& page, const GreyImage& words)
      : page_(page), words_(words), visited_(page.pixels.size(), 0) {}

  // Components start in `zone` and may reach `reach` columns beyond its sides.
  template <typename Accept>
  void paintAccepted(const Box& zone, std::int32_t reach, const WordGreys& greys, Accept accept, GreyImage& result) {
    const Box start = clippedTo(page_, zone);
    const Box area = clippedTo(page_, {zone.left - reach, zone.top, zone.right + reach, zone.bottom});
    for (std::int32_t y = start.top; y <= start.bottom; ++y) {
      for (std::int32_t x = start.left; x <= start.right; ++x) {
        if (isVisited(x, y) || isPainted(x, y) || !greys.isText(page_.at(x, y))) continue;
        const std::optional<Component> component = grow(x, y, area, greys);
        if (!component || !accept(*component)) continue;
        for (const Point p : pixels_) result.at(p.x, p.y) = textPixelValue(page_.at(p.x, p.y));
      }
    }
    clearVisited();
  }

 private:
  std::size_t index(std::int32_t x, std::int32_t y) const {
    return static_cast<std::size_t>(y) * static_cast<std::size_t>(page_.width) + static_cast<std::size_t>(x);
  }
  bool isVisited(std::int32_t x, std::int32_t y) const { return visited_[index(x, y)] != 0; }
  bool isPainted(std::int32_t x, std::int32_t y) const { return words_.at(x, y) != 255; }
  void visit(std::int32_t x, std::int32_t y) {
    visited_[index(x, y)] = 1;
    touched_.push_back({x, y});
  }
  void clearVisited() {
    for (const Point p : touched_) visited_[index(p.x, p.y)] = 0;
    touched_.clear();
  }

  // The 8-connected component of text pixels from (x, y), breadth first; none
  // when it reaches out of the zone or into a painted letter. Every pixel it
  // reaches stays visited, so each zone pixel is grown at most once.
  std::optional<Component> grow(std::int32_t x, std::int32_t y, const Box& zone, const WordGreys& greys) {
    pixels_.clear();
    pixels_.push_back({x, y});
    visit(x, y);
    bool whole = true;
    Component component{{x, y, x, y}, 0};
    for (std::size_t next = 0; next < pixels_.size(); ++next) {
      const Point p = pixels_[next];
      component.box = {std::min(component.box.left, p.x), std::min(component.box.top, p.y),
                       std::max(component.box.right, p.x), std::max(component.box.bottom, p.y)};
      for (std::int32_t dy = -1; dy <= 1; ++dy) {
        for (std::int32_t dx = -1; dx <= 1; ++dx) {
          const std::int32_t nx = p.x + dx;
          const std::int32_t ny = p.y + dy;
          if (nx < 0 || ny < 0 || nx >= page_.width || ny >= page_.height) continue;
          if (isVisited(nx, ny) || !greys.isText(page_.at(nx, ny))) continue;
          if (!zone.contains(nx, ny) || isPainted(nx, ny)) {
            whole = false;  // not added: the growth stays inside the zone and outside letters
            continue;
          }
          visit(nx, ny);
          pixels_.push_back({nx, ny});
        }
      }
    }
    component.pixelCount = static_cast<std::int32_t>(pixels_.size());
    if (!whole) return std::nullopt;
    return component;
  }

  const GreyImage& page_;
  const GreyImage& words_;
  std::vector<std::uint8_t> visited_;
  std::vector<Point> touched_;
  std::vector<Point> pixels_;
};

// Painted pixels nearer the paper than the word's text grey become white
// where they are paper: a filled counter, or what the letter's growth swept
// up beyond its strokes. The blurred edge of a stroke, greys between ink and
// paper next to the ink, stays. Every other painted pixel of the box takes its
// page value again (a band may have painted it after another band whitened the
// page under it).
void clearCounters(const GreyImage& page, const GreyImage& words, const KeptWord& word, const WordGreys& greys,
                   GreyImage& result) {
  const Box box = clippedTo(page, {word.left, word.top, word.right, word.bottom});
  const auto inkAt = [&](std::int32_t x, std::int32_t y) {
    return words.at(x, y) != 255 && !greys.isBackground(page.at(x, y));
  };
  const auto nearInk = [&](std::int32_t x, std::int32_t y) {
    for (std::int32_t ny = std::max(y - kEdgeWidth, box.top); ny <= std::min(y + kEdgeWidth, box.bottom); ++ny) {
      for (std::int32_t nx = std::max(x - kEdgeWidth, box.left); nx <= std::min(x + kEdgeWidth, box.right); ++nx) {
        if (inkAt(nx, ny)) return true;
      }
    }
    return false;
  };
  for (std::int32_t y = box.top; y <= box.bottom; ++y) {
    for (std::int32_t x = box.left; x <= box.right; ++x) {
      if (words.at(x, y) == 255) continue;
      const std::uint8_t grey = page.at(x, y);
      if (!greys.isBackground(grey)) {
        // Whitening by a word whose box overlaps this one wins.
        if (result.at(x, y) != 255) result.at(x, y) = textPixelValue(grey);
      } else if (greys.isPaper(grey) || !nearInk(x, y)) {
        result.at(x, y) = 255;
      }
    }
  }
}

// The same line met from several of its characters is recorded as several
// words, each a tail of the longest. A word inside the box of a larger one on
// the same band, grown from about the same grey, would repeat its work. The
// larger words come first, so the choice does not depend on the words' order.
std::vector<KeptWord> distinctWords(std::span<const KeptWord> words) {
  const auto area = [](const KeptWord& w) {
    return std::int64_t{w.right - w.left + 1} * std::int64_t{w.bottom - w.top + 1};
  };
  std::vector<KeptWord> sorted(words.begin(), words.end());
  std::sort(sorted.begin(), sorted.end(),
            [&](const KeptWord& a, const KeptWord& b) { return area(a) != area(b) ? area(a) > area(b) : a < b; });
  std::vector<KeptWord> distinct;
  for (const KeptWord& w : sorted) {
    const bool repeated = std::any_of(distinct.begin(), distinct.end(), [&](const KeptWord& d) {
      return d.meanLine == w.meanLine && d.baseline == w.baseline && d.left <= w.left && w.right <= d.right &&
             d.top <= w.top && w.bottom <= d.bottom && std::abs(d.textLevel - w.textLevel) <= kSameGrey &&
             std::abs(d.margin - w.margin) <= kSameGrey;
    });
    if (!repeated) distinct.push_back(w);
  }
  return distinct;
}

}  // namespace

GreyImage withMarksAndCounters(const GreyImage& page, const GreyImage& words, std::span<const KeptWord> allKept) {
  const std::vector<KeptWord> kept = distinctWords(allKept);
  std::vector<WordGreys> greys;
  greys.reserve(kept.size());
  for (const KeptWord& word : kept) greys.emplace_back(word, paperAround(page, words, word));
  const std::int32_t leastContrast = leastClearContrast(greys);

  GreyImage result = words;
  ComponentSearch search(page, words);
  GreyImage clearWords(page.width, page.height, 0);  // 1 inside the box of a word that stands out
  // Counters change painted pixels only and marks unpainted ones, so neither
  // sees the other's work and the order of the words does not matter.
  for (std::size_t i = 0; i < kept.size(); ++i) {
    const KeptWord& word = kept[i];
    if (greys[i].contrast() < leastContrast) continue;
    const Box box = clippedTo(page, {word.left, word.top, word.right, word.bottom});
    for (std::int32_t y = box.top; y <= box.bottom; ++y) std::fill_n(&clearWords.at(box.left, y), box.width(), 1);
    clearCounters(page, words, word, greys[i], result);
    const WordScale scale(word);
    search.paintAccepted(
        markZone(word, scale), scale.xHeight, greys[i], [&](const Component& c) { return hasMarkSize(c, scale); },
        result);
    search.paintAccepted(
        bulletZone(word, scale), 0, greys[i],
        [&](const Component& c) { return hasBulletShape(c, scale) && startsItsLine(word, scale, kept); }, result);
  }
  // What only faint words painted is paper.
  for (std::size_t i = 0; i < result.pixels.size(); ++i) {
    if (clearWords.pixels[i] == 0 && words.pixels[i] != 255) result.pixels[i] = 255;
  }
  return result;
}

}  // namespace glimmer
