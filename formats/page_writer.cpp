#include "formats/page_writer.h"

#include <cstdio>

#include "formats/leptonica_handles.h"
#include "system/path_text.h"

namespace glimmer {

using leptonica::BufferHandle;
using leptonica::PixHandle;

namespace {

// The page as the library's raster: 8-bit grey, or 1 bit with ink set.
PixHandle toPix(const OutputPage& page) {
  const GreyImage& image = page.image;
  PixHandle pix(pixCreate(image.width, image.height, page.bilevel ? 1 : 8));
  if (!pix) return nullptr;
  l_uint32* data = pixGetData(pix.get());
  const std::int32_t wordsPerLine = pixGetWpl(pix.get());
  for (std::int32_t y = 0; y < image.height; ++y) {
    l_uint32* line = data + static_cast<std::ptrdiff_t>(y) * wordsPerLine;
    const std::uint8_t* grey = image.row(y);
    for (std::int32_t x = 0; x < image.width; ++x) {
      if (!page.bilevel) {
        SET_DATA_BYTE(line, x, grey[x]);
      } else if (grey[x] < 255) {
        SET_DATA_BIT(line, x);
      }
    }
  }
  pixSetResolution(pix.get(), page.dpiX, page.dpiY);
  return pix;
}

std::vector<std::uint8_t> takeBytes(l_uint8* data, std::size_t size) {
  const BufferHandle owned(data);
  if (data == nullptr) return {};
  return std::vector<std::uint8_t>(data, data + size);
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// Pages appended to an unnamed temporary file, the way the library grows a
// multi-page TIFF; the file is read back whole when done.
class TiffDocument final : public PageDocument {
 public:
  bool addPage(const OutputPage& page) override {
    if (!file_) file_.reset(std::tmpfile());
    const PixHandle pix = toPix(page);
    if (!file_ || !pix) return false;
    const char* mode = pages_ == 0 ? "w" : "a";
    if (pixWriteStreamTiffWA(file_.get(), pix.get(), page.bilevel ? IFF_TIFF_G4 : IFF_TIFF_ZIP, mode) != 0) {
      return false;
    }
    ++pages_;
    return true;
  }

  std::vector<std::uint8_t> finish() override {
    if (!file_ || pages_ == 0 || std::fflush(file_.get()) != 0 || std::fseek(file_.get(), 0, SEEK_END) != 0) return {};
    const long size = std::ftell(file_.get());
    if (size <= 0) return {};
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    std::rewind(file_.get());
    if (std::fread(bytes.data(), 1, bytes.size(), file_.get()) != bytes.size()) return {};
    return bytes;
  }

 private:
  std::unique_ptr<std::FILE, FileCloser> file_;
  int pages_ = 0;
};

// Every page a one-page PDF of its own, joined when done.
class PdfDocument final : public PageDocument {
 public:
  PdfDocument() : pages_(ptraCreate(0)) {
    // Without a creation date, the same page gives the same bytes on every run.
    l_pdfSetDateAndVersion(0);
  }
  ~PdfDocument() override {
    for (std::int32_t i = 0; i < count_; ++i) {
      auto* bytes = static_cast<L_BYTEA*>(ptraRemove(pages_, i, L_NO_COMPACTION));
      l_byteaDestroy(&bytes);
    }
    ptraDestroy(&pages_, 0, 0);
  }
  PdfDocument(const PdfDocument&) = delete;
  PdfDocument& operator=(const PdfDocument&) = delete;

  bool addPage(const OutputPage& page) override {
    const PixHandle pix = toPix(page);
    if (!pix || pages_ == nullptr) return false;
    l_uint8* data = nullptr;
    size_t size = 0;
    // Resolution 0: the raster's own, or the library's default when it has none.
    if (pixConvertToPdfData(pix.get(), page.bilevel ? L_G4_ENCODE : L_FLATE_ENCODE, 0, &data, &size, 0, 0, 0, nullptr,
                            nullptr, 0) != 0) {
      lept_free(data);
      return false;
    }
    const BufferHandle owned(data);
    L_BYTEA* bytes = l_byteaInitFromMem(data, size);
    if (bytes == nullptr || ptraAdd(pages_, bytes) != 0) {
      l_byteaDestroy(&bytes);
      return false;
    }
    ++count_;
    return true;
  }

  std::vector<std::uint8_t> finish() override {
    if (pages_ == nullptr || count_ == 0) return {};
    l_uint8* data = nullptr;
    size_t size = 0;
    if (ptraConcatenatePdfToData(pages_, nullptr, &data, &size) != 0) {
      lept_free(data);
      return {};
    }
    return takeBytes(data, size);
  }

 private:
  L_PTRA* pages_;
  std::int32_t count_ = 0;  // pages added, some of which joining may take out
};

}  // namespace

OutputFormat outputFormatOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return OutputFormat::bmp;
  const std::string extension = toLowerCopy(path.substr(dot + 1));
  if (extension == "png") return OutputFormat::png;
  if (extension == "tif" || extension == "tiff") return OutputFormat::tiff;
  if (extension == "pdf") return OutputFormat::pdf;
  return OutputFormat::bmp;
}

const char* outputFormatName(OutputFormat format) {
  switch (format) {
    case OutputFormat::png:
      return "PNG";
    case OutputFormat::tiff:
      return "TIFF";
    case OutputFormat::pdf:
      return "PDF";
    case OutputFormat::bmp:
      break;
  }
  return "BMP";
}

std::vector<std::uint8_t> encodePng(const OutputPage& page) {
  leptonica::prepareLibrary();
  const PixHandle pix = toPix(page);
  if (!pix) return {};
  l_uint8* data = nullptr;
  size_t size = 0;
  if (pixWriteMemPng(&data, &size, pix.get(), 0) != 0) {
    lept_free(data);
    return {};
  }
  return takeBytes(data, size);
}

std::unique_ptr<PageDocument> makePageDocument(OutputFormat format) {
  leptonica::prepareLibrary();
  if (format == OutputFormat::tiff) return std::make_unique<TiffDocument>();
  if (format == OutputFormat::pdf) return std::make_unique<PdfDocument>();
  return nullptr;
}

}  // namespace glimmer
