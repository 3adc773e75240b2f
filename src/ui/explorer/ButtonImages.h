#pragma once

#include <QIcon>

// The drawn images of the explorer's picture buttons.
namespace ButtonImages {
// Left to right: a file going from the local side to the server.
QIcon copyToFtp();
// Right to left: a file coming from the server.
QIcon copyToLocal();
// An arrow up to a bar: the root folder.
QIcon upDir();
// A red bin.
QIcon deleteFile();
} // namespace ButtonImages
