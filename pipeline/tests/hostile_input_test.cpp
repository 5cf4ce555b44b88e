// Failures that need a process of their own (dropped privileges, a file size
// limit): each ends in its error and result 1, with nothing written but the
// emptied diagnostic files.
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

#include "common/tests/scratch_dir.h"
#include "pipeline/driver.h"
#include "pipeline/tests/recording_host.h"

namespace glimmer {
namespace {

namespace fs = std::filesystem;
using test_support::RecordingHost;
using test_support::ScratchDir;
using test_support::writeFile;

constexpr uid_t kNobody = 65534;
const char* const kSkipped = "skip";

std::string inkPage(int width, int height) {
  std::string page = "P5\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
  for (int i = 0; i < width * height; ++i) page += static_cast<char>(i % 7 == 0 ? 40 : 230);
  return page;
}

// Runs the driver in a child prepared by `setUp`, so that limits and identities
// stay there; returns the result and error texts, one a line, or kSkipped.
std::string runInChild(const std::string& input, const std::string& output, const std::function<bool()>& setUp) {
  int channel[2];
  if (::pipe(channel) != 0) return "pipe failed";
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(channel[0]);
    std::string report = kSkipped;
    if (setUp()) {
      RecordingHost host;
      ProcessRequest request;
      request.inputPath = input;
      request.outputPath = output;
      std::string processed;
      report = std::to_string(processImageFile(request, host, processed));
      for (const auto& [text, title] : host.errors) report += "\n" + text;
    }
    [[maybe_unused]] const ssize_t written = ::write(channel[1], report.data(), report.size());
    ::_exit(0);
  }
  ::close(channel[1]);
  std::string report;
  char buffer[512];
  for (ssize_t got; (got = ::read(channel[0], buffer, sizeof buffer)) > 0;) report.append(buffer, got);
  ::close(channel[0]);
  ::waitpid(child, nullptr, 0);
  return report;
}

// Permissions do not stop root: a child that runs as root becomes nobody first.
bool actAsOrdinaryUser() {
  if (::geteuid() != 0) return true;
  return ::chmod(".", 0777) == 0 && ::setgroups(0, nullptr) == 0 && ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0;
}

// A file size limit fails writes the way a full disk does (EFBIG for ENOSPC).
bool fillTheDiskEarly() {
  const rlimit limit{1000, 1000};
  return ::signal(SIGXFSZ, SIG_IGN) != SIG_ERR && ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

std::vector<std::string> listing() {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(".")) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(HostileInputTest, FailuresInARestrictedProcessLeaveNoOutputNorTemporaryFile) {
  const struct {
    std::string input, output, report;
    std::function<bool()> setUp;
  } cases[] = {
      {"page.pnm", "out.bmp", "1\nCannot create BMP file (out.bmp): File too large", fillTheDiskEarly},
      {"locked.pnm", "out.bmp", "1\nCannot read image file (locked.pnm): Permission denied", actAsOrdinaryUser},
      {"page.pnm", "sealed/out.bmp", "1\nCannot create BMP file (sealed/out.bmp): Permission denied",
       actAsOrdinaryUser},
  };
  for (const auto& [input, output, expected, setUp] : cases) {
    const ScratchDir dir;
    writeFile("page.pnm", inkPage(40, 30));
    writeFile("locked.pnm", inkPage(8, 8));
    fs::create_directory("sealed");
    ASSERT_EQ(::chmod("locked.pnm", 0), 0);
    ASSERT_EQ(::chmod("sealed", 0555), 0);
    const std::string report = runInChild(input, output, setUp);
    if (report == kSkipped) GTEST_SKIP() << "cannot give up root in this environment";
    EXPECT_EQ(report, expected);
    EXPECT_TRUE(fs::is_empty("sealed"));
    EXPECT_EQ(listing(), (std::vector<std::string>{"locked.pnm", "logger.txt", "page.pnm", "scores.txt", "sealed"}))
        << output;
  }
}

}  // namespace
}  // namespace glimmer
