#pragma once

#include <QIcon>
#include <QPixmap>

// The program's icon, drawn rather than shipped as a file: a blue archive box with a white arrow.
// packaging/vestrel.svg is the same drawing for the desktop's icon theme. With the failure mark,
// a red dot in its corner tells that a run failed.
QIcon appIcon(bool failureMark = false);
QPixmap drawAppIcon(int size, bool failureMark = false);
