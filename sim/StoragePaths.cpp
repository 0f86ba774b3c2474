#include "StoragePaths.h"

#include <QDir>

#include <algorithm>

namespace {

// Characters a FAT long file name cannot hold; "\" separates folders.
bool refusedCharacter(QChar c) {
    return c.unicode() < 32 || c.unicode() == 127 || QStringView(u"\"*/:<>?|").contains(c);
}

bool acceptableComponent(QStringView component) {
    // A trailing dot or blank would be dropped silently by the file system,
    // so the file would not carry the name that was asked for.
    if (component.size() > 255 || component.endsWith(u'.') || component.endsWith(u' '))
        return false;
    return std::none_of(component.begin(), component.end(), refusedCharacter);
}

} // namespace

StoragePaths::StoragePaths(const QString &root)
    : m_root(QDir::cleanPath(QDir(root).absolutePath())) {}

bool StoragePaths::setCurrentFolder(const QString &scopeName) {
    const auto absolute = absoluteName(scopeName);
    if (!absolute)
        return false;
    m_currentFolder = *absolute;
    return true;
}

std::optional<QString> StoragePaths::hostPath(const QString &scopeName) const {
    if (scopeName.endsWith(u'\\'))
        return std::nullopt;
    const auto absolute = absoluteName(scopeName);
    if (!absolute || absolute->endsWith(u'\\'))
        return std::nullopt;
    return toHost(*absolute);
}

std::optional<QString> StoragePaths::hostFolder(const QString &scopeName) const {
    const auto absolute = absoluteName(scopeName);
    if (!absolute)
        return std::nullopt;
    return toHost(*absolute);
}

std::optional<QString> StoragePaths::absoluteName(const QString &scopeName) const {
    QChar drive = m_currentFolder.front();
    QString rest;
    if (scopeName.size() >= 2 && scopeName[1] == u':' && scopeName[0].isLetter() &&
        scopeName[0].unicode() < 128) {
        drive = scopeName[0].toUpper();
        rest = scopeName.mid(2);
    } else if (scopeName.startsWith(u'\\')) {
        rest = scopeName;
    } else {
        rest = m_currentFolder.mid(2) + u'\\' + scopeName;
    }

    QStringList components;
    for (const QString &component : rest.split(u'\\', Qt::SkipEmptyParts)) {
        if (component == u".")
            continue;
        if (component == u".." || !acceptableComponent(component))
            return std::nullopt;
        components.append(component);
    }
    return QString(drive) + QStringLiteral(":\\") + components.join(u'\\');
}

QString StoragePaths::toHost(const QString &absolute) const {
    QString path = m_root + u'/' + absolute.front();
    const QString rest = absolute.mid(3);
    if (!rest.isEmpty())
        path += u'/' + QString(rest).replace(u'\\', u'/');
    return path;
}
