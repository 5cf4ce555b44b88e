#include "formats/page_reader.h"

#include <gtest/gtest.h>
#include <leptonica/allheaders.h>

#include <functional>
#include <string>
#include <vector>

#include "formats/pixel_conversion.h"
#include "formats/tests/image_fixtures.h"

namespace glimmer {
namespace {

using Pixels = std::vector<std::uint8_t>;
using test_support::breakTiffPage;
using test_support::Bytes;
using test_support::PixPtr;
using test_support::rowOf;
using test_support::taken;

Bytes png(PIX* pix) { return test_support::pngOf(pix); }
Bytes tiffPages(const std::vector<PIX*>& pages) { return test_support::tiffOf(pages); }
Bytes pdfPages(const std::vector<PIX*>& pages, l_int32 resolution) { return test_support::pdfOf(pages, resolution); }

Bytes text(const std::string& content) { return Bytes(content.begin(), content.end()); }

std::vector<PageOutcome> readAll(const Bytes& bytes, ReadOptions options = {}) {
  OpenOutcome opened = openPages(bytes, options);
  std::vector<PageOutcome> pages;
  if (!opened.source) {
    pages.push_back(pageFailure(opened.problem));
    return pages;
  }
  for (std::int32_t i = 0; i < opened.source->pageCount(); ++i) pages.push_back(opened.source->readPage(i));
  return pages;
}

Pixels greysOf(const Bytes& bytes) {
  const std::vector<PageOutcome> pages = readAll(bytes);
  EXPECT_EQ(pages.size(), 1u);
  EXPECT_TRUE(pages.front().page) << pages.front().problem;
  return pages.front().page ? pages.front().page->image.pixels : Pixels{};
}

TEST(PageFormat, IsToldByTheFirstBytes) {
  const std::pair<std::string, PageFormat> cases[] = {
      {"P5\n1 1\n255\n", PageFormat::pnm},
      {"P6 ", PageFormat::pnm},
      {"P1\n", PageFormat::netpbm},
      {"P4", PageFormat::netpbm},
      {"P7\n", PageFormat::netpbm},
      {"P8\n", PageFormat::unknown},
      {"\x89PNG\r\n\x1a\n", PageFormat::png},
      {std::string("II*\0", 4), PageFormat::tiff},
      {std::string("MM\0*", 4), PageFormat::tiff},
      {std::string("RIFF\1\0\0\0WEBPVP8L", 16), PageFormat::webp},
      {std::string("RIFF\1\0\0\0WAVE", 12), PageFormat::unknown},
      {"%PDF-1.4\n", PageFormat::pdf},
      {"\xff\xd8\xff\xe0", PageFormat::jpeg},
      {"", PageFormat::unknown},
      {"BM", PageFormat::unknown},
  };
  for (const auto& [head, format] : cases) EXPECT_EQ(detectPageFormat(text(head)), format) << head;
}

TEST(PageReader, EveryStoredFormOfAPixelBecomesItsGrey) {
  PIXCMAP* palette = pixcmapCreate(8);
  pixcmapAddRGBA(palette, 255, 0, 0, 255);
  pixcmapAddRGBA(palette, 0, 0, 0, 0);
  pixcmapAddRGBA(palette, 40, 40, 40, 255);
  PixPtr mapped = rowOf(8, {0, 1, 2});
  pixSetColormap(mapped.get(), palette);
  PixPtr webpSource = rowOf(32, {0x102030ff, 0xffffffff});

  const struct {
    const char* form;
    Bytes file;
    Pixels greys;
  } cases[] = {
      {"8-bit grey PNG", png(rowOf(8, {0, 100, 255}).get()), {0, 100, 255}},
      {"16-bit grey PNG",
       png(rowOf(16, {0, 0x0081, 0x8080, 0xffff}).get()),
       {0, scaledSample(0x81, 65535), scaledSample(0x8080, 65535), 255}},
      {"RGB PNG", png(rowOf(32, {0xff000000, 0x0000ff00, 0x0a141e00}).get()), {76, 29, lumaOf(10, 20, 30)}},
      {"RGBA PNG",
       png(rowOf(32, {0x00000080, 0x12345600, 0xc8641eff}, 4).get()),
       {lumaOverWhite(0, 0, 0, 128), 255, lumaOf(200, 100, 30)}},
      {"palette PNG with transparency", png(mapped.get()), {76, 255, 40}},
      {"1-bit PNG", png(rowOf(1, {1, 0, 1}).get()), {0, 255, 0}},
      {"2-bit grey TIFF", tiffPages({rowOf(2, {0, 1, 3}).get()}), {0, 85, 255}},
      {"8-bit grey TIFF", tiffPages({rowOf(8, {7, 200}).get()}), {7, 200}},
      {"lossless WebP",
       [&] {
         l_uint8* data = nullptr;
         size_t size = 0;
         EXPECT_EQ(pixWriteMemWebP(&data, &size, webpSource.get(), 100, 1), 0);
         return taken(data, size);
       }(),
       {lumaOf(0x10, 0x20, 0x30), 255}},
      {"plain PGM", text("P2\n3 1\n255\n0 128 255\n"), {0, 128, 255}},
      {"plain PBM", text("P1\n3 1\n1 0 1\n"), {0, 255, 0}},
      {"bitmap PBM", text("P4\n8    2\n\xa0\xff"), {0, 255, 0, 255, 255, 255, 255, 255, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"grey PAM", text(std::string("P7\nWIDTH 2\nHEIGHT 1\nDEPTH 1\nMAXVAL 255\nTUPLTYPE GRAYSCALE\nENDHDR\n") + '\0' + '\x80'),
       {0, 128}},
      {"colour PAM", text("P7\nWIDTH 1\nHEIGHT 1\nDEPTH 3\nMAXVAL 255\nTUPLTYPE RGB\nENDHDR\n\x10\x20\x30"),
       {lumaOf(0x10, 0x20, 0x30)}},
  };
  for (const auto& [form, file, greys] : cases) EXPECT_EQ(greysOf(file), greys) << form;
}

TEST(PageReader, ResolutionIsKept) {
  PixPtr pix = rowOf(8, {1, 2});
  pixSetResolution(pix.get(), 150, 200);
  for (const Bytes& file : {png(pix.get()), tiffPages({pix.get()})}) {
    const std::vector<PageOutcome> pages = readAll(file);
    ASSERT_TRUE(pages.front().page);
    EXPECT_EQ(pages.front().page->dpiX, 150);
    EXPECT_EQ(pages.front().page->dpiY, 200);
  }
}

TEST(PageReader, EveryPageOfATiffAndAPdfComesInOrder) {
  const PixPtr first = rowOf(8, {10, 20}), second = rowOf(8, {30, 40}), third = rowOf(1, {1, 0});
  std::vector<Pixels> tiff;
  for (const PageOutcome& page : readAll(tiffPages({first.get(), second.get(), third.get()}))) {
    ASSERT_TRUE(page.page) << page.problem;
    tiff.push_back(page.page->image.pixels);
  }
  EXPECT_EQ(tiff, (std::vector<Pixels>{{10, 20}, {30, 40}, {0, 255}}));

  // Pages of 72 x 36 pixels stored at 72 dpi, drawn at 144 dpi: 144 x 72, one red, one blue.
  const PixPtr red(pixCreate(72, 36, 32)), blue(pixCreate(72, 36, 32));
  pixSetAllArbitrary(red.get(), 0xff000000);
  pixSetAllArbitrary(blue.get(), 0x0000ff00);
  ReadOptions options;
  options.pdfDpi = 144;
  const std::vector<PageOutcome> pdf = readAll(pdfPages({red.get(), blue.get()}, 72), options);
  ASSERT_EQ(pdf.size(), 2u);
  for (std::size_t i = 0; i < pdf.size(); ++i) {
    ASSERT_TRUE(pdf[i].page) << pdf[i].problem;
    const GreyImage& image = pdf[i].page->image;
    EXPECT_EQ(std::pair(image.width, image.height), std::pair(144, 72));
    EXPECT_EQ(pdf[i].page->dpiX, 144);
    EXPECT_EQ(image.at(70, 30), i == 0 ? 76 : 29) << "page " << i;
  }
}

Bytes pngClaiming(std::uint32_t width, std::uint32_t height) {
  Bytes file = text("\x89PNG\r\n\x1a\n");
  for (const char byte : std::string_view("\0\0\0\15IHDR", 8)) file.push_back(byte);
  for (std::uint32_t side : {width, height}) {
    for (int shift = 24; shift >= 0; shift -= 8) file.push_back(static_cast<std::uint8_t>(side >> shift));
  }
  // Bit depth 8, grey, the chunk's check value, then the end chunk.
  for (const char byte : std::string_view("\10\0\0\0\0\0\0\0\0\0\0\0\0IEND\0\0\0\0", 21)) file.push_back(byte);
  return file;
}

TEST(PageReader, HostileInputsFailWithAReasonAndPagesBeforeABrokenOneStillRead) {
  const PixPtr page = rowOf(8, {1, 2, 3});
  Bytes threePages = tiffPages({page.get(), page.get(), page.get()});
  ASSERT_TRUE(breakTiffPage(threePages, 2));
  const std::vector<PageOutcome> pages = readAll(threePages);
  ASSERT_EQ(pages.size(), 3u);
  EXPECT_TRUE(pages[0].page && pages[1].page);
  EXPECT_FALSE(pages[2].page);
  EXPECT_EQ(pages[2].problem, "the page is damaged");

  Bytes cutPng = png(page.get());
  cutPng.resize(cutPng.size() - 20);
  Bytes cutTiff = tiffPages({page.get()});
  cutTiff.resize(12);
  const std::string encryptedPdf =
      "%PDF-1.4\n1 0 obj<</Type/Catalog/Pages 2 0 R>>endobj\n2 0 obj<</Type/Pages/Kids[3 0 R]/Count 1>>endobj\n"
      "3 0 obj<</Type/Page/Parent 2 0 R/MediaBox[0 0 10 10]>>endobj\n"
      "4 0 obj<</Filter/Standard/V 1/R 2/P -4/O<" +
      std::string(64, 'a') + ">/U<" + std::string(64, 'b') +
      ">>>endobj\ntrailer<</Root 1 0 R/Encrypt 4 0 R/ID[<0102><0102>]>>\n%%EOF\n";
  const std::string emptyPdf =
      "%PDF-1.4\n1 0 obj<</Type/Catalog/Pages 2 0 R>>endobj\n2 0 obj<</Type/Pages/Kids[]/Count 0>>endobj\n"
      "trailer<</Root 1 0 R>>\n%%EOF\n";
  const struct {
    const char* name;
    Bytes file;
    std::string problem;
  } cases[] = {
      {"PNG claiming 100000 x 100000", pngClaiming(100000, 100000), "the image is too large (100000 x 100000 pixels)"},
      {"PNG claiming 0 x 5", pngClaiming(0, 5), "the file is damaged or cut short"},
      {"cut PNG", cutPng, "the file is damaged or cut short"},
      {"cut TIFF", cutTiff, "the file is damaged or cut short"},
      {"encrypted PDF", text(encryptedPdf), "the document is encrypted and needs a password"},
      {"PDF without pages", text(emptyPdf), "the document has no pages"},
      {"PDF header only", text("%PDF-1.7\n"), "the file is damaged or cut short"},
      {"plain PGM of zero width", text("P2\n0 1\n255\n"), "the file is damaged or cut short"},
      {"JPEG", text("\xff\xd8\xff\xe0"), "a JPEG page is read through the JPEG decoder"},
      {"unknown", text("GIF89a"), "not a P5 or P6 magic number"},
  };
  for (const auto& [name, file, problem] : cases) {
    const std::vector<PageOutcome> outcome = readAll(file);
    ASSERT_EQ(outcome.size(), 1u) << name;
    EXPECT_FALSE(outcome.front().page) << name;
    EXPECT_EQ(outcome.front().problem, problem) << name;
  }
}

TEST(PageReader, ThePixelLimitHoldsForEveryFormatAndForPdfAtItsResolution) {
  const PixPtr page = rowOf(8, std::vector<std::uint32_t>(20, 9));
  ReadOptions small;
  small.maxPixels = 19;
  for (const Bytes& file : {png(page.get()), tiffPages({page.get()})}) {
    EXPECT_EQ(readAll(file, small).front().problem, "the image is too large (20 x 1 pixels)");
  }
  small.maxPixels = 1000;
  small.pdfDpi = 720;
  const PixPtr square(pixCreate(72, 72, 8));
  EXPECT_EQ(readAll(pdfPages({square.get()}, 72), small).front().problem, "the page is too large at 720 dpi");
}

}  // namespace
}  // namespace glimmer
