#pragma once

#include <QIcon>

// The program's icon, drawn rather than shipped as a file: a blue archive box with a white arrow.
// With the failure mark, a red dot in its corner tells that a run failed.
QIcon appIcon(bool failureMark = false);
