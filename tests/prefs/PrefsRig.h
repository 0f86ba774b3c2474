#pragma once

#include "CheckValue.h"
#include "PrefsStore.h"
#include "ScriptedPrompter.h"
#include "frmPrefs.h"
#include "frmScreenOptions.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMap>
#include <QObject>
#include <QRadioButton>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using StoredTexts = QMap<QString, QString>;

// Both dialogs and the store wired as the main window wires them, on a
// settings file of the test's own.
struct PrefsRig {
    static inline const QStringList tableOrder = {
        "chkUseTimestamps", "hsDelay",       "chkAsk",         "chkStopAfter",    "txtAcqLimit",
        "chkWFM",           "txtWFMpath",    "txtWFMprefix",   "chkASCII",        "txtASCIIpath",
        "txtASCIIprefix",   "chkScreen",     "txtScreenPath",  "txtScreenPrefix", "chkRestoreRun",
        "cboFileType",      "optInksaverOn", "optInksaverOff", "optLandscape",    "optPortrait"};
    static inline const QStringList savedDefaults = {
        "1",        "0", "0",    "1",          "10", "1", "E:\\", "my_ISFs_", "0",    "E:\\",
        "my_CSVs_", "0", "E:\\", "my_Images_", "1",  "1", "True", "False",    "True", "False"};
    static inline const QStringList defaultPublics = {"E:\\my_ISFs_",     "E:\\my_CSVs_",
                                                      "E:\\my_Images_",   "SAV:IMAG:FILEF PNG",
                                                      "SAV:IMAG:LAY LAN", "SAV:IMAG:INKS ON"};

    PrefsRig() {
        QObject::connect(&prefs, &frmPrefs::restoreDefaultsRequested,
                         [this] { store.loadPrefs(true); });
    }

    QString settingsPath() const { return dir.filePath(QStringLiteral("mardock.ini")); }

    void storeTexts(const StoredTexts &texts) const {
        QSettings settings(settingsPath(), QSettings::IniFormat);
        settings.beginGroup(QStringLiteral("Prefs"));
        for (auto it = texts.begin(); it != texts.end(); ++it)
            settings.setValue(it.key(), it.value());
    }

    QStringList storedInTableOrder() const {
        QSettings settings(settingsPath(), QSettings::IniFormat);
        settings.beginGroup(QStringLiteral("Prefs"));
        QStringList texts;
        for (const QString &key : tableOrder)
            texts << settings.value(key).toString();
        return texts;
    }

    // The twenty values in table order and stored form, found by control name.
    QStringList values() const {
        QStringList texts;
        for (const QString &key : tableOrder) {
            QObject *control = prefs.findChild<QObject *>(key);
            control = control ? control : screenOptions.findChild<QObject *>(key);
            if (auto *box = qobject_cast<QCheckBox *>(control))
                texts << QString::number(checkValue(box));
            else if (auto *bar = qobject_cast<QScrollBar *>(control))
                texts << QString::number(bar->value());
            else if (auto *edit = qobject_cast<QLineEdit *>(control))
                texts << edit->text();
            else if (auto *list = qobject_cast<QComboBox *>(control))
                texts << QString::number(list->currentIndex());
            else
                texts << (qobject_cast<QRadioButton *>(control)->isChecked() ? "True" : "False");
        }
        return texts;
    }

    // The four option buttons' stored texts, e.g. "False False True False".
    static StoredTexts optionTexts(const QString &words) {
        const QStringList w = words.split(u' ');
        return {{"optInksaverOn", w[0]},
                {"optInksaverOff", w[1]},
                {"optLandscape", w[2]},
                {"optPortrait", w[3]}};
    }

    QStringList publics() const {
        return {prefs.WFMfspec,         prefs.ASCIIfspec,     prefs.ScreenFspec,
                screenOptions.FileType, screenOptions.Layout, screenOptions.InkSaver};
    }

    QTemporaryDir dir;
    ScriptedPrompter prompter;
    frmScreenOptions screenOptions;
    frmPrefs prefs{screenOptions, prompter};
    PrefsStore store{prefs, screenOptions, settingsPath()};
};

enum class Leave { ReturnKey, CancelButton, ReturnOnCancel, EscKey, WindowFrame };

inline bool showActive(QWidget &window) {
    window.show();
    return QTest::qWaitForWindowActive(&window);
}

// Clicks a check box on its indicator, a button anywhere on it.
inline void click(QAbstractButton *button) {
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
}

// Leaves a dialog by Return in a box, which presses OK, or one of the ways
// that must all act as its Cancel: Return on a button presses that button.
inline void leave(QWidget &dialog, QAbstractButton *cancel, Leave how) {
    if (how == Leave::CancelButton) {
        click(cancel);
    } else if (how == Leave::ReturnOnCancel) {
        cancel->setFocus();
        QTest::keyClick(cancel, Qt::Key_Return);
    } else if (how == Leave::WindowFrame)
        dialog.close();
    else
        QTest::keyClick(dialog.focusWidget(),
                        how == Leave::ReturnKey ? Qt::Key_Return : Qt::Key_Escape);
}

// A row for each way of leaving a dialog, in a column "how", followed by the
// given values for the further columns.
template <typename... Values> void addLeaveRows(const Values &...values) {
    const std::pair<const char *, Leave> ways[] = {{"Return key", Leave::ReturnKey},
                                                   {"Cancel button", Leave::CancelButton},
                                                   {"Return on Cancel", Leave::ReturnOnCancel},
                                                   {"Esc key", Leave::EscKey},
                                                   {"window frame", Leave::WindowFrame}};
    for (const auto &[name, how] : ways)
        ((QTest::addRow("%s", name) << how) << ... << values);
}
