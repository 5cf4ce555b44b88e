#include "formats/pnm_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace glimmer {
namespace {

constexpr int kEndOfInput = -1;
constexpr std::uint32_t kMaxSide = 65535;
constexpr std::uint32_t kMaxSampleValue = 65535;

// Where the bytes of a page come from: a file is read as it is parsed, so a
// huge or hostile file costs no more than its header and the raster it declares.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // The next byte, or kEndOfInput.
  virtual int next() = 0;
  // Copies up to `count` bytes into `out`; returns how many there were.
  virtual std::size_t read(std::uint8_t* out, std::size_t count) = 0;
};

class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  int next() override { return position_ < bytes_.size() ? bytes_[position_++] : kEndOfInput; }

  std::size_t read(std::uint8_t* out, std::size_t count) override {
    const std::size_t available = std::min(count, bytes_.size() - position_);
    std::memcpy(out, bytes_.data() + position_, available);
    position_ += available;
    return available;
  }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t position_ = 0;
};

class FileSource final : public ByteSource {
 public:
  explicit FileSource(std::FILE* file) : file_(file) {}

  int next() override {
    const int c = std::getc(file_);
    return c == EOF ? kEndOfInput : c;
  }

  std::size_t read(std::uint8_t* out, std::size_t count) override { return std::fread(out, 1, count, file_); }

 private:
  std::FILE* file_;
};

PnmResult rejected(std::string problem) { return {std::nullopt, std::move(problem), {}}; }

bool isWhiteSpace(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

bool isDigit(int c) { return c >= '0' && c <= '9'; }

struct PnmHeader {
  bool colour = false;  // P6: three samples per pixel, turned into one luma
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t maxValue = 0;
};

// Reads the header up to and including the single white-space byte after the
// maximum value, leaving the source at the first raster byte.
class HeaderParser {
 public:
  HeaderParser(ByteSource& source, std::uint64_t maxPixels) : source_(source), maxPixels_(maxPixels) {}

  bool parse(PnmHeader& header) {
    const int first = source_.next();
    if (first == kEndOfInput) return fail("empty file");
    const int kind = source_.next();
    if (first == 'P' && isDigit(kind) && kind != '5' && kind != '6') {
      return fail(std::string("P") + static_cast<char>(kind) + " is not read, only binary P5 and P6");
    }
    if (first != 'P' || (kind != '5' && kind != '6')) return fail("not a P5 or P6 magic number");
    header.colour = kind == '6';
    current_ = source_.next();
    if (current_ == kEndOfInput) return fail("header cut short");
    if (!isWhiteSpace(current_) && current_ != '#') return fail("magic number not followed by white space");

    if (!readField("width", kMaxSide, header.width) || !readField("height", kMaxSide, header.height)) return false;
    if (std::uint64_t{header.width} * header.height > maxPixels_) return fail("width x height above the limit");
    if (!readField("maximum value", kMaxSampleValue, header.maxValue)) return false;
    // The byte that ended the maximum value is the one separator before the raster.
    if (!isWhiteSpace(current_)) return fail("maximum value not followed by white space");
    return true;
  }

  const std::string& problem() const { return problem_; }

 private:
  bool fail(std::string problem) {
    problem_ = std::move(problem);
    return false;
  }

  // Skips white space and comments from current_ on; a comment runs to LF or CR.
  void skipSeparators() {
    while (current_ == '#' || isWhiteSpace(current_)) {
      if (current_ == '#') {
        do {
          current_ = source_.next();
        } while (current_ != '\n' && current_ != '\r' && current_ != kEndOfInput);
      } else {
        current_ = source_.next();
      }
    }
  }

  // A separator run, then a plain decimal number from 1 to `most` ended by white
  // space or a comment; current_ is left at the byte that ended it.
  bool readField(const std::string& name, std::uint32_t most, std::uint32_t& value) {
    skipSeparators();
    if (current_ == kEndOfInput) return fail("header cut short");
    if (!isDigit(current_)) return fail(name + " is not a number");
    std::uint32_t number = 0;
    for (; isDigit(current_); current_ = source_.next()) {
      // Saturates just above `most`, so a long run of digits cannot overflow.
      number = std::min(number * 10 + static_cast<std::uint32_t>(current_ - '0'), most + 1);
    }
    if (current_ == kEndOfInput) return fail("header cut short");
    if (!isWhiteSpace(current_) && current_ != '#') return fail(name + " is not a number");
    if (number < 1 || number > most) return fail(name + " not within 1 to " + std::to_string(most));
    value = number;
    return true;
  }

  ByteSource& source_;
  std::uint64_t maxPixels_;
  int current_ = kEndOfInput;
  std::string problem_;
};

// Every raw sample value mapped to 0..255; values above the maximum read as 255.
std::vector<std::uint8_t> makeScaleTable(std::uint32_t maxValue, bool twoByteSamples) {
  std::vector<std::uint8_t> table(twoByteSamples ? 65536 : 256, 255);
  for (std::uint32_t v = 0; v <= maxValue && v < table.size(); ++v) {
    table[v] = static_cast<std::uint8_t>((v * 255 + maxValue / 2) / maxValue);
  }
  return table;
}

// ITU-R BT.601 luma of scaled samples, in 16-bit fixed point; grey stays grey.
std::uint8_t luma(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
  return static_cast<std::uint8_t>((19595u * red + 38470u * green + 7471u * blue + 32768u) >> 16);
}

// Bytes past the end of the input read as 255, which `image` is filled with.
// Returns how many raster bytes the input held.
std::uint64_t readRaster(ByteSource& source, const PnmHeader& header, GreyImage& image) {
  if (!header.colour && header.maxValue == 255) return source.read(image.pixels.data(), image.pixels.size());
  const bool twoByteSamples = header.maxValue > 255;
  const std::size_t bytesPerSample = twoByteSamples ? 2 : 1;
  const std::size_t samplesPerPixel = header.colour ? 3 : 1;
  const std::size_t bytesPerPixel = bytesPerSample * samplesPerPixel;
  const std::vector<std::uint8_t> scale = makeScaleTable(header.maxValue, twoByteSamples);
  std::vector<std::uint8_t> rowBytes(bytesPerPixel * header.width);
  std::uint64_t present = 0;
  for (std::int32_t y = 0; y < image.height; ++y) {
    const std::size_t got = source.read(rowBytes.data(), rowBytes.size());
    present += got;
    std::fill(rowBytes.begin() + static_cast<std::ptrdiff_t>(got), rowBytes.end(), 255);
    std::uint8_t* out = image.row(y);
    const std::uint8_t* sample = rowBytes.data();
    auto scaled = [&](std::size_t index) {
      const std::uint8_t* at = sample + index * bytesPerSample;
      return scale[twoByteSamples ? ((at[0] << 8) | at[1]) : at[0]];
    };
    for (std::int32_t x = 0; x < image.width; ++x, sample += bytesPerPixel) {
      out[x] = header.colour ? luma(scaled(0), scaled(1), scaled(2)) : scaled(0);
    }
  }
  return present;
}

PnmResult decode(ByteSource& source, std::uint64_t maxPixels) {
  PnmHeader header;
  HeaderParser parser(source, maxPixels);
  if (!parser.parse(header)) return rejected(parser.problem());
  GreyImage image(static_cast<std::int32_t>(header.width), static_cast<std::int32_t>(header.height));
  const std::uint64_t expected =
      std::uint64_t{header.width} * header.height * (header.colour ? 3 : 1) * (header.maxValue > 255 ? 2 : 1);
  const std::uint64_t present = readRaster(source, header, image);
  std::string warning;
  if (present < expected) {
    warning = "raster cut short: " + std::to_string(present) + " of " + std::to_string(expected) +
              " bytes, the rest read as white";
  }
  return {std::move(image), {}, std::move(warning)};
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

PnmResult readPnm(const std::string& path) {
  // Opened without blocking and checked before anything is read: a FIFO or a
  // device in the page's place must neither hang the run nor feed it forever.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return rejected("cannot open file");
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return rejected("not a regular file");
  }
  const std::unique_ptr<std::FILE, FileCloser> file(::fdopen(fd, "rb"));
  if (!file) {
    ::close(fd);
    return rejected("cannot open file");
  }
  return readPnmStream(file.get(), static_cast<std::uint64_t>(info.st_size));
}

PnmResult readPnmStream(std::FILE* file, std::uint64_t sizeWhenOpened) {
  FileSource source(file);
  PnmResult result = decode(source, kMaxPnmPixels);
  // A read error is not a short file: the page is not there to be read.
  if (std::ferror(file)) return rejected("cannot read file");
  // Nor is a file whose end came before the size it had when opened: it was
  // cut while being read, and what is missing was never meant to be white.
  const long end = std::feof(file) ? std::ftell(file) : -1;
  if (end >= 0 && static_cast<std::uint64_t>(end) < sizeWhenOpened) return rejected("file shrank while read");
  return result;
}

PnmResult decodePnm(std::span<const std::uint8_t> bytes, std::uint64_t maxPixels) {
  MemorySource source(bytes);
  return decode(source, std::min(maxPixels, kMaxPnmPixels));
}

}  // namespace glimmer
