#include "NullToString.h"

QString NullToString(const QVariant& value) {
    return value.isNull() ? QString() : value.toString();
}
