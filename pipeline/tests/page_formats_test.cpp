// The driver on pages stored in every format it reads, and on inputs of many
// pages: the same page gives the same bytes whatever its format, and every
// page of a TIFF or PDF becomes its own result, in order.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "analysis/tests/test_pages.h"
#include "common/tests/scratch_dir.h"
#include "formats/page_reader.h"
#include "formats/pixel_conversion.h"
#include "formats/tests/image_fixtures.h"
#include "pipeline/driver.h"
#include "pipeline/tests/recording_host.h"

namespace glimmer {
namespace {

namespace fs = std::filesystem;
using test_support::Bytes;
using test_support::pixOf;
using test_support::PixPtr;
using test_support::readFile;
using test_support::RecordingHost;
using test_support::ScratchDir;

// Rings and bars of several greys and stroke widths; `shift` moves them, so
// that pages differ.
GreyImage textPage(std::int32_t shift) {
  GreyImage page(120, 40);
  for (std::int32_t i = 0; i < 6; ++i) {
    const std::int32_t left = 4 + shift + i * 18;
    const auto grey = static_cast<std::uint8_t>(40 + 15 * i);
    if (i % 3 == 2) {
      test_support::fillBox(page, left, 8, left + 3, 27, grey);
    } else {
      test_support::drawRing(page, left, 8, left + 11, 27, 2 + i % 3, grey);
    }
  }
  return page;
}

std::string pgmOf(const GreyImage& image) {
  return "P5\n" + std::to_string(image.width) + " " + std::to_string(image.height) + "\n255\n" +
         std::string(image.pixels.begin(), image.pixels.end());
}

void store(const std::string& path, const Bytes& bytes) {
  test_support::writeFile(path, std::string(bytes.begin(), bytes.end()));
}

class PageFormats : public ::testing::Test {
 protected:
  int run(const std::string& input, const std::string& output) {
    host.errors.clear();
    ProcessRequest request;
    request.inputPath = input;
    request.outputPath = output;
    request.pdfDpi = 72;
    std::string processed;
    return processImageFile(request, host, processed);
  }

  // The output and scores.txt of the page's PGM form.
  std::pair<std::string, std::string> reference(const GreyImage& page) {
    test_support::writeFile("reference.pgm", pgmOf(page));
    EXPECT_EQ(run("reference.pgm", "reference.bmp"), 0);
    return {readFile("reference.bmp"), readFile("scores.txt")};
  }

  ScratchDir dir;
  RecordingHost host;
};

TEST_F(PageFormats, APageGivesTheBytesOfItsGreyFormInEveryFormat) {
  const GreyImage page = textPage(0);
  const auto [expected, scores] = reference(page);
  ASSERT_NE(expected.find('\x28'), std::string::npos) << "the page has words";

  GreyImage colourGreys(page.width, page.height);
  PixPtr colour(pixCreate(page.width, page.height, 32));
  for (std::int32_t y = 0; y < page.height; ++y) {
    for (std::int32_t x = 0; x < page.width; ++x) {
      // Ink in a reddish tint: its luma, not any one sample, is the grey.
      const std::uint32_t grey = page.at(x, y), red = grey, green = grey < 255 ? grey / 2 : 255, blue = grey;
      pixSetPixel(colour.get(), x, y, red << 24 | green << 16 | blue << 8);
      colourGreys.at(x, y) = lumaOf(red, green, blue);
    }
  }
  const auto [colourExpected, colourScores] = reference(colourGreys);

  const struct {
    const char* name;
    Bytes file;
    const std::string& output;
  } cases[] = {
      {"page.png", test_support::pngOf(pixOf(page).get()), expected},
      {"page16.png", test_support::pngOf(pixOf(page, 16).get()), expected},
      {"rgba.png", test_support::pngOf(pixOf(page, 32, 4).get()), expected},
      {"page.tif", test_support::tiffOf({pixOf(page).get()}), expected},
      {"colour.png", test_support::pngOf(colour.get()), colourExpected},
  };
  for (const auto& [name, file, output] : cases) {
    store(name, file);
    EXPECT_EQ(run(name, "out.bmp"), 0) << name;
    EXPECT_TRUE(readFile("out.bmp") == output) << name;
  }
}

TEST_F(PageFormats, EveryPageOfATiffOrPdfIsAResultOfItsOwnInOrder) {
  const std::vector<GreyImage> pages = {textPage(0), textPage(3), GreyImage(120, 40)};
  std::vector<std::string> expected;
  for (const GreyImage& page : pages) expected.push_back(reference(page).first);
  const std::string lastScores = readFile("scores.txt");

  const PixPtr first = pixOf(pages[0]), second = pixOf(pages[1]), third = pixOf(pages[2]);
  store("book.tif", test_support::tiffOf({first.get(), second.get(), third.get()}));
  ASSERT_EQ(run("book.tif", "book.bmp"), 0);
  EXPECT_FALSE(fs::exists("book.bmp"));
  for (std::size_t i = 0; i < pages.size(); ++i) {
    EXPECT_TRUE(readFile("book-000" + std::to_string(i + 1) + ".bmp") == expected[i]) << "page " << i + 1;
  }
  EXPECT_EQ(readFile("scores.txt"), lastScores) << "the diagnostics describe the last page";

  // Drawn at 72 dpi, a page stored at 72 dpi has its own size: pages of two
  // widths show the order. (Their greys are the renderer's.)
  const PixPtr narrow = pixOf(GreyImage(60, 40));
  store("two.pdf", test_support::pdfOf({third.get(), narrow.get()}, 72));
  ASSERT_EQ(run("two.pdf", "two.bmp"), 0);
  EXPECT_TRUE(readFile("two-0001.bmp") == expected[2]);
  EXPECT_EQ(readFile("two-0002.bmp").size(), 54u + 180u * 40u);
  EXPECT_FALSE(fs::exists("two-0003.bmp"));
}

TEST_F(PageFormats, ABrokenPageStopsTheRunAndThePagesBeforeItAreKept) {
  const PixPtr page = pixOf(textPage(0));
  Bytes book = test_support::tiffOf({page.get(), page.get(), page.get()});
  ASSERT_TRUE(test_support::breakTiffPage(book, 2));
  store("book.tif", book);
  EXPECT_EQ(run("book.tif", "book.bmp"), 1);
  EXPECT_EQ(host.errors.front().first,
            "Cannot read page 3 of TIFF file book.tif: the page is damaged - pages 1 to 2 were written");
  EXPECT_TRUE(fs::exists("book-0001.bmp") && fs::exists("book-0002.bmp"));
  EXPECT_FALSE(fs::exists("book-0003.bmp"));

  Bytes cut = test_support::pngOf(page.get());
  cut.resize(cut.size() / 2);
  store("cut.png", cut);
  EXPECT_EQ(run("cut.png", "cut.bmp"), 1);
  EXPECT_EQ(host.errors.front().first, "Cannot read PNG file cut.png: the file is damaged or cut short");
  EXPECT_FALSE(fs::exists("cut.bmp"));
}

// The greys of a 24-bit BMP the driver wrote (blue bytes, bottom row first).
GreyImage bmpGreys(const std::string& bmp, std::int32_t width, std::int32_t height) {
  GreyImage image(width, height);
  const std::size_t rowSize = (3 * static_cast<std::size_t>(width) + 3) / 4 * 4;
  for (std::int32_t y = 0; y < height; ++y) {
    for (std::int32_t x = 0; x < width; ++x) {
      image.at(x, y) = static_cast<std::uint8_t>(bmp.at(54 + (height - 1 - y) * rowSize + 3 * x));
    }
  }
  return image;
}

std::vector<GreyImage> pagesOf(const std::string& path) {
  std::vector<GreyImage> pages;
  OpenOutcome opened = openPageFile(path, {});
  for (std::int32_t i = 0; opened.source && i < opened.source->pageCount(); ++i) {
    PageOutcome page = opened.source->readPage(i);
    if (page.page) pages.push_back(std::move(page.page->image));
  }
  return pages;
}

TEST_F(PageFormats, TheOutputExtensionChoosesTheFormatAndEveryOneHoldsTheBmpPixels) {
  const std::vector<GreyImage> pages = {textPage(0), textPage(3), textPage(6)};
  std::vector<GreyImage> expected;
  for (const GreyImage& page : pages) expected.push_back(bmpGreys(reference(page).first, 120, 40));
  const PixPtr first = pixOf(pages[0]), second = pixOf(pages[1]), third = pixOf(pages[2]);
  store("book.tif", test_support::tiffOf({first.get(), second.get(), third.get()}));

  ASSERT_EQ(run("reference.pgm", "one.png"), 0);
  EXPECT_EQ(pagesOf("one.png"), std::vector<GreyImage>{expected[2]});
  ASSERT_EQ(run("book.tif", "book.png"), 0);
  EXPECT_EQ(pagesOf("book-0002.png"), std::vector<GreyImage>{expected[1]});
  ASSERT_EQ(run("book.tif", "all.TIFF"), 0);
  EXPECT_EQ(pagesOf("all.TIFF"), expected);
  ASSERT_EQ(run("book.tif", "all.pdf"), 0);
  EXPECT_EQ(pagesOf("all.pdf").size(), 3u);
  EXPECT_TRUE(host.errors.empty());

  ProcessRequest bilevel;
  bilevel.inputPath = "book.tif";
  bilevel.outputPath = "book.bmp";
  bilevel.bilevel = true;
  std::string processed;
  EXPECT_EQ(processImageFile(bilevel, host, processed), 1);
  EXPECT_EQ(host.errors.back().first, "BMP file (book.bmp) cannot be bilevel - choose a PNG, TIFF or PDF output");
  bilevel.outputPath = "book.tif.tif";
  ASSERT_EQ(processImageFile(bilevel, host, processed), 0);
  std::vector<GreyImage> black = expected;
  for (GreyImage& page : black) {
    for (std::uint8_t& grey : page.pixels) grey = grey < 255 ? 0 : 255;
  }
  EXPECT_EQ(pagesOf("book.tif.tif"), black);
}

// Another process cuts a mapped TIFF short between its pages being counted
// and read: the reads past its new end find zeros rather than end the
// process, and every page then fails with the reason.
TEST_F(PageFormats, ATiffCutShortWhileReadFailsWithTheReason) {
  GreyImage noise(300, 300);  // no compression shrinks it below a memory page
  std::mt19937 random(3);
  for (std::uint8_t& grey : noise.pixels) grey = static_cast<std::uint8_t>(random());
  const PixPtr pix = pixOf(noise);
  store("book.tif", test_support::tiffOf({pix.get(), pix.get()}));
  OpenOutcome opened = openPageFile("book.tif", {});
  ASSERT_TRUE(opened.source) << opened.problem;
  ASSERT_EQ(opened.source->pageCount(), 2);
  fs::resize_file("book.tif", 4096);
  for (const std::int32_t index : {0, 1}) {
    const PageOutcome page = opened.source->readPage(index);
    EXPECT_FALSE(page.page);
    EXPECT_EQ(page.problem, "the file was cut short while it was read");
  }
}

}  // namespace
}  // namespace glimmer
