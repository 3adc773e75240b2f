#pragma once

#include <QString>

class QWidget;

// Lets the user choose one existing folder, in a dialog modal to `owner` that opens at
// `startFolder`, showing what it holds. Returns the folder's full path, or the empty text on
// cancel.
QString BrowseForFolder(QWidget* owner, const QString& title, const QString& startFolder);
