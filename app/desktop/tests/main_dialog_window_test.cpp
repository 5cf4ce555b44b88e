#include "app/desktop/main_dialog_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGroupBox>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/tests/scratch_dir.h"

// Failure messages show texts, not their code units.
inline void PrintTo(const QString& text, std::ostream* out) { *out << text.toStdString(); }

namespace glimmer {
namespace {

class MainDialogWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "main_dialog_window_test";
    static char* argv[] = {name, nullptr};
    application_ = std::make_unique<QApplication>(argc, argv);
  }
  static void TearDownTestSuite() { application_.reset(); }

  MainDialogWindowTest() { window.bind(dialog); }

  // Boxes are answered at once with OK; the chooser returns the prepared file.
  DialogPrompts answeringPrompts() {
    return {.messageBox =
                [this](QWidget*, const QString& title, const QString& text, QMessageBox::StandardButtons) {
                  boxes.emplace_back(title, text);
                  return QMessageBox::Ok;
                },
            .chooseImageFile = [this](QWidget*, const QString&) { return chosenFile; },
            .browseOutputFolder = [](QWidget*, const QString&) { return QString(); }};
  }

  template <typename Control>
  Control* control(const char* name) {
    auto* found = window.findChild<Control*>(name);
    EXPECT_NE(found, nullptr) << name;
    return found;
  }

  void startDialog() {
    dialog.start();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  }

  static inline std::unique_ptr<QApplication> application_;
  test_support::ScratchDir scratch;
  std::vector<std::pair<QString, QString>> boxes;
  QString chosenFile;
  Settings settings;
  MainDialogWindow window{answeringPrompts()};
  MainDialog dialog{window, settings, systemServices()};
};

TEST_F(MainDialogWindowTest, ShowsTheControlsTextsAndChoosersInTemplateOrder) {
  startDialog();
  EXPECT_EQ(window.windowTitle(), "Glimmer");
  // The icon's renderings are resources of a static library: they must have come along.
  const QList<QSize> iconSizes = window.windowIcon().availableSizes();
  for (const int size : {16, 32, 48, 256}) EXPECT_TRUE(iconSizes.contains(QSize(size, size))) << size;
  // Tab walks the enabled controls in template order and comes back round.
  const std::pair<const char*, QString> tabOrder[] = {{"IDOK", "Process File"},
                                                      {"IDC_ABOUT", "About Glimmer"},
                                                      {"IDCANCEL", "Quit"},
                                                      {"IDC_BROWSE_INPUT", "Browse for Input JPEG/PNM"},
                                                      {"IDC_BROWSE_OUTPUT", "Browse for Output Folder"},
                                                      {"IDC_INPUT_PATH", ""},
                                                      {"IDC_OUTPUT_FOLDER", ""},
                                                      {"IDC_ASK_ON_STARTUP", "Ask for File on Startup"},
                                                      {"IDOK", "Process File"}};
  for (const auto& [name, text] : tabOrder) {
    QWidget* focus = QApplication::focusWidget();
    ASSERT_NE(focus, nullptr);
    EXPECT_EQ(focus->objectName(), name);
    if (const auto* button = qobject_cast<QAbstractButton*>(focus)) {
      EXPECT_EQ(button->text(), text);
    }
    QTest::keyClick(focus, Qt::Key_Tab);
  }
  EXPECT_EQ(control<QPushButton>("IDC_OPEN_OUTPUT")->text(), "Open Output Image");
  EXPECT_FALSE(control<QPushButton>("IDC_OPEN_OUTPUT")->isEnabled());
  QStringList groupTitles;
  for (const QGroupBox* group : window.findChildren<QGroupBox*>()) groupTitles << group->title();
  groupTitles.sort();
  EXPECT_EQ(groupTitles, (QStringList{"Input JPG/JPEG/PNM", "No. CPU Cores", "Output Folder", "Progress"}));

  const QString startFolder = QString::fromStdString(scratch.path().string());
  const std::unique_ptr<QFileDialog> chooser = createImageFileChooser(&window, startFolder);
  EXPECT_EQ(chooser->windowTitle(), "Select Graphics file...");
  EXPECT_EQ(chooser->directory().absolutePath(), startFolder);
  EXPECT_EQ(chooser->nameFilters(),
            (QStringList{"JPG (*.jpg)", "JPEG (*.jpeg)", "PNM (*.pnm)", kPageFilesFilter, "All files (*)"}));
  EXPECT_EQ(createOutputFolderPicker(&window)->windowTitle(), "Browse for mail folder");

  window.close();
  EXPECT_EQ(window.result(), 0);
}

// The chooser opens at start-up and proposes the page's folder; then the check box, Process File, About and Esc.
TEST_F(MainDialogWindowTest, ProcessesThePageChosenAtStartUp) {
  std::string pixels(120 * 40, '\xd0');
  for (int y = 12; y < 28; ++y)
    for (int x = 10; x < 110; x += 6) pixels[static_cast<std::size_t>(y * 120 + x)] = '\x20';
  test_support::writeFile(scratch.file("page.pnm"), "P5\n120 40\n255\n" + pixels);
  settings.askForFileOnStartup = true;
  chosenFile = QString::fromStdString(scratch.file("page.pnm"));
  startDialog();
  auto* checkBox = control<QCheckBox>("IDC_ASK_ON_STARTUP");
  EXPECT_TRUE(checkBox->isChecked());
  QTest::mouseClick(checkBox, Qt::LeftButton);
  EXPECT_FALSE(settings.askForFileOnStartup);

  QTest::mouseClick(control<QPushButton>("IDOK"), Qt::LeftButton);
  for (const char* name : {"IDOK", "IDC_BROWSE_INPUT", "IDC_BROWSE_OUTPUT"})
    EXPECT_FALSE(control<QPushButton>(name)->isEnabled()) << name;
  ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog.isProcessing(); }, 60000));
  EXPECT_TRUE(control<QPushButton>("IDOK")->isEnabled());
  EXPECT_EQ(control<QProgressBar>("IDC_PROGRESS")->value(), 1000);
  EXPECT_TRUE(control<QPushButton>("IDC_OPEN_OUTPUT")->isEnabled());
  EXPECT_TRUE(std::filesystem::exists(scratch.file("page.bmp")));

  QTest::mouseClick(control<QPushButton>("IDC_ABOUT"), Qt::LeftButton);
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0], (std::pair<QString, QString>{"Done", "Finished processing"}));
  EXPECT_EQ(boxes[1].first, "About Glimmer");
  EXPECT_TRUE(
      boxes[1].second.startsWith("A tool to remove the background in bitmap images (JPG or PNM input, BMP "
                                 "output) so that the text in the image is clear.\n\n"));
  EXPECT_TRUE(boxes[1].second.contains("Glimmer " GLIMMER_VERSION " ")) << boxes[1].second.toStdString();
  QTest::keyClick(&window, Qt::Key_Escape);
  EXPECT_EQ(window.result(), 2);
}

TEST_F(MainDialogWindowTest, ASingleDroppedFileBecomesTheInput) {
  startDialog();
  const std::string page = scratch.file("dropped \xc3\xa9 page.pnm");
  const QList<QUrl> drags[] = {{QUrl("https://example.org/page.pnm")},
                               {QUrl::fromLocalFile("/a.pnm"), QUrl::fromLocalFile("/b.pnm")},
                               {QUrl::fromLocalFile(QString::fromStdString(page))}};
  for (const QList<QUrl>& urls : drags) {
    QMimeData data;
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &enter);
    EXPECT_EQ(enter.isAccepted(), urls.size() == 1 && urls.front().isLocalFile());
    if (!enter.isAccepted()) continue;
    QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &drop);
  }
  EXPECT_EQ(control<QLineEdit>("IDC_INPUT_PATH")->text().toStdString(), page);
  EXPECT_EQ(control<QLineEdit>("IDC_OUTPUT_FOLDER")->text().toStdString(), scratch.path().string() + "/");
}

}  // namespace
}  // namespace glimmer
