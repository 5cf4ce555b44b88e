#include "app/desktop/main_dialog.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <utility>

#include "app/shell/output_folder.h"
#include "system/path_text.h"

namespace glimmer {

namespace {

constexpr const char* kAboutTitle = "About Glimmer";
constexpr const char* kAboutText =
    "A tool to remove the background in bitmap images (JPG or PNM input, BMP output) so that the text in the image "
    "is clear.\n\nGlimmer " GLIMMER_VERSION " is written and looked after by the Glimmer team.";

// Where the '.' before the extension stands: the last '.' of the path's last
// component, or npos. A '.' in a folder name does not start an extension.
std::size_t extensionDot(const std::string& path) {
  const std::size_t nameStart = path.find_last_of("/\\") + 1;  // 0 when there is no separator
  const std::size_t dot = path.rfind('.');
  return dot != std::string::npos && dot >= nameStart ? dot : std::string::npos;
}

// The path with ".bmp" in place of its extension (or appended), in '/' form.
std::string bmpPathFor(const std::string& path) {
  return replaceAll(path.substr(0, extensionDot(path)) + ".bmp", "\\", "/");
}

std::string afterLastSlash(const std::string& path) { return path.substr(path.rfind('/') + 1); }

std::string upToLastSlash(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The folder of `path` as an absolute path, for the choosers to open at.
std::string absoluteFolderOf(const std::string& path) {
  std::error_code ignored;
  const std::filesystem::path absolute = std::filesystem::absolute(path, ignored);
  return absolute.empty() ? std::string() : absolute.parent_path().string();
}

// A folder as an absolute path without a trailing '/' (the root keeps its own).
std::string absoluteFolder(const std::string& folder) {
  std::error_code ignored;
  std::filesystem::path absolute = std::filesystem::absolute(folder, ignored).lexically_normal();
  if (!absolute.has_filename() && absolute != absolute.root_path()) absolute = absolute.parent_path();
  return absolute.string();
}

}  // namespace

// The driver's host during one run: everything the user sees happens on the
// dialog's thread while the calling thread waits.
class WorkerHost : public DriverHost {
 public:
  WorkerHost(MainDialog& dialog, int bandCount) : dialog_(dialog), bandCount_(bandCount) {}

  void showError(const std::string& text, const std::string& title) override {
    dialog_.view_.runOnDialogThread([&] { dialog_.view_.showMessage(text, title); });
  }

  bool askYesNo(const std::string& text, const std::string& title) override {
    bool yes = false;
    dialog_.view_.runOnDialogThread([&] { yes = dialog_.view_.askYesNo(text, title); });
    return yes;
  }

  void reportProgress(int band, int thousandths) override {
    dialog_.view_.runOnDialogThread([&] { dialog_.updateProgress(band, thousandths, bandCount_, page_, pageCount_); });
  }

  void startPage(int index, int count) override {
    page_ = index;
    pageCount_ = count;
    // Each later page starts its bands afresh; the first keeps the table as
    // the previous run left it, as a run of one page does.
    if (index > 0) dialog_.view_.runOnDialogThread([&] { dialog_.state_.progressTable.clear(); });
  }

  int pageCount() const { return pageCount_; }

  void diagnosticLine(std::string_view line) override {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
  }

 private:
  MainDialog& dialog_;
  const int bandCount_;
  // Written by the driver's thread before the bands of a page start; read by them after.
  int page_ = 0;
  int pageCount_ = 1;
};

MainDialog::MainDialog(MainDialogView& view, Settings& settings, MainDialogServices services)
    : view_(view), settings_(settings), services_(std::move(services)) {}

MainDialog::~MainDialog() {
  if (worker_.joinable()) worker_.join();
}

std::int32_t MainDialog::bandCount() const {
  return std::clamp(services_.countProcessorCores(), 1, ProgressTable::kBands);
}

void MainDialog::start(const std::string& pageToOpen) {
  view_.setCoreCountText(std::to_string(bandCount()));
  state_.progressTable.clear();
  view_.setAskOnStartupChecked(settings_.askForFileOnStartup);
  view_.setDialogIcons();
  view_.showRestored();
  view_.setProgressRange(0, kProgressFull);
  view_.repaint();
  if (!pageToOpen.empty()) {
    useInputFile(pageToOpen);
  } else if (view_.isAskOnStartupChecked()) {
    browseInputFile();
  }
}

void MainDialog::updateProgress(int band, std::int32_t thousandths, int runBandCount, int page, int pageCount) {
  state_.progressTable.record(band, thousandths);
  view_.setProgressPosition(inputProgress(page, pageCount, state_.progressTable.mean(runBandCount)));
}

void MainDialog::onAskOnStartupClicked() { settings_.askForFileOnStartup = !settings_.askForFileOnStartup; }

void MainDialog::onQuit() { view_.endDialog(kQuitResult); }

void MainDialog::onCloseRequest() { view_.endDialog(kCloseResult); }

void MainDialog::onAbout() { view_.showMessage(kAboutText, kAboutTitle); }

void MainDialog::openOutputImage() {
  const std::string path = replaceAll(state_.lastOutputPath, "\\", "/");
  if (!fileExists(path)) {
    view_.showMessage("Output file no longer exists", kErrorTitle);
    return;
  }
  // Absolute, so that the viewer finds it from any folder and never takes it for an option.
  std::error_code ignored;
  const std::string problem = services_.openImageViewer(std::filesystem::absolute(path, ignored).string());
  if (!problem.empty()) view_.showMessage("Cannot open the image viewer (" + problem + ")", kErrorTitle);
}

void MainDialog::startProcessing() {
  // The buttons that start a run are disabled while one runs; this keeps the
  // rule of one worker at a time even if a view delivers a stray click.
  if (workerRunning_) return;
  const std::string inputText = view_.inputPathText();
  const std::string folderText = view_.outputFolderText();
  view_.setProcessingButtonsEnabled(false);
  state_.inputPath = inputText;
  state_.outputFolder = folderText;
  // A previous worker has run its last steps on this thread; only its return remains.
  if (worker_.joinable()) worker_.join();
  workerRunning_ = true;
  // The browsed name belongs to the browsed page: once the field names
  // another page, the output is named after that page.
  const std::string fileName = inputText == state_.browsedInputPath ? state_.outputFileName : std::string();
  worker_ =
      std::thread(&MainDialog::processingWorker, this, WorkerInput{state_.inputPath, state_.outputFolder, fileName});
}

void MainDialog::processingWorker(const WorkerInput& input) {
  const int runBandCount = bandCount();
  const std::string fileName =
      input.outputFileName.empty() ? afterLastSlash(bmpPathFor(input.inputPath)) : input.outputFileName;
  const bool folderEndsInSeparator =
      !input.outputFolder.empty() && (input.outputFolder.back() == '/' || input.outputFolder.back() == '\\');
  const std::string outputPath = input.outputFolder + (folderEndsInSeparator ? "" : "/") + fileName;

  if (const std::string problem = outputFolderProblem(input.outputFolder); !problem.empty()) {
    finishRun([&] {
      view_.showMessage(problem, kErrorTitle);
      view_.setProcessingButtonsEnabled(true);
    });
    return;
  }

  WorkerHost host(*this, runBandCount);
  const ProcessRequest request{.inputPath = input.inputPath,
                               .outputPath = outputPath,
                               .writeRows = false,
                               .writeChars = false,
                               .coordinateFolder = input.outputFolder,
                               .bandCount = runBandCount};
  std::string processedPnmPath;
  if (services_.processImageFile(request, host, processedPnmPath) != 0) {
    finishRun([&] { view_.setProcessingButtonsEnabled(true); });
    return;
  }

  // The run has removed the decoded page of a JPEG input itself; nothing is deleted here.
  finishRun([&] {
    view_.setProcessingButtonsEnabled(true);
    view_.setProgressPosition(kProgressFull);
    view_.showMessage("Finished processing", "Done");
    // An input of several pages gives one BMP a page: the first is the one to open.
    state_.lastOutputPath = pageOutputPath(outputPath, 0, host.pageCount());
    view_.setOpenOutputEnabled(true);
    settings_.lastInputFolder = absoluteFolderOf(input.inputPath);
    settings_.lastOutputFolder = absoluteFolder(input.outputFolder);
  });
}

void MainDialog::finishRun(const std::function<void()>& lastSteps) {
  view_.runOnDialogThread([&] {
    lastSteps();
    workerRunning_ = false;
  });
}

void MainDialog::browseInputFile() {
  const std::optional<std::string> chosen = view_.chooseImageFile(settings_.lastInputFolder);
  if (chosen) useInputFile(*chosen);
}

void MainDialog::dropInputFile(const std::string& path) {
  if (!workerRunning_ && !path.empty()) useInputFile(path);
}

void MainDialog::useInputFile(const std::string& chosen) {
  const std::string shownPath = replaceAll(chosen, "\\", "/");
  if (!shownPath.empty()) view_.setInputPathText(shownPath);
  state_.browsedInputPath = shownPath;
  settings_.lastInputFolder = absoluteFolderOf(shownPath);
  const std::string bmpPath = bmpPathFor(chosen);
  state_.outputFileName = afterLastSlash(bmpPath);
  // Without a folder of its own the dialog proposes the input's folder; "Process File" takes it from the field.
  view_.setOutputFolderText(state_.outputFolder.empty() ? upToLastSlash(bmpPath) : state_.outputFolder);
}

void MainDialog::browseOutputFolder() {
  const std::string chosen = view_.browseOutputFolder(settings_.lastOutputFolder);
  if (chosen.empty()) return;
  state_.outputFolder = replaceAll(replaceAll(chosen, "\\", "/") + "/", "//", "/");
  view_.setOutputFolderText(state_.outputFolder);
  settings_.lastOutputFolder = absoluteFolder(state_.outputFolder);
}

}  // namespace glimmer
