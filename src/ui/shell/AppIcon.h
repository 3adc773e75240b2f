#pragma once

#include <QIcon>
#include <QPixmap>

// The program's icon, drawn rather than shipped as a file: a blue archive box with a white arrow.
// packaging/vestrel.svg is the same drawing for the desktop's icon theme.
QIcon appIcon();
QPixmap drawAppIcon(int size);
