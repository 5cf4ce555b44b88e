#include "formats/pdf_pages.h"

#include <poppler-document.h>
#include <poppler-global.h>
#include <poppler-image.h>
#include <poppler-page-renderer.h>
#include <poppler-page.h>

#include <climits>
#include <cmath>
#include <mutex>

#include "formats/pixel_conversion.h"

namespace glimmer {
namespace {

constexpr double kPointsPerInch = 72.0;
constexpr std::int64_t kMaxSide = 65535;

void ignoreLibraryMessage(const std::string&, void*) {}

// Poppler keeps process-wide state (its global settings, font caches) that it
// does not promise to guard, and glimmer-cli may read several PDFs at once:
// every call into it holds this lock. Drawing a page is small next to
// analysing it.
std::mutex& popplerLock() {
  static std::mutex lock;
  return lock;
}

class PdfSource final : public PageSource {
 public:
  PdfSource(std::unique_ptr<poppler::document> document, const ReadOptions& options)
      : document_(std::move(document)), options_(options) {
    renderer_.set_render_hints(poppler::page_renderer::antialiasing | poppler::page_renderer::text_antialiasing);
    renderer_.set_image_format(poppler::image::format_rgb24);
    renderer_.set_paper_color(0xffffffff);
  }
  ~PdfSource() override {
    const std::lock_guard lock(popplerLock());
    document_.reset();
  }
  PdfSource(const PdfSource&) = delete;
  PdfSource& operator=(const PdfSource&) = delete;

  std::int32_t pageCount() const override {
    const std::lock_guard lock(popplerLock());
    return document_->pages();
  }

  PageOutcome readPage(std::int32_t index) override {
    const std::lock_guard lock(popplerLock());
    const std::unique_ptr<poppler::page> page(document_->create_page(index));
    if (!page) return pageFailure("the page is damaged");
    // The page's size decides the raster's before anything is drawn.
    const poppler::rectf box = page->page_rect(poppler::crop_box);
    const double scale = options_.pdfDpi / kPointsPerInch;
    const double width = std::ceil(std::abs(box.width()) * scale) + 1;
    const double height = std::ceil(std::abs(box.height()) * scale) + 1;
    if (!(width >= 1 && height >= 1) || width > kMaxSide || height > kMaxSide ||
        width * height > static_cast<double>(options_.maxPixels)) {
      return pageFailure("the page is too large at " + std::to_string(options_.pdfDpi) + " dpi");
    }
    const poppler::image image = renderer_.render_page(page.get(), options_.pdfDpi, options_.pdfDpi);
    if (!image.is_valid() || image.format() != poppler::image::format_rgb24 || image.width() <= 0 ||
        image.height() <= 0) {
      return pageFailure("the page cannot be drawn");
    }
    Page result{GreyImage(image.width(), image.height()), options_.pdfDpi, options_.pdfDpi};
    for (std::int32_t y = 0; y < image.height(); ++y) {
      const auto* rgb = reinterpret_cast<const std::uint8_t*>(image.const_data()) +
                        static_cast<std::ptrdiff_t>(y) * image.bytes_per_row();
      std::uint8_t* out = result.image.row(y);
      for (std::int32_t x = 0; x < image.width(); ++x, rgb += 3) out[x] = lumaOf(rgb[0], rgb[1], rgb[2]);
    }
    return {std::move(result), {}, {}};
  }

 private:
  std::unique_ptr<poppler::document> document_;
  ReadOptions options_;
  poppler::page_renderer renderer_;
};

}  // namespace

std::unique_ptr<PageSource> openPdfPages(std::span<const std::uint8_t> bytes, const ReadOptions& options,
                                         std::string& problem) {
  static std::once_flag quiet;
  std::call_once(quiet, [] { poppler::set_debug_error_function(ignoreLibraryMessage, nullptr); });
  if (bytes.size() > static_cast<std::size_t>(INT_MAX)) {
    problem = "the file is too large";
    return nullptr;
  }
  const std::lock_guard lock(popplerLock());
  std::unique_ptr<poppler::document> document(poppler::document::load_from_raw_data(
      reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size())));
  if (!document) {
    problem = "the file is damaged or cut short";
    return nullptr;
  }
  if (document->is_locked()) {
    problem = "the document is encrypted and needs a password";
    return nullptr;
  }
  if (document->pages() <= 0) {
    problem = "the document has no pages";
    return nullptr;
  }
  return std::make_unique<PdfSource>(std::move(document), options);
}

}  // namespace glimmer
