#pragma once

#include <QString>

// Makes sure the user's data folder holds a session database before the program opens it.
struct DatabaseFile {
    QString path;
    // Told to the user once: the database was moved here from beside the program.
    QString moved;
    // Told on every start until it is resolved: an old database that could not be moved and is
    // used where it lies for now.
    QString problem;
};

// The database in `dataFolder`. When there is none and `oldFolder` holds one (the program's own
// folder, where earlier versions kept it), that one is copied, checked and only then renamed
// with a note beside it; when the move fails half-way nothing of it is left in the data folder
// and the old one is used where it lies. Otherwise an empty one is made from the schema.
// Raises VError when no database can be made.
DatabaseFile prepareDatabase(const QString& dataFolder, const QString& oldFolder);
