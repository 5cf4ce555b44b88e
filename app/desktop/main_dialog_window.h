// The Qt window of the main dialog: a fixed-size dialog that owns the controls
// and hands every user action to MainDialog. The boxes and choosers go through
// replaceable prompt functions so that tests can answer them.
#pragma once

#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <functional>
#include <memory>

#include "app/desktop/main_dialog.h"
#include "app/desktop/main_dialog_view.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace glimmer {

struct DialogPrompts {
  // Shows a box with the given buttons and returns the one pressed.
  std::function<QMessageBox::StandardButton(QWidget* owner, const QString& title, const QString& text,
                                            QMessageBox::StandardButtons buttons)>
      messageBox;
  // Each opens at `startFolder` (the platform's choice when empty) and
  // returns the chosen path, or the empty text on cancel.
  std::function<QString(QWidget* owner, const QString& startFolder)> chooseImageFile;
  std::function<QString(QWidget* owner, const QString& startFolder)> browseOutputFolder;
};

// The boxes and choosers that a user answers.
DialogPrompts interactivePrompts();

// The file chooser and the folder picker, configured but not yet shown.
std::unique_ptr<QFileDialog> createImageFileChooser(QWidget* owner, const QString& startFolder = {});
std::unique_ptr<QFileDialog> createOutputFolderPicker(QWidget* owner, const QString& startFolder = {});

// The chooser's filter that lists every page format the program reads.
extern const char* const kPageFilesFilter;

class MainDialogWindow : public QDialog, public MainDialogView {
  Q_OBJECT

 public:
  explicit MainDialogWindow(DialogPrompts prompts = interactivePrompts());

  // Connects the controls to the dialog's handlers; call once, before start().
  void bind(MainDialog& dialog);

  void setCoreCountText(const std::string& text) override;
  void setAskOnStartupChecked(bool checked) override;
  bool isAskOnStartupChecked() const override;
  void setDialogIcons() override;
  void showRestored() override;
  void setProgressRange(int minimum, int maximum) override;
  void setProgressPosition(int position) override;
  void repaint() override;
  std::string inputPathText() const override;
  void setInputPathText(const std::string& text) override;
  std::string outputFolderText() const override;
  void setOutputFolderText(const std::string& text) override;
  void setProcessingButtonsEnabled(bool enabled) override;
  void setOpenOutputEnabled(bool enabled) override;
  void showMessage(const std::string& text, const std::string& title) override;
  bool askYesNo(const std::string& text, const std::string& title) override;
  std::optional<std::string> chooseImageFile(const std::string& startFolder) override;
  std::string browseOutputFolder(const std::string& startFolder) override;
  void endDialog(int result) override;
  void runOnDialogThread(const std::function<void()>& task) override;

 protected:
  // Esc and the Quit button end the dialog one way, the window's close box another.
  void reject() override;
  void closeEvent(QCloseEvent* event) override;
  // A single local file dragged onto the dialog is taken as the input page.
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  DialogPrompts prompts_;
  MainDialog* dialog_ = nullptr;
  QPushButton* processButton_;
  QPushButton* aboutButton_;
  QPushButton* quitButton_;
  QPushButton* browseInputButton_;
  QPushButton* browseOutputButton_;
  QLineEdit* inputPathField_;
  QLineEdit* outputFolderField_;
  QProgressBar* progressBar_;
  QCheckBox* askOnStartupBox_;
  QPushButton* openOutputButton_;
  QLabel* coreCountLabel_;
};

}  // namespace glimmer
