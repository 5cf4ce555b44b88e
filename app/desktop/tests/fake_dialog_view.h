// A MainDialogView without a window system. Tasks for the dialog's thread run
// at once on the worker's thread under a lock, so the test can wait for a run to end.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/desktop/main_dialog_view.h"

namespace glimmer::test_support {

using Message = std::pair<std::string, std::string>;  // text, title

class FakeDialogView : public MainDialogView {
 public:
  void setCoreCountText(const std::string& text) override { coreCountText = text; }
  void setAskOnStartupChecked(bool checked) override { askOnStartupChecked = checked; }
  bool isAskOnStartupChecked() const override { return askOnStartupChecked; }
  void setDialogIcons() override {}
  void showRestored() override {}
  void setProgressRange(int, int) override {}
  void setProgressPosition(int position) override { progressPositions.push_back(position); }
  void repaint() override {}
  std::string inputPathText() const override { return inputField; }
  void setInputPathText(const std::string& text) override { inputField = text; }
  std::string outputFolderText() const override { return folderField; }
  void setOutputFolderText(const std::string& text) override { folderField = text; }
  void setProcessingButtonsEnabled(bool enabled) override { processingButtonsEnabled = enabled; }
  void setOpenOutputEnabled(bool enabled) override { openOutputEnabled = enabled; }
  void showMessage(const std::string& text, const std::string& title) override { messages.push_back({text, title}); }
  bool askYesNo(const std::string& text, const std::string& title) override {
    messages.push_back({text, title});
    return false;
  }
  std::optional<std::string> chooseImageFile(const std::string& startFolder) override {
    chooserStartFolders.push_back(startFolder);
    return nextChosenFile;
  }
  std::string browseOutputFolder(const std::string& startFolder) override {
    chooserStartFolders.push_back(startFolder);
    return nextChosenFolder;
  }
  void endDialog(int) override {}

  void runOnDialogThread(const std::function<void()>& task) override {
    const std::lock_guard lock(mutex_);
    task();
    taskRan_.notify_all();
  }

  void waitUntil(const std::function<bool()>& done) {
    std::unique_lock lock(mutex_);
    if (!taskRan_.wait_for(lock, std::chrono::minutes(1), done)) ADD_FAILURE() << "the worker never finished";
  }

  std::string coreCountText;
  bool askOnStartupChecked = false;
  std::vector<int> progressPositions;
  std::string inputField;
  std::string folderField;
  bool processingButtonsEnabled = true;
  bool openOutputEnabled = false;
  std::vector<Message> messages;  // boxes and questions; every question is answered No
  std::optional<std::string> nextChosenFile;
  std::string nextChosenFolder;
  std::vector<std::string> chooserStartFolders;  // where each chooser opened

 private:
  std::mutex mutex_;
  std::condition_variable taskRan_;
};

}  // namespace glimmer::test_support
