#include "app/desktop/main_dialog.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/desktop/tests/fake_dialog_view.h"
#include "common/tests/scratch_dir.h"

namespace glimmer {
namespace {

using test_support::Message;
using test_support::writeFile;

using DriverFunction = std::function<int(const ProcessRequest&, DriverHost&, std::string&)>;

class MainDialogTest : public ::testing::Test {
 protected:
  MainDialogTest() { std::filesystem::create_directory(outFolder); }

  MainDialogServices services() {
    return {
        .countProcessorCores = [this] { return cores; },
        .processImageFile =
            [this](const ProcessRequest& request, DriverHost& host, std::string& processedPnmPath) {
              requests.push_back(request);
              return driver(request, host, processedPnmPath);
            },
        .runChildProcess =
            [this](const std::string& commandLine, bool hidden) {
              children.emplace_back(commandLine, hidden);
              return 0;
            },
    };
  }

  // Presses "Process File" and handles the worker's requests until the run is over.
  void processFile() {
    dialog.startProcessing();
    view.pumpUntil([this] { return !dialog.isProcessing(); });
  }

  void chooseInput(const std::string& path) {
    view.nextChosenFile = path;
    dialog.browseInputFile();
  }

  test_support::ScratchDir scratch;
  const std::string outFolder = scratch.file("out");
  test_support::FakeDialogView view;
  bool askForFileOnStartup = false;
  std::int32_t cores = 4;
  DriverFunction driver = [](const ProcessRequest& request, DriverHost&, std::string& processedPnmPath) {
    writeFile(request.outputPath, "BM");
    processedPnmPath = request.inputPath;
    return 0;
  };
  std::vector<ProcessRequest> requests;
  std::vector<std::pair<std::string, bool>> children;
  MainDialog dialog{view, askForFileOnStartup, services()};
};

TEST_F(MainDialogTest, StartUpPreparesTheControlsAndClampsTheCoreCount) {
  dialog.start();
  EXPECT_EQ(view.coreCountText, "4");
  EXPECT_TRUE(view.shown);
  EXPECT_TRUE(view.iconsSet);
  EXPECT_EQ(view.progressRange, std::make_pair(0, 1000));
  EXPECT_FALSE(view.askOnStartupChecked);
  EXPECT_EQ(view.chooserOpenings, 0);

  cores = 0;
  dialog.start();
  EXPECT_EQ(view.coreCountText, "1");
  cores = 100;
  dialog.start();
  EXPECT_EQ(view.coreCountText, "64");
}

TEST_F(MainDialogTest, AskOnStartupOpensTheChooserAtOnceAndEachClickFlipsIt) {
  askForFileOnStartup = true;
  dialog.start();
  EXPECT_TRUE(view.askOnStartupChecked);
  EXPECT_EQ(view.chooserOpenings, 1);

  dialog.onAskOnStartupClicked();
  EXPECT_FALSE(askForFileOnStartup);
  dialog.onAskOnStartupClicked();
  EXPECT_TRUE(askForFileOnStartup);
}

TEST_F(MainDialogTest, QuitAndCloseEndTheDialogWithTheirResults) {
  dialog.onQuit();
  EXPECT_EQ(view.endResult, 2);
  dialog.onCloseRequest();
  EXPECT_EQ(view.endResult, 0);
}

TEST_F(MainDialogTest, AboutBoxDescribesTheProgramAndItsMakers) {
  dialog.onAbout();
  ASSERT_EQ(view.messages.size(), 1u);
  EXPECT_EQ(view.messages[0].title, "About Glimmer");
  EXPECT_TRUE(view.messages[0].text.starts_with(
      "A tool to remove the background in bitmap images (JPG or PNM input, BMP output) so that the text in the "
      "image is clear.\n\n"));
  EXPECT_NE(view.messages[0].text.find("the Glimmer team"), std::string::npos);
}

TEST_F(MainDialogTest, ChosenInputNamesTheOutputAndProposesItsFolder) {
  chooseInput("C:\\scans\\page.1.jpg");
  EXPECT_EQ(view.inputField, "C:/scans/page.1.jpg");
  EXPECT_EQ(view.folderField, "C:/scans/");
  EXPECT_EQ(dialog.state().outputFileName, "page.1.bmp");
  EXPECT_EQ(dialog.state().outputFolder, "");

  // A '.' in a folder name is no extension: the output keeps the file's own name and folder.
  chooseInput("/in.v2/scan");
  EXPECT_EQ(dialog.state().outputFileName, "scan.bmp");
  EXPECT_EQ(view.folderField, "/in.v2/");
  chooseInput("/in.v2/scan.");
  EXPECT_EQ(dialog.state().outputFileName, "scan.bmp");

  view.nextChosenFile.reset();
  dialog.browseInputFile();
  EXPECT_EQ(view.inputField, "/in.v2/scan.");
  EXPECT_EQ(dialog.state().outputFileName, "scan.bmp");
}

TEST_F(MainDialogTest, BrowsedFolderEndsInOneSlashAndComesBackWhenAnInputIsChosen) {
  view.nextChosenFolder = "/";
  dialog.browseOutputFolder();
  EXPECT_EQ(view.folderField, "/");
  view.nextChosenFolder = "\\\\server\\share";
  dialog.browseOutputFolder();
  EXPECT_EQ(view.folderField, "/server/share/");
  view.nextChosenFolder = "/data/out";
  dialog.browseOutputFolder();
  EXPECT_EQ(dialog.state().outputFolder, "/data/out/");

  view.nextChosenFolder.clear();
  dialog.browseOutputFolder();
  EXPECT_EQ(dialog.state().outputFolder, "/data/out/");

  view.folderField = "/typed/elsewhere";
  chooseInput("/scans/page.pnm");
  EXPECT_EQ(view.folderField, "/data/out/");
}

TEST_F(MainDialogTest, OutputPathIsTheFolderAndTheBrowsedNameWithOrWithoutTrailingSlash) {
  chooseInput("/scans/page.pnm");
  view.folderField = outFolder;
  processFile();
  view.folderField = outFolder + "/";
  processFile();
  ASSERT_EQ(requests.size(), 2u);
  for (const ProcessRequest& request : requests) {
    EXPECT_EQ(request.inputPath, "/scans/page.pnm");
    EXPECT_EQ(request.outputPath, outFolder + "/page.bmp");
    EXPECT_FALSE(request.writeRows);
    EXPECT_FALSE(request.writeChars);
    EXPECT_EQ(request.bandCount, 4);
  }
  EXPECT_EQ(requests[0].coordinateFolder, outFolder);
}

TEST_F(MainDialogTest, TypedInputNamesTheOutputOnlyUntilAFileIsChosen) {
  view.inputField = "/scans/typed.v1.pnm";
  view.folderField = outFolder;
  processFile();
  EXPECT_EQ(requests.back().outputPath, outFolder + "/typed.v1.bmp");
  EXPECT_EQ(dialog.state().outputFileName, "");

  chooseInput("/scans/chosen.pnm");
  view.inputField = "/scans/edited.pnm";
  processFile();
  EXPECT_EQ(requests.back().outputPath, outFolder + "/chosen.bmp");
}

TEST_F(MainDialogTest, SuccessfulRunFillsTheBarAndEnablesOpenOutputAfterTheFinishedBox) {
  view.inputField = "/scans/page.pnm";
  view.folderField = outFolder;
  dialog.startProcessing();
  EXPECT_FALSE(view.processingButtonsEnabled);
  dialog.startProcessing();  // a stray click while running starts nothing
  view.pumpUntil([this] { return !dialog.isProcessing(); });

  EXPECT_EQ(requests.size(), 1u);
  EXPECT_TRUE(view.processingButtonsEnabled);
  EXPECT_EQ(view.progressPositions.back(), 1000);
  EXPECT_EQ(view.messages, (std::vector<Message>{{"Finished processing", "Done"}}));
  EXPECT_TRUE(view.openOutputEnabled);
  EXPECT_EQ(dialog.state().lastOutputPath, outFolder + "/page.bmp");
}

TEST_F(MainDialogTest, DecodedPageOfAJpegInputIsDeletedAndAPnmInputIsKept) {
  const std::string decoded = scratch.file("decoded.pnm");
  driver = [&](const ProcessRequest&, DriverHost&, std::string& processedPnmPath) {
    writeFile(decoded, "P5");
    processedPnmPath = decoded;
    return 0;
  };
  view.folderField = outFolder;
  for (const char* input : {"/photos/a.JPG", "/photos/b.jpeg"}) {
    view.inputField = input;
    processFile();
    EXPECT_FALSE(std::filesystem::exists(decoded)) << input;
  }

  const std::string page = scratch.file("page.pnm");
  writeFile(page, "P5");
  driver = [&](const ProcessRequest&, DriverHost&, std::string& processedPnmPath) {
    processedPnmPath = page;
    return 0;
  };
  view.inputField = page;
  processFile();
  EXPECT_TRUE(std::filesystem::exists(page));
}

TEST_F(MainDialogTest, DriverFailureReenablesTheButtonsAndKeepsTheLastRun) {
  view.inputField = "/scans/first.pnm";
  view.folderField = outFolder;
  processFile();
  const std::vector<int> barBefore = view.progressPositions;

  driver = [](const ProcessRequest&, DriverHost& host, std::string&) {
    host.showError("Not a valid PNM file", kErrorTitle);
    return 1;
  };
  view.inputField = "/scans/second.pnm";
  processFile();

  EXPECT_TRUE(view.processingButtonsEnabled);
  EXPECT_EQ(view.progressPositions, barBefore);
  EXPECT_EQ(view.messages.back(), (Message{"Not a valid PNM file", "Glimmer - Error"}));
  EXPECT_TRUE(view.openOutputEnabled);
  EXPECT_EQ(dialog.state().lastOutputPath, outFolder + "/first.bmp");
}

TEST_F(MainDialogTest, MissingOutputFolderStopsBeforeTheDriver) {
  view.inputField = "/scans/page.pnm";
  for (const std::string& folder : {scratch.file("missing"), std::string()}) {
    view.folderField = folder;
    processFile();
    EXPECT_EQ(view.messages.back(), (Message{"Output folder does not exist", "Glimmer - Error"}));
    EXPECT_TRUE(view.processingButtonsEnabled);
  }
  EXPECT_TRUE(requests.empty());
  EXPECT_EQ(view.messages.size(), 2u);
}

TEST_F(MainDialogTest, OverwriteQuestionIsAnsweredByTheDialog) {
  view.answerYes = false;
  bool answer = true;
  driver = [&](const ProcessRequest&, DriverHost& host, std::string&) {
    answer = host.askYesNo("overwrite?", kErrorTitle);
    return answer ? 0 : 1;
  };
  view.inputField = "/scans/page.pnm";
  view.folderField = outFolder;
  processFile();
  EXPECT_EQ(view.questions, (std::vector<Message>{{"overwrite?", "Glimmer - Error"}}));
  EXPECT_FALSE(answer);
  EXPECT_TRUE(view.messages.empty());
}

TEST_F(MainDialogTest, BarShowsTheMeanOfAllBandsAcrossRuns) {
  std::vector<std::pair<int, int>> reports = {{0, 1000}, {1, 500}, {2, 0}, {3, 0}, {64, 1000}, {-1, 1000}};
  driver = [&](const ProcessRequest&, DriverHost& host, std::string&) {
    for (const auto& [band, thousandths] : reports) host.reportProgress(band, thousandths);
    return 0;
  };
  view.inputField = "/scans/page.pnm";
  view.folderField = outFolder;
  processFile();
  EXPECT_EQ(view.progressPositions, (std::vector<int>{250, 375, 375, 375, 375, 375, 1000}));

  // The other bands keep what they reported in the last run until they report again.
  reports = {{0, 200}};
  view.progressPositions.clear();
  processFile();
  EXPECT_EQ(view.progressPositions, (std::vector<int>{175, 1000}));
}

TEST_F(MainDialogTest, OpenOutputImageShowsTheImageWhileItExists) {
  view.inputField = "/scans/my page.pnm";
  view.folderField = outFolder;
  processFile();
  dialog.openOutputImage();
  EXPECT_EQ(children,
            (std::vector<std::pair<std::string, bool>>{{"xdg-open \"" + outFolder + "/my page.bmp\"", false}}));

  std::filesystem::remove(outFolder + "/my page.bmp");
  dialog.openOutputImage();
  EXPECT_EQ(children.size(), 1u);
  EXPECT_EQ(view.messages.back(), (Message{"Output file no longer exists", "Glimmer - Error"}));
}

}  // namespace
}  // namespace glimmer
