#include "app/desktop/main_dialog_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "common/tests/scratch_dir.h"

// Failure messages show texts, not their code units.
inline void PrintTo(const QString& text, std::ostream* out) { *out << text.toStdString(); }

namespace glimmer {
namespace {

using test_support::writeFile;

struct Box {
  QString title;
  QString text;
};

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

  // Boxes are answered at once with their first button; the choosers return the prepared paths.
  DialogPrompts answeringPrompts() {
    return {
        .messageBox =
            [this](QWidget*, const QString& title, const QString& text, QMessageBox::StandardButtons buttons) {
              boxes.push_back({title, text});
              return buttons.testFlag(QMessageBox::Yes) ? QMessageBox::Yes : QMessageBox::Ok;
            },
        .chooseImageFile =
            [this](QWidget*) {
              ++chooserOpenings;
              return chosenFile;
            },
        .browseOutputFolder = [this](QWidget*) { return chosenFolder; },
    };
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
  std::vector<Box> boxes;
  int chooserOpenings = 0;
  QString chosenFile;
  QString chosenFolder;
  bool askForFileOnStartup = false;
  MainDialogWindow window{answeringPrompts()};
  MainDialog dialog{window, askForFileOnStartup, systemServices()};
};

TEST_F(MainDialogWindowTest, ShowsTheControlsOfTheTemplateInTabOrder) {
  startDialog();
  EXPECT_EQ(window.windowTitle(), "Glimmer");
  EXPECT_EQ(window.minimumSize(), window.maximumSize());

  const std::vector<std::pair<const char*, QString>> buttons = {{"IDOK", "Process File"},
                                                                {"IDC_ABOUT", "About Glimmer"},
                                                                {"IDCANCEL", "Quit"},
                                                                {"IDC_BROWSE_INPUT", "Browse for Input JPEG/PNM"},
                                                                {"IDC_BROWSE_OUTPUT", "Browse for Output Folder"},
                                                                {"IDC_OPEN_OUTPUT", "Open Output Image"}};
  for (const auto& [name, label] : buttons) EXPECT_EQ(control<QPushButton>(name)->text(), label);
  EXPECT_TRUE(control<QPushButton>("IDOK")->isDefault());
  EXPECT_FALSE(control<QPushButton>("IDC_OPEN_OUTPUT")->isEnabled());
  EXPECT_EQ(control<QCheckBox>("IDC_ASK_ON_STARTUP")->text(), "Ask for File on Startup");
  EXPECT_TRUE(control<QLineEdit>("IDC_INPUT_PATH")->text().isEmpty());
  EXPECT_EQ(control<QProgressBar>("IDC_PROGRESS")->maximum(), 1000);
  const int cores = control<QLabel>("IDC_CORE_COUNT")->text().toInt();
  EXPECT_GE(cores, 1);
  EXPECT_LE(cores, 64);

  QStringList groupTitles;
  for (const QGroupBox* group : window.findChildren<QGroupBox*>()) groupTitles << group->title();
  groupTitles.sort();
  EXPECT_EQ(groupTitles, (QStringList{"Input JPG/JPEG/PNM", "No. CPU Cores", "Output Folder", "Progress"}));

  // Tab walks the enabled controls in template order and comes back round.
  const std::vector<QString> tabOrder = {"IDOK",
                                         "IDC_ABOUT",
                                         "IDCANCEL",
                                         "IDC_BROWSE_INPUT",
                                         "IDC_BROWSE_OUTPUT",
                                         "IDC_INPUT_PATH",
                                         "IDC_OUTPUT_FOLDER",
                                         "IDC_ASK_ON_STARTUP",
                                         "IDOK"};
  for (const QString& expected : tabOrder) {
    ASSERT_NE(QApplication::focusWidget(), nullptr);
    EXPECT_EQ(QApplication::focusWidget()->objectName(), expected);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  }
}

TEST_F(MainDialogWindowTest, ChooserAndFolderPickerCarryTheirTitlesAndFilters) {
  const std::unique_ptr<QFileDialog> chooser = createImageFileChooser(&window);
  EXPECT_EQ(chooser->windowTitle(), "Select Graphics file...");
  EXPECT_EQ(chooser->nameFilters(), (QStringList{"JPG (*.jpg)", "JPEG (*.jpeg)", "PNM (*.pnm)"}));
  EXPECT_EQ(chooser->selectedNameFilter(), "JPG (*.jpg)");
  EXPECT_EQ(chooser->fileMode(), QFileDialog::ExistingFile);

  const std::unique_ptr<QFileDialog> picker = createOutputFolderPicker(&window);
  EXPECT_EQ(picker->windowTitle(), "Browse for mail folder");
  EXPECT_EQ(picker->fileMode(), QFileDialog::Directory);
}

TEST_F(MainDialogWindowTest, SettingOpensTheChooserAtStartAndTheCheckBoxFlipsIt) {
  askForFileOnStartup = true;
  chosenFile = "/scans/page.1.jpg";
  startDialog();
  EXPECT_EQ(chooserOpenings, 1);
  EXPECT_EQ(control<QLineEdit>("IDC_INPUT_PATH")->text(), "/scans/page.1.jpg");
  EXPECT_EQ(control<QLineEdit>("IDC_OUTPUT_FOLDER")->text(), "/scans/");

  auto* checkBox = control<QCheckBox>("IDC_ASK_ON_STARTUP");
  EXPECT_TRUE(checkBox->isChecked());
  QTest::mouseClick(checkBox, Qt::LeftButton);
  EXPECT_FALSE(askForFileOnStartup);
  QTest::mouseClick(checkBox, Qt::LeftButton);
  EXPECT_TRUE(askForFileOnStartup);
}

TEST_F(MainDialogWindowTest, EscapeQuitsWithTwoAndTheCloseBoxEndsWithZero) {
  startDialog();
  QTest::keyClick(&window, Qt::Key_Escape);
  EXPECT_EQ(window.result(), 2);
  EXPECT_FALSE(window.isVisible());

  startDialog();
  window.close();
  EXPECT_EQ(window.result(), 0);
}

TEST_F(MainDialogWindowTest, ProcessesAPageFromProcessFileToTheFinishedBox) {
  // A small page: dark strokes on a light grey background.
  std::string pixels(120 * 40, '\xd0');
  for (int y = 12; y < 28; ++y)
    for (int x = 10; x < 110; x += 6) pixels[static_cast<std::size_t>(y * 120 + x)] = '\x20';
  writeFile(scratch.file("page.pnm"), "P5\n120 40\n255\n" + pixels);

  startDialog();
  chosenFile = QString::fromStdString(scratch.file("page.pnm"));
  QTest::mouseClick(control<QPushButton>("IDC_BROWSE_INPUT"), Qt::LeftButton);
  EXPECT_EQ(control<QLineEdit>("IDC_OUTPUT_FOLDER")->text().toStdString(), scratch.path().string() + "/");

  auto* processButton = control<QPushButton>("IDOK");
  QTest::mouseClick(processButton, Qt::LeftButton);
  EXPECT_FALSE(processButton->isEnabled());
  EXPECT_FALSE(control<QPushButton>("IDC_BROWSE_INPUT")->isEnabled());
  EXPECT_FALSE(control<QPushButton>("IDC_BROWSE_OUTPUT")->isEnabled());

  ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog.isProcessing(); }, 60000));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].title, "Done");
  EXPECT_EQ(boxes[0].text, "Finished processing");
  EXPECT_TRUE(processButton->isEnabled());
  EXPECT_EQ(control<QProgressBar>("IDC_PROGRESS")->value(), 1000);
  EXPECT_TRUE(control<QPushButton>("IDC_OPEN_OUTPUT")->isEnabled());
  EXPECT_TRUE(std::filesystem::exists(scratch.file("page.bmp")));
}

}  // namespace
}  // namespace glimmer
