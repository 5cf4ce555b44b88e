// The settings file as the program uses it, on arbitrary file contents: the
// settings are read at start-up and saved at the end. Reading never fails, a
// save always reads back, and saving the same settings again changes nothing.
#include <cstdint>
#include <cstdio>
#include <string>

#include "app/shell/settings.h"
#include "fuzz/fuzz_support.h"

namespace {

using glimmer::fuzz::require;

constexpr const char* kFile = "glimmer.ini";

std::string readAll() {
  std::string bytes;
  if (std::FILE* file = std::fopen(kFile, "rb")) {
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) bytes.append(buffer, got);
    std::fclose(file);
  }
  return bytes;
}

std::size_t lineCount(const std::string& text) {
  std::size_t lines = 0;
  for (std::size_t start = 0; start < text.size(); ++lines) {
    const std::size_t end = text.find('\n', start);
    start = end == std::string::npos ? text.size() : end + 1;
  }
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  glimmer::fuzz::PrivateFolder::prepare(argc, argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const glimmer::fuzz::PrivateFolder inPrivateFolder;
  const std::string original(reinterpret_cast<const char*>(data), size);
  if (std::FILE* file = std::fopen(kFile, "wb")) {
    std::fwrite(original.data(), 1, original.size(), file);
    require(std::fclose(file) == 0, "the fuzzer can write its settings file");
  }

  const glimmer::Settings loaded = glimmer::loadSettings(kFile);
  // The dialog's check box flips one setting; the other is written back as read.
  const glimmer::Settings changed{!loaded.askForFileOnStartup, loaded.preferPnm};
  glimmer::saveSettings(changed, kFile);
  const glimmer::Settings reloaded = glimmer::loadSettings(kFile);
  require(reloaded.askForFileOnStartup == changed.askForFileOnStartup && reloaded.preferPnm == changed.preferPnm,
          "saved settings read back");

  const std::string saved = readAll();
  require(lineCount(saved) <= lineCount(original) + 3, "a save adds at most a section header and two keys");
  glimmer::saveSettings(changed, kFile);
  require(readAll() == saved, "saving the same settings again changes nothing");
  return 0;
}
