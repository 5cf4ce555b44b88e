#include "formats/page_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "formats/leptonica_handles.h"
#include "formats/pdf_pages.h"
#include "formats/pixel_conversion.h"
#include "system/mapped_file.h"

namespace glimmer {

using leptonica::PixHandle;

namespace {

constexpr std::uint32_t kMaxSide = 65535;

bool startsWith(std::span<const std::uint8_t> bytes, std::string_view prefix, std::size_t at = 0) {
  return bytes.size() >= at + prefix.size() && std::memcmp(bytes.data() + at, prefix.data(), prefix.size()) == 0;
}

// The header's size against the limits every format shares with the PNM reader.
std::string sizeProblem(std::int64_t width, std::int64_t height, std::uint64_t maxPixels) {
  if (width <= 0 || height <= 0) return "the image has no pixels";
  if (width > kMaxSide || height > kMaxSide ||
      static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) > maxPixels) {
    return "the image is too large (" + std::to_string(width) + " x " + std::to_string(height) + " pixels)";
  }
  return {};
}

// A grey value for every colour-map entry, transparency laid over white; the
// rest of the 256 entries stay unset, to catch indices past the map.
bool colourMapGreys(PIXCMAP* map, std::array<std::int16_t, 256>& greys) {
  greys.fill(-1);
  const std::int32_t count = std::min(pixcmapGetCount(map), 256);
  for (std::int32_t i = 0; i < count; ++i) {
    l_int32 red = 0, green = 0, blue = 0, alpha = 0;
    if (pixcmapGetRGBA(map, i, &red, &green, &blue, &alpha) != 0) return false;
    greys[static_cast<std::size_t>(i)] =
        lumaOverWhite(static_cast<std::uint32_t>(red), static_cast<std::uint32_t>(green),
                      static_cast<std::uint32_t>(blue), static_cast<std::uint32_t>(alpha));
  }
  return true;
}

// The sample at column x of a row of `depth` bits a pixel.
std::uint32_t sampleAt(const l_uint32* line, std::int32_t x, std::int32_t depth) {
  switch (depth) {
    case 1:
      return GET_DATA_BIT(line, x);
    case 2:
      return GET_DATA_DIBIT(line, x);
    case 4:
      return GET_DATA_QBIT(line, x);
    case 8:
      return GET_DATA_BYTE(line, x);
    case 16:
      return GET_DATA_TWO_BYTES(line, x);
    default:
      return line[x];
  }
}

// The library's raster in the analysis's grey. 1-bit pixels set are black.
PageOutcome toGreyPage(PIX* pix) {
  const std::int32_t width = pixGetWidth(pix);
  const std::int32_t height = pixGetHeight(pix);
  const std::int32_t depth = pixGetDepth(pix);
  const bool withAlpha = depth == 32 && pixGetSpp(pix) == 4;
  std::array<std::int16_t, 256> mapGreys{};
  PIXCMAP* map = pixGetColormap(pix);
  if (map != nullptr && (depth > 8 || !colourMapGreys(map, mapGreys))) return pageFailure("the palette is damaged");
  if (map == nullptr && depth != 1 && depth != 2 && depth != 4 && depth != 8 && depth != 16 && depth != 32) {
    return pageFailure("the pixel depth is not supported");
  }
  const std::uint32_t maxValue = depth < 32 ? (1u << depth) - 1 : 255;

  Page page{GreyImage(width, height), pixGetXRes(pix), pixGetYRes(pix)};
  const l_uint32* data = pixGetData(pix);
  const std::int32_t wordsPerLine = pixGetWpl(pix);
  for (std::int32_t y = 0; y < height; ++y) {
    const l_uint32* line = data + static_cast<std::ptrdiff_t>(y) * wordsPerLine;
    std::uint8_t* out = page.image.row(y);
    for (std::int32_t x = 0; x < width; ++x) {
      const std::uint32_t sample = sampleAt(line, x, depth);
      if (map != nullptr) {
        const std::int16_t grey = mapGreys[sample];
        if (grey < 0) return pageFailure("a pixel names a colour past the palette");
        out[x] = static_cast<std::uint8_t>(grey);
      } else if (depth == 32) {
        const std::uint32_t red = (sample >> L_RED_SHIFT) & 0xff;
        const std::uint32_t green = (sample >> L_GREEN_SHIFT) & 0xff;
        const std::uint32_t blue = (sample >> L_BLUE_SHIFT) & 0xff;
        out[x] =
            withAlpha ? lumaOverWhite(red, green, blue, (sample >> L_ALPHA_SHIFT) & 0xff) : lumaOf(red, green, blue);
      } else if (depth == 1) {
        out[x] = sample != 0 ? 0 : 255;
      } else {
        out[x] = scaledSample(sample, maxValue);
      }
    }
  }
  return {std::move(page), {}, {}};
}

// PNG, WebP and the plain and bitmap Netpbm forms: one page each.
class SingleImageSource final : public PageSource {
 public:
  SingleImageSource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  std::int32_t pageCount() const override { return 1; }

  PageOutcome readPage(std::int32_t) override {
    const PixHandle pix(pixReadMem(bytes_.data(), bytes_.size()));
    if (!pix) return pageFailure("the file is damaged or cut short");
    return toGreyPage(pix.get());
  }

 private:
  std::span<const std::uint8_t> bytes_;
};

class TiffSource final : public PageSource {
 public:
  TiffSource(std::span<const std::uint8_t> bytes, std::int32_t pageCount, std::uint64_t maxPixels)
      : bytes_(bytes), pageCount_(pageCount), maxPixels_(maxPixels) {}

  std::int32_t pageCount() const override { return pageCount_; }

  PageOutcome readPage(std::int32_t index) override {
    l_int32 width = 0, height = 0, bitsPerSample = 0, samplesPerPixel = 0, resolution = 0, hasMap = 0, format = 0;
    if (readHeaderMemTiff(bytes_.data(), bytes_.size(), index, &width, &height, &bitsPerSample, &samplesPerPixel,
                          &resolution, &hasMap, &format) != 0) {
      return pageFailure("the page is damaged");
    }
    if (std::string problem = sizeProblem(width, height, maxPixels_); !problem.empty())
      return pageFailure(std::move(problem));
    const PixHandle pix(pixReadMemTiff(bytes_.data(), bytes_.size(), index));
    if (!pix) return pageFailure("the page is damaged");
    return toGreyPage(pix.get());
  }

 private:
  std::span<const std::uint8_t> bytes_;
  std::int32_t pageCount_;
  std::uint64_t maxPixels_;
};

// A PNM page, read whole when opened.
class DecodedPnmSource final : public PageSource {
 public:
  explicit DecodedPnmSource(PnmResult pnm) : pnm_(std::move(pnm)) {}
  std::int32_t pageCount() const override { return 1; }
  PageOutcome readPage(std::int32_t) override { return {Page{std::move(*pnm_.image)}, {}, pnm_.warning}; }

 private:
  PnmResult pnm_;
};

OpenOutcome pnmOutcome(PageFormat format, PnmResult pnm) {
  if (!pnm.image) return {format, nullptr, std::move(pnm.problem)};
  return {PageFormat::pnm, std::make_unique<DecodedPnmSource>(std::move(pnm)), {}};
}

// Why a page read from a mapped file is refused when another process cut
// the file shorter during the read.
constexpr const char* kCutWhileRead = "the file was cut short while it was read";

// The pages of a mapped file, for as long as the mapping lives.
class MappedSource final : public PageSource {
 public:
  MappedSource(MappedFile file, std::unique_ptr<PageSource> pages) : file_(std::move(file)), pages_(std::move(pages)) {}
  std::int32_t pageCount() const override { return pages_->pageCount(); }
  PageOutcome readPage(std::int32_t index) override {
    PageOutcome outcome = pages_->readPage(index);
    if (file_.cutShort()) return pageFailure(kCutWhileRead);
    return outcome;
  }

 private:
  MappedFile file_;
  std::unique_ptr<PageSource> pages_;
};

std::int32_t countTiffPages(std::span<const std::uint8_t> bytes) {
  // The library counts a TIFF's pages only through a stream.
  std::FILE* stream = ::fmemopen(const_cast<std::uint8_t*>(bytes.data()), bytes.size(), "rb");
  if (stream == nullptr) return -1;
  l_int32 count = -1;
  if (tiffGetCount(stream, &count) != 0) count = -1;
  std::fclose(stream);
  return count;
}

OpenOutcome openWithLibrary(PageFormat format, std::span<const std::uint8_t> bytes, const ReadOptions& options) {
  leptonica::prepareLibrary();
  if (format == PageFormat::tiff) {
    const std::int32_t count = countTiffPages(bytes);
    if (count < 0) return {format, nullptr, "the file is damaged or cut short"};
    if (count == 0) return {format, nullptr, "the file holds no pages"};
    return {format, std::make_unique<TiffSource>(bytes, count, options.maxPixels), {}};
  }
  l_int32 libraryFormat = 0, width = 0, height = 0, bitsPerSample = 0, samplesPerPixel = 0, hasMap = 0;
  if (pixReadHeaderMem(bytes.data(), bytes.size(), &libraryFormat, &width, &height, &bitsPerSample, &samplesPerPixel,
                       &hasMap) != 0) {
    return {format, nullptr, "the file is damaged or cut short"};
  }
  if (std::string problem = sizeProblem(width, height, options.maxPixels); !problem.empty()) {
    return {format, nullptr, problem};
  }
  return {format, std::make_unique<SingleImageSource>(bytes), {}};
}

}  // namespace

PageFormat detectPageFormat(std::span<const std::uint8_t> bytes) {
  if (bytes.size() >= 2 && bytes[0] == 'P') {
    if (bytes[1] == '5' || bytes[1] == '6') return PageFormat::pnm;
    if ((bytes[1] >= '1' && bytes[1] <= '4') || bytes[1] == '7') return PageFormat::netpbm;
  }
  if (startsWith(bytes, "\x89PNG\r\n\x1a\n")) return PageFormat::png;
  if (startsWith(bytes, std::string_view("II*\0", 4)) || startsWith(bytes, std::string_view("MM\0*", 4))) {
    return PageFormat::tiff;
  }
  if (startsWith(bytes, "RIFF") && startsWith(bytes, "WEBP", 8)) return PageFormat::webp;
  if (startsWith(bytes, "%PDF-")) return PageFormat::pdf;
  if (startsWith(bytes, "\xff\xd8\xff")) return PageFormat::jpeg;
  return PageFormat::unknown;
}

PageFormat detectPageFileFormat(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return PageFormat::unknown;
  struct stat info {};
  std::array<std::uint8_t, 16> head{};
  ssize_t got = 0;
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) got = ::read(fd, head.data(), head.size());
  ::close(fd);
  return got > 0 ? detectPageFormat({head.data(), static_cast<std::size_t>(got)}) : PageFormat::unknown;
}

const char* pageFormatName(PageFormat format) {
  switch (format) {
    case PageFormat::pnm:
    case PageFormat::netpbm:
      return "PNM";
    case PageFormat::png:
      return "PNG";
    case PageFormat::tiff:
      return "TIFF";
    case PageFormat::webp:
      return "WebP";
    case PageFormat::pdf:
      return "PDF";
    case PageFormat::jpeg:
      return "JPEG";
    case PageFormat::unknown:
      break;
  }
  return "image";
}

OpenOutcome openPages(std::span<const std::uint8_t> bytes, const ReadOptions& options) {
  const PageFormat format = detectPageFormat(bytes);
  switch (format) {
    case PageFormat::unknown:
    case PageFormat::pnm:
      return pnmOutcome(format, decodePnm(bytes, options.maxPixels));
    case PageFormat::jpeg:
      return {format, nullptr, "a JPEG page is read through the JPEG decoder"};
    case PageFormat::pdf: {
      OpenOutcome outcome{format, nullptr, {}};
      outcome.source = openPdfPages(bytes, options, outcome.problem);
      return outcome;
    }
    default:
      return openWithLibrary(format, bytes, options);
  }
}

OpenOutcome openPageFile(const std::string& path, const ReadOptions& options) {
  std::string problem;
  std::optional<MappedFile> file = MappedFile::open(path, problem);
  if (!file) return {PageFormat::unknown, nullptr, problem};
  const PageFormat format = detectPageFormat(file->bytes());
  if (format == PageFormat::pnm || format == PageFormat::unknown) {
    // Read as every PNM input always was; anything unknown fails as a PNM.
    file.reset();
    return pnmOutcome(format, readPnm(path));
  }
  OpenOutcome outcome = openPages(file->bytes(), options);
  if (file->cutShort()) return {format, nullptr, kCutWhileRead};
  if (outcome.source) outcome.source = std::make_unique<MappedSource>(std::move(*file), std::move(outcome.source));
  return outcome;
}

}  // namespace glimmer
