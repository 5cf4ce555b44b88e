#include "app/desktop/dialog_icons.h"

#include <QDir>
#include <QString>

namespace glimmer {

QIcon dialogIcon() {
  // The renderings of packaging/icons/glimmer.svg, built into the program as
  // resources (one folder a size), so the window shows the installed icon
  // wherever the program runs.
  QIcon icon;
  for (const QString& size : QDir(":/icons").entryList(QDir::Dirs)) icon.addFile(":/icons/" + size + "/glimmer.png");
  return icon;
}

}  // namespace glimmer
