#include "AppPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

AppPaths AppPaths::forCurrentUser() {
    const QFileInfo program(QCoreApplication::applicationFilePath());
    // The runtime folder is $XDG_RUNTIME_DIR or, when that is unset, a
    // private folder of this user's (mode 0700) that Qt makes in /tmp. Never
    // the settings folder: that may be read-only, or shared between machines.
    return AppPaths(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                        QStringLiteral("/mardock"),
                    QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation),
                    program.completeBaseName(), program.absolutePath());
}

AppPaths::AppPaths(QString configDir, QString runtimeDir, QString applicationName,
                   QString programDir)
    : m_configDir(std::move(configDir))
    , m_runtimeDir(std::move(runtimeDir))
    , m_applicationName(std::move(applicationName))
    , m_programDir(std::move(programDir)) {}

QString AppPaths::settingsFile() const {
    return m_configDir + QLatin1Char('/') + m_applicationName + QStringLiteral(".ini");
}

QString AppPaths::instrumentListFile() const {
    return m_configDir + QStringLiteral("/instruments.txt");
}

QString AppPaths::lockFile() const {
    if (m_runtimeDir.isEmpty())
        return QString();
    return m_runtimeDir + QLatin1Char('/') + m_applicationName + QStringLiteral(".lock");
}

QString AppPaths::guideFile() const {
    const QString beside = m_programDir + QStringLiteral("/guide.md");
    if (QFileInfo::exists(beside))
        return beside;
    // An installed program lives in <prefix>/bin, its documents in <prefix>/share.
    return QDir::cleanPath(m_programDir + QStringLiteral("/../share/mardock/guide.md"));
}

bool AppPaths::makeConfigDir() const {
    return QDir().mkpath(m_configDir);
}
