#pragma once

#include <QString>

// The families this program drives, named in their identification reply:
// "KXA5" or "KXB5", case and all, anywhere in it.
inline bool isSupportedScope(const QString &identification) {
    return identification.contains(QLatin1String("KXA5")) ||
           identification.contains(QLatin1String("KXB5"));
}
