#pragma once

#include <QString>
#include <QVariant>

// An empty (NULL) database value as the empty text, any other value as its text.
QString NullToString(const QVariant& value);
