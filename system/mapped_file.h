// A regular file mapped read-only into memory, so that its pages are read by
// the kernel as they are touched: a large multi-page file costs address space,
// not memory.
//
// Should another process cut the file shorter while it is mapped, a read past
// its new end would end the process (SIGBUS). Reads of a mapping made here
// find zeros there instead, and the mapping says it was cut short: what was
// read is then not the file, and the reader must say so.
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
  // Whether a read found the file shorter than when it was mapped.
  bool cutShort() const;

 private:
  MappedFile(const std::uint8_t* data, std::size_t size, int guard) : data_(data), size_(size), guard_(guard) {}
  void unmap();

  const std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
  int guard_ = -1;  // the slot that guards its reads; -1: none (no bytes, or every slot taken)
};

}  // namespace glimmer
