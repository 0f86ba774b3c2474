#pragma once

#include "CommandExchange.h"
#include "Prompter.h"

#include <QString>
#include <QStringList>

class FileNamer;
class RunHost;
class RunPreferences;

// The save-on-trigger run: arms the scope for one acquisition at a time,
// waits for it, optionally asks and delays, has the scope save the chosen
// files, and repeats until Stop, Cancel or the acquisition limit. There is no
// stop flag: the run ends when the host's Start button is enabled again, which
// only stop() does.
//
// The scope's event register tells whether each save was carried out: a
// refused save (no drive, a full one, a name it will not take) ends the run
// with a warning. A scope that comes back after the link was lost is
// prepared again; one that restarted meanwhile is armed again for the same
// acquisition.
class CaptureLoop {
public:
    CaptureLoop(CommandExchange &exchange, RunHost &host, const RunPreferences &prefs,
                FileNamer &namer, Prompter &prompter);

    // The whole run, from its preparation on; returns when it has ended.
    void run();
    // Ends a run, or tidies up after one: stopped status, then (queued behind
    // the call in flight, so the window is idle at once) device clear,
    // optionally back to continuous running, and the event mask as start-up
    // left it; idle buttons. Safe to call nested inside the run's event pumps
    // and when no run is active.
    void stop();
    Prompter::Answer askSave();

private:
    // Thrown when the scope came back from a restart: the run prepares it
    // again and arms the current acquisition anew.
    struct ScopeRestarted {};

    void prepareScope();
    void enableErrorEvents();
    // Each returns false once the run has ended.
    bool runCycle(qint64 acquisition);
    bool waitUntilIdle(bool dotForLast);
    bool setUp(const QStringList &commands);
    bool saveIsf(qint64 acquisition, const QString &stem);
    bool saveCsv(qint64 acquisition, const QString &stem);
    bool saveScreen(qint64 acquisition, const QString &stem);
    bool savedWithoutError(const QString &name);

    // The run's exchanges: each notices a scope that came back meanwhile.
    void write(const QString &command);
    QString query(const QString &command);
    CommandExchange::Polled poll(const QString &command, const CommandExchange::Polling &polling);
    bool prepareAgainIfReconnected();

    void showStatus(qint64 acquisition, const QString &text);
    bool stopped() const;

    CommandExchange &m_exchange;
    RunHost &m_host;
    const RunPreferences &m_prefs;
    FileNamer &m_namer;
    Prompter &m_prompter;
    // The run enabled error events; Stop puts the mask back.
    bool m_eventsEnabled = false;
};
