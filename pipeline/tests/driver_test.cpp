#include "pipeline/driver.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "analysis/tests/test_pages.h"
#include "common/tests/scratch_dir.h"
#include "pipeline/tests/recording_host.h"

namespace glimmer {
namespace {

namespace fs = std::filesystem;
using test_support::listing;
using test_support::readFile;
using test_support::RecordingHost;
using test_support::ScratchDir;
using test_support::writeFile;

std::string whitePage(int width, int height) {
  return "P5\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n" +
         std::string(static_cast<std::size_t>(width * height), '\xff');
}

class DriverTest : public ::testing::Test {
 protected:
  int run(const std::string& input, const std::string& output, int bands = 1) {
    ProcessRequest request;
    request.inputPath = input;
    request.outputPath = output;
    request.bandCount = bands;
    return processImageFile(request, host, processed);
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
  ASSERT_EQ(bmp.size(), 54u + 24u * 3u);
  EXPECT_EQ(bmp.substr(54, 21), std::string(21, '\xff'));
  EXPECT_EQ(readFile("skeleton.bmp"), bmp);
  EXPECT_EQ(readFile("scores.txt"), "0:0\n1:0\n2:0\n3:0\n1:0\n2:0\n3:0\n");
  EXPECT_EQ(readFile("logger.txt"), "");
  EXPECT_EQ(processed, "page.pnm");
  EXPECT_EQ(host.lines.front(), "Starting thread 0 from 0 to 7\n");
  EXPECT_EQ(host.lines.back(), "***Thread #0 complete\n");
  EXPECT_EQ(host.lines.size(), 1u + 7u + 1u);
  EXPECT_TRUE(host.warnings.empty());

  writeFile("cut.pnm", whitePage(7, 3).substr(0, 20));
  ASSERT_EQ(run("cut.pnm", "cut.bmp"), 0);
  EXPECT_EQ(host.warnings,
            std::vector<std::string>{"Damaged PNM file (raster cut short: 9 of 21 bytes, the rest read as white)"});
}

TEST_F(DriverTest, RefusedRunsReportWhyAndLeaveOnlyEmptiedDiagnostics) {
  const std::string page = whitePage(4, 4);
  writeFile("page.pnm", page);
  writeFile("bad.pnm", "P7\nWIDTH 1\nHEIGHT 1\n");
  writeFile("short.pnm", "P5\n4 4\n");
  writeFile("plain", "x");
  writeFile("scores.txt", "old run");
  fs::create_directory("folder");
  fs::create_directory("out.bmp");
  ASSERT_EQ(::mkfifo("fifo.pnm", 0600), 0);  // no writer: an ordinary open would hang
  fs::create_symlink("nowhere.pnm", "dangling.pnm");
  fs::create_symlink("loop.pnm", "loop.pnm");
  fs::create_symlink("page.pnm", "alias.bmp");
  const std::string missing = "Specified image file does not exist";
  writeFile("skeleton.bmp", "old skeleton");
  const struct {
    std::string input, output, error;
  } cases[] = {
      {"", "new.bmp", "No input file specified"},
      {"missing.pnm", "new.bmp", missing},
      {"folder", "new.bmp", "Cannot read image file (folder): Is a directory"},
      {"fifo.pnm", "new.bmp", "Cannot read image file (fifo.pnm): not a regular file"},
      {"dangling.pnm", "new.bmp", missing},
      {"loop.pnm", "new.bmp", "Cannot read image file (loop.pnm): Too many levels of symbolic links"},
      {std::string(5000, 'a'), "new.bmp",
       "Cannot read image file (" + std::string(5000, 'a') + "): File name too long"},
      {"bad.pnm", "new.bmp", "Cannot read PNM file bad.pnm: the file is damaged or cut short"},
      {"short.pnm", "new.bmp", "Not a valid PNM file (header cut short)"},
      {"page.pnm", "page.pnm", "BMP file (page.pnm) is the input file - choose another output"},
      {"page.pnm", "alias.bmp", "BMP file (alias.bmp) is the input file - choose another output"},
      {"page.pnm", "skeleton.bmp",
       "BMP file (skeleton.bmp) is one of the run's diagnostic files - choose another output"},
      {"page.pnm", "folder/../scores.txt",
       "BMP file (folder/../scores.txt) is one of the run's diagnostic files - choose another output"},
      {"page.pnm", "out.bmp", "Cannot create BMP file (out.bmp): Is a directory"},
      {"page.pnm", "out.bmp/", "Cannot create BMP file (out.bmp/): Is a directory"},
      {"page.pnm", "plain/new.bmp", "Cannot create BMP file (plain/new.bmp): Not a directory"},
      {"page.pnm", "no/such/new.bmp", "Cannot create BMP file (no/such/new.bmp): No such file or directory"},
  };
  for (const auto& [input, output, error] : cases) {
    host.errors.clear();
    EXPECT_EQ(run(input, output), 1) << input << " -> " << output;
    EXPECT_EQ(host.errors, (std::vector<std::pair<std::string, std::string>>{{error, "Glimmer - Error"}}))
        << input << " -> " << output;
  }
  EXPECT_EQ(readFile("scores.txt"), "");
  EXPECT_EQ(readFile("page.pnm"), page);
  EXPECT_EQ(readFile("skeleton.bmp"), "old skeleton");
  EXPECT_TRUE(fs::is_empty("out.bmp"));
  EXPECT_EQ(listing(), (std::vector<std::string>{"alias.bmp", "bad.pnm", "dangling.pnm", "fifo.pnm", "folder",
                                                 "logger.txt", "loop.pnm", "out.bmp", "page.pnm", "plain", "scores.txt",
                                                 "short.pnm", "skeleton.bmp"}));
  EXPECT_EQ(processed, "untouched");
}

TEST_F(DriverTest, APageStoredUnderADiagnosticFileNameIsLeftAlone) {
  const std::string page = whitePage(3, 3);
  writeFile("scores.txt", page);
  EXPECT_EQ(run("scores.txt", "out.bmp"), 1);
  ASSERT_EQ(host.errors.size(), 1u);
  EXPECT_EQ(host.errors.front().first, "Specified image file (scores.txt) is one of the run's diagnostic files");
  EXPECT_EQ(readFile("scores.txt"), page);
}

TEST_F(DriverTest, DiagnosticsGoToTheirFolderOrNowhere) {
  writeFile("page.pnm", whitePage(5, 2));
  fs::create_directory("diag");
  ProcessRequest request;
  request.inputPath = "page.pnm";
  request.outputPath = "out.bmp";
  request.diagnosticsFolder = "diag";
  ASSERT_EQ(processImageFile(request, host, processed), 0);
  EXPECT_EQ(listing("diag"), (std::vector<std::string>{"logger.txt", "scores.txt", "skeleton.bmp"}));
  EXPECT_EQ(readFile("diag/skeleton.bmp"), readFile("out.bmp"));
  request.outputPath = "diag/scores.txt";
  EXPECT_EQ(processImageFile(request, host, processed), 1);  // an output may not be a diagnostic file
  request.outputPath = "none.bmp";
  request.diagnosticsFolder.reset();
  ASSERT_EQ(processImageFile(request, host, processed), 0);
  EXPECT_EQ(listing(), (std::vector<std::string>{"diag", "none.bmp", "out.bmp", "page.pnm"}));
}

TEST_F(DriverTest, AStoppedRunWritesNoOutputAndSaysWhy) {
  writeFile("page.pnm", whitePage(40, 3));
  for (const int bands : {1, 3}) {
    host.stopAfterReports = 5;
    EXPECT_EQ(run("page.pnm", "out.bmp", bands), 1);
    ASSERT_FALSE(host.errors.empty());
    EXPECT_EQ(host.errors.back().first, "Stopped before page.pnm was done: told to stop");
    std::size_t reports = 0;
    for (const auto& [band, values] : host.progress) reports += values.size();
    EXPECT_LT(reports, 40u);  // the bands left their columns early
    EXPECT_FALSE(fs::exists("out.bmp"));
    host.progress.clear();
  }
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
  EXPECT_EQ(run("page.pnm", "out.bmp"), 0);
  EXPECT_EQ(readFile("out.bmp").substr(0, 2), "BM");
}

TEST_F(DriverTest, ReadOnlyInputIsLeftAndALinkedOutputIsWrittenAtItsTarget) {
  writeFile("page.pnm", whitePage(5, 5));
  fs::permissions("page.pnm", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  writeFile("target.bmp", "old");
  fs::create_symlink("target.bmp", "out.bmp");
  EXPECT_EQ(run("page.pnm", "out.bmp"), 0);
  EXPECT_EQ(host.questions,
            std::vector<std::string>{"BMP file (out.bmp) already exists - Do yo wish to overwrite it?"});
  EXPECT_EQ(readFile("page.pnm"), whitePage(5, 5));
  EXPECT_TRUE(fs::is_symlink("out.bmp"));
  EXPECT_EQ(readFile("target.bmp").substr(0, 2), "BM");
}

TEST_F(DriverTest, BandCountIsClampedAndEveryBandReports) {
  writeFile("page.pnm", whitePage(10, 2));
  EXPECT_EQ(run("page.pnm", "out.bmp", 0), 0);
  EXPECT_EQ(host.lines.front(), "Starting thread 0 from 0 to 10\n");
  EXPECT_EQ(run("page.pnm", "out.bmp", 1000), 0);
  EXPECT_EQ(std::ranges::count_if(host.lines, [](const std::string& line) { return line.starts_with("Starting"); }),
            1 + 64);
}

TEST_F(DriverTest, JpegInputIsDecodedIntoATemporaryPageThatTheRunRemoves) {
  writeFile("page.pnm", whitePage(16, 8));
  fs::create_directory("in");
  fs::create_directory("tmp");
  const std::string encode = "cjpeg -grayscale -outfile in/photo.JPG page.pnm 2>cjpeg.err";
  if (std::system(encode.c_str()) != 0) GTEST_SKIP() << "cjpeg is not installed";
  ::setenv("TMPDIR", dir.file("tmp").c_str(), 1);
  const int status = run("in/photo.JPG", "out.bmp");
  ::unsetenv("TMPDIR");
  ASSERT_EQ(status, 0);
  EXPECT_TRUE(processed.starts_with(dir.file("tmp/")) && processed.ends_with(".pnm")) << processed;
  EXPECT_EQ(readFile("out.bmp").size(), 54u + 48u * 8u);
  EXPECT_TRUE(fs::is_empty("tmp"));
  EXPECT_EQ(listing("in"), std::vector<std::string>{"photo.JPG"});
}

TEST_F(DriverTest, CoordinateFilesAreWrittenOnlyWhenAskedAndAppendedRunAfterRun) {
  writeFile("page.pnm", whitePage(6, 6));
  fs::create_directory("coords");
  ProcessRequest request;
  request.inputPath = "page.pnm";
  request.outputPath = "out.bmp";
  request.coordinateFolder = "coords";
  ASSERT_EQ(processImageFile(request, host, processed), 0);
  EXPECT_TRUE(fs::is_empty("coords"));
  request.writeRows = request.writeChars = true;
  ASSERT_EQ(processImageFile(request, host, processed), 0);
  ASSERT_EQ(processImageFile(request, host, processed), 0);
  EXPECT_EQ(readFile("coords/page.pnm.rows.coords.lisp"), "(()");
  EXPECT_EQ(readFile("coords/page.pnm.chars.coords.lisp"), "()\n)\n()\n)\n");

  // A coordinate file that cannot be written fails the run, after the image is written.
  fs::remove("out.bmp");
  fs::remove("coords/page.pnm.rows.coords.lisp");
  fs::create_directory("coords/page.pnm.rows.coords.lisp");
  host.errors.clear();
  EXPECT_EQ(processImageFile(request, host, processed), 1);
  EXPECT_EQ(host.errors.front().first,
            "Cannot write coordinate file (coords/page.pnm.rows.coords.lisp): Is a directory");
  EXPECT_EQ(readFile("out.bmp").substr(0, 2), "BM");
}

// Two lines of rings and bars of several stroke widths and greys across the
// whole width, so that band boundaries cut words at every band count up to 4.
std::string ringPage() {
  GreyImage page(190, 66);
  for (std::int32_t line = 0; line < 2; ++line) {
    const std::int32_t top = 6 + line * 30;
    for (std::int32_t i = 0; i < 10; ++i) {
      const std::int32_t left = 4 + i * 18 + line * 5;
      const auto grey = static_cast<std::uint8_t>(40 + 50 * ((i + line) % 3));
      if (i % 5 == 4) {
        test_support::fillBox(page, left, top, left + 3, top + 19, grey);
      } else {
        test_support::drawRing(page, left, top, left + 11, top + 19, 2 + (i + line) % 3, grey);
      }
    }
  }
  return "P5\n190 66\n255\n" + std::string(page.pixels.begin(), page.pixels.end());
}

// The bands commit in band order, so every run at every band count writes the
// files of the one-band run, and every run at one band count the same lines.
TEST_F(DriverTest, EveryRunAtEveryBandCountWritesTheOneBandFiles) {
  writeFile("page.pnm", ringPage());
  struct Outputs {
    std::string files, lines;
  };
  auto outputs = [&](int bands) {
    fs::remove("page.pnm.chars.coords.lisp");  // appended run after run
    RecordingHost bandHost;
    ProcessRequest request;
    request.inputPath = "page.pnm";
    request.outputPath = "out.bmp";
    request.writeRows = request.writeChars = true;
    request.bandCount = bands;
    EXPECT_EQ(processImageFile(request, bandHost, processed), 0);
    Outputs result;
    for (const char* name : {"out.bmp", "skeleton.bmp", "scores.txt", "logger.txt", "page.pnm.rows.coords.lisp",
                             "page.pnm.chars.coords.lisp"}) {
      result.files += readFile(name) + '\0';
    }
    for (const std::string& line : bandHost.lines) result.lines += line;
    return result;
  };
  const Outputs alone = outputs(1);
  ASSERT_GT(std::ranges::count(readFile("page.pnm.rows.coords.lisp"), '\n'), 6);
  ASSERT_NE(readFile("scores.txt").find("(Valid"), std::string::npos);
  for (const int bands : {2, 3, 4}) {
    const Outputs first = outputs(bands);
    EXPECT_TRUE(first.files == alone.files) << bands << " bands";
    for (int run = 0; run < 3; ++run) {
      const Outputs again = outputs(bands);
      EXPECT_TRUE(again.files == alone.files) << bands << " bands, run " << run;
      EXPECT_EQ(again.lines, first.lines) << bands << " bands, run " << run;
    }
  }
}

TEST_F(DriverTest, KeepingMarksChangesTheOutputImageOnly) {
  // A word of three rings with a dot above it and a short dash inside its box
  // (which the bands whiten in the page), and a speck far from it.
  GreyImage page(120, 80);
  for (const std::int32_t left : {10, 26, 42}) test_support::drawRing(page, left, 10, left + 11, 29, 3, 150);
  const struct {
    std::int32_t left, top, right, bottom;
    bool kept;
  } marks[] = {{30, 4, 32, 6, true}, {23, 18, 24, 20, true}, {100, 70, 103, 73, false}};
  for (const auto& m : marks) test_support::fillBox(page, m.left, m.top, m.right, m.bottom, 150);
  writeFile("page.pnm", "P5\n120 80\n255\n" + std::string(page.pixels.begin(), page.pixels.end()));

  ProcessRequest request;
  request.inputPath = "page.pnm";
  request.writeRows = true;
  std::string plain[3];
  std::string kept[3];
  for (std::string* outputs : {plain, kept}) {
    request.keepMarks = outputs == kept;
    request.outputPath = request.keepMarks ? "kept.bmp" : "plain.bmp";
    ASSERT_EQ(processImageFile(request, host, processed), 0);
    outputs[0] = readFile(request.outputPath);
    outputs[1] = readFile("skeleton.bmp") + readFile("scores.txt");
    outputs[2] = readFile("page.pnm.rows.coords.lisp");
    fs::remove("page.pnm.rows.coords.lisp");
  }
  EXPECT_EQ(kept[1], plain[1]);
  EXPECT_EQ(kept[2], plain[2]);
  ASSERT_EQ(kept[0].size(), plain[0].size());
  // Blue byte of pixel (x, y) in a bottom-up 24-bit BMP with 120 * 3 = 360-byte rows.
  const auto at = [](const std::string& bmp, std::int32_t x, std::int32_t y) {
    return static_cast<std::uint8_t>(bmp[54 + static_cast<std::size_t>((79 - y) * 360 + x * 3)]);
  };
  EXPECT_EQ(at(plain[0], 10, 10), 150 - 128) << "the word is painted";
  for (const auto& m : marks) {
    EXPECT_EQ(at(plain[0], m.left, m.top), 255);
    EXPECT_EQ(at(kept[0], m.left, m.top), m.kept ? 150 - 128 : 255) << m.left << "," << m.top;
  }
}

}  // namespace
}  // namespace glimmer
