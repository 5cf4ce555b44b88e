#include "formats/page_writer.h"

#include <gtest/gtest.h>
#include <leptonica/allheaders.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "formats/page_reader.h"

namespace glimmer {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(OutputFormat, IsChosenByTheExtensionInAnyCase) {
  const std::pair<const char*, OutputFormat> cases[] = {
      {"out.png", OutputFormat::png}, {"a/b.PNG", OutputFormat::png},     {"x.tif", OutputFormat::tiff},
      {"x.TIFF", OutputFormat::tiff}, {"x.pdf", OutputFormat::pdf},       {"x.bmp", OutputFormat::bmp},
      {"x.jpg", OutputFormat::bmp},   {"v1.png/page", OutputFormat::bmp}, {"plain", OutputFormat::bmp},
  };
  for (const auto& [path, format] : cases) EXPECT_EQ(outputFormatOf(path), format) << path;
}

// A page with every kind of value the analysis writes: ink, white, and near white.
GreyImage samplePage(std::int32_t seed) {
  GreyImage image(48, 10);  // 24 x 5 points at 144 dpi: drawn back at 144 dpi, pixel for pixel
  for (std::size_t i = 0; i < image.pixels.size(); ++i) {
    const std::size_t kind = (i * 7 + static_cast<std::size_t>(seed)) % 5;
    image.pixels[i] = kind == 0   ? 0
                      : kind == 1 ? 128
                      : kind == 2 ? 254
                      : kind == 3 ? static_cast<std::uint8_t>(i)
                                  : 255;
  }
  return image;
}

GreyImage thresholded(GreyImage image) {
  for (std::uint8_t& value : image.pixels) value = value < 255 ? 0 : 255;
  return image;
}

std::vector<GreyImage> readBack(const Bytes& file) {
  ReadOptions options;
  options.pdfDpi = 144;
  OpenOutcome opened = openPages(file, options);
  std::vector<GreyImage> pages;
  EXPECT_TRUE(opened.source) << opened.problem;
  for (std::int32_t i = 0; opened.source && i < opened.source->pageCount(); ++i) {
    PageOutcome outcome = opened.source->readPage(i);
    EXPECT_TRUE(outcome.page) << outcome.problem;
    if (!outcome.page) continue;
    EXPECT_EQ(outcome.page->dpiX, 144);
    pages.push_back(std::move(outcome.page->image));
  }
  return pages;
}

// The number after `key` in `text` from `from` on.
long numberAfter(const std::string& text, const std::string& key, std::size_t from) {
  const std::size_t at = text.find(key, from);
  return at == std::string::npos ? -1 : std::stol(text.substr(at + key.size()));
}

// A PDF drawn back is resampled by the renderer, so its pages are checked as
// stored: each page's size in points, and its image's pixels, inflated, or
// its encoding when it is Group 4.
std::vector<GreyImage> pdfImages(const Bytes& file, bool bilevel) {
  const std::string text(file.begin(), file.end());
  std::vector<GreyImage> images;
  for (std::size_t page = text.find("/MediaBox [0 0 24 5]"); page != std::string::npos;
       page = text.find("/MediaBox [0 0 24 5]", page + 1)) {
    const std::size_t image = text.find("/Subtype /Image", page);
    if (image == std::string::npos) break;
    GreyImage pixels(static_cast<std::int32_t>(numberAfter(text, "/Width ", image)),
                     static_cast<std::int32_t>(numberAfter(text, "/Height ", image)));
    if (bilevel) {
      EXPECT_NE(text.find("/Filter /CCITTFaxDecode", image), std::string::npos);
    } else {
      const std::size_t stream = text.find("stream\n", image) + 7;
      uLongf size = pixels.pixels.size();
      EXPECT_EQ(uncompress(pixels.pixels.data(), &size, file.data() + stream,
                           static_cast<uLong>(numberAfter(text, "/Length ", text.rfind("<<", image)))),
                Z_OK);
    }
    images.push_back(std::move(pixels));
  }
  return images;
}

TEST(PageWriter, EveryFormatKeepsThePixelsAndTheResolution) {
  const GreyImage first = samplePage(0), second = samplePage(3);
  for (const OutputFormat format : {OutputFormat::png, OutputFormat::tiff, OutputFormat::pdf}) {
    for (const bool bilevel : {false, true}) {
      const std::string label = std::string(outputFormatName(format)) + (bilevel ? " bilevel" : " grey");
      Bytes file;
      std::vector<GreyImage> expected = {bilevel ? thresholded(first) : first};
      if (format == OutputFormat::png) {
        file = encodePng({first, 144, 144, bilevel});
      } else {
        expected.push_back(bilevel ? thresholded(second) : second);
        const std::unique_ptr<PageDocument> document = makePageDocument(format);
        ASSERT_TRUE(document->addPage({first, 144, 144, bilevel}) && document->addPage({second, 144, 144, bilevel}));
        file = document->finish();
      }
      if (format != OutputFormat::pdf) {
        EXPECT_EQ(readBack(file), expected) << label;
        continue;
      }
      const std::vector<GreyImage> stored = pdfImages(file, bilevel);
      ASSERT_EQ(stored.size(), 2u) << label;
      EXPECT_EQ(std::string(file.begin(), file.end()).find("CreationDate"), std::string::npos) << label;
      for (std::size_t i = 0; i < stored.size(); ++i) {
        EXPECT_EQ(std::pair(stored[i].width, stored[i].height), std::pair(48, 10)) << label;
        if (!bilevel) {
          EXPECT_EQ(stored[i], expected[i]) << label << " page " << i;
        }
      }
      // Drawn back at the stored resolution, every page has its size again.
      for (const GreyImage& page : readBack(file)) EXPECT_EQ(std::pair(page.width, page.height), std::pair(48, 10));
    }
  }
}

TEST(PageWriter, BilevelTiffIsGroup4) {
  const GreyImage page = samplePage(1);
  const std::unique_ptr<PageDocument> document = makePageDocument(OutputFormat::tiff);
  ASSERT_TRUE(document->addPage({page, 300, 300, true}));
  const Bytes file = document->finish();
  l_int32 width = 0, height = 0, bitsPerSample = 0, samplesPerPixel = 0, resolution = 0, hasMap = 0, format = 0;
  ASSERT_EQ(readHeaderMemTiff(file.data(), file.size(), 0, &width, &height, &bitsPerSample, &samplesPerPixel,
                              &resolution, &hasMap, &format),
            0);
  EXPECT_EQ(format, IFF_TIFF_G4);
  EXPECT_EQ(bitsPerSample, 1);
}

}  // namespace
}  // namespace glimmer
