#pragma once

#include "Prompter.h"

#include <QString>

class CommandExchange;
class FileNamer;
class Instrument;
class RunHost;
class RunPreferences;

// The save-on-trigger run: arms the scope for one acquisition at a time,
// waits for it, optionally asks and delays, has the scope save the chosen
// files, and repeats until Stop, Cancel or the acquisition limit. There is no
// stop flag: the run ends when the host's Start button is enabled again, which
// only stop() does.
class CaptureLoop {
public:
    CaptureLoop(Instrument &instrument, CommandExchange &exchange, RunHost &host,
                const RunPreferences &prefs, FileNamer &namer, Prompter &prompter);

    // The whole run, from its preparation on; returns when it has ended.
    void run();
    // Ends a run, or tidies up after one: stopped status, device clear,
    // optionally back to continuous running, idle buttons. Safe to call
    // nested inside the run's event pumps and when no run is active.
    void stop();
    Prompter::Answer askSave();

private:
    // Each returns false once the run has ended.
    bool runCycle(qint64 acquisition);
    bool waitForAcquisition();
    bool waitForSave();
    bool setUp(const QStringList &commands);
    bool saveIsf(qint64 acquisition, const QString &stem);
    bool saveCsv(qint64 acquisition, const QString &stem);
    bool saveScreen(qint64 acquisition, const QString &stem);

    void prepareScope();
    void restoreContinuousRun();
    void showStatus(qint64 acquisition, const QString &text);
    bool stopped() const;

    Instrument &m_instrument;
    CommandExchange &m_exchange;
    RunHost &m_host;
    const RunPreferences &m_prefs;
    FileNamer &m_namer;
    Prompter &m_prompter;
};
