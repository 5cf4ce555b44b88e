// glimmer: the desktop program. Reads the settings, runs the main dialog until
// the user ends it, and writes the settings back. It takes no arguments.
#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "app/desktop/main_dialog.h"
#include "app/desktop/main_dialog_window.h"
#include "app/shell/settings.h"
#include "system/interrupt_cleanup.h"

int main(int argc, char* argv[]) {
  glimmer::installInterruptCleanup();  // a run's temporaries go when a signal ends the program
  QApplication application(argc, argv);
  const std::string settingsPath = glimmer::locateSettingsFile();
  glimmer::Settings settings = glimmer::loadSettings(settingsPath);

  glimmer::MainDialogWindow window;
  glimmer::MainDialog dialog(window, settings.askForFileOnStartup, glimmer::systemServices());
  window.bind(dialog);
  dialog.start();
  window.exec();

  glimmer::saveSettings(settings, settingsPath);
  if (dialog.isProcessing()) {
    // A run still under way ends with the program; its threads wait on the closed dialog.
    std::fflush(stdout);
    std::_Exit(0);
  }
  return 0;
}
