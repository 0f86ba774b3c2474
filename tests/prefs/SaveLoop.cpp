// Saves the preferences over and over, alternating between two sets, and
// reports each finished save on standard output; tst_killedsave kills it at
// random moments. The second set holds a long prefix so a save takes a while.
#include "PrefsStore.h"
#include "ScriptedPrompter.h"
#include "frmPrefs.h"
#include "frmScreenOptions.h"

#include <QApplication>
#include <QLineEdit>
#include <QScrollBar>

#include <cstdio>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    if (app.arguments().size() != 2) {
        std::fprintf(stderr, "usage: prefs_save_loop SETTINGS.ini\n");
        return 2;
    }
    ScriptedPrompter prompter;
    frmScreenOptions screenOptions;
    frmPrefs prefs(screenOptions, prompter);
    PrefsStore store(prefs, screenOptions, app.arguments().at(1));
    store.loadPrefs(false);
    const QString longPrefix(30'000, u'p');
    for (int generation = 0;; ++generation) {
        const bool second = generation % 2 == 1;
        prefs.txtAcqLimit->setText(second ? QStringLiteral("77") : QStringLiteral("10"));
        prefs.hsDelay->setValue(second ? 5 : 0);
        prefs.txtWFMprefix->setText(second ? longPrefix : QStringLiteral("my_ISFs_"));
        if (!store.savePrefs())
            return 1;
        std::printf("saved %d\n", generation);
        std::fflush(stdout);
    }
}
