#include "StorePath.h"

#include <QDir>
#include <QFileInfo>

bool storePathNamesSomething(const QString& text) {
    if (text.isEmpty()) {
        return true;
    }
    const QFileInfo info(text);
    if (info.exists()) {
        return true;
    }
    const QString name = info.fileName();
    if (!name.contains(QLatin1Char('*')) && !name.contains(QLatin1Char('?'))) {
        return false;
    }
    const QDir folder = info.dir();
    return !folder
                .entryList({name},
                           QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
                .isEmpty();
}
