// The main dialog's logic: its state, the handlers of its controls and the
// processing worker that a run starts. It reaches the window system only
// through MainDialogView, so it runs without one in tests.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "app/desktop/main_dialog_view.h"
#include "app/desktop/progress_table.h"
#include "app/shell/settings.h"
#include "pipeline/driver.h"

namespace glimmer {

inline constexpr int kQuitResult = 2;
inline constexpr int kCloseResult = 0;
inline constexpr int kProgressFull = 1000;

// What the dialog needs from the rest of the system; tests put their own in place.
struct MainDialogServices {
  std::function<std::int32_t()> countProcessorCores;
  std::function<int(const ProcessRequest&, DriverHost&, std::string&)> processImageFile;
  // Shows the image at `path` in the desktop's viewer without waiting for it;
  // returns why the viewer could not be started, or the empty text.
  std::function<std::string(const std::string& path)> openImageViewer;
};

// The real core count, driver and image viewer (xdg-open).
MainDialogServices systemServices();

struct MainDialogState {
  ProgressTable progressTable;
  std::string inputPath;
  std::string outputFolder;      // '/' separators; a browsed folder ends in '/'
  std::string outputFileName;    // set only by choosing an input file
  std::string browsedInputPath;  // the input field's text when outputFileName was set
  std::string lastOutputPath;    // the BMP of the last successful run
};

class MainDialog {
 public:
  // The check box shows and flips `settings.askForFileOnStartup`; the
  // choosers open at its remembered folders, which each choice and each
  // successful run update.
  MainDialog(MainDialogView& view, Settings& settings, MainDialogServices services);
  // Joins a worker that has ended. A worker still running waits for the dialog's
  // thread, so the program ends the process instead of destroying a busy dialog.
  ~MainDialog();
  MainDialog(const MainDialog&) = delete;
  MainDialog& operator=(const MainDialog&) = delete;

  // Handlers, all on the dialog's thread.
  // Shows the dialog. A page named on the command line (the desktop's "Open
  // With") becomes the input as if chosen; "Ask for File on Startup" then
  // opens no chooser.
  void start(const std::string& pageToOpen = {});
  void onAskOnStartupClicked();
  void onQuit();
  void onAbout();
  void openOutputImage();
  void startProcessing();
  void browseInputFile();
  // A page dropped on the dialog: taken as if chosen with the file chooser,
  // unless a run is under way (the chooser's button is disabled then).
  void dropInputFile(const std::string& path);
  void browseOutputFolder();
  void onCloseRequest();

  // True from "Process File" until the worker's last steps have run on the dialog's thread.
  bool isProcessing() const { return workerRunning_; }
  const MainDialogState& state() const { return state_; }

 private:
  friend class WorkerHost;

  struct WorkerInput {
    std::string inputPath;
    std::string outputFolder;
    std::string outputFileName;
  };

  std::int32_t bandCount() const;
  // Fills the input field and names the output after a chosen page.
  void useInputFile(const std::string& path);
  void processingWorker(const WorkerInput& input);
  // Runs the worker's last steps on the dialog's thread and marks the run over there.
  void finishRun(const std::function<void()>& lastSteps);
  // The progress update for one band's report; runs on the dialog's thread.
  // The bar covers every page of the input: `page` of `pageCount` is under way.
  void updateProgress(int band, std::int32_t thousandths, int runBandCount, int page, int pageCount);

  MainDialogView& view_;
  Settings& settings_;
  MainDialogServices services_;
  MainDialogState state_;
  std::thread worker_;
  bool workerRunning_ = false;  // dialog's thread only
};

}  // namespace glimmer
