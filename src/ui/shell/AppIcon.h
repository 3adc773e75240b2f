#pragma once

#include <QIcon>

// The program's icon, drawn rather than shipped as a file: a blue archive box with a white arrow.
QIcon appIcon();
