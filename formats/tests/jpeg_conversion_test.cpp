#include "formats/jpeg_conversion.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>
#include <set>

#include "app/shell/child_process.h"
#include "common/tests/scratch_dir.h"

namespace glimmer {
namespace {

constexpr int kWidth = 16;
constexpr int kHeight = 8;

// Left half dark ink, right half light paper: survives JPEG coding nearly unchanged.
std::uint8_t sourceGrey(int x) { return x < kWidth / 2 ? 40 : 220; }

std::set<std::string> folderListing(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.insert(entry.path().filename());
  return names;
}

class JpegConversionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* sub : {"in", "tmp"}) std::filesystem::create_directory(folder_.file(sub));
    savedPath_ = std::getenv("PATH");
    ASSERT_EQ(setenv("TMPDIR", folder_.file("tmp").c_str(), 1), 0);
  }
  void TearDown() override {
    if (savedPath_) setenv("PATH", savedPath_->c_str(), 1);
    unsetenv("TMPDIR");
  }

  // A JPEG of the test page at `path`, made with the encoder that comes with the decoder.
  void makeJpeg(const std::string& path) {
    const std::string source = folder_.file("source.pgm");
    std::string pgm = "P5\n" + std::to_string(kWidth) + " " + std::to_string(kHeight) + "\n255\n";
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) pgm += static_cast<char>(sourceGrey(x));
    }
    test_support::writeFile(source, pgm);
    ASSERT_EQ(runChildArguments({"cjpeg", "-quality", "100", "-grayscale", "-outfile", path, source}, true), 0);
  }

  void expectDecodedPage(const std::string& pnmPath) {
    const std::string decoded = test_support::readFile(pnmPath);
    const std::string header = "P5\n16 8\n255\n";
    ASSERT_EQ(decoded.size(), header.size() + kWidth * kHeight);
    EXPECT_EQ(decoded.substr(0, header.size()), header);
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        const int grey = static_cast<std::uint8_t>(decoded[header.size() + y * kWidth + x]);
        EXPECT_NEAR(grey, sourceGrey(x), 4) << x << "," << y;
      }
    }
  }

  bool isInTemporaryFolder(const std::string& path) {
    return path.starts_with(folder_.file("tmp/")) && path.ends_with(".pnm");
  }

  test_support::ScratchDir folder_;  // also the current folder
  std::optional<std::string> savedPath_;
};

TEST(IsJpegPath, ExtensionAfterTheLastFullStop) {
  for (const char* path : {"a.jpg", "C:/pics/scan.JPG", "b.Jpeg", "c.JPEG", "jpg"})
    EXPECT_TRUE(isJpegPath(path)) << path;
  for (const char* path : {"a.pnm", "a.jpgx", "a.jpg.pnm", "C:/v1.jpg/page", "noextension"}) {
    EXPECT_FALSE(isJpegPath(path)) << path;
  }
}

TEST_F(JpegConversionTest, DecodesIntoTheTemporaryFolderOnly) {
  const std::string in = folder_.file("in");
  test_support::writeFile(in + "/scan.pnm", "not to be touched");
  for (const char* name : {"scan.jpg", "scan.JPG", "scan.jpeg"}) makeJpeg(in + "/" + name);
  const std::set<std::string> before = folderListing(in);

  for (const char* name : {"scan.jpg", "scan.JPG", "scan.jpeg"}) {
    const JpegConversion conversion = convertJpegToPnm(in + "/" + name);
    ASSERT_TRUE(conversion.ok) << conversion.message;
    EXPECT_TRUE(isInTemporaryFolder(conversion.pnmPath)) << conversion.pnmPath;
    expectDecodedPage(conversion.pnmPath);
    removeConvertedPnm(conversion.pnmPath);
    EXPECT_FALSE(std::filesystem::exists(conversion.pnmPath));
  }
  EXPECT_EQ(folderListing(in), before);
  EXPECT_EQ(test_support::readFile(in + "/scan.pnm"), "not to be touched");
  EXPECT_TRUE(folderListing(folder_.file("tmp")).empty());
}

TEST_F(JpegConversionTest, PathsWithBlanksQuotesOrALeadingDash) {
  const std::string odd = folder_.file("in/my \"odd\" scan.jpg");
  makeJpeg(odd);
  JpegConversion conversion = convertJpegToPnm(odd);
  ASSERT_TRUE(conversion.ok);
  expectDecodedPage(conversion.pnmPath);

  makeJpeg("-scan.jpg");  // relative to the current folder
  conversion = convertJpegToPnm("-scan.jpg");
  ASSERT_TRUE(conversion.ok);
  expectDecodedPage(conversion.pnmPath);
}

TEST_F(JpegConversionTest, FailedDecoderLeavesNothing) {
  const std::string notJpeg = folder_.file("in/text.jpg");
  test_support::writeFile(notJpeg, "this is no JPEG");
  const JpegConversion conversion = convertJpegToPnm(notJpeg);
  EXPECT_FALSE(conversion.ok);
  EXPECT_EQ(conversion.message, "Not a valid PNM file");
  EXPECT_TRUE(folderListing(folder_.file("tmp")).empty());
}

// A decoder in the current folder that writes the start of a page, as a real
// one does before it fails, and then ends as `ending` says.
void installDecoder(const std::string& ending) {
  test_support::writeFile("djpeg", "#!/bin/sh\nprintf 'P5\\n4 4\\n255\\n' > \"$3\"\n" + ending + "\n");
  ASSERT_EQ(chmod("djpeg", 0755), 0);
}

TEST_F(JpegConversionTest, DecoderThatFailsOrIsKilledLeavesNoPartPage) {
  test_support::writeFile("scan.jpg", "whatever");
  for (const char* ending : {"exit 1", "kill -9 $$", "exit 3"}) {
    installDecoder(ending);
    const JpegConversion conversion = convertJpegToPnm("scan.jpg");
    EXPECT_FALSE(conversion.ok) << ending;
    EXPECT_EQ(conversion.message, "Not a valid PNM file") << ending;
    EXPECT_TRUE(folderListing(folder_.file("tmp")).empty()) << ending;
  }
  installDecoder("exit 2");  // finished, with warnings about a damaged file
  const JpegConversion conversion = convertJpegToPnm("scan.jpg");
  EXPECT_TRUE(conversion.ok);
  removeConvertedPnm(conversion.pnmPath);
}

TEST_F(JpegConversionTest, HangingDecoderIsKilledAtItsTimeLimit) {
  test_support::writeFile("scan.jpg", "whatever");
  installDecoder("exec sleep 1000");
  const JpegConversion conversion = convertJpegToPnm("scan.jpg", std::chrono::milliseconds(300));
  EXPECT_FALSE(conversion.ok);
  EXPECT_EQ(conversion.message, "djpeg did not finish within 0.3 seconds");
  EXPECT_TRUE(folderListing(folder_.file("tmp")).empty());
}

TEST_F(JpegConversionTest, MissingDecoder) {
  ASSERT_EQ(setenv("PATH", "", 1), 0);
  const std::string jpeg = folder_.file("in/scan.jpg");
  test_support::writeFile(jpeg, "whatever");
  const JpegConversion conversion = convertJpegToPnm(jpeg);
  EXPECT_FALSE(conversion.ok);
  EXPECT_EQ(conversion.message, "Can't find djpeg");
  EXPECT_TRUE(folderListing(folder_.file("tmp")).empty());
}

TEST_F(JpegConversionTest, DecoderInTheCurrentFolderComesFirst) {
  EXPECT_TRUE(findJpegDecoder().ends_with("/djpeg"));
  test_support::writeFile("djpeg", "#!/bin/sh\nexit 0\n");
  EXPECT_NE(findJpegDecoder(), "./djpeg");  // not executable
  ASSERT_EQ(chmod("djpeg", 0755), 0);
  EXPECT_EQ(findJpegDecoder(), "./djpeg");
}

TEST_F(JpegConversionTest, RemovalTouchesOnlyConvertedFiles) {
  const std::string beside = folder_.file("in/scan.pnm");
  const std::string otherTemporary = folder_.file("tmp/other.pnm");
  for (const std::string& path : {beside, otherTemporary}) {
    test_support::writeFile(path, "keep");
    removeConvertedPnm(path);
    EXPECT_TRUE(std::filesystem::exists(path)) << path;
  }
}

}  // namespace
}  // namespace glimmer
