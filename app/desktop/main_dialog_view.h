// The window-system side of the main dialog, as the dialog's logic sees it.
// A Qt window implements it for the program; tests implement it without any
// window system.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace glimmer {

class MainDialogView {
 public:
  virtual ~MainDialogView() = default;

  virtual void setCoreCountText(const std::string& text) = 0;
  virtual void setAskOnStartupChecked(bool checked) = 0;
  virtual bool isAskOnStartupChecked() const = 0;
  virtual void setDialogIcons() = 0;
  virtual void showRestored() = 0;
  virtual void setProgressRange(int minimum, int maximum) = 0;
  // Moves the bar and repaints it at once.
  virtual void setProgressPosition(int position) = 0;
  virtual void repaint() = 0;

  virtual std::string inputPathText() const = 0;
  virtual void setInputPathText(const std::string& text) = 0;
  virtual std::string outputFolderText() const = 0;
  virtual void setOutputFolderText(const std::string& text) = 0;

  // "Process File" and the two browse buttons, which change together.
  virtual void setProcessingButtonsEnabled(bool enabled) = 0;
  virtual void setOpenOutputEnabled(bool enabled) = 0;

  // Boxes and choosers, all modal to the dialog; each returns when the user has answered.
  virtual void showMessage(const std::string& text, const std::string& title) = 0;
  virtual bool askYesNo(const std::string& text, const std::string& title) = 0;
  // The chosen image file, or nothing when the user cancels. Each chooser
  // opens at `startFolder`, or where the platform likes when that is empty.
  virtual std::optional<std::string> chooseImageFile(const std::string& startFolder) = 0;
  // The chosen folder, or the empty text when the user cancels.
  virtual std::string browseOutputFolder(const std::string& startFolder) = 0;

  virtual void endDialog(int result) = 0;

  // Runs `task` on the dialog's thread and returns when it has run. Called from
  // other threads; on the dialog's thread itself the task runs at once.
  virtual void runOnDialogThread(const std::function<void()>& task) = 0;
};

}  // namespace glimmer
