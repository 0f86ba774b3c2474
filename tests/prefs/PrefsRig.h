#pragma once

#include "PrefsStore.h"
#include "ScriptedPrompter.h"
#include "frmPrefs.h"
#include "frmScreenOptions.h"

#include <QObject>
#include <QTemporaryDir>

// Both dialogs and the store wired as the main window wires them, on a
// settings file of the test's own.
struct PrefsRig {
    PrefsRig() {
        QObject::connect(&prefs, &frmPrefs::restoreDefaultsRequested,
                         [this] { store.loadPrefs(true); });
    }

    QString settingsPath() const { return dir.filePath(QStringLiteral("mardock.ini")); }

    QTemporaryDir dir;
    ScriptedPrompter prompter;
    frmScreenOptions screenOptions;
    frmPrefs prefs{screenOptions, prompter};
    PrefsStore store{prefs, screenOptions, settingsPath()};
};
