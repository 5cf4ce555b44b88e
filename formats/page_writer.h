// Encodes result pages as PNG, TIFF and PDF with the image library, lossless:
// 8-bit grey, or with `bilevel` one bit a pixel, every pixel below 255 black
// (PNG 1-bit, TIFF CCITT Group 4, PDF with a Group 4 image). The page's
// resolution goes into the file, so a PDF page prints at its real size. BMP
// stays with its own writer (bmp_writer.h).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/grey_image.h"

namespace glimmer {

enum class OutputFormat { bmp, png, tiff, pdf };

// The format a file name asks for by its extension, in any letter case:
// .png, .tif or .tiff, .pdf; BMP for any other name.
OutputFormat outputFormatOf(const std::string& path);

// "BMP", "PNG", "TIFF", "PDF".
const char* outputFormatName(OutputFormat format);

// TIFF and PDF hold every page of an input in one file.
constexpr bool holdsManyPages(OutputFormat format) {
  return format == OutputFormat::tiff || format == OutputFormat::pdf;
}

struct OutputPage {
  const GreyImage& image;
  std::int32_t dpiX = 0;  // 0: not known
  std::int32_t dpiY = 0;
  bool bilevel = false;
};

// The bytes of a one-page PNG; empty when it cannot be encoded.
std::vector<std::uint8_t> encodePng(const OutputPage& page);

// A TIFF or PDF built page by page; only the encoded pages are kept.
class PageDocument {
 public:
  virtual ~PageDocument() = default;
  // False when the page cannot be encoded.
  virtual bool addPage(const OutputPage& page) = 0;
  // The whole file; empty when it cannot be made.
  virtual std::vector<std::uint8_t> finish() = 0;
};

// A document for `format`, which must hold many pages.
std::unique_ptr<PageDocument> makePageDocument(OutputFormat format);

}  // namespace glimmer
