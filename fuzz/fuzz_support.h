// What the fuzz targets share: a broken promise stops the fuzzer, and a target
// whose code writes into the current directory runs each input in a private
// folder.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "common/grey_image.h"

namespace glimmer::fuzz {

// Stops the fuzzer with a message when a promise is broken; libFuzzer keeps the input.
inline void require(bool condition, const char* promise) {
  if (condition) return;
  std::fprintf(stderr, "broken promise: %s\n", promise);
  std::abort();
}

// The promises every decoded page keeps: a size within 1..65535 a side and the
// pixel limit, and a raster of exactly width x height pixels.
inline void requireWholeRaster(const GreyImage& image, std::uint64_t maxPixels) {
  require(image.width >= 1 && image.width <= 65535 && image.height >= 1 && image.height <= 65535,
          "width and height are within 1..65535");
  require(static_cast<std::uint64_t>(image.width) * static_cast<std::uint64_t>(image.height) <= maxPixels,
          "the pixel limit holds");
  require(image.pixels.size() == static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height),
          "the raster has width x height pixels");
}

// A folder of the fuzzer's own, made at start-up and removed at a normal exit
// (after a crash or an interrupt it stays, with the files of the last run). It is the
// current directory only while an input runs: between runs the fuzzer's own
// directory is current, so its corpus folders keep their meaning.
class PrivateFolder {
 public:
  // From LLVMFuzzerInitialize. Crash files would otherwise land in the private
  // folder, the current one when a run fails: an artifact path given relative
  // to the start directory is made absolute, and the default is that directory.
  static void prepare(int* argc, char*** argv) {
    static std::string folder = (std::filesystem::temp_directory_path() / "glimmer-fuzz-XXXXXX").string();
    if (::mkdtemp(folder.data()) == nullptr) fail("cannot make a private folder");
    folderFd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    startFd_ = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd_ < 0 || startFd_ < 0) fail("cannot open the private folder or the start directory");
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(folder, ignored);
    });
    anchorArtifactPaths(argc, argv);
  }

  PrivateFolder() {
    if (::fchdir(folderFd_) != 0) fail("cannot enter the private folder");
  }
  ~PrivateFolder() {
    if (::fchdir(startFd_) != 0) fail("cannot return to the start directory");
  }
  PrivateFolder(const PrivateFolder&) = delete;
  PrivateFolder& operator=(const PrivateFolder&) = delete;

 private:
  static inline int folderFd_ = -1;
  static inline int startFd_ = -1;

  [[noreturn]] static void fail(const char* what) {
    std::perror(what);
    std::abort();
  }

  static void anchorArtifactPaths(int* argc, char*** argv) {
    static std::vector<std::string> texts;
    static std::vector<char*> arguments;
    const std::string start = std::filesystem::current_path().string() + "/";
    bool artifactPathGiven = false;
    texts.assign(*argv, *argv + *argc);
    for (std::string& text : texts) {
      for (std::string_view flag : {"-artifact_prefix=", "-exact_artifact_path="}) {
        if (!text.starts_with(flag)) continue;
        artifactPathGiven = true;
        if (text.size() > flag.size() && text[flag.size()] != '/') text.insert(flag.size(), start);
      }
    }
    if (!artifactPathGiven) texts.push_back("-artifact_prefix=" + start);
    arguments.clear();
    for (std::string& text : texts) arguments.push_back(text.data());
    arguments.push_back(nullptr);
    *argc = static_cast<int>(texts.size());
    *argv = arguments.data();
  }
};

}  // namespace glimmer::fuzz
