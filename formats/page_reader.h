// Reads the pages of an input image, whatever its format, one page at a time:
// binary PNM through the PNM reader; plain and bitmap Netpbm, PNG, TIFF (every
// page) and WebP through the image library; PDF (every page) rendered by the
// PDF library. The format is told by the file's first bytes. Every page is
// turned into the analysis's 8-bit grey, and its size is checked against the
// pixel limit from the header, before anything large is allocated.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "common/grey_image.h"
#include "formats/pnm_reader.h"

namespace glimmer {

enum class PageFormat { unknown, pnm, netpbm, png, tiff, webp, pdf, jpeg };

// The format the first bytes announce; pnm is the P5/P6 form the PNM reader
// takes, netpbm the P1 to P4 forms.
PageFormat detectPageFormat(std::span<const std::uint8_t> bytes);

// The format the first bytes of the file at `path` announce; unknown when it
// cannot be read. Only a regular file is read, without blocking.
PageFormat detectPageFileFormat(const std::string& path);

// "PNG", "TIFF", ... for messages.
const char* pageFormatName(PageFormat format);

struct Page {
  GreyImage image;
  std::int32_t dpiX = 0;  // 0: the file does not say
  std::int32_t dpiY = 0;
};

struct PageOutcome {
  std::optional<Page> page;
  std::string problem;  // why the page could not be read, for the user
  std::string warning;  // a PNM page that was read but is damaged (see PnmResult)
};

inline PageOutcome pageFailure(std::string problem) { return {std::nullopt, std::move(problem), {}}; }

struct ReadOptions {
  std::int32_t pdfDpi = 300;                // resolution PDF pages are rendered at
  std::uint64_t maxPixels = kMaxPnmPixels;  // a page with more pixels is refused
};

inline constexpr std::int32_t kMinPdfDpi = 10;
inline constexpr std::int32_t kMaxPdfDpi = 2400;

// An opened input: its page count is known at once; pages are decoded only when
// asked for, so one page is held in memory at a time.
class PageSource {
 public:
  virtual ~PageSource() = default;
  virtual std::int32_t pageCount() const = 0;
  // `index` counts from 0.
  virtual PageOutcome readPage(std::int32_t index) = 0;
};

struct OpenOutcome {
  PageFormat format = PageFormat::unknown;
  std::unique_ptr<PageSource> source;  // empty when the input cannot be read
  std::string problem;                 // why not, for the user; for a PNM, the PNM reader's words
};

// Opens pages held in memory; `bytes` must outlive the source. A JPEG is not
// opened here: it is decoded by the external decoder (jpeg_conversion.h).
OpenOutcome openPages(std::span<const std::uint8_t> bytes, const ReadOptions& options);

// Opens the regular file at `path`. A P5/P6 page is read by readPnm exactly as
// a PNM input always was; other formats are mapped, not loaded, into memory.
// Should another process cut the file short while it is read, the opening or
// the page fails with that reason.
OpenOutcome openPageFile(const std::string& path, const ReadOptions& options);

}  // namespace glimmer
