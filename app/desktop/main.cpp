// glimmer: the desktop program. Reads the settings, runs the main dialog until
// the user ends it, and writes the settings back. It answers --help and
// --version on the terminal; a page named after the options (the desktop
// entry's %f) becomes the dialog's input.
#include <QApplication>
#include <QFile>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/desktop/main_dialog.h"
#include "app/desktop/main_dialog_window.h"
#include "app/shell/settings.h"
#include "system/interrupt_cleanup.h"

namespace {

constexpr const char* kUsage =
    "Usage: glimmer [PAGE]\n"
    "Opens the Glimmer dialog, with PAGE as its input when given: choose or drop a page\n"
    "(JPEG or PNM), choose an output folder, press \"Process File\". The settings live\n"
    "in glimmer.ini beside the program, or in ~/.config/glimmer/glimmer.ini. For\n"
    "scripts and terminals use glimmer-cli.\n"
    "\n"
    "  -h, --help     show this help\n"
    "      --version  show the version\n";

constexpr const char* kNoDisplay = "glimmer: no display (set DISPLAY or use glimmer-cli)\n";

// Qt ends a program that finds no display with a fatal message about
// reinstalling it; while the application starts, that becomes our own word.
QtMessageHandler previousHandler = nullptr;

void startupMessageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type == QtFatalMsg) {
    std::fputs(kNoDisplay, stderr);
    std::_Exit(1);
  }
  if (previousHandler != nullptr) previousHandler(type, context, message);
}

bool hasDisplay() {
  for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && value[0] != '\0') return true;
  }
  return false;
}

}  // namespace

int main(int argc, char* argv[]) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("glimmer %s\n", GLIMMER_VERSION);
      return 0;
    }
  }
  if (!hasDisplay()) {
    std::fputs(kNoDisplay, stderr);
    return 1;
  }
  previousHandler = qInstallMessageHandler(startupMessageHandler);
  glimmer::installInterruptCleanup();  // a run's temporaries go when a signal ends the program
  QApplication application(argc, argv);
  qInstallMessageHandler(previousHandler);

  const std::string settingsPath = glimmer::locateSettingsFile();
  glimmer::Settings settings = glimmer::loadSettings(settingsPath);

  glimmer::MainDialogWindow window;
  glimmer::MainDialog dialog(window, settings, glimmer::systemServices());
  window.bind(dialog);
  // Qt has taken its own options (-platform, ...) out of the arguments by now.
  const QStringList arguments = QApplication::arguments();
  dialog.start(arguments.size() > 1 ? QFile::encodeName(arguments.at(1)).toStdString() : std::string());
  window.exec();

  glimmer::saveSettings(settings, settingsPath);
  if (dialog.isProcessing()) {
    // A run still under way ends with the program; its threads wait on the closed dialog.
    std::fflush(stdout);
    std::_Exit(0);
  }
  return 0;
}
