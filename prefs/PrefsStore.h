#pragma once

#include <QList>
#include <QSettings>
#include <QString>
#include <functional>

class frmPrefs;
class frmScreenOptions;

// Moves the twenty preferences between the dialogs' controls and the settings
// file, section "Prefs", one key per control named after it, every value as
// text. Writes go through QSettings, which replaces the file atomically; a
// settings file that is a symbolic link stays one, its target is replaced.
class PrefsStore {
public:
    PrefsStore(frmPrefs &prefs, frmScreenOptions &screenOptions, QString settingsPath);

    // A stored text that does not convert, or that its control refuses, gives
    // that key its default; the load always runs to the end.
    void loadPrefs(bool restoreDefaults);
    // False when the file could not be written. A damaged file is replaced
    // whole, keeping only the preferences.
    bool savePrefs();

private:
    struct Row {
        QString key;
        QString defaultText;
        std::function<QString()> read;
        // False when the text does not convert or the control refuses it.
        std::function<bool(const QString &)> apply;
    };

    QSettings::Status writeRows(QSettings &settings) const;

    frmPrefs &m_prefs;
    frmScreenOptions &m_screenOptions;
    QString m_settingsPath;
    QList<Row> m_rows;
};
