#include "CaptureLoop.h"

#include "CommandText.h"
#include "ExceptionText.h"
#include "Exchange.h"
#include "FileNamer.h"
#include "Instrument.h"
#include "MonotonicClock.h"
#include "PollPacer.h"
#include "RunPreferences.h"
#include "StatusText.h"

#include <exception>

using namespace std::chrono;

namespace {

// Enough to ride out a dropped message, few enough that Stop with a dead scope
// still ends at once.
constexpr int RestoreAttempts = 2;
constexpr milliseconds RestoreRetryPause{100};

// The event status register's command, execution and device error bits.
constexpr int ErrorEvents = 32 | 16 | 8;

const QStringList restoreCommands{QStringLiteral("TRIG"), QStringLiteral("ACQ:STATE 0"),
                                  QStringLiteral("ACQ:STOPA RUNST"),
                                  QStringLiteral("TRIG:A:MOD AUTO"), QStringLiteral("ACQ:STATE 1")};

// A check box also holds 2 (greyed), which only an edited store produces; like
// the start check, only a plain check counts.
bool checked(int checkBoxValue) {
    return checkBoxValue == 1;
}

// A quote, carriage return or line feed in the name would end the quoted name
// or the message early and let the rest run as commands on the scope; no other
// control character belongs in a file name on the scope either.
QString quotedName(QString name) {
    name.removeIf([](QChar c) { return c == u'"' || c.category() == QChar::Other_Control; });
    return QLatin1Char('"') + name + QLatin1Char('"');
}

// "SEQ", "SEQUENCE", or either behind a header, as the scope's reply
// settings have it.
bool inSingleSequence(const QString &stopAfter) {
    const QString mode = stopAfter.trimmed().section(QLatin1Char(' '), -1).toUpper();
    return mode == QLatin1String("SEQ") || mode == QLatin1String("SEQUENCE");
}

} // namespace

CaptureLoop::CaptureLoop(Exchange &exchange, Run &run, FileNamer &namer, Prompter &prompter,
                         const MonotonicClock &clock)
    : m_exchange(exchange)
    , m_run(run)
    , m_namer(namer)
    , m_prompter(prompter)
    , m_clock(clock) {}

void CaptureLoop::journalTo(RunJournal &journal, const QString &scope) {
    m_journal = &journal;
    m_scope = scope;
    m_ledger.journalTo(&journal);
    m_exchange.watchSilenceWith([this](bool answering, milliseconds silent) {
        note(answering ? RunJournal::Event::AnsweringAgain : RunJournal::Event::NotAnswering,
             QStringLiteral("silent for %1 s").arg(double(silent.count()) / 1000.0, 0, 'f', 1));
    });
}

void CaptureLoop::run(Run::Number number, const RunPreferences &prefs) {
    m_run.enter(number);
    if (!m_run.stopped()) {
        m_prefs = &prefs;
        m_stopDone = false;
        // A save an earlier run was stopped in is not this run's to name.
        m_ledger.plan(RunJournal::NoAcquisition, {});
        if (m_journal)
            m_journal->startRun(m_scope + QStringLiteral("; saves ") + savesText());
        runUntilStopped();
        if (m_journal)
            m_journal->endRun(m_run.acquisition(), m_endDetail);
        m_prefs = nullptr;
    }
    m_run.leave();
}

void CaptureLoop::runUntilStopped() {
    try {
        prepareScope();
        for (qint64 acquisition = 1; !stopped();) {
            try {
                if (runCycle(acquisition))
                    ++acquisition;
            } catch (const ScopeRestarted &) {
                prepareScope();
                note(RunJournal::Event::ScopeRestarted);
                m_ledger.scopeRestarted();
            }
        }
    } catch (...) {
        const QString what = describeCurrentException();
        // Nothing may leave the buttons in the running state.
        if (!m_stopDone)
            stop(QStringLiteral("Stopped"));
        m_prompter.ask(QStringLiteral("The run stopped because of an error: ") + what,
                       Prompter::Buttons::Ok, Prompter::Icon::Warning);
    }
    // A Stop from the window: its commands go out now that the run has left
    // its exchanges.
    if (!m_stopDone)
        stop(m_run.stopReason());
}

void CaptureLoop::prepareScope() {
    m_exchange.instrument().deviceClear();
    m_exchange.scopeWrite(QStringLiteral("HEAD 0;VERB 0"));
    m_exchange.scopeWrite(QStringLiteral("ACQ:STOPA SEQ;STATE 0"));
    enableErrorEvents();
    // Everything a reconnection could have changed was just set.
    m_exchange.takeReconnected();
}

// Refused commands and saves are then recorded, for *ESR? after each save.
void CaptureLoop::enableErrorEvents() {
    m_eventsEnabled = true;
    m_exchange.scopeWrite(QStringLiteral("DESE %1").arg(ErrorEvents));
    m_exchange.scopeWrite(QStringLiteral("*CLS"));
}

void CaptureLoop::write(const QString &command) {
    m_exchange.scopeWrite(command);
    prepareAgainIfReconnected();
}

QString CaptureLoop::query(const QString &command, bool keepReply) {
    for (;;) {
        const QString reply = m_exchange.scopeQuery(command, keepReply);
        // A reply on a new connection may come from a scope in its power-on
        // state (headers on): ask again once it is prepared.
        if (!prepareAgainIfReconnected())
            return reply;
    }
}

// Polls "BUSY?" until the scope answers "0", with a dot per answer, the last
// one only for a save, at the pace the wait has come to. A save's length is
// learnt, so its polls can be sparse until it is about to end. False once the
// run has ended.
bool CaptureLoop::waitUntilIdle(bool dotForLast, std::optional<SaveLengths::Kind> save) {
    const QString idle = QStringLiteral("0");
    const auto since = m_clock.now();
    const auto usual = save ? m_saveLengths.usual(*save) : std::nullopt;
    for (;;) {
        const QString reply = query(QStringLiteral("BUSY?"));
        // A poll that Stop abandoned adds no dot to the stopped text.
        if (stopped())
            return false;
        const bool done = reply == idle;
        if (!done || dotForLast)
            m_run.addProgressDots(1);
        if (stopped())
            return false;
        const auto waited = m_clock.now() - since;
        if (done) {
            if (save)
                m_saveLengths.record(*save, waited);
            return true;
        }
        if (!m_exchange.pause(save ? PollPacer::forSave(waited, usual)
                                   : PollPacer::forWait(waited)))
            return false;
    }
}

// A scope that came back is given start-up's settings and the run's event
// mask before any reply of it is used; if it is no longer in single sequence
// it restarted and lost the run's settings and the armed acquisition.
bool CaptureLoop::prepareAgainIfReconnected() {
    bool reconnected = false;
    while (!stopped() && m_exchange.takeReconnected()) {
        reconnected = true;
        m_ledger.linkLost();
        note(RunJournal::Event::Reconnected);
        for (const char *command : {"DESE 0", "*ESE 0", "*SRE 0", "HEAD 0", "*CLS"})
            m_exchange.scopeWrite(QString::fromLatin1(command));
        enableErrorEvents();
        const QString mode = m_exchange.scopeQuery(QStringLiteral("ACQ:STOPA?"));
        if (!stopped() && !m_exchange.takeReconnected() && !inSingleSequence(mode))
            throw ScopeRestarted{};
    }
    return reconnected && !stopped();
}

bool CaptureLoop::runCycle(qint64 acquisition) {
    m_run.setAcquisition(acquisition);
    showStatus(QStringLiteral("Waiting for Acquisition"));
    write(QStringLiteral("ACQ:STATE 1"));
    if (!waitUntilIdle(false))
        return false;
    note(RunJournal::Event::Acquired);

    // Taken before the question, so an acquisition answered No still uses
    // up its counter value.
    const QString stem = m_namer.nextFileStem(m_prefs->chkUseTimestamps() != 0);

    bool save = true;
    if (checked(m_prefs->chkAsk())) {
        const Prompter::Answer answer = askSave();
        // A Stop while the question stood ends the run as Cancel does.
        if (stopped())
            return false;
        switch (answer) {
        case Prompter::Answer::Yes:
            break;
        case Prompter::Answer::No:
            save = false;
            note(RunJournal::Event::Skipped);
            break;
        default:
            stop(QStringLiteral("Cancelled"));
            return false;
        }
    }

    if (save) {
        m_ledger.plan(acquisition, savesOf(stem));
        if (const int delay = m_prefs->hsDelay(); delay > 0) {
            m_run.setStatus(QStringLiteral("Delay after trigger"));
            // Stop ends the delay: a stopped run saves nothing more.
            m_exchange.waitSeconds(static_cast<float>(delay));
            if (stopped())
                return false;
        }
        if (checked(m_prefs->chkWFM()) && !saveIsf(stem))
            return false;
        if (checked(m_prefs->chkASCII()) && !saveCsv(stem))
            return false;
        if (checked(m_prefs->chkScreen()) && !saveScreen(stem))
            return false;
    }

    if (checked(m_prefs->chkStopAfter()) &&
        static_cast<double>(acquisition) >= m_prefs->acqLimit()) {
        stop(QStringLiteral("Done"));
        showStatus(QStringLiteral("Done"));
    }
    return !stopped();
}

// A Stop pressed while a set-up command was retried ends the save there: no
// further command, and the stopped status stays on the idle window.
bool CaptureLoop::setUp(const QStringList &commands) {
    for (const QString &command : commands) {
        write(command);
        if (stopped())
            return false;
    }
    return true;
}

// The scope records a save it refused in its event register: the run ends
// there with the scope's own words, rather than going on to "Done" with
// nothing written.
bool CaptureLoop::savedWithoutError(const QString &name) {
    const QString events = query(QStringLiteral("*ESR?"));
    if (stopped())
        return false;
    if ((events.trimmed().toInt() & ErrorEvents) == 0) {
        m_ledger.confirmed();
        return true;
    }
    const QString reported = query(QStringLiteral("ALLEV?"));
    m_ledger.refused(reported.trimmed());
    stop(QStringLiteral("refused save"));
    m_prompter.ask(
        QStringLiteral("The scope did not save %1.\nIt reported: %2\nThe run has stopped.")
            .arg(asSentToScope(name), reported.trimmed()),
        Prompter::Buttons::Ok, Prompter::Icon::Warning);
    return false;
}

bool CaptureLoop::saveIsf(const QString &stem) {
    if (!setUp({QStringLiteral("SAV:WAVE:FILEF INTERNAL")}))
        return false;
    showStatus(QStringLiteral("Save ISF"));
    const QString name = isfName(stem);
    writeSave(name, QStringLiteral("SAV:WAVE ALL, ") + quotedName(name));
    if (!waitUntilIdle(true, SaveLengths::Kind::Isf))
        return false;
    // Sent as the scope's own software does after a save; the listing grows
    // with every file on the scope and nothing reads it.
    query(QStringLiteral("FILES:DIR?"), false);
    return !stopped() && savedWithoutError(name);
}

bool CaptureLoop::saveCsv(const QString &stem) {
    if (!setUp({QStringLiteral("SAV:WAVE:FILEF SPREADS"), QStringLiteral("SAV:WAVE:GATI NON")}))
        return false;
    showStatus(QStringLiteral("Save CSV"));
    const QString name = csvName(stem);
    writeSave(name, QStringLiteral("SAV:WAVE ALL, ") + quotedName(name));
    return waitUntilIdle(true, SaveLengths::Kind::Csv) && savedWithoutError(name);
}

bool CaptureLoop::saveScreen(const QString &stem) {
    showStatus(QStringLiteral("Save Screen"));
    if (!setUp({m_prefs->FileType(), m_prefs->Layout(), m_prefs->InkSaver()}))
        return false;
    const QString name = screenName(stem);
    writeSave(name, QStringLiteral("SAV:IMAG ") + quotedName(name));
    return waitUntilIdle(true, SaveLengths::Kind::Screen) && savedWithoutError(name);
}

Prompter::Answer CaptureLoop::askSave() {
    return m_prompter.ask(QStringLiteral("Save this Aquisition?"), Prompter::Buttons::YesNoCancel);
}

void CaptureLoop::stopWhenIdle(const RunPreferences &prefs) {
    m_prefs = &prefs;
    stop(QStringLiteral("Stopped"));
    m_prefs = nullptr;
}

void CaptureLoop::stop(const QString &detail) {
    m_stopDone = true;
    m_endDetail = detail;
    const QString stoppedText = leadingNumber(m_run.status()) + QStringLiteral(": Stopped");
    m_run.setStatus(stoppedText);
    // Idle buttons at once: a Start clicked now waits behind the commands below.
    m_run.stopCurrent();
    m_run.clearCancellation();
    QStringList commands;
    if (checked(m_prefs->chkRestoreRun()))
        commands = restoreCommands;
    if (std::exchange(m_eventsEnabled, false))
        commands << QStringLiteral("DESE 0");
    // Outside a run each command is tried once, as every exchange is.
    try {
        clearAndSend(commands, m_run.inRun() ? RestoreAttempts : 1);
    } catch (...) {
        // A scope that has gone away cannot be cleared; Stop ends anyway.
    }
    // Drops any progress dots a retry appended meanwhile.
    m_run.setStatus(stoppedText);
}

// Stop's commands: each gets a few attempts, and the first the scope will
// not take ends them, since the rest would only wait their timeouts out too.
void CaptureLoop::clearAndSend(const QStringList &commands, int attempts) {
    Instrument &scope = m_exchange.instrument();
    scope.setErrorReporting(false);
    scope.deviceClear();
    for (const QString &command : commands) {
        for (int tried = 1;; ++tried) {
            scope.write(command);
            if (scope.status() >= 0 || tried >= attempts || !m_exchange.pause(RestoreRetryPause))
                break;
        }
        if (scope.status() < 0)
            break;
    }
    scope.setErrorReporting(true);
}

void CaptureLoop::showStatus(const QString &text) {
    m_run.setStatus(QString::number(m_run.acquisition()) + QStringLiteral(": ") + text);
}

bool CaptureLoop::stopped() const {
    return m_run.stopped();
}

void CaptureLoop::note(RunJournal::Event event, const QString &detail) {
    if (m_journal)
        m_journal->record(event, m_run.acquisition(), {}, detail);
}

// A save command may reach the scope on a link that is then lost, and go out
// again on the new one: the ledger journals that.
void CaptureLoop::writeSave(const QString &name, const QString &command) {
    m_ledger.sending(name);
    write(command);
    m_ledger.sent();
}

QString CaptureLoop::savesText() const {
    QStringList saves;
    for (const SaveLedger::Save &save : savesOf(QStringLiteral("*")))
        saves << save.kind + QLatin1Char(' ') + save.name;
    return saves.join(QStringLiteral(", "));
}

QList<SaveLedger::Save> CaptureLoop::savesOf(const QString &stem) const {
    QList<SaveLedger::Save> saves;
    if (checked(m_prefs->chkWFM()))
        saves.append({QStringLiteral("ISF"), isfName(stem)});
    if (checked(m_prefs->chkASCII()))
        saves.append({QStringLiteral("CSV"), csvName(stem)});
    if (checked(m_prefs->chkScreen()))
        saves.append({QStringLiteral("image"), screenName(stem)});
    return saves;
}

QString CaptureLoop::isfName(const QString &stem) const {
    return m_prefs->WFMfspec() + stem;
}

QString CaptureLoop::csvName(const QString &stem) const {
    return m_prefs->ASCIIfspec() + stem;
}

QString CaptureLoop::screenName(const QString &stem) const {
    return m_prefs->ScreenFspec() + stem + QLatin1Char('.') + m_prefs->fileTypeText();
}
