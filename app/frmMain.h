#pragma once

#include "AppPaths.h"
#include "CaptureLoop.h"
#include "CommandExchange.h"
#include "DialogRunPreferences.h"
#include "FileNamer.h"
#include "PrefsStore.h"
#include "RunHost.h"
#include "SingleInstance.h"
#include "frmPrefs.h"
#include "frmScreenOptions.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

class Clock;
class HelpViewer;
class Instrument;
class IoExecutor;
class Prompter;
class QLineEdit;
class QPushButton;

// The main window: four buttons over the status line, always on top. It
// hosts the capture run and owns the two preference dialogs.
class frmMain : public QWidget, public RunHost {
    Q_OBJECT

public:
    // Calls on `plexor` run through `io`, which must outlive the window: Stop
    // may leave its restore commands queued there.
    frmMain(Instrument &plexor, IoExecutor &io, Prompter &prompter, const Clock &clock,
            const AppPaths &paths, QWidget *parent = nullptr);

    // The start-up. False when the program must end without showing the
    // window; the user has then been told why.
    bool Form_Load();

    void loadPrefs(bool restoreDefaults);

    frmPrefs &prefsDialog() { return m_prefs; }
    frmScreenOptions &screenOptionsDialog() { return m_screenOptions; }

    bool startEnabled() const override;
    bool ending() const override { return m_ending; }
    QString statusText() const override;
    void setStatusText(const QString &text) override;
    void pumpEvents(int maxWaitMs) override;
    void setRunButtons() override;
    void setIdleButtons() override;

    QPushButton *cbPrefs;
    QPushButton *cbStart;
    QPushButton *cbStop;
    QPushButton *cbClose;
    QLineEdit *Text1;

signals:
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
    // Stops, asks and saves; true when the program is to end.
    bool confirmClose();
    void endProgram();
    void showStatusText();

    Prompter &m_prompter;
    AppPaths m_paths;
    SingleInstance m_instance;
    frmScreenOptions m_screenOptions;
    frmPrefs m_prefs;
    PrefsStore m_store;
    CommandExchange m_exchange;
    FileNamer m_namer;
    DialogRunPreferences m_runPrefs;
    CaptureLoop m_loop;
    QPointer<HelpViewer> m_helpViewer;
    bool m_ending = false;
    // The status line shows the latest text at most every refresh interval:
    // a wait that polls hundreds of times a second must not repaint as often.
    QString m_statusText;
    QTimer m_statusRefresh;
    bool m_statusPending = false;
    // Ends a blocking pump in time when no event comes.
    QTimer m_wakeUp;
};
