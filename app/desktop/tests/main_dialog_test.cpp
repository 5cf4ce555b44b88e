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
            .openImageViewer =
                [this](const std::string& path) {
                  viewed.push_back(path);
                  return viewerProblem;
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
  Settings settings;
  int cores = 4;
  std::function<int(const ProcessRequest&, DriverHost&, std::string&)> driver = [](const ProcessRequest& request,
                                                                                   DriverHost&, std::string&) {
    writeFile(request.outputPath, "BM");
    return 0;
  };
  std::vector<ProcessRequest> requests;
  std::vector<std::string> viewed;
  std::string viewerProblem;
  MainDialog dialog{view, settings, services()};
};

TEST_F(MainDialogTest, CoreCountShownIsClampedToTheBandsTheBarCanHold) {
  const std::pair<int, const char*> cases[] = {{4, "4"}, {0, "1"}, {100, "64"}};
  for (const auto& [count, shown] : cases) {
    cores = count;
    dialog.start();
    EXPECT_EQ(view.coreCountText, shown);
  }
}

TEST_F(MainDialogTest, StartUpAsksForAPageUnlessOneWasNamed) {
  settings.askForFileOnStartup = true;
  view.nextChosenFile = "/scans/chosen.pnm";
  dialog.start();
  EXPECT_EQ(view.inputField, "/scans/chosen.pnm");
  EXPECT_EQ(view.chooserStartFolders.size(), 1u);

  dialog.start("/scans/named.jpg");
  EXPECT_EQ(view.inputField, "/scans/named.jpg");
  EXPECT_EQ(view.folderField, "/scans/");
  EXPECT_EQ(view.chooserStartFolders.size(), 1u);
  processFile(view.inputField, outFolder);
  EXPECT_EQ(requests.back().outputPath, outFolder + "/named.bmp");
}

TEST_F(MainDialogTest, ChosenInputNamesTheOutputOnlyWhileTheFieldStillHoldsIt) {
  chooseInput("C:\\scans\\page.1.jpg");
  EXPECT_EQ(view.inputField, "C:/scans/page.1.jpg");
  EXPECT_EQ(view.folderField, "C:/scans/");
  for (const auto& [field, output] : {std::pair{"C:/scans/page.1.jpg", "page.1.bmp"},
                                      {"/scans/other.pnm", "other.bmp"},
                                      {"C:/scans/page.1.jpg", "page.1.bmp"}}) {
    processFile(field, outFolder + "/");
    EXPECT_EQ(requests.back().outputPath, outFolder + "/" + output) << field;
  }
  // A dropped page counts as chosen, but not while a run is under way.
  dialog.dropInputFile("/drops/dropped.pnm");
  EXPECT_EQ(view.inputField, "/drops/dropped.pnm");
  processFile(view.inputField, outFolder);
  EXPECT_EQ(requests.back().outputPath, outFolder + "/dropped.bmp");
}

TEST_F(MainDialogTest, ChoosersOpenWhereTheLastChoiceOrRunWas) {
  settings.lastInputFolder = "/remembered/in";
  settings.lastOutputFolder = "/remembered/out";
  chooseInput("/scans/page.pnm");
  view.nextChosenFolder = "/data/out";
  dialog.browseOutputFolder();
  chooseInput("/scans/page.pnm");
  EXPECT_EQ(view.chooserStartFolders, (std::vector<std::string>{"/remembered/in", "/remembered/out", "/scans"}));
  processFile(scratch.file("typed.pnm"), outFolder + "/");
  EXPECT_EQ(settings.lastInputFolder, outFolder);
  EXPECT_EQ(settings.lastOutputFolder, outFolder);
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
  EXPECT_EQ(viewed, std::vector<std::string>{outFolder + "/my page.bmp"});
  viewerProblem = "xdg-open: No such file or directory";
  dialog.openOutputImage();
  EXPECT_EQ(view.messages.back(),
            (Message{"Cannot open the image viewer (xdg-open: No such file or directory)", "Glimmer - Error"}));
  std::filesystem::remove(outFolder + "/my page.bmp");
  dialog.openOutputImage();
  EXPECT_EQ(viewed.size(), 2u);
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
  EXPECT_EQ(viewed, std::vector<std::string>{outFolder + "/book-0001.bmp"});
}

TEST_F(MainDialogTest, FailuresReenableTheButtonsAndKeepTheLastRun) {
  processFile("/in.v2/first", outFolder);  // typed; a '.' in a folder name is no extension
  const std::vector<int> barBefore = view.progressPositions;
  view.messages.clear();

  driver = [](const ProcessRequest&, DriverHost& host, std::string&) {
    return host.askYesNo("Overwrite?", kErrorTitle) ? 0 : 1;
  };
  writeFile(scratch.file("afile"), "");
  for (const std::string& folder : {outFolder, scratch.file("missing"), std::string(), scratch.file("afile")}) {
    processFile("/scans/second.pnm", folder);
    EXPECT_TRUE(view.processingButtonsEnabled) << folder;
  }
  EXPECT_EQ(requests.size(), 2u);
  EXPECT_EQ(view.messages, (std::vector<Message>{{"Overwrite?", "Glimmer - Error"},
                                                 {"Output folder does not exist", "Glimmer - Error"},
                                                 {"Output folder does not exist", "Glimmer - Error"},
                                                 {"Output folder is not a folder", "Glimmer - Error"}}));
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
