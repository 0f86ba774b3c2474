// Arbitrary bytes as the settings file, loaded into both dialogs as at
// start-up. Whatever was loaded must save, and load again to the same twenty
// values: a damaged store settles after one Close. (Keys of no preference are
// Qt's to keep or rewrite; they are not compared.)
#include "PrefsStore.h"
#include "Prompter.h"
#include "frmPrefs.h"
#include "frmScreenOptions.h"

#include <QApplication>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <cstdlib>

namespace {

class SilentPrompter : public Prompter {
public:
    Answer ask(const QString &, Buttons, Icon) override { return Answer::Ok; }
};

QStringList storedPrefs(const QString &path) {
    static const QStringList keys = {
        "chkUseTimestamps", "hsDelay",       "chkAsk",         "chkStopAfter",    "txtAcqLimit",
        "chkWFM",           "txtWFMpath",    "txtWFMprefix",   "chkASCII",        "txtASCIIpath",
        "txtASCIIprefix",   "chkScreen",     "txtScreenPath",  "txtScreenPrefix", "chkRestoreRun",
        "cboFileType",      "optInksaverOn", "optInksaverOff", "optLandscape",    "optPortrait"};
    QSettings settings(path, QSettings::IniFormat);
    settings.beginGroup(QStringLiteral("Prefs"));
    QStringList values;
    for (const QString &key : keys)
        values << settings.value(key).toString();
    return values;
}

struct Dialogs {
    Dialogs() {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "fuzz_settings";
        static char *argv[] = {name, nullptr};
        app = new QApplication(argc, argv);
        screenOptions = new frmScreenOptions;
        prefs = new frmPrefs(*screenOptions, prompter);
    }
    QApplication *app;
    SilentPrompter prompter;
    frmScreenOptions *screenOptions;
    frmPrefs *prefs;
    QTemporaryDir dir;
    int runs = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static Dialogs dialogs;
    // A new name each time: QSettings caches files by name within a process.
    const QString path = dialogs.dir.filePath(QStringLiteral("%1.ini").arg(++dialogs.runs));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            std::abort();
        file.write(reinterpret_cast<const char *>(data), qint64(size));
    }
    PrefsStore store(*dialogs.prefs, *dialogs.screenOptions, path);
    store.loadPrefs(false);
    if (!store.savePrefs())
        std::abort();
    const QStringList saved = storedPrefs(path);
    store.loadPrefs(false);
    if (!store.savePrefs() || storedPrefs(path) != saved)
        std::abort();
    QFile::remove(path);
    return 0;
}
