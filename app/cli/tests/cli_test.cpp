// glimmer-cli end to end: what only the command line adds to the driver.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>

#include "app/cli/cli_host.h"
#include "app/cli/tests/cli_run.h"
#include "common/tests/scratch_dir.h"

namespace glimmer {
namespace {

namespace fs = std::filesystem;
using test_support::readFile;
using test_support::ScratchDir;
using test_support::writeFile;

// A djpeg on PATH for the test's lifetime, running `script`.
class FakeDecoder {
 public:
  FakeDecoder(const ScratchDir& dir, const std::string& script) : path_(std::getenv("PATH")) {
    fs::create_directory(dir.file("bin"));
    writeFile(dir.file("bin/djpeg"), "#!/bin/sh\n" + script + "\n");
    fs::permissions(dir.file("bin/djpeg"), fs::perms::owner_all);
    ::setenv("PATH", (dir.file("bin") + ":" + path_).c_str(), 1);
  }
  ~FakeDecoder() { ::setenv("PATH", path_.c_str(), 1); }

 private:
  std::string path_;
};

class CliTest : public ::testing::Test {
 protected:
  CliRun run(const std::vector<std::string>& arguments, const std::string& input = "/dev/null") {
    return runCli(arguments, input);
  }

  ScratchDir dir;
};

TEST_F(CliTest, BadUsageExitsTwoWithAMessageOnStderr) {
  for (const auto& arguments : std::vector<std::vector<std::string>>{{},
                                                                     {"--bands", "0", "a.pnm"},
                                                                     {"--bands", "65", "a.pnm"},
                                                                     {"--frobnicate", "a.pnm"},
                                                                     {"-o", "x.bmp", "a.pnm", "b.pnm"},
                                                                     {"a.pnm", "--output"},
                                                                     {"-o", "-y", "a.pnm"},
                                                                     {"--output=", "a.pnm"},
                                                                     {"--rows=yes", "a.pnm"},
                                                                     {"--bands=x", "a.pnm"},
                                                                     {"-", "-"},
                                                                     {"--format", "gif", "a.pnm"},
                                                                     {"--format=png", "-o", "x.png", "a.pnm"},
                                                                     {"--bilevel", "a.pnm"},
                                                                     {"--bilevel", "-o", "x.BMP", "a.pnm"},
                                                                     {"--pdf-dpi", "9", "a.pdf"}}) {
    const CliRun result = run(arguments);
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_TRUE(result.err.starts_with("glimmer-cli: ")) << result.err;
  }
  EXPECT_EQ(run({"--help"}).status, 0);
}

TEST_F(CliTest, QuietRunPrintsNothingAndVerbosePassesTheDriverLinesThrough) {
  writeFile("page.pnm", whitePage(2, 1));
  const CliRun quiet = run({"page.pnm"});
  EXPECT_EQ(quiet.status, 0) << quiet.err;
  EXPECT_EQ(quiet.out + quiet.err, "");
  EXPECT_EQ(readFile("page.bmp").substr(0, 2), "BM");
  const CliRun verbose = run({"--verbose", "--bands", "1", "-o", "out.bmp", "page.pnm"});
  EXPECT_EQ(verbose.status, 0);
  EXPECT_EQ(verbose.out,
            "Starting thread 0 from 0 to 2\nThread:0 Complete:0.000000% X:0\nThread:0 Complete:50.000000% X:1\n"
            "***Thread #0 complete\n");
  EXPECT_EQ(verbose.err, "");
}

TEST_F(CliTest, ExistingOutputIsKeptWithoutYesWhenNobodyCanBeAsked) {
  writeFile("page.pnm", whitePage(3, 3));
  writeFile("page.bmp", "keep me");
  CliRun result = run({"page.pnm"});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("--yes"), std::string::npos);
  EXPECT_EQ(readFile("page.bmp"), "keep me");
  result = run({"--yes", "page.pnm"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(readFile("page.bmp").substr(0, 2), "BM");
}

TEST_F(CliTest, BatchGoesOnAfterFailuresAndNamesEveryOne) {
  fs::create_directory("out");
  ASSERT_EQ(::mkfifo("pipe.pnm", 0600), 0);
  writeFile("one.pnm", whitePage(3, 3));
  writeFile("broken.pnm", "P5\n3 3\n");
  writeFile("three.pnm", whitePage(4, 2).substr(0, 12));
  const CliRun result = run({"--output-dir", "out", "one.pnm", "broken.pnm", "pipe.pnm", "missing.pnm", "three.pnm"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_TRUE(fs::exists("out/one.bmp"));
  EXPECT_TRUE(fs::exists("out/three.bmp"));
  EXPECT_FALSE(fs::exists("out/broken.bmp"));
  for (const char* line :
       {"glimmer-cli: three.pnm: warning: Damaged PNM file (raster cut short: 1 of 8 bytes, the rest read as white)",
        "glimmer-cli: 1 of 5 inputs damaged",
        "glimmer-cli: 3 of 5 inputs failed:", "  broken.pnm: Not a valid PNM file (header cut short)",
        "  pipe.pnm: Cannot read image file (pipe.pnm): not a regular file",
        "  missing.pnm: Specified image file does not exist"}) {
    EXPECT_NE(result.err.find(line), std::string::npos) << line << "\n" << result.err;
  }
}

TEST_F(CliTest, AwkwardNamesReachTheDecoderWholeAndLeadingDashesStayOperands) {
  // A decoder found on PATH notes its arguments and writes a page.
  fs::create_directory("tmp");
  ::setenv("TMPDIR", dir.file("tmp").c_str(), 1);
  writeFile("decoded.pnm", whitePage(5, 3));
  const FakeDecoder decoder(dir, "printf '%s\\n' \"$4\" > arguments\ncat decoded.pnm > \"$3\"");
  for (const std::string name : {"with blank.pnm", "-dash.pnm", "quo'te\".jpeg", "-jpeg.JPG", "\xc3\xa9t\xc3\xa9.jpg",
                                 "\xff\xfe not UTF-8.jpg", "tab\there.jpg"}) {
    writeFile(name, name.ends_with(".pnm") ? whitePage(3, 3) : "a JPEG, as far as the fake decoder cares");
    const CliRun result = run({"--", name});
    EXPECT_EQ(result.status, 0) << name << ": " << result.err;
    EXPECT_TRUE(fs::exists(fs::path(name).replace_extension(".bmp"))) << name;
    if (!name.ends_with(".pnm")) {
      EXPECT_EQ(readFile("arguments"), (name[0] == '-' ? "./" : "") + name + "\n");
    }
  }
  ::unsetenv("TMPDIR");
  EXPECT_TRUE(fs::is_empty("tmp"));
}

TEST_F(CliTest, OutputsGoWhereTheUserPointedAndTheInputIsNeverDeleted) {
  fs::create_directory("tmp");
  ::setenv("TMPDIR", dir.file("tmp").c_str(), 1);
  const std::string page = whitePage(3, 2);
  writeFile("tmp/glimmer-scan.pnm", page);  // named like a decoded page, but the user's
  const CliRun toStandardOutput = run({"-o", "-", "tmp/glimmer-scan.pnm"});
  ::unsetenv("TMPDIR");
  EXPECT_EQ(toStandardOutput.status, 0) << toStandardOutput.err;
  EXPECT_EQ(toStandardOutput.out.size(), 54u + 12u * 2u);
  EXPECT_EQ(readFile("tmp/glimmer-scan.pnm"), page);
  EXPECT_EQ(run({"-o", "-", "--verbose", "tmp/glimmer-scan.pnm"}).status, 2);

  ASSERT_EQ(::mkfifo("fifo", 0600), 0);
  const CliRun unread = run({"-o", "fifo", "tmp/glimmer-scan.pnm"});
  EXPECT_EQ(unread.status, 1);
  EXPECT_NE(unread.err.find("Cannot create BMP file (fifo): a FIFO that nothing reads from"), std::string::npos);
  const int reader = ::open("fifo", O_RDONLY | O_NONBLOCK);
  EXPECT_EQ(run({"-o", "fifo", "tmp/glimmer-scan.pnm"}).status, 0);
  char received[128];
  EXPECT_EQ(::read(reader, received, sizeof received), 54 + 12 * 2);
  ::close(reader);
  if (::geteuid() == 0) {
    ASSERT_EQ(::mknod("null", S_IFCHR | 0666, makedev(1, 3)), 0);
    EXPECT_EQ(run({"-o", "null", "tmp/glimmer-scan.pnm"}).status, 0);
    EXPECT_TRUE(fs::is_character_file("null"));
  }
  EXPECT_TRUE(fs::is_fifo("fifo"));
  EXPECT_EQ(std::ranges::count_if(fs::directory_iterator("."),
                                  [](const auto& entry) { return entry.path().filename().string()[0] == '.'; }),
            0);
}

TEST_F(CliTest, TwoInputsOfABatchWithOneOutputNameFailTheSecondAndGoOn) {
  for (const char* folder : {"d1", "d2", "out"}) fs::create_directory(folder);
  writeFile("d1/p.pgm", whitePage(3, 3));
  writeFile("d2/p.pgm", whitePage(4, 4));
  writeFile("d2/q.pgm", whitePage(2, 2));
  const CliRun result = run({"-y", "--output-dir", "out", "d1/p.pgm", "d2/p.pgm", "d2/q.pgm"});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("d2/p.pgm: its output out/p.bmp is also the output of d1/p.pgm in this run"),
            std::string::npos)
      << result.err;
  EXPECT_EQ(readFile("out/p.bmp").size(), 54u + 12u * 3u);
  EXPECT_TRUE(fs::exists("out/q.bmp"));
}

TEST_F(CliTest, ASignalStopsTheDecoderRemovesTemporariesAndEndsTheRunByThatSignal) {
  fs::create_directory("tmp");
  fs::create_directory("out");
  writeFile("photo.jpg", "a JPEG, as far as the fake decoder cares");
  const FakeDecoder decoder(dir, "echo $$ > decoder.pid.part && mv decoder.pid.part decoder.pid\nexec sleep 600");
  ::setenv("TMPDIR", dir.file("tmp").c_str(), 1);
  for (const int signalNumber : {SIGINT, SIGTERM}) {
    fs::remove("decoder.pid");
    const pid_t cli = ::fork();
    ASSERT_GE(cli, 0);
    if (cli == 0) {
      ::execl(GLIMMER_CLI_PATH, GLIMMER_CLI_PATH, "-o", "out/photo.bmp", "photo.jpg", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    for (int wait = 0; wait < 1000 && !fs::exists("decoder.pid"); ++wait) ::usleep(10000);
    ASSERT_TRUE(fs::exists("decoder.pid"));
    EXPECT_FALSE(fs::is_empty("out"));  // the output's temporary, made before the work
    ::kill(cli, signalNumber);
    int status = 0;
    ASSERT_EQ(::waitpid(cli, &status, 0), cli);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signalNumber) << status;
    const std::string decoderPid = readFile("decoder.pid");
    const std::string procStat = "/proc/" + decoderPid.substr(0, decoderPid.find('\n')) + "/stat";
    const auto decoderEnded = [&] {  // gone, or a zombie nobody has reaped yet
      const std::string stat = readFile(procStat);
      return stat.empty() || stat.find(") Z ") != std::string::npos;
    };
    for (int wait = 0; wait < 1000 && !decoderEnded(); ++wait) ::usleep(10000);
    EXPECT_TRUE(decoderEnded());
    EXPECT_TRUE(fs::is_empty("out"));
    EXPECT_TRUE(fs::is_empty("tmp"));
  }

  // A page from standard input that never ends: its private folder goes too.
  int channel[2];
  ASSERT_EQ(::pipe(channel), 0);
  const pid_t cli = ::fork();
  ASSERT_GE(cli, 0);
  if (cli == 0) {
    ::dup2(channel[0], STDIN_FILENO);
    ::close(channel[1]);
    ::execl(GLIMMER_CLI_PATH, GLIMMER_CLI_PATH, "-o", "out/page.bmp", "-", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(channel[0]);
  ASSERT_EQ(::write(channel[1], "P5\n", 3), 3);
  const auto pageStored = [] {  // its folder holds the page being copied
    for (const auto& entry : fs::directory_iterator("tmp")) return fs::exists(entry.path() / "stdin");
    return false;
  };
  for (int wait = 0; wait < 1000 && !pageStored(); ++wait) ::usleep(10000);
  EXPECT_TRUE(pageStored());
  ::kill(cli, SIGHUP);
  int status = 0;
  ASSERT_EQ(::waitpid(cli, &status, 0), cli);
  ::close(channel[1]);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGHUP) << status;
  EXPECT_TRUE(fs::is_empty("tmp"));
  ::unsetenv("TMPDIR");
}

TEST_F(CliTest, StandardOutputFailuresFailTheRunButAClosedPipeEndsQuietly) {
  writeFile("page.pnm", whitePage(200, 200));
  const std::string cli = quoted(GLIMMER_CLI_PATH);
  EXPECT_EQ(std::system((cli + " -o - page.pnm 2>cli.err | true").c_str()), 0);
  EXPECT_EQ(readFile("cli.err"), "");
  if (::geteuid() == 0) {
    ASSERT_EQ(::mknod("full", S_IFCHR | 0666, makedev(1, 7)), 0);
    for (const char* arguments : {" --help", " --verbose -y page.pnm", " -y -o - page.pnm"}) {
      const int status = std::system((cli + arguments + " >full 2>cli.err").c_str());
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << arguments;
      EXPECT_NE(readFile("cli.err").find("No space left on device"), std::string::npos) << arguments;
    }
  }
  EXPECT_EQ(std::ranges::count_if(fs::directory_iterator("."),
                                  [](const auto& entry) { return entry.path().filename().string()[0] == '.'; }),
            0);
}

TEST_F(CliTest, OutputFolderProblemsAreReportedBeforeAnyWork) {
  writeFile("page.pnm", whitePage(3, 3));
  writeFile("afile", "");
  const std::pair<std::vector<std::string>, const char*> cases[] = {
      {{"--output-dir", "nowhere", "page.pnm"}, "Output folder does not exist: nowhere"},
      {{"-o", "nowhere/x.bmp", "page.pnm"}, "Output folder does not exist: nowhere"},
      {{"--output-dir=afile", "page.pnm"}, "Output folder is not a folder: afile"}};
  for (const auto& [arguments, message] : cases) {
    const CliRun result = run(arguments);
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find(message), std::string::npos) << result.err;
    EXPECT_FALSE(fs::exists("scores.txt"));
  }
}

TEST_F(CliTest, AttachedValuesAndAPageFromStandardInput) {
  writeFile("page.pnm", whitePage(3, 3));
  fs::create_directory("out");
  CliRun result = run({"--bands=1", "--output=-y.bmp", "page.pnm"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(readFile("-y.bmp").substr(0, 2), "BM");
  result = run({"--output-dir=out", "--rows", "-"}, "page.pnm");
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(readFile("out/stdin.bmp").substr(0, 2), "BM");
  EXPECT_TRUE(fs::exists("out/stdin.rows.coords.lisp"));
}

TEST_F(CliTest, FormatNamesTheOutputsAndBilevelPagesGoOutAsOneBit) {
  writeFile("page.pnm", whitePage(4, 2));
  fs::create_directory("out");
  CliRun result = run({"--format", "tiff", "--output-dir", "out", "--bilevel", "page.pnm"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(readFile("out/page.tif").substr(0, 4), std::string("II*\0", 4));
  result = run({"--format=pdf", "--pdf-dpi=150", "page.pnm"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(readFile("page.pdf").substr(0, 5), "%PDF-");
  EXPECT_EQ(run({"--bilevel", "-o", "one.png", "page.pnm"}).status, 0);
  EXPECT_TRUE(run({"--help"}).out.find("--pdf-dpi") != std::string::npos);
}

TEST_F(CliTest, DeclinedOverwriteKeepsTheFileAndCountsAsSkipped) {
  // A terminal is needed for the question to be asked at all.
  if (std::system("command -v script >/dev/null") != 0) GTEST_SKIP() << "no script(1) to give a terminal";
  writeFile("page.pnm", whitePage(3, 3));
  writeFile("page.bmp", "keep me");
  const std::string command = "printf 'n\\n' | script -qec " +
                              quoted(quoted(GLIMMER_CLI_PATH) + " page.pnm; echo status=$?") + " /dev/null >cli.out";
  ASSERT_EQ(std::system(command.c_str()), 0);
  const std::string transcript = readFile("cli.out");
  EXPECT_NE(transcript.find("kept page.bmp (not overwritten)"), std::string::npos) << transcript;
  EXPECT_NE(transcript.find("status=0"), std::string::npos) << transcript;
  EXPECT_EQ(readFile("page.bmp"), "keep me");
}

TEST(ProgressLine, NeverWrapsTheTerminalAndKeepsTheNamesEnd) {
  const std::string label = "/scans/\xc3\xa9t\xc3\xa9/long-page-name.pnm";
  const std::pair<int, std::string> cases[] = {
      {80, label + " [###############...............]  50%"},
      {40, "...-name.pnm [#########..........]  50%"},
      {20, "...ge-name.pnm  50%"},
      {4, " 50%"},
  };
  for (const auto& [columns, expected] : cases) EXPECT_EQ(cli::progressLine(label, 500, columns), expected) << columns;
}

}  // namespace
}  // namespace glimmer
