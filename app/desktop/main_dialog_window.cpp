#include "app/desktop/main_dialog_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QUrl>
#include <utility>

#include "app/desktop/dialog_icons.h"

namespace glimmer {

namespace {

// The layout is given in dialog units, a quarter of an average character
// across and an eighth of one down; two pixels a unit fits the usual desktop
// font of 9 to 10 points with room for the longest labels.
constexpr double kPixelsPerUnitAcross = 2.0;
constexpr double kPixelsPerUnitDown = 2.0;

int across(int units) { return static_cast<int>(units * kPixelsPerUnitAcross); }
int down(int units) { return static_cast<int>(units * kPixelsPerUnitDown); }

template <typename Control>
Control* place(Control* control, const char* name, int x, int y, int width, int height) {
  control->setObjectName(name);
  control->setGeometry(across(x), down(y), across(width), down(height));
  return control;
}

QGroupBox* groupBox(QWidget* parent, const char* title, int x, int y, int width, int height) {
  auto* box = new QGroupBox(title, parent);
  box->setGeometry(across(x), down(y), across(width), down(height));
  return box;
}

QString fromText(const std::string& text) { return QString::fromStdString(text); }

QString runChooser(QFileDialog& chooser) {
  if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) return {};
  return chooser.selectedFiles().constFirst();
}

}  // namespace

const char* const kPageFilesFilter =
    "Page images (*.jpg *.jpeg *.pnm *.pgm *.ppm *.pbm *.png *.tif *.tiff *.webp *.pdf "
    "*.JPG *.JPEG *.PNM *.PGM *.PPM *.PBM *.PNG *.TIF *.TIFF *.WEBP *.PDF)";

std::unique_ptr<QFileDialog> createImageFileChooser(QWidget* owner, const QString& startFolder) {
  auto chooser = std::make_unique<QFileDialog>(owner, "Select Graphics file...", startFolder);
  chooser->setAcceptMode(QFileDialog::AcceptOpen);
  chooser->setFileMode(QFileDialog::ExistingFile);
  // The three first are the dialog's own; then every page format the driver
  // reads (it tells them by their first bytes), and any file at all.
  chooser->setNameFilters({"JPG (*.jpg)", "JPEG (*.jpeg)", "PNM (*.pnm)", kPageFilesFilter, "All files (*)"});
  chooser->selectNameFilter("JPG (*.jpg)");
  return chooser;
}

std::unique_ptr<QFileDialog> createOutputFolderPicker(QWidget* owner, const QString& startFolder) {
  auto picker = std::make_unique<QFileDialog>(owner, "Browse for mail folder", startFolder);
  picker->setAcceptMode(QFileDialog::AcceptOpen);
  picker->setFileMode(QFileDialog::Directory);
  picker->setOption(QFileDialog::ShowDirsOnly);
  return picker;
}

DialogPrompts interactivePrompts() {
  return {
      .messageBox =
          [](QWidget* owner, const QString& title, const QString& text, QMessageBox::StandardButtons buttons) {
            QMessageBox box(QMessageBox::NoIcon, title, text, buttons, owner);
            return static_cast<QMessageBox::StandardButton>(box.exec());
          },
      .chooseImageFile =
          [](QWidget* owner, const QString& startFolder) {
            return runChooser(*createImageFileChooser(owner, startFolder));
          },
      .browseOutputFolder =
          [](QWidget* owner, const QString& startFolder) {
            return runChooser(*createOutputFolderPicker(owner, startFolder));
          },
  };
}

MainDialogWindow::MainDialogWindow(DialogPrompts prompts) : prompts_(std::move(prompts)) {
  setWindowTitle("Glimmer");
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setFixedSize(across(284), down(172));
  setAcceptDrops(true);

  // Created in tab order; the group boxes go behind the controls they frame.
  processButton_ = place(new QPushButton("Process File", this), "IDOK", 10, 150, 65, 14);
  processButton_->setDefault(true);
  aboutButton_ = place(new QPushButton("About Glimmer", this), "IDC_ABOUT", 110, 150, 70, 15);
  quitButton_ = place(new QPushButton("Quit", this), "IDCANCEL", 225, 150, 45, 15);
  browseInputButton_ = place(new QPushButton("Browse for Input JPEG/PNM", this), "IDC_BROWSE_INPUT", 5, 5, 140, 15);
  browseOutputButton_ = place(new QPushButton("Browse for Output Folder", this), "IDC_BROWSE_OUTPUT", 150, 5, 125, 15);
  inputPathField_ = place(new QLineEdit(this), "IDC_INPUT_PATH", 10, 35, 260, 15);
  outputFolderField_ = place(new QLineEdit(this), "IDC_OUTPUT_FOLDER", 10, 70, 260, 15);
  groupBox(this, "Input JPG/JPEG/PNM", 5, 25, 270, 30)->lower();
  groupBox(this, "Output Folder", 5, 60, 270, 30)->lower();
  progressBar_ = place(new QProgressBar(this), "IDC_PROGRESS", 10, 125, 260, 15);
  progressBar_->setTextVisible(false);
  groupBox(this, "Progress", 5, 115, 270, 30)->lower();
  askOnStartupBox_ = place(new QCheckBox("Ask for File on Startup", this), "IDC_ASK_ON_STARTUP", 5, 95, 85, 15);
  openOutputButton_ = place(new QPushButton("Open Output Image", this), "IDC_OPEN_OUTPUT", 95, 95, 80, 15);
  openOutputButton_->setEnabled(false);
  coreCountLabel_ = place(new QLabel("Static", this), "IDC_CORE_COUNT", 190, 100, 40, 10);
  groupBox(this, "No. CPU Cores", 180, 90, 95, 25)->lower();

  QWidget* const tabOrder[] = {processButton_,     aboutButton_,        quitButton_,
                               browseInputButton_, browseOutputButton_, inputPathField_,
                               outputFolderField_, askOnStartupBox_,    openOutputButton_};
  for (std::size_t i = 1; i < std::size(tabOrder); ++i) setTabOrder(tabOrder[i - 1], tabOrder[i]);
}

void MainDialogWindow::bind(MainDialog& dialog) {
  dialog_ = &dialog;
  connect(processButton_, &QPushButton::clicked, this, [&dialog] { dialog.startProcessing(); });
  connect(aboutButton_, &QPushButton::clicked, this, [&dialog] { dialog.onAbout(); });
  connect(quitButton_, &QPushButton::clicked, this, [&dialog] { dialog.onQuit(); });
  connect(browseInputButton_, &QPushButton::clicked, this, [&dialog] { dialog.browseInputFile(); });
  connect(browseOutputButton_, &QPushButton::clicked, this, [&dialog] { dialog.browseOutputFolder(); });
  connect(askOnStartupBox_, &QCheckBox::clicked, this, [&dialog] { dialog.onAskOnStartupClicked(); });
  connect(openOutputButton_, &QPushButton::clicked, this, [&dialog] { dialog.openOutputImage(); });
}

void MainDialogWindow::reject() {
  if (dialog_ != nullptr) dialog_->onQuit();
}

void MainDialogWindow::closeEvent(QCloseEvent* event) {
  if (dialog_ != nullptr) dialog_->onCloseRequest();
  event->accept();
}

namespace {

// The one local file that a drag carries, or the empty text.
QString droppedFile(const QMimeData* data) {
  if (data == nullptr || !data->hasUrls() || data->urls().size() != 1) return {};
  const QUrl url = data->urls().constFirst();
  return url.isLocalFile() ? url.toLocalFile() : QString();
}

}  // namespace

void MainDialogWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (!droppedFile(event->mimeData()).isEmpty() && browseInputButton_->isEnabled()) event->acceptProposedAction();
}

void MainDialogWindow::dropEvent(QDropEvent* event) {
  const QString path = droppedFile(event->mimeData());
  if (path.isEmpty() || dialog_ == nullptr) return;
  dialog_->dropInputFile(path.toStdString());
  event->acceptProposedAction();
}

void MainDialogWindow::setCoreCountText(const std::string& text) { coreCountLabel_->setText(fromText(text)); }

void MainDialogWindow::setAskOnStartupChecked(bool checked) { askOnStartupBox_->setChecked(checked); }

bool MainDialogWindow::isAskOnStartupChecked() const { return askOnStartupBox_->isChecked(); }

void MainDialogWindow::setDialogIcons() { setWindowIcon(dialogIcon()); }

void MainDialogWindow::showRestored() {
  showNormal();
  // The first control in tab order takes the keyboard, so Tab walks the controls from the start.
  processButton_->setFocus(Qt::OtherFocusReason);
}

void MainDialogWindow::setProgressRange(int minimum, int maximum) { progressBar_->setRange(minimum, maximum); }

void MainDialogWindow::setProgressPosition(int position) {
  progressBar_->setValue(position);
  progressBar_->repaint();
}

void MainDialogWindow::repaint() { QDialog::repaint(); }

std::string MainDialogWindow::inputPathText() const { return inputPathField_->text().toStdString(); }

void MainDialogWindow::setInputPathText(const std::string& text) { inputPathField_->setText(fromText(text)); }

std::string MainDialogWindow::outputFolderText() const { return outputFolderField_->text().toStdString(); }

void MainDialogWindow::setOutputFolderText(const std::string& text) { outputFolderField_->setText(fromText(text)); }

void MainDialogWindow::setProcessingButtonsEnabled(bool enabled) {
  processButton_->setEnabled(enabled);
  browseInputButton_->setEnabled(enabled);
  browseOutputButton_->setEnabled(enabled);
}

void MainDialogWindow::setOpenOutputEnabled(bool enabled) { openOutputButton_->setEnabled(enabled); }

void MainDialogWindow::showMessage(const std::string& text, const std::string& title) {
  prompts_.messageBox(this, fromText(title), fromText(text), QMessageBox::Ok);
}

bool MainDialogWindow::askYesNo(const std::string& text, const std::string& title) {
  return prompts_.messageBox(this, fromText(title), fromText(text), QMessageBox::Yes | QMessageBox::No) ==
         QMessageBox::Yes;
}

std::optional<std::string> MainDialogWindow::chooseImageFile(const std::string& startFolder) {
  const QString path = prompts_.chooseImageFile(this, fromText(startFolder));
  if (path.isEmpty()) return std::nullopt;
  return path.toStdString();
}

std::string MainDialogWindow::browseOutputFolder(const std::string& startFolder) {
  return prompts_.browseOutputFolder(this, fromText(startFolder)).toStdString();
}

void MainDialogWindow::endDialog(int result) { done(result); }

void MainDialogWindow::runOnDialogThread(const std::function<void()>& task) {
  if (QThread::currentThread() == thread()) {
    task();
    return;
  }
  QMetaObject::invokeMethod(
      this, [&task] { task(); }, Qt::BlockingQueuedConnection);
}

}  // namespace glimmer
