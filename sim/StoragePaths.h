#pragma once

#include <QString>
#include <optional>

// Maps the file names a scope understands ("E:\run\a.png", "a.png" in the
// current folder) to files under the folder that stands for its drives:
// drive E: is <root>/E/. Names that would leave that folder or that a FAT
// file system refuses map to nothing.
class StoragePaths {
public:
    explicit StoragePaths(const QString &root);

    // The scope's current folder, as the scope writes it ("E:\" or "E:\run").
    QString currentFolder() const { return m_currentFolder; }
    // Changes the current folder; false, leaving it alone, for a bad name.
    bool setCurrentFolder(const QString &scopeName);

    // The host path of a file or folder the scope names, or nullopt when the
    // name is refused. A name ending in "\" names no file and is refused.
    std::optional<QString> hostPath(const QString &scopeName) const;
    std::optional<QString> hostFolder(const QString &scopeName) const;
    // The scope's absolute form, "E:\a\b", of a name; nullopt when refused.
    std::optional<QString> absoluteName(const QString &scopeName) const;

private:
    QString toHost(const QString &absolute) const;

    QString m_root;
    QString m_currentFolder = QStringLiteral("E:\\");
};
