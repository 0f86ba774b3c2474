#include "AppPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

AppPaths AppPaths::forCurrentUser() {
    const QFileInfo program(QCoreApplication::applicationFilePath());
    return AppPaths(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                        QStringLiteral("/mardock"),
                    program.completeBaseName(), program.absolutePath());
}

AppPaths::AppPaths(QString configDir, QString applicationName, QString programDir)
    : m_configDir(std::move(configDir))
    , m_applicationName(std::move(applicationName))
    , m_programDir(std::move(programDir)) {}

QString AppPaths::settingsFile() const {
    return m_configDir + QLatin1Char('/') + m_applicationName + QStringLiteral(".ini");
}

QString AppPaths::instrumentListFile() const {
    return m_configDir + QStringLiteral("/instruments.txt");
}

QString AppPaths::lockFile() const {
    return m_configDir + QLatin1Char('/') + m_applicationName + QStringLiteral(".lock");
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
