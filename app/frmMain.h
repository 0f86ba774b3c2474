#pragma once

#include "AppPaths.h"
#include "Cancellation.h"
#include "CaptureLoop.h"
#include "DesktopNotifier.h"
#include "DialogRunPreferences.h"
#include "Exchange.h"
#include "FileNamer.h"
#include "PrefsStore.h"
#include "QueuedPrompter.h"
#include "Run.h"
#include "RunAlerts.h"
#include "RunJournal.h"
#include "RunThread.h"
#include "RunView.h"
#include "SingleInstance.h"
#include "frmPrefs.h"
#include "frmScreenOptions.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <mutex>

class Clock;
class HelpViewer;
class Instrument;
class MonotonicClock;
class Prompter;
class QLineEdit;
class QPushButton;

// The main window: four buttons over the status line, always on top. It owns
// the two preference dialogs and the run thread, which alone calls `plexor`:
// the window only starts and stops runs and shows what the run posts. Its
// thread never waits on the link.
class frmMain : public QWidget, public RunView {
    Q_OBJECT

public:
    frmMain(Instrument &plexor, Prompter &prompter, const Clock &clock,
            const MonotonicClock &monotonic, const AppPaths &paths, QWidget *parent = nullptr);
    // Stops a run still going; Stop's commands still queued get their
    // attempts before the run thread ends.
    ~frmMain() override;

    // The start-up. False when the program must end at once (another copy
    // runs); the user has then been told why. Otherwise the scope is searched
    // for on the run thread, and startUpEnded() tells how that went.
    bool Form_Load();

    void loadPrefs(bool restoreDefaults);

    frmPrefs &prefsDialog() { return m_prefs; }
    frmScreenOptions &screenOptionsDialog() { return m_screenOptions; }

    bool startEnabled() const;
    // The latest status text, shown or about to be.
    QString statusText() const;
    void setRunButtons();
    void setIdleButtons();

    void showStatus(const QString &text) override;
    void showRunState() override;

    // Runs `job` on the run thread behind whatever it has queued: for tools
    // that drive the instrument themselves (tests, benchmarks).
    void onRunThread(RunThread::Job job) { m_runThread.post(std::move(job)); }

    QPushButton *cbPrefs;
    QPushButton *cbStart;
    QPushButton *cbStop;
    QPushButton *cbClose;
    QLineEdit *Text1;

signals:
    // The search of start-up ended: with a scope found, or after the user was
    // told why there is none and the program must end.
    void startUpEnded(bool scopeFound);
    // Close was confirmed: the program ends now.
    void programEnding();

public slots:
    void cbPrefs_Click();
    void cbStart_Click();
    void cbStop_Click();
    void cbClose_Click();
    void show_help();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    QPushButton *addButton(const QString &name, const QString &caption, const QString &tip,
                           int leftTwips);
    // Close: Stop on the run thread, then the question here.
    void beginClose();
    void askClose();
    void endProgram();
    void refreshButtons();
    void refreshStatus();
    // The status line's menu: the run journal and its folder.
    void Text1_ContextMenu(const QPoint &at);
    void journalNotWritten(const QString &reason);

    Prompter &m_prompter;
    AppPaths m_paths;
    SingleInstance m_instance;
    frmScreenOptions m_screenOptions;
    frmPrefs m_prefs;
    PrefsStore m_store;
    DialogRunPreferences m_runPrefs;
    // Written by the run thread; what it hears is told here through queued
    // calls, since the alerts' timer and the notice live on this thread.
    RunJournal m_journal;
    DesktopNotifier m_notifier;
    RunAlerts m_alerts;
    Cancellation m_cancellation;
    Run m_run;
    // Message boxes of the run thread, asked here.
    QueuedPrompter m_runPrompter;
    Exchange m_exchange;
    FileNamer m_namer;
    CaptureLoop m_loop;
    QPointer<HelpViewer> m_helpViewer;
    bool m_closing = false;
    bool m_ending = false;
    // The status line shows the latest text at most every refresh interval:
    // a wait that polls hundreds of times a second must not repaint as often,
    // nor wake this thread as often. The run thread leaves the text here.
    mutable std::mutex m_statusLock;
    QString m_statusText;
    bool m_statusQueued = false;
    QTimer m_statusRefresh;
    // Last, so it ends first: its jobs use everything above.
    RunThread m_runThread;
};
