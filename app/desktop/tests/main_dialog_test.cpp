#include "app/desktop/main_dialog.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/desktop/tests/fake_dialog_view.h"
#include "common/tests/scratch_dir.h"
#include "system/path_text.h"

namespace glimmer {
namespace {

using test_support::Message;
using test_support::writeFile;

class MainDialogTest : public ::testing::Test {
 protected:
  MainDialogServices services() {
    return {.countProcessorCores = [this] { return cores; },
            .processImageFile =
                [this](const ProcessRequest& request, DriverHost& host, std::string& processedPnmPath) {
                  requests.push_back(request);
                  return driver(request, host, processedPnmPath);
                },
            .runChildProcess =
                [this](const std::string& commandLine, bool) {
                  children.push_back(commandLine);
                  return 0;
                }};
  }

  void processFile(const std::string& input, const std::string& folder) {
    view.inputField = input;
    view.folderField = folder;
    dialog.startProcessing();
    view.waitUntil([this] { return !dialog.isProcessing(); });
  }

  void chooseInput(const std::string& path) {
    view.nextChosenFile = path;
    dialog.browseInputFile();
  }

  test_support::ScratchDir scratch;
  const std::string outFolder = scratch.path().string();
  test_support::FakeDialogView view;
  bool askForFileOnStartup = false;
  int cores = 4;
  std::function<int(const ProcessRequest&, DriverHost&, std::string&)> driver = [](const ProcessRequest& request,
                                                                                   DriverHost&, std::string&) {
    writeFile(request.outputPath, "BM");
    return 0;
  };
  std::vector<ProcessRequest> requests;
  std::vector<std::string> children;
  MainDialog dialog{view, askForFileOnStartup, services()};
};

TEST_F(MainDialogTest, CoreCountShownIsClampedToTheBandsTheBarCanHold) {
  const std::pair<int, const char*> cases[] = {{4, "4"}, {0, "1"}, {100, "64"}};
  for (const auto& [count, shown] : cases) {
    cores = count;
    dialog.start();
    EXPECT_EQ(view.coreCountText, shown);
  }
}

TEST_F(MainDialogTest, ChosenInputNamesTheOutputAndProposesItsFolder) {
  chooseInput("C:\\scans\\page.1.jpg");
  EXPECT_EQ(view.inputField, "C:/scans/page.1.jpg");
  EXPECT_EQ(view.folderField, "C:/scans/");
  processFile("/scans/edited.pnm", outFolder + "/");
  EXPECT_EQ(requests.at(0).outputPath, outFolder + "/page.1.bmp");
}

TEST_F(MainDialogTest, BrowsedFolderEndsInOneSlashAndComesBackWhenAnInputIsChosen) {
  const std::pair<const char*, const char*> cases[] = {
      {"/", "/"}, {"\\\\server\\share", "/server/share/"}, {"/data/out", "/data/out/"}, {"", "/data/out/"}};
  for (const auto& [chosen, shown] : cases) {
    view.nextChosenFolder = chosen;
    dialog.browseOutputFolder();
    EXPECT_EQ(view.folderField, shown) << chosen;
  }
  view.folderField = "/typed/elsewhere";
  chooseInput("/scans/page.pnm");
  EXPECT_EQ(view.folderField, "/data/out/");
}

TEST_F(MainDialogTest, BarShowsTheMeanOfAllBandsAndASuccessEnablesOpenOutputImage) {
  std::vector<std::pair<int, int>> reports = {{0, 1000}, {1, 500}, {2, 0}, {3, 0}, {64, 1000}, {-1, 1000}};
  driver = [&](const ProcessRequest& request, DriverHost& host, std::string&) {
    for (const auto& [band, thousandths] : reports) host.reportProgress(band, thousandths);
    writeFile(request.outputPath, "BM");
    return 0;
  };
  processFile("/scans/my page.pnm", outFolder);
  EXPECT_EQ(view.progressPositions, (std::vector<int>{250, 375, 375, 375, 375, 375, 1000}));
  EXPECT_EQ(view.messages, (std::vector<Message>{{"Finished processing", "Done"}}));
  EXPECT_TRUE(view.processingButtonsEnabled);
  EXPECT_TRUE(view.openOutputEnabled);

  // Bands that do not report again keep their last value.
  reports = {{0, 200}};
  view.progressPositions.clear();
  processFile("/scans/my page.pnm", outFolder);
  EXPECT_EQ(view.progressPositions, (std::vector<int>{175, 1000}));

  dialog.openOutputImage();
  EXPECT_EQ(children, std::vector<std::string>{"xdg-open \"" + outFolder + "/my page.bmp\""});
  std::filesystem::remove(outFolder + "/my page.bmp");
  dialog.openOutputImage();
  EXPECT_EQ(children.size(), 1u);
  EXPECT_EQ(view.messages.back(), (Message{"Output file no longer exists", "Glimmer - Error"}));
}

TEST_F(MainDialogTest, TheBarCoversEveryPageAndOpenOutputImageShowsTheFirst) {
  cores = 2;
  driver = [&](const ProcessRequest& request, DriverHost& host, std::string&) {
    for (int page = 0; page < 2; ++page) {
      host.startPage(page, 2);
      host.reportProgress(0, 500);
      host.reportProgress(1, 1000);
      writeFile(pageOutputPath(request.outputPath, page, 2), "BM");
    }
    return 0;
  };
  processFile("/scans/book.tif", outFolder);
  EXPECT_EQ(view.progressPositions, (std::vector<int>{125, 375, 625, 875, 1000}));
  dialog.openOutputImage();
  EXPECT_EQ(children, std::vector<std::string>{"xdg-open \"" + outFolder + "/book-0001.bmp\""});
}

TEST_F(MainDialogTest, FailuresReenableTheButtonsAndKeepTheLastRun) {
  processFile("/in.v2/first", outFolder);  // typed; a '.' in a folder name is no extension
  const std::vector<int> barBefore = view.progressPositions;
  view.messages.clear();

  driver = [](const ProcessRequest&, DriverHost& host, std::string&) {
    return host.askYesNo("Overwrite?", kErrorTitle) ? 0 : 1;
  };
  for (const std::string& folder : {outFolder, scratch.file("missing"), std::string()}) {
    processFile("/scans/second.pnm", folder);
    EXPECT_TRUE(view.processingButtonsEnabled) << folder;
  }
  EXPECT_EQ(requests.size(), 2u);
  EXPECT_EQ(view.messages, (std::vector<Message>{{"Overwrite?", "Glimmer - Error"},
                                                 {"Output folder does not exist", "Glimmer - Error"},
                                                 {"Output folder does not exist", "Glimmer - Error"}}));
  EXPECT_EQ(view.progressPositions, barBefore);
  EXPECT_TRUE(view.openOutputEnabled);
  EXPECT_EQ(dialog.state().lastOutputPath, outFolder + "/first.bmp");
}

TEST_F(MainDialogTest, TheFileTheDriverReadIsNeverDeletedByTheDialog) {
  // The driver removes a JPEG's decoded page itself; a name it reports, even
  // one that looks like a decoded page, may be the user's own file.
  const std::string lookalike = scratch.file("glimmer-scan.pnm");
  driver = [&](const ProcessRequest&, DriverHost&, std::string& processedPnmPath) {
    processedPnmPath = lookalike;
    writeFile(processedPnmPath, "P5");
    return 0;
  };
  for (const char* input : {"a.JPG", "b.jpeg", "glimmer-scan.pnm"}) {
    processFile(scratch.file(input), outFolder);
    EXPECT_TRUE(std::filesystem::exists(lookalike)) << input;
  }
}

}  // namespace
}  // namespace glimmer
