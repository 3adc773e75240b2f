#include "BoxMessages.h"

#include "common/DateTime.h"

#include <QMessageBox>
#include <cstdio>

void BoxMessages::show(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Vestrel"), text, QMessageBox::Ok);
    box.exec();
}

void StderrMessages::show(const QString& text) {
    std::fprintf(stderr, "%s %s\n", qPrintable(localNow().toStoredText()), qPrintable(text));
    std::fflush(stderr);
}
