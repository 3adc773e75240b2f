#pragma once

#include <string>
#include <sys/stat.h>

// Where a file to pack lies: a path below an open folder, or a full path when `folder` is
// AT_FDCWD.
struct FileToRead {
    int folder = -1;
    std::string path;
};

// A file opened for packing, or why it was not.
struct OpenedFile {
    int fd = -1;
    int error = 0;           // errno when it could not be opened
    bool notRegular = false; // a link, pipe, socket or device stands under the name now
    struct stat st {};
};

// Opens a regular file for reading without following a link anywhere below its folder and
// without opening whatever else stands under the name: a pipe would block the run for ever, a
// device could be read without end, a link could lead to another user's file.
OpenedFile openRegularFile(const FileToRead& file);
