#pragma once

#include "Prompter.h"
#include "Run.h"
#include "RunJournal.h"
#include "SaveLedger.h"
#include "SaveLengths.h"

#include <QString>
#include <QStringList>
#include <optional>

class Exchange;
class FileNamer;
class MonotonicClock;
class RunPreferences;

// The save-on-trigger run, on the run thread: arms the scope for one
// acquisition at a time, waits for it, optionally asks and delays, has the
// scope save the chosen files, and repeats until Stop, Cancel or the
// acquisition limit. The run learns of a Stop from the run state at its
// check points; the Stop's cancellation has already cut its current wait
// short. Stop's own commands go out when the run has left its last exchange.
//
// The scope's event register tells whether each save was carried out: a
// refused save (no drive, a full one, a name it will not take) ends the run
// with a warning. A scope that comes back after the link was lost is
// prepared again; one that restarted meanwhile is armed again for the same
// acquisition. Anything else that goes wrong ends the run with a message.
class CaptureLoop {
public:
    CaptureLoop(Exchange &exchange, Run &run, FileNamer &namer, Prompter &prompter,
                const MonotonicClock &clock);

    // Runs from now on are journalled there, from their start to their
    // end. `scope` (identification and descriptor) opens each run's line.
    // On the run thread.
    void journalTo(RunJournal &journal, const QString &scope);
    // The whole of run `number`, from its preparation on, with the
    // preferences as they stood at Start; returns when it has ended. A run
    // stopped before it came to run does nothing.
    void run(Run::Number number, const RunPreferences &prefs);
    // Stop outside a run (Close): stopped status, device clear, optionally
    // back to continuous running, each command tried once.
    void stopWhenIdle(const RunPreferences &prefs);

private:
    // Thrown when the scope came back from a restart: the run prepares it
    // again and arms the current acquisition anew.
    struct ScopeRestarted {};

    void runUntilStopped();
    void prepareScope();
    void enableErrorEvents();
    // Each returns false once the run has ended.
    bool runCycle(qint64 acquisition);
    bool waitUntilIdle(bool dotForLast, std::optional<SaveLengths::Kind> save = std::nullopt);
    bool setUp(const QStringList &commands);
    bool saveIsf(const QString &stem);
    bool saveCsv(const QString &stem);
    bool saveScreen(const QString &stem);
    bool savedWithoutError(const QString &name);
    Prompter::Answer askSave();
    // Ends the run: stopped status, idle buttons, then (the run having left
    // its exchanges) device clear, optionally back to continuous running, and
    // the event mask as start-up left it. `detail` says why, for the journal.
    void stop(const QString &detail);
    void clearAndSend(const QStringList &commands, int attempts);

    // The run's exchanges: each notices a scope that came back meanwhile.
    void write(const QString &command);
    QString query(const QString &command, bool keepReply = true);
    bool prepareAgainIfReconnected();

    // The text behind the acquisition number, as "3: Save CSV".
    void showStatus(const QString &text);
    bool stopped() const;

    void note(RunJournal::Event event, const QString &detail = {});
    void writeSave(const QString &name, const QString &command);
    // What a run saves, its names' stems as "*", for the run's first line.
    QString savesText() const;
    QList<SaveLedger::Save> savesOf(const QString &stem) const;
    QString isfName(const QString &stem) const;
    QString csvName(const QString &stem) const;
    QString screenName(const QString &stem) const;

    Exchange &m_exchange;
    Run &m_run;
    FileNamer &m_namer;
    Prompter &m_prompter;
    const MonotonicClock &m_clock;
    const RunPreferences *m_prefs = nullptr;
    SaveLengths m_saveLengths;
    // The run enabled error events; Stop puts the mask back.
    bool m_eventsEnabled = false;
    // This run's Stop procedure has run.
    bool m_stopDone = false;
    RunJournal *m_journal = nullptr;
    QString m_scope;
    SaveLedger m_ledger;
    QString m_endDetail;
};
