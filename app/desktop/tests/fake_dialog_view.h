// A MainDialogView without a window system. The test's own thread plays the
// dialog's thread: tasks that other threads post wait in a queue until the
// test pumps them, as a dialog's thread handles its messages.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/desktop/main_dialog_view.h"

namespace glimmer::test_support {

struct Message {
  std::string text;
  std::string title;
  bool operator==(const Message&) const = default;
};

class FakeDialogView : public MainDialogView {
 public:
  void setCoreCountText(const std::string& text) override { coreCountText = text; }
  void setAskOnStartupChecked(bool checked) override { askOnStartupChecked = checked; }
  bool isAskOnStartupChecked() const override { return askOnStartupChecked; }
  void setDialogIcons() override { iconsSet = true; }
  void showRestored() override { shown = true; }
  void setProgressRange(int minimum, int maximum) override { progressRange = {minimum, maximum}; }
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
    questions.push_back({text, title});
    return answerYes;
  }
  std::optional<std::string> chooseImageFile() override {
    ++chooserOpenings;
    return nextChosenFile;
  }
  std::string browseOutputFolder() override { return nextChosenFolder; }
  void endDialog(int result) override { endResult = result; }

  void runOnDialogThread(const std::function<void()>& task) override {
    if (std::this_thread::get_id() == dialogThread_) {
      task();
      return;
    }
    Posted posted{&task};
    std::unique_lock lock(mutex_);
    queue_.push_back(&posted);
    changed_.notify_all();
    changed_.wait(lock, [&] { return posted.done; });
  }

  // Handles posted tasks on this thread until `finished` holds.
  void pumpUntil(const std::function<bool()>& finished) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!finished()) {
      std::unique_lock lock(mutex_);
      if (!changed_.wait_until(lock, giveUp, [&] { return !queue_.empty(); })) {
        ADD_FAILURE() << "the worker never finished";
        return;
      }
      Posted* posted = queue_.front();
      queue_.pop_front();
      lock.unlock();
      (*posted->task)();
      lock.lock();
      posted->done = true;
      changed_.notify_all();
    }
  }

  std::string coreCountText;
  bool askOnStartupChecked = false;
  bool iconsSet = false;
  bool shown = false;
  std::pair<int, int> progressRange{0, 100};
  std::vector<int> progressPositions;
  std::string inputField;
  std::string folderField;
  bool processingButtonsEnabled = true;
  bool openOutputEnabled = false;
  std::vector<Message> messages;
  std::vector<Message> questions;
  bool answerYes = true;
  int chooserOpenings = 0;
  std::optional<std::string> nextChosenFile;
  std::string nextChosenFolder;
  std::optional<int> endResult;

 private:
  struct Posted {
    const std::function<void()>* task;
    bool done = false;
  };
  const std::thread::id dialogThread_ = std::this_thread::get_id();
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Posted*> queue_;
};

}  // namespace glimmer::test_support
