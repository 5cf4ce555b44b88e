// Batches: how inputs become pages, and what a batch run promises end to end
// (the same bytes at any job count, resuming, time limits, stopping).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <random>

#include "app/cli/batch_plan.h"
#include "app/cli/batch_status.h"
#include "app/cli/cli_options.h"
#include "app/cli/tests/cli_run.h"
#include "common/tests/scratch_dir.h"

namespace glimmer::cli {
namespace {

namespace fs = std::filesystem;
using test_support::listing;
using test_support::readFile;
using test_support::ScratchDir;
using test_support::writeFile;

// Grainy paper with rows of dark letter-like marks: a page the analysis has
// work on, small enough to run often.
std::string textPage(int width, int height, unsigned seed) {
  std::mt19937 random(seed);
  std::string pixels(static_cast<std::size_t>(width * height), '\0');
  for (char& pixel : pixels) pixel = static_cast<char>(196 + random() % 24);
  const auto ink = [&](int x, int y) { pixels[static_cast<std::size_t>(y * width + x)] = static_cast<char>(40); };
  for (int top = 8; top + 12 < height; top += 22) {
    for (int x = 6; x + 8 < width;) {
      const int letters = 2 + static_cast<int>(random() % 5);
      for (int letter = 0; letter < letters && x + 8 < width; ++letter, x += 7) {
        for (int y = top; y < top + 10; ++y) {
          ink(x, y);
          ink(x + 4, y);
        }
        for (int dx = 0; dx < 5; ++dx) ink(x + dx, top + (letter % 2 == 0 ? 0 : 9));
      }
      x += 6;
    }
  }
  return "P5\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n" + pixels;
}

std::string noisePage(int side, unsigned seed) {
  std::mt19937 random(seed);
  std::string pixels(static_cast<std::size_t>(side * side), '\0');
  for (char& pixel : pixels) pixel = static_cast<char>(random() % 256);
  return "P5\n" + std::to_string(side) + " " + std::to_string(side) + "\n255\n" + pixels;
}

Options parsed(const std::vector<std::string>& arguments) {
  const ParseResult result = parseArguments(arguments);
  EXPECT_EQ(result.error, "");
  return result.options;
}

std::vector<std::string> inputsOf(const BatchPlan& plan) {
  std::vector<std::string> inputs;
  for (const BatchItem& item : plan.items) inputs.push_back(item.input);
  return inputs;
}

TEST(BatchPlan, FoldersGiveTheirPagesByNameAndSubfoldersOnlyWhenAsked) {
  const ScratchDir dir;
  fs::create_directories("pages/sub");
  fs::create_directories("pages/out");
  for (const char* name : {"pages/b.pgm", "pages/a.pgm", "pages/.hidden.pgm", "pages/sub/c.pgm", "pages/out/old.pgm"}) {
    writeFile(name, whitePage(2, 2));
  }
  writeFile("pages/notes.txt", "not a page");
  writeFile("pages/photo.JPG", "told by its name");
  fs::create_directory_symlink("..", "pages/sub/loop");

  EXPECT_EQ(inputsOf(planBatch(parsed({"pages"}))),
            (std::vector<std::string>{"pages/a.pgm", "pages/b.pgm", "pages/photo.JPG"}));

  const BatchPlan deep = planBatch(parsed({"-r", "--output-dir", "pages/out", "--diagnostics", "diag", "pages"}));
  EXPECT_EQ(inputsOf(deep),
            (std::vector<std::string>{"pages/a.pgm", "pages/b.pgm", "pages/photo.JPG", "pages/sub/c.pgm"}));
  const BatchItem& nested = deep.items.back();
  EXPECT_EQ(nested.outputPath, "pages/out/sub/c.bmp");
  EXPECT_EQ(nested.coordinateFolder, "pages/out/sub");
  EXPECT_EQ(nested.diagnosticsFolder, "diag/sub/c");
  for (const BatchItem& item : deep.items) EXPECT_EQ(item.problem, "") << item.input;
}

TEST(BatchPlan, ListsSkipBlankLinesAndEveryFileRunsOnceIntoAnOutputOfItsOwn) {
  const ScratchDir dir;
  fs::create_directory("d");
  writeFile("a.pgm", whitePage(2, 2));
  writeFile("d/a.pgm", whitePage(2, 2));
  writeFile("\xff.pgm", whitePage(2, 2));
  writeFile("list", "a.pgm\n\n  \r\nmissing.pgm\r\n./a.pgm\nmissing.pgm\nd/a.pgm\n\xff.pgm");
  const BatchPlan plan = planBatch(parsed({"--output-dir", ".", "--from", "list"}));
  ASSERT_EQ(plan.usageError, "");
  ASSERT_EQ(plan.items.size(), 6u);
  EXPECT_EQ(plan.items[0].problem, "");
  EXPECT_EQ(plan.items[1].input, "missing.pgm");
  EXPECT_EQ(plan.items[1].problem, "");  // the driver says it is missing
  EXPECT_TRUE(plan.items[2].skip);
  EXPECT_EQ(plan.items[2].problem, "listed before (as a.pgm); done once");
  EXPECT_TRUE(plan.items[3].skip);
  EXPECT_FALSE(plan.items[4].skip);
  EXPECT_EQ(plan.items[4].problem, "its output ./a.bmp is also the output of a.pgm in this run - not written");
  EXPECT_EQ(plan.items[5].label, "\\xFF.pgm");
  EXPECT_EQ(plan.items[5].problem, "");
}

TEST(BatchPlan, NoOutputReplacesAnotherInputAndUnusableInputsAreNamed) {
  const ScratchDir dir;
  writeFile("a.png", "a page");
  writeFile("a.tif", "a page");
  fs::create_directories("empty");
  fs::create_directories("deep/sub");
  writeFile("deep/sub/p.pgm", whitePage(2, 2));
  const BatchPlan plan = planBatch(parsed({"--format", "png", "a.png", "a.tif", "empty", "deep"}));
  ASSERT_EQ(plan.items.size(), 4u);
  EXPECT_EQ(plan.items[0].problem, "");  // its own input: the driver refuses that
  EXPECT_EQ(plan.items[1].problem,
            "its output a.png would replace the input a.png - choose another --format or --output-dir");
  EXPECT_EQ(plan.items[2].problem, "no page files in this folder");
  EXPECT_EQ(plan.items[3].problem, "no page files in this folder (-r searches its subfolders)");

  EXPECT_NE(planBatch(parsed({"--from", "no-such-list"})).usageError.find("cannot read the list no-such-list"),
            std::string::npos);
  EXPECT_EQ(planBatch(parsed({"-r", "-o", "x.bmp", "deep"})).usageError, "");  // one page: fine
  writeFile("deep/q.pgm", whitePage(2, 2));
  EXPECT_NE(planBatch(parsed({"-r", "-o", "x.bmp", "deep"})).usageError.find("--output takes a single input"),
            std::string::npos);
}

TEST(BatchOptions, JobsShareTheCoresAndDiagnosticsNeverCollide) {
  struct Case {
    std::vector<std::string> arguments;
    int cores, jobs, bands;
  };
  for (const Case& c : std::vector<Case>{{{"p"}, 8, 1, 8},
                                         {{"--jobs", "0", "p"}, 8, 8, 1},
                                         {{"--jobs", "2", "p"}, 8, 2, 4},
                                         {{"--jobs", "3", "p"}, 2, 3, 1},
                                         {{"--jobs", "0", "--bands", "3", "p"}, 4, 4, 3}}) {
    const Parallelism parallelism = parallelismFor(parsed(c.arguments), c.cores);
    EXPECT_EQ(parallelism.jobs, c.jobs) << c.arguments.front();
    EXPECT_EQ(parallelism.bands, c.bands) << c.arguments.front();
  }
  EXPECT_EQ(diagnosticsFolderFor(parsed({"p"}), "out/p.bmp", ""), ".");
  EXPECT_EQ(diagnosticsFolderFor(parsed({"--jobs", "2", "p"}), "out/p.bmp", ""), std::nullopt);
  EXPECT_EQ(diagnosticsFolderFor(parsed({"--jobs", "0", "--diagnostics", "d", "p"}), "out/p.bmp", "s"), "d/s/p");
  for (const auto& bad : std::vector<std::vector<std::string>>{{"--jobs", "65", "p"},
                                                               {"--jobs", "-1", "p"},
                                                               {"--time-limit", "0", "p"},
                                                               {"--time-limit", "nan", "p"},
                                                               {"--time-limit", "86401", "p"},
                                                               {"--from", "-", "-"}}) {
    EXPECT_NE(parseArguments(bad).error, "") << bad[0] << " " << bad[1];
  }
}

TEST(BatchProgressLine, EstimatesFromTheWorkDoneAndNeverWrapsTheTerminal) {
  BatchCounts counts;
  counts.total = 400;
  counts.finished = 12;
  counts.skipped = 2;
  counts.running = 2;
  counts.runningPermille = 1000;  // two halves: one page's work
  counts.elapsedSeconds = 65;
  // 11 pages' work in 65 s, 387 to go.
  EXPECT_EQ(batchProgressLine(counts, 100),
            "12/400 pages [....................]   3%  2 running  1:05 elapsed, 38:07 left");
  for (int columns = 0; columns <= 100; ++columns) {
    EXPECT_LT(batchProgressLine(counts, columns).size(), static_cast<std::size_t>(std::max(columns, 1)));
  }
  EXPECT_EQ(batchProgressLine(counts, 41), "12/400 pages [....................]   3%");
  EXPECT_EQ(batchProgressLine(counts, 40), "12/400 pages   3%");
  EXPECT_EQ(clockTime(3723.4), "1:02:03");
  counts.finished = 400;
  counts.running = 0;
  counts.runningPermille = 0;
  EXPECT_EQ(batchProgressLine(counts, 100), "400/400 pages [####################] 100%  1:05 elapsed");
}

class BatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 0; i < 4; ++i) {
      pages.push_back("p" + std::to_string(i) + ".pgm");
      writeFile(pages.back(), textPage(90 + 10 * i, 70, static_cast<unsigned>(i)));
    }
  }
  ScratchDir dir;
  std::vector<std::string> pages;
};

TEST_F(BatchTest, AnyJobCountGivesTheSerialBytesAndVerboseBlocksInInputOrder) {
  fs::create_directory("serial");
  std::string serialLines;
  for (const std::string& page : pages) {
    const CliRun alone = runCli({"--bands", "1", "--verbose", "--output-dir", "serial", page});
    ASSERT_EQ(alone.status, 0) << alone.err;
    serialLines += alone.out;
  }
  fs::remove("scores.txt");
  for (const char* jobs : {"0", "3"}) {
    const std::string folder = std::string("jobs") + jobs;
    fs::create_directory(folder);
    std::vector<std::string> arguments{"--jobs", jobs, "--bands", "1", "--verbose", "--output-dir", folder};
    arguments.insert(arguments.end(), pages.begin(), pages.end());
    const CliRun batch = runCli(arguments);
    ASSERT_EQ(batch.status, 0) << batch.err;
    EXPECT_EQ(batch.out, serialLines);
    EXPECT_NE(batch.err.find("4 inputs in "), std::string::npos) << batch.err;
    for (const std::string& page : pages) {
      const std::string name = fs::path(page).replace_extension(".bmp").string();
      EXPECT_EQ(readFile(folder + "/" + name), readFile("serial/" + name)) << name;
    }
  }
  EXPECT_FALSE(fs::exists("scores.txt"));  // several jobs and no --diagnostics: none written
}

TEST_F(BatchTest, DiagnosticsFolderKeepsEveryPagesFilesAsASingleRunWritesThem) {
  const CliRun batch = runCli({"--jobs", "2", "--diagnostics", "diag", "--output-dir", ".", pages[0], pages[1]});
  ASSERT_EQ(batch.status, 0) << batch.err;
  EXPECT_EQ(listing("diag"), (std::vector<std::string>{"p0", "p1"}));
  fs::create_directory("alone");
  fs::current_path("alone");
  ASSERT_EQ(runCli({"--bands", "1", "-o", "p1.bmp", "../" + pages[1]}).status, 0);
  fs::current_path("..");
  for (const char* name : {"scores.txt", "logger.txt", "skeleton.bmp"}) {
    EXPECT_EQ(readFile(std::string("diag/p1/") + name), readFile(std::string("alone/") + name)) << name;
  }
  EXPECT_NE(readFile("diag/p1/scores.txt"), readFile("diag/p0/scores.txt"));
}

TEST_F(BatchTest, PagesFromSubfoldersKeepThemBelowTheOutputFolder) {
  fs::create_directories("book/ch1");
  fs::rename(pages[1], "book/ch1/" + pages[1]);
  fs::rename(pages[0], "book/" + pages[0]);
  fs::create_directory("out");
  const CliRun result = runCli({"-r", "--rows", "--output-dir", "out", "--diagnostics", "diag", "book"});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(listing("out"), (std::vector<std::string>{"ch1", "p0.bmp", "p0.pgm.rows.coords.lisp"}));
  EXPECT_EQ(listing("out/ch1"), (std::vector<std::string>{"p1.bmp", "p1.pgm.rows.coords.lisp"}));
  EXPECT_TRUE(fs::exists("diag/ch1/p1/scores.txt"));
}

TEST_F(BatchTest, SkipExistingResumesABatchWhereItStopped) {
  std::vector<std::string> arguments{"--output-dir", "out"};
  arguments.insert(arguments.end(), pages.begin(), pages.end());
  fs::create_directory("out");
  ASSERT_EQ(runCli(arguments).status, 0);
  const std::string kept = readFile("out/p1.bmp");
  writeFile("out/p1.bmp", "older, but whole: kept");
  fs::remove("out/p2.bmp");
  arguments.push_back("--skip-existing");
  const CliRun resumed = runCli(arguments);
  EXPECT_EQ(resumed.status, 0) << resumed.err;
  EXPECT_NE(resumed.err.find("4 inputs in "), std::string::npos) << resumed.err;
  EXPECT_NE(resumed.err.find(": 1 done, 3 skipped, 0 failed"), std::string::npos) << resumed.err;
  EXPECT_EQ(readFile("out/p1.bmp"), "older, but whole: kept");
  EXPECT_EQ(readFile("out/p2.bmp").substr(0, 2), "BM");
}

TEST_F(BatchTest, ATimeLimitAbandonsTheSlowPageAndTheBatchGoesOn) {
  // The noise page takes half a minute at one band, the small page a fraction of a second, even under a sanitizer.
  writeFile("noise.pgm", noisePage(2000, 1));
  fs::create_directory("out");
  const CliRun result = runCli({"--bands", "1", "--time-limit", "4", "--output-dir", "out", "noise.pgm", pages[0]});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("noise.pgm: Stopped before noise.pgm was done: over the time limit of 4 s"),
            std::string::npos)
      << result.err;
  EXPECT_EQ(listing("out"), std::vector<std::string>{"p0.bmp"});  // nothing of the stopped page
}

TEST_F(BatchTest, BadInputsAreNamedAndTheRestOfTheBatchGoesOn) {
  fs::create_directory("empty");
  writeFile("list", pages[0] + "\n\nmissing.pgm\n" + pages[0] + "\n" + pages[1] + "\n");
  const CliRun result = runCli({"--jobs", "2", "--output-dir", ".", "--from", "-", "empty"}, "list");
  EXPECT_EQ(result.status, 1);
  for (const char* line : {"glimmer-cli: missing.pgm: Specified image file does not exist",
                           "glimmer-cli: p0.pgm: listed before (as p0.pgm); done once",
                           "  empty: no page files in this folder", ": 2 done, 1 skipped, 2 failed"}) {
    EXPECT_NE(result.err.find(line), std::string::npos) << line << "\n" << result.err;
  }
  EXPECT_TRUE(fs::exists("p0.bmp") && fs::exists("p1.bmp"));
  EXPECT_EQ(runCli({"--from", "no-such-list"}).status, 2);
}

// Starts glimmer-cli in the background, its stderr in `errorFile`.
pid_t startCli(const std::vector<std::string>& arguments, const char* errorFile) {
  const pid_t cli = ::fork();
  if (cli == 0) {
    const int err = ::open(errorFile, O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(err, STDERR_FILENO);
    std::vector<const char*> argv{GLIMMER_CLI_PATH};
    for (const std::string& argument : arguments) argv.push_back(argument.c_str());
    argv.push_back(nullptr);
    ::execv(GLIMMER_CLI_PATH, const_cast<char* const*>(argv.data()));
    ::_exit(127);
  }
  return cli;
}

template <typename Condition>
bool waitFor(Condition condition) {
  for (int wait = 0; wait < 6000 && !condition(); ++wait) ::usleep(5000);
  return condition();
}

TEST_F(BatchTest, AStoppedBatchLeavesOnlyWholeOutputsAndARerunFinishesIt) {
  std::vector<std::string> slow;
  for (int i = 0; i < 4; ++i) {
    slow.push_back("n" + std::to_string(i) + ".pgm");
    writeFile(slow.back(), noisePage(120, static_cast<unsigned>(i)));
  }
  std::vector<std::string> arguments{"--bands", "1", "--output-dir", "out"};
  arguments.insert(arguments.end(), slow.begin(), slow.end());
  for (const int signalNumber : {SIGINT, SIGTERM}) {
    fs::remove_all("out");
    fs::create_directory("out");
    const pid_t cli = startCli(arguments, "err.txt");
    ASSERT_GT(cli, 0);
    ASSERT_TRUE(waitFor([] { return fs::exists("out/n0.bmp"); }));
    ::kill(cli, signalNumber);
    int status = 0;
    ASSERT_EQ(::waitpid(cli, &status, 0), cli);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signalNumber) << status;
    const std::string err = readFile("err.txt");
    EXPECT_NE(err.find(signalNumber == SIGINT ? "stopped by SIGINT after " : "stopped by SIGTERM after "),
              std::string::npos)
        << err;
    EXPECT_NE(err.find(" abandoned, "), std::string::npos) << err;
    const std::vector<std::string> written = listing("out");
    EXPECT_LT(written.size(), slow.size());
    for (const std::string& name : written) {
      EXPECT_EQ(fs::path(name).extension(), ".bmp") << name;  // no temporary left
      EXPECT_EQ(fs::file_size("out/" + name), 54u + 360u * 120u) << name;
    }
  }
  // The same command with --skip-existing finishes the batch as one whole run would have.
  arguments.push_back("--skip-existing");
  ASSERT_EQ(runCli(arguments).status, 0);
  fs::create_directory("whole");
  arguments.back() = "--output-dir=whole";
  ASSERT_EQ(runCli(arguments).status, 0);
  EXPECT_EQ(listing("out"), listing("whole"));
  for (const std::string& name : listing("whole")) EXPECT_EQ(readFile("out/" + name), readFile("whole/" + name));
}

TEST_F(BatchTest, AnOutputFolderThatVanishesFailsThePagesLeftAndWritesNothingElsewhere) {
  writeFile("noise.pgm", noisePage(200, 3));
  fs::create_directory("out");
  const std::vector<std::string> before = listing();
  const pid_t cli =
      startCli({"--bands", "1", "--diagnostics", "diag", "--output-dir", "out", "noise.pgm", pages[0]}, "../err.txt");
  ASSERT_GT(cli, 0);
  ASSERT_TRUE(waitFor([] { return !fs::is_empty("out"); }));  // the first output's temporary
  fs::remove_all("out");
  int status = 0;
  ASSERT_EQ(::waitpid(cli, &status, 0), cli);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
  const std::string err = readFile("../err.txt");
  fs::remove("../err.txt");
  EXPECT_NE(err.find("noise.pgm: Cannot create BMP file (out/noise.bmp): No such file or directory"), std::string::npos)
      << err;
  EXPECT_NE(err.find("2 of 2 inputs failed"), std::string::npos) << err;
  std::vector<std::string> after = before;
  *std::find(after.begin(), after.end(), "out") = "diag";
  std::sort(after.begin(), after.end());
  EXPECT_EQ(listing(), after);
}

}  // namespace
}  // namespace glimmer::cli
