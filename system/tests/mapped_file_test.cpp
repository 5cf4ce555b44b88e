#include "system/mapped_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "common/tests/scratch_dir.h"

namespace glimmer {
namespace {

using test_support::ScratchDir;

const std::size_t kPage = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));

void writeFile(const std::string& path, std::size_t size, char value) {
  std::ofstream(path, std::ios::binary) << std::string(size, value);
}

std::uint8_t readAt(const MappedFile& file, std::size_t at) {
  return static_cast<const volatile std::uint8_t*>(file.bytes().data())[at];
}

// Cut shorter while mapped, a file's bytes still in it read as they are, the
// rest of its last page as zeros (without a fault), and the pages past it as
// zeros too, and then the mapping says it was cut short. Another mapping is
// left as it is.
TEST(MappedFile, AFileCutShortWhileMappedReadsZerosPastItsEndAndSaysSo) {
  ScratchDir scratch;
  writeFile("cut", 3 * kPage, 'a');
  writeFile("whole", 3 * kPage, 'b');
  std::string problem;
  const std::optional<MappedFile> cut = MappedFile::open("cut", problem);
  const std::optional<MappedFile> whole = MappedFile::open("whole", problem);
  ASSERT_TRUE(cut && whole) << problem;
  std::filesystem::resize_file("cut", kPage + 10);

  EXPECT_EQ(readAt(*cut, kPage + 9), 'a');
  EXPECT_EQ(readAt(*cut, kPage + 10), 0);
  EXPECT_FALSE(cut->cutShort());
  EXPECT_EQ(readAt(*cut, 2 * kPage + 1), 0);
  EXPECT_TRUE(cut->cutShort());
  EXPECT_EQ(readAt(*cut, 3 * kPage - 1), 0);
  EXPECT_EQ(readAt(*cut, 0), 'a');
  EXPECT_EQ(readAt(*whole, 3 * kPage - 1), 'b');
  EXPECT_FALSE(whole->cutShort());
}

// Only the mappings made here are guarded: a bus error anywhere else still
// ends the process, and a mapping unmapped is no longer guarded.
TEST(MappedFileDeathTest, ABusErrorElsewhereStillEndsTheProcess) {
  ScratchDir scratch;
  writeFile("guarded", 2 * kPage, 'a');
  writeFile("other", 2 * kPage, 'b');
  std::string problem;
  std::optional<MappedFile> guarded = MappedFile::open("guarded", problem);
  ASSERT_TRUE(guarded) << problem;
  std::optional<MappedFile> other = MappedFile::open("other", problem);
  ASSERT_TRUE(other) << problem;
  void* const address = const_cast<std::uint8_t*>(other->bytes().data());
  other.reset();
  // Mapped again by hand at the address it had, and cut short under the mapping.
  const int descriptor = ::open("other", O_RDONLY | O_CLOEXEC);
  ASSERT_GE(descriptor, 0);
  void* const again = ::mmap(address, 2 * kPage, PROT_READ, MAP_PRIVATE | MAP_FIXED, descriptor, 0);
  ::close(descriptor);
  ASSERT_EQ(again, address);
  std::filesystem::resize_file("other", 0);
  EXPECT_DEATH(static_cast<void>(static_cast<const volatile std::uint8_t*>(again)[kPage]), "");
  EXPECT_EQ(readAt(*guarded, kPage), 'a');
  EXPECT_FALSE(guarded->cutShort());
  ::munmap(again, 2 * kPage);
}

}  // namespace
}  // namespace glimmer
