#pragma once

#include <QString>

// True when `text` names an existing file or folder, or is a name pattern with wildcards ('*',
// '?') that something in its folder matches. The empty text names the current folder.
bool storePathNamesSomething(const QString& text);
