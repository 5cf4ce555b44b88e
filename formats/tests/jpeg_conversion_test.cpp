#include "formats/jpeg_conversion.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include "common/tests/scratch_dir.h"
#include "system/child_process.h"

namespace glimmer {
namespace {

namespace fs = std::filesystem;
using test_support::readFile;
using test_support::writeFile;

TEST(IsJpegPath, ExtensionAfterTheLastFullStop) {
  for (const char* path : {"a.jpg", "C:/pics/scan.JPG", "b.Jpeg", "c.JPEG", "jpg"}) EXPECT_TRUE(isJpegPath(path));
  for (const char* path : {"a.pnm", "a.jpgx", "a.jpg.pnm", "C:/v1.jpg/page", "noextension"}) {
    EXPECT_FALSE(isJpegPath(path)) << path;
  }
}

class JpegConversionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directory("in");
    fs::create_directory("tmp");
    ASSERT_EQ(setenv("TMPDIR", folder_.file("tmp").c_str(), 1), 0);
  }
  void TearDown() override { unsetenv("TMPDIR"); }

  test_support::ScratchDir folder_;
};

TEST_F(JpegConversionTest, DecodesIntoTheTemporaryFolderAndNothingBesideTheInput) {
  std::string pgm = "P5\n16 8\n255\n";
  for (int i = 0; i < 16 * 8; ++i) pgm += static_cast<char>(i % 16 < 8 ? 40 : 220);
  writeFile("source.pgm", pgm);
  ASSERT_EQ(
      runChildArguments({"cjpeg", "-quality", "100", "-grayscale", "-outfile", "in/scan.JPG", "source.pgm"}, true), 0);
  {
    const JpegConversion conversion = convertJpegToPnm("in/scan.JPG");
    ASSERT_TRUE(conversion.ok) << conversion.message;
    EXPECT_TRUE(conversion.pnmPath.starts_with(folder_.file("tmp/")) && conversion.pnmPath.ends_with(".pnm"));
    const std::string decoded = readFile(conversion.pnmPath);
    ASSERT_EQ(decoded.size(), pgm.size());
    for (std::size_t i = 0; i < pgm.size(); ++i) EXPECT_NEAR(decoded[i], pgm[i], 4) << i;
  }
  EXPECT_TRUE(fs::is_empty("tmp"));
  EXPECT_EQ(std::distance(fs::directory_iterator("in"), fs::directory_iterator()), 1);
}

TEST_F(JpegConversionTest, DecoderFailuresAreReportedAndLeaveNoPartPage) {
  writeFile("scan.jpg", "this is no JPEG");
  fs::create_directory("bin");
  const struct {
    std::string decoder, message;
    bool foundOnPath = true;
  } cases[] = {
      {"", "Not a valid PNM file (djpeg: Not a JPEG file: starts with 0x74 0x68)"},  // the real decoder, given no JPEG
      {"printf 'Unsupported color conversion request\\n\\n' >&2; exit 1",
       "Not a valid PNM file (djpeg: Unsupported color conversion request)"},
      {"exit 3", "Not a valid PNM file"},
      {"kill -9 $$", "Not a valid PNM file"},
      {"exec sleep 1000", "djpeg did not finish within 0.3 seconds"},
      {"", "Can't find djpeg", false},
  };
  const std::string path = std::getenv("PATH");
  for (const auto& [decoder, message, foundOnPath] : cases) {
    fs::remove("bin/djpeg");
    if (!decoder.empty()) {
      // Writes the start of a page, as a real decoder does before it fails.
      writeFile("bin/djpeg", "#!/bin/sh\nprintf 'P5\\n4 4\\n255\\n' > \"$3\"\n" + decoder + "\n");
      ASSERT_EQ(chmod("bin/djpeg", 0755), 0);
    }
    setenv("PATH", foundOnPath ? (folder_.file("bin") + ":" + path).c_str() : "", 1);
    const JpegConversion conversion = convertJpegToPnm("scan.jpg", std::chrono::milliseconds(300));
    EXPECT_FALSE(conversion.ok) << decoder;
    EXPECT_EQ(conversion.message, message) << decoder;
    EXPECT_TRUE(fs::is_empty("tmp")) << decoder;
  }
  setenv("PATH", path.c_str(), 1);
}

TEST_F(JpegConversionTest, ACutFileIsDecodedWithTheDecodersWarning) {
  std::string pgm = "P5\n64 64\n255\n";
  for (int i = 0; i < 64 * 64; ++i) pgm += static_cast<char>(i * 7);
  writeFile("source.pgm", pgm);
  ASSERT_EQ(runChildArguments({"cjpeg", "-outfile", "whole.jpg", "source.pgm"}, true), 0);
  writeFile("cut.jpg", readFile("whole.jpg").substr(0, 700));
  const JpegConversion conversion = convertJpegToPnm("cut.jpg");
  ASSERT_TRUE(conversion.ok) << conversion.message;
  EXPECT_EQ(conversion.warning, "Damaged JPEG file (djpeg: Premature end of JPEG file)");
  EXPECT_EQ(convertJpegToPnm("whole.jpg").warning, "");
}

TEST_F(JpegConversionTest, AFullTemporaryFolderIsSaidAsSuch) {
  // A small file system of its own, where the system lets the test make one.
  if (runChildArguments({"mount", "-t", "tmpfs", "-o", "size=64k", "tmpfs", folder_.file("tmp")}, true) != 0) {
    GTEST_SKIP() << "cannot mount a small file system here";
  }
  std::string pgm = "P5\n512 512\n255\n" + std::string(512 * 512, '\x80');
  writeFile("large.pgm", pgm);
  const int encoded = runChildArguments({"cjpeg", "-grayscale", "-outfile", "in/large.jpg", "large.pgm"}, true);
  const JpegConversion conversion = convertJpegToPnm("in/large.jpg");
  const bool emptied = fs::is_empty("tmp");
  runChildArguments({"umount", folder_.file("tmp")}, true);
  ASSERT_EQ(encoded, 0);
  EXPECT_FALSE(conversion.ok);
  EXPECT_EQ(conversion.message, "Cannot decode JPEG (temporary folder full: No space left on device)");
  EXPECT_TRUE(emptied);
}

TEST_F(JpegConversionTest, ADecoderInTheCurrentFolderOrARelativePathIsNeverRun) {
  writeFile("djpeg", "#!/bin/sh\nexit 2\n");
  ASSERT_EQ(chmod("djpeg", 0755), 0);
  const std::string path = std::getenv("PATH");
  for (const std::string& planted : {std::string(":"), std::string(".:"), std::string("in/..:")}) {
    setenv("PATH", (planted + path).c_str(), 1);
    const std::string found = findJpegDecoder();
    EXPECT_TRUE(found.starts_with("/") && found.ends_with("/djpeg") && found != folder_.file("djpeg")) << found;
  }
  setenv("PATH", path.c_str(), 1);
}

}  // namespace
}  // namespace glimmer
