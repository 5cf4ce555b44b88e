// A regular file mapped read-only into memory, so that its pages are read by
// the kernel as they are touched: a large multi-page file costs address space,
// not memory.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace glimmer {

class MappedFile {
 public:
  // Maps the file at `path`; only a regular file is opened, without blocking,
  // so a FIFO or a device in its place is refused rather than waited on.
  // An empty file maps as no bytes. Sets `problem` and returns nothing on failure.
  static std::optional<MappedFile> open(const std::string& path, std::string& problem);

  MappedFile(MappedFile&& other) noexcept;
  MappedFile& operator=(MappedFile&& other) noexcept;
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  ~MappedFile();

  std::span<const std::uint8_t> bytes() const { return {data_, size_}; }

 private:
  MappedFile(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  const std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace glimmer
