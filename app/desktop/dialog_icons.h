// The program's window icon: Glimmer's icon in every size it is rendered at.
#pragma once

#include <QIcon>

namespace glimmer {

QIcon dialogIcon();

}  // namespace glimmer
