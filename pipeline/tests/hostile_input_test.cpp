// The driver against inputs and outputs that are not what they seem: special
// files, vanishing or unreadable inputs, outputs that cannot be written. Every
// case ends in a clear error and result 1, with nothing written but the
// emptied diagnostic files: no output, no skeleton, no temporary file.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <sstream>

#include "common/tests/scratch_dir.h"
#include "pipeline/driver.h"
#include "pipeline/tests/recording_host.h"

namespace glimmer {
namespace {

namespace fs = std::filesystem;
using test_support::readFile;
using test_support::RecordingHost;
using test_support::ScratchDir;
using test_support::writeFile;

constexpr uid_t kNobody = 65534;

std::string inkPage(int width, int height) {
  std::string page = "P5\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
  for (int i = 0; i < width * height; ++i) page += static_cast<char>(i % 7 == 0 ? 40 : 230);
  return page;
}

// What a run in another process reported: its result and its error texts.
struct ChildOutcome {
  int result = -1;
  std::vector<std::string> errors;
  bool skipped = false;  // the child could not set itself up (no privilege to drop)
};

class HostileInputTest : public ::testing::Test {
 protected:
  int run(const std::string& input, const std::string& output) {
    ProcessRequest request;
    request.inputPath = input;
    request.outputPath = output;
    return processImageFile(request, host, processed);
  }

  std::vector<std::string> errorTexts() const {
    std::vector<std::string> texts;
    for (const auto& [text, title] : host.errors) texts.push_back(text);
    return texts;
  }

  std::vector<std::string> listing(const fs::path& folder = ".") const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  // Runs the driver in a child process prepared by `setUp` (which returns
  // false when it cannot be), so that limits and identities stay there.
  ChildOutcome runInChild(const std::string& input, const std::string& output, const std::function<bool()>& setUp) {
    int channel[2];
    if (::pipe(channel) != 0) return {};
    const pid_t child = ::fork();
    if (child == 0) {
      ::close(channel[0]);
      std::string report = "skip";
      if (setUp()) {
        const int result = run(input, output);
        report = std::to_string(result);
        for (const std::string& text : errorTexts()) report += "\n" + text;
      }
      [[maybe_unused]] const ssize_t written = ::write(channel[1], report.data(), report.size());
      ::_exit(0);
    }
    ::close(channel[1]);
    std::string report;
    char buffer[512];
    for (ssize_t got; (got = ::read(channel[0], buffer, sizeof buffer)) > 0;) report.append(buffer, got);
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ChildOutcome outcome;
    if (report == "skip") {
      outcome.skipped = true;
      return outcome;
    }
    std::istringstream lines(report);
    std::string line;
    if (std::getline(lines, line)) outcome.result = std::stoi(line);
    while (std::getline(lines, line)) outcome.errors.push_back(line);
    return outcome;
  }

  // Permissions do not stop root: a child that runs as root becomes nobody
  // first, in a scratch folder opened up to it.
  bool actAsOrdinaryUser() {
    if (::geteuid() != 0) return true;
    return ::chmod(".", 0777) == 0 && ::setgroups(0, nullptr) == 0 && ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0;
  }

  ScratchDir dir;
  RecordingHost host;
  std::string processed = "untouched";
};

const std::vector<std::string> kDiagnosticsOnly = {"logger.txt", "scores.txt"};

TEST_F(HostileInputTest, InputsThatAreNotRegularFilesAreRefusedAtOnce) {
  ASSERT_EQ(::mkfifo("fifo.pnm", 0600), 0);  // no writer: opening it the usual way would hang
  fs::create_directory("folder.pnm");
  fs::create_symlink("nowhere.pnm", "dangling.pnm");
  fs::create_symlink("loop.pnm", "loop.pnm");
  for (const std::string input : {"fifo.pnm", "folder.pnm", "dangling.pnm", "loop.pnm", "/dev/zero"}) {
    host.errors.clear();
    EXPECT_EQ(run(input, "out.bmp"), 1) << input;
    EXPECT_EQ(errorTexts(), std::vector<std::string>{"Specified image file does not exist"}) << input;
  }
  EXPECT_EQ(listing(), (std::vector<std::string>{"dangling.pnm", "fifo.pnm", "folder.pnm", "logger.txt", "loop.pnm",
                                                 "scores.txt"}));
  EXPECT_EQ(processed, "untouched");
}

TEST_F(HostileInputTest, UnreadableInputIsReportedAsMissing) {
  writeFile("locked.pnm", inkPage(8, 8));
  ASSERT_EQ(::chmod("locked.pnm", 0), 0);
  const ChildOutcome outcome = runInChild("locked.pnm", "out.bmp", [this] { return actAsOrdinaryUser(); });
  if (outcome.skipped) GTEST_SKIP() << "cannot give up root in this environment";
  EXPECT_EQ(outcome.result, 1);
  EXPECT_EQ(outcome.errors, std::vector<std::string>{"Specified image file does not exist"});
  EXPECT_EQ(listing(), (std::vector<std::string>{"locked.pnm", "logger.txt", "scores.txt"}));
}

TEST_F(HostileInputTest, InputCutShortInItsHeaderIsNotAPage) {
  const std::string page = inkPage(8, 8);
  for (std::size_t length : {std::size_t{0}, std::size_t{2}, std::size_t{7}, page.find("255") + 3}) {
    writeFile("page.pnm", page);
    fs::resize_file("page.pnm", length);  // the file shrinks after it was written whole
    host.errors.clear();
    EXPECT_EQ(run("page.pnm", "out.bmp"), 1) << length;
    EXPECT_EQ(errorTexts(), std::vector<std::string>{"Not a valid PNM file"}) << length;
    EXPECT_EQ(listing(), (std::vector<std::string>{"logger.txt", "page.pnm", "scores.txt"})) << length;
  }
}

TEST_F(HostileInputTest, InputCutShortInItsRasterReadsTheRestAsWhite) {
  writeFile("page.pnm", inkPage(8, 8));
  fs::resize_file("page.pnm", fs::file_size("page.pnm") - 20);
  EXPECT_EQ(run("page.pnm", "out.bmp"), 0);
  EXPECT_TRUE(host.errors.empty());
  EXPECT_EQ(readFile("out.bmp").size(), 54u + 24u * 8u);
}

TEST_F(HostileInputTest, OutputThatIsAFolderOrBelowAFileIsNotCreated) {
  writeFile("page.pnm", inkPage(8, 8));
  fs::create_directory("out.bmp");
  writeFile("plain", "x");
  EXPECT_EQ(run("page.pnm", "out.bmp"), 1);
  EXPECT_EQ(run("page.pnm", "plain/out.bmp"), 1);
  EXPECT_EQ(run("page.pnm", "out.bmp/"), 1);
  EXPECT_EQ(errorTexts(),
            (std::vector<std::string>{"Cannot create BMP file (out.bmp)", "Cannot create BMP file (plain/out.bmp)",
                                      "Cannot create BMP file (out.bmp/)"}));
  EXPECT_EQ(listing(), (std::vector<std::string>{"logger.txt", "out.bmp", "page.pnm", "plain", "scores.txt"}));
  EXPECT_TRUE(fs::is_empty("out.bmp"));
}

TEST_F(HostileInputTest, ReadOnlyOutputFolderGetsNoFile) {
  writeFile("page.pnm", inkPage(8, 8));
  fs::create_directory("sealed");
  ASSERT_EQ(::chmod("sealed", 0555), 0);
  const ChildOutcome outcome = runInChild("page.pnm", "sealed/out.bmp", [this] { return actAsOrdinaryUser(); });
  if (outcome.skipped) GTEST_SKIP() << "cannot give up root in this environment";
  EXPECT_EQ(outcome.result, 1);
  EXPECT_EQ(outcome.errors, std::vector<std::string>{"Cannot create BMP file (sealed/out.bmp)"});
  EXPECT_TRUE(fs::is_empty("sealed"));
  EXPECT_EQ(listing(), (std::vector<std::string>{"logger.txt", "page.pnm", "scores.txt", "sealed"}));
}

TEST_F(HostileInputTest, FullDiskLeavesNeitherAPartialOutputNorATemporaryFile) {
  writeFile("page.pnm", inkPage(40, 30));
  const ChildOutcome outcome = runInChild("page.pnm", "out.bmp", [] {
    // A file size limit fails writes the way a full disk does (EFBIG for ENOSPC).
    const rlimit limit{1000, 1000};
    return ::signal(SIGXFSZ, SIG_IGN) != SIG_ERR && ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
  });
  ASSERT_FALSE(outcome.skipped);
  EXPECT_EQ(outcome.result, 1);
  EXPECT_EQ(outcome.errors, std::vector<std::string>{"Cannot create BMP file (out.bmp)"});
  EXPECT_EQ(listing(), (std::vector<std::string>{"logger.txt", "page.pnm", "scores.txt"}));
}

TEST_F(HostileInputTest, OutputThatIsALinkIsReplacedAndItsTargetLeftAlone) {
  writeFile("page.pnm", inkPage(8, 8));
  fs::create_directory("elsewhere");
  writeFile("elsewhere/precious", "keep");
  fs::create_symlink("elsewhere/precious", "out.bmp");
  EXPECT_EQ(run("page.pnm", "out.bmp"), 0);
  EXPECT_EQ(readFile("elsewhere/precious"), "keep");
  EXPECT_FALSE(fs::is_symlink("out.bmp"));
  EXPECT_EQ(readFile("out.bmp").substr(0, 2), "BM");
}

}  // namespace
}  // namespace glimmer
