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
    // Qt names no state folder yet; a relative $XDG_STATE_HOME is to be
    // ignored, as for the other XDG folders.
    QString stateHome = qEnvironmentVariable("XDG_STATE_HOME");
    if (QDir::isRelativePath(stateHome))
        stateHome = QDir::homePath() + QStringLiteral("/.local/state");
    return AppPaths(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                        QStringLiteral("/mardock"),
                    QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation),
                    program.completeBaseName(), program.absolutePath(),
                    stateHome + QStringLiteral("/mardock"));
}

AppPaths::AppPaths(QString configDir, QString runtimeDir, QString applicationName,
                   QString programDir, QString stateDir)
    : m_configDir(std::move(configDir))
    , m_runtimeDir(std::move(runtimeDir))
    , m_applicationName(std::move(applicationName))
    , m_programDir(std::move(programDir))
    , m_stateDir(std::move(stateDir)) {}

QString AppPaths::settingsFile() const {
    return m_configDir + QLatin1Char('/') + m_applicationName + QStringLiteral(".ini");
}

QString AppPaths::instrumentListFile() const {
    return m_configDir + QStringLiteral("/instruments.txt");
}

QString AppPaths::journalFile() const {
    return m_stateDir + QStringLiteral("/journal.csv");
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
