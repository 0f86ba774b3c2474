#pragma once

#include <QString>

// Where Mardock keeps its files on this computer: the per-user settings
// folder ($XDG_CONFIG_HOME/mardock, by default ~/.config/mardock) with the
// settings file and the instrument list, the run journal in the per-user
// state folder ($XDG_STATE_HOME/mardock, by default ~/.local/state/mardock),
// the single-instance lock in the
// per-user runtime folder, and the user guide beside the executable or, once
// installed, under share/mardock.
class AppPaths {
public:
    // The paths of the running program for the current user.
    static AppPaths forCurrentUser();

    AppPaths(QString configDir, QString runtimeDir, QString applicationName, QString programDir,
             QString stateDir);

    QString configDir() const { return m_configDir; }
    // Named after the executable, so a copy under another name keeps its own set.
    QString settingsFile() const;
    QString instrumentListFile() const;
    QString journalFile() const;
    // Empty when there is no runtime folder to hold it.
    QString lockFile() const;
    QString guideFile() const;

    // Creates the settings folder if it is missing; false when it cannot be made.
    bool makeConfigDir() const;

private:
    QString m_configDir;
    QString m_runtimeDir;
    QString m_applicationName;
    QString m_programDir;
    QString m_stateDir;
};
