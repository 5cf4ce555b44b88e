// The program's window icons, drawn at start-up: a page whose lines of text
// stand out on white, in a large (32 x 32) and a small (16 x 16) size.
#pragma once

#include <QIcon>

namespace glimmer {

QIcon drawDialogIcon();

}  // namespace glimmer
