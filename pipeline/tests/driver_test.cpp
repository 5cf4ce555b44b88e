#include "pipeline/driver.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "common/tests/scratch_dir.h"
#include "pipeline/tests/recording_host.h"

namespace glimmer {
namespace {

namespace fs = std::filesystem;
using test_support::readFile;
using test_support::RecordingHost;
using test_support::ScratchDir;
using test_support::writeFile;

std::string whitePage(int width, int height) {
  return "P5\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n" +
         std::string(static_cast<std::size_t>(width * height), '\xff');
}

const std::string kNoVotes = "0:0\n1:0\n2:0\n3:0\n1:0\n2:0\n3:0\n";

class DriverTest : public ::testing::Test {
 protected:
  int run(const std::string& input, const std::string& output, int bands = 1) {
    ProcessRequest request;
    request.inputPath = input;
    request.outputPath = output;
    request.bandCount = bands;
    return processImageFile(request, host, processed);
  }
  std::vector<std::string> errorTexts() const {
    std::vector<std::string> texts;
    for (const auto& [text, title] : host.errors) {
      EXPECT_EQ(title, "Glimmer - Error");
      texts.push_back(text);
    }
    return texts;
  }
  std::vector<std::string> listing() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.path())) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  ScratchDir dir;
  RecordingHost host;
  std::string processed = "untouched";
};

TEST_F(DriverTest, WhitePageGivesWhiteOutputSkeletonAndVoteLines) {
  writeFile("page.pnm", whitePage(7, 3));
  ASSERT_EQ(run("page.pnm", "out.bmp"), 0);
  EXPECT_TRUE(host.errors.empty());
  const std::string bmp = readFile("out.bmp");
  ASSERT_EQ(bmp.size(), 54u + 24u * 3u);  // 21 bytes a row, padded to 24
  EXPECT_EQ(bmp.substr(54, 21), std::string(21, '\xff'));
  EXPECT_EQ(readFile("skeleton.bmp"), bmp);
  EXPECT_EQ(readFile("scores.txt"), kNoVotes);
  EXPECT_EQ(readFile("logger.txt"), "");
  EXPECT_EQ(processed, "page.pnm");
  EXPECT_EQ(host.lines.front(), "Starting thread 0 from 0 to 7\n");
  EXPECT_EQ(host.lines.back(), "***Thread #0 complete\n");
  EXPECT_EQ(host.lines.size(), 1u + 7u + 1u);
}

TEST_F(DriverTest, ChecksFailWithTheirMessagesAndLeaveOnlyEmptiedDiagnostics) {
  writeFile("scores.txt", "old run");
  fs::create_directory("folder");
  writeFile("bad.pnm", "P2\n1 1\n255\n0\n");
  EXPECT_EQ(run("", "out.bmp"), 1);
  EXPECT_EQ(run("missing.pnm", "out.bmp"), 1);
  EXPECT_EQ(run("folder", "out.bmp"), 1);
  EXPECT_EQ(run("bad.pnm", "out.bmp"), 1);
  EXPECT_EQ(errorTexts(), (std::vector<std::string>{"No input file specified", "Specified image file does not exist",
                                                    "Specified image file does not exist", "Not a valid PNM file"}));
  EXPECT_EQ(readFile("scores.txt"), "");
  EXPECT_EQ(listing(), (std::vector<std::string>{"bad.pnm", "folder", "logger.txt", "scores.txt"}));
  EXPECT_EQ(processed, "untouched");
}

TEST_F(DriverTest, AnsweringNoToTheOverwriteQuestionKeepsTheOldOutput) {
  writeFile("page.pnm", whitePage(4, 4));
  writeFile("out.bmp", "previous");
  RecordingHost refusing(false);
  ProcessRequest request;
  request.inputPath = "page.pnm";
  request.outputPath = "out.bmp";
  EXPECT_EQ(processImageFile(request, refusing, processed), 1);
  EXPECT_EQ(refusing.questions,
            std::vector<std::string>{"BMP file (out.bmp) already exists - Do yo wish to overwrite it?"});
  EXPECT_TRUE(refusing.errors.empty());
  EXPECT_EQ(readFile("out.bmp"), "previous");
  EXPECT_FALSE(fs::exists("skeleton.bmp"));

  EXPECT_EQ(run("page.pnm", "out.bmp"), 0);  // the recording host answers Yes
  EXPECT_EQ(readFile("out.bmp").substr(0, 2), "BM");
}

TEST_F(DriverTest, NeverWritesOverItsInput) {
  const std::string page = whitePage(4, 4);
  writeFile("page.pnm", page);
  fs::create_symlink("page.pnm", "alias.bmp");
  EXPECT_EQ(run("page.pnm", "page.pnm"), 1);
  EXPECT_EQ(run("page.pnm", "alias.bmp"), 1);
  EXPECT_EQ(errorTexts(), (std::vector<std::string>{"BMP file (page.pnm) is the input file - choose another output",
                                                    "BMP file (alias.bmp) is the input file - choose another output"}));
  EXPECT_EQ(readFile("page.pnm"), page);
}

TEST_F(DriverTest, OutputThatCannotBeCreatedIsReported) {
  writeFile("page.pnm", whitePage(4, 4));
  fs::create_directory("out.bmp");
  EXPECT_EQ(run("page.pnm", "out.bmp"), 1);
  EXPECT_EQ(run("page.pnm", "no/such/folder/out.bmp"), 1);
  EXPECT_EQ(errorTexts(), (std::vector<std::string>{"Cannot create BMP file (out.bmp)",
                                                    "Cannot create BMP file (no/such/folder/out.bmp)"}));
  EXPECT_TRUE(fs::is_directory("out.bmp"));
}

TEST_F(DriverTest, ReadOnlyInputIsReadAndLeftAsItWas) {
  writeFile("page.pnm", whitePage(5, 5));
  fs::permissions("page.pnm", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  EXPECT_EQ(run("page.pnm", "out.bmp"), 0);
  EXPECT_EQ(readFile("page.pnm"), whitePage(5, 5));
}

TEST_F(DriverTest, BandCountIsClampedAndEveryBandReports) {
  writeFile("page.pnm", whitePage(10, 2));
  EXPECT_EQ(run("page.pnm", "out.bmp", 0), 0);
  EXPECT_EQ(host.lines.front(), "Starting thread 0 from 0 to 10\n");
  host.lines.clear();
  EXPECT_EQ(run("page.pnm", "out.bmp", 1000), 0);
  EXPECT_EQ(std::count_if(host.lines.begin(), host.lines.end(),
                          [](const std::string& line) { return line.starts_with("Starting thread"); }),
            64);
}

}  // namespace
}  // namespace glimmer

namespace glimmer {
namespace {

class DriverFilesTest : public DriverTest {};

// A JPEG made with the decoder's sibling encoder from a small page.
bool makeJpeg(const std::string& pnm, const std::string& jpeg) {
  const std::string command = "cjpeg -grayscale -quality 95 -outfile '" + jpeg + "' '" + pnm + "' 2>/dev/null";
  return std::system(command.c_str()) == 0;
}

TEST_F(DriverFilesTest, JpegInputIsDecodedIntoATemporaryPageThatTheCallerRemoves) {
  writeFile("page.pnm", whitePage(16, 8));
  fs::create_directory("in");
  if (!makeJpeg("page.pnm", "in/photo.JPG")) GTEST_SKIP() << "cjpeg is not installed";
  fs::remove("page.pnm");
  ASSERT_EQ(run("in/photo.JPG", "out.bmp"), 0) << (host.errors.empty() ? "" : host.errors.front().first);
  EXPECT_NE(processed, "in/photo.JPG");
  EXPECT_TRUE(processed.ends_with(".pnm"));
  EXPECT_TRUE(fs::exists(processed));
  EXPECT_EQ(readFile("out.bmp").size(), 54u + 48u * 8u);
  fs::remove(processed);
  EXPECT_EQ(std::distance(fs::directory_iterator("in"), fs::directory_iterator()), 1);  // nothing beside the input
}

TEST_F(DriverFilesTest, FailedJpegRunRemovesItsTemporaryPage) {
  writeFile("broken.jpeg", "not a jpeg at all");
  fs::create_directory("tmp");
  const std::string previous = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "";
  ::setenv("TMPDIR", dir.file("tmp").c_str(), 1);
  EXPECT_EQ(run("broken.jpeg", "out.bmp"), 1);
  previous.empty() ? ::unsetenv("TMPDIR") : ::setenv("TMPDIR", previous.c_str(), 1);
  EXPECT_EQ(errorTexts(), std::vector<std::string>{"Not a valid PNM file"});
  EXPECT_TRUE(fs::is_empty("tmp"));
  EXPECT_EQ(processed, "untouched");
}

TEST_F(DriverFilesTest, CoordinateFilesAreWrittenOnlyWhenAsked) {
  writeFile("page.pnm", whitePage(6, 6));
  fs::create_directory("coords");
  ASSERT_EQ(run("page.pnm", "out.bmp"), 0);
  EXPECT_FALSE(fs::exists("page.pnm.rows.coords.lisp"));
  EXPECT_FALSE(fs::exists("page.pnm.chars.coords.lisp"));

  ProcessRequest request;
  request.inputPath = "page.pnm";
  request.outputPath = "out.bmp";
  request.writeRows = request.writeChars = true;
  request.coordinateFolder = "coords";
  ASSERT_EQ(processImageFile(request, host, processed), 0);
  ASSERT_EQ(processImageFile(request, host, processed), 0);
  EXPECT_EQ(readFile("coords/page.pnm.rows.coords.lisp"), "(()");
  EXPECT_EQ(readFile("coords/page.pnm.chars.coords.lisp"), "()\n)\n()\n)\n");  // appended run after run
}

}  // namespace
}  // namespace glimmer
