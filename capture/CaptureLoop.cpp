#include "CaptureLoop.h"

#include "CommandExchange.h"
#include "FileNamer.h"
#include "Instrument.h"
#include "RunHost.h"
#include "RunPreferences.h"

#include <QRegularExpression>
#include <exception>

namespace {

// Enough to ride out a dropped message, few enough that Stop with a dead scope
// still ends at once.
constexpr int RestoreAttempts = 2;

// A trigger that comes soon after arming is caught at the link's pace; after
// this many polls each further one waits a little for events first, so hours
// of waiting for a trigger do not keep a core busy with polls and repaints.
constexpr int BackToBackPolls = 100;
constexpr int PollPauseMs = 2;

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

// The number a status text starts with, in plain decimal; "0" when it has none.
QString leadingNumber(const QString &status) {
    static const QRegularExpression number(QStringLiteral("^\\s*([+-]?)0*([0-9]+)"));
    const QRegularExpressionMatch match = number.match(status);
    if (!match.hasMatch())
        return QStringLiteral("0");
    const QString digits = match.captured(2);
    if (match.captured(1) == QLatin1String("-") && digits != QLatin1String("0"))
        return QLatin1Char('-') + digits;
    return digits;
}

} // namespace

CaptureLoop::CaptureLoop(Instrument &instrument, CommandExchange &exchange, RunHost &host,
                         const RunPreferences &prefs, FileNamer &namer, Prompter &prompter)
    : m_instrument(instrument)
    , m_exchange(exchange)
    , m_host(host)
    , m_prefs(prefs)
    , m_namer(namer)
    , m_prompter(prompter) {}

void CaptureLoop::run() {
    m_host.setRunButtons();
    try {
        prepareScope();
        bool running = true;
        for (qint64 acquisition = 1; running; ++acquisition)
            running = runCycle(acquisition);
    } catch (const std::exception &error) {
        // Nothing may leave the buttons in the running state.
        if (!stopped())
            stop();
        m_prompter.ask(QStringLiteral("The run stopped because of an error: ") +
                           QString::fromUtf8(error.what()),
                       Prompter::Buttons::Ok, Prompter::Icon::Warning);
    }
}

void CaptureLoop::prepareScope() {
    m_instrument.deviceClear();
    m_exchange.scopeWrite(QStringLiteral("HEAD 0;VERB 0"));
    m_exchange.scopeWrite(QStringLiteral("ACQ:STOPA SEQ;STATE 0"));
}

bool CaptureLoop::runCycle(qint64 acquisition) {
    showStatus(acquisition, QStringLiteral("Waiting for Acquisition"));
    m_exchange.scopeWrite(QStringLiteral("ACQ:STATE 1"));
    if (!waitForAcquisition())
        return false;

    // Taken before the question, so an acquisition answered No still uses
    // up its counter value.
    const QString stem = m_namer.nextFileStem(m_prefs.chkUseTimestamps() != 0);

    bool save = true;
    if (checked(m_prefs.chkAsk())) {
        switch (askSave()) {
        case Prompter::Answer::Yes:
            break;
        case Prompter::Answer::No:
            save = false;
            break;
        default:
            stop();
            return false;
        }
    }

    if (save) {
        if (const int delay = m_prefs.hsDelay(); delay > 0) {
            m_host.setStatusText(QStringLiteral("Delay after trigger"));
            m_exchange.waitSeconds(static_cast<float>(delay));
            // A Stop pressed during the delay must not be followed by a save.
            if (stopped())
                return false;
        }
        if (checked(m_prefs.chkWFM()) && !saveIsf(acquisition, stem))
            return false;
        if (checked(m_prefs.chkASCII()) && !saveCsv(acquisition, stem))
            return false;
        if (checked(m_prefs.chkScreen()) && !saveScreen(acquisition, stem))
            return false;
    }

    if (checked(m_prefs.chkStopAfter()) && static_cast<double>(acquisition) >= m_prefs.acqLimit()) {
        stop();
        showStatus(acquisition, QStringLiteral("Done"));
    }
    return !stopped();
}

bool CaptureLoop::waitForAcquisition() {
    int busyPolls = 0;
    while (m_exchange.scopeQuery(QStringLiteral("BUSY?")) != QLatin1String("0")) {
        // A poll that Stop abandoned adds no dot to the stopped text.
        if (stopped())
            break;
        m_exchange.showProgressDot();
        // The pause ends at once on Stop's click; the check comes after it so
        // that a stopped run sends nothing more.
        if (busyPolls < BackToBackPolls)
            ++busyPolls;
        else
            m_host.pumpEvents(PollPauseMs);
        if (stopped())
            break;
    }
    return !stopped();
}

bool CaptureLoop::waitForSave() {
    QString reply;
    do {
        reply = m_exchange.scopeQuery(QStringLiteral("BUSY?"));
        if (stopped())
            break;
        m_exchange.showProgressDot();
    } while (reply != QLatin1String("0") && !stopped());
    return !stopped();
}

// A Stop pressed while a set-up command was retried ends the save there: no
// further command, and the stopped status stays on the idle window.
bool CaptureLoop::setUp(const QStringList &commands) {
    for (const QString &command : commands) {
        m_exchange.scopeWrite(command);
        if (stopped())
            return false;
    }
    return true;
}

bool CaptureLoop::saveIsf(qint64 acquisition, const QString &stem) {
    if (!setUp({QStringLiteral("SAV:WAVE:FILEF INTERNAL")}))
        return false;
    showStatus(acquisition, QStringLiteral("Save ISF"));
    m_host.pumpEvents(0);
    m_exchange.scopeWrite(QStringLiteral("SAV:WAVE ALL, ") + quotedName(m_prefs.WFMfspec() + stem));
    if (!waitForSave())
        return false;
    m_exchange.scopeQuery(QStringLiteral("FILES:DIR?"));
    return true;
}

bool CaptureLoop::saveCsv(qint64 acquisition, const QString &stem) {
    if (!setUp({QStringLiteral("SAV:WAVE:FILEF SPREADS"), QStringLiteral("SAV:WAVE:GATI NON")}))
        return false;
    showStatus(acquisition, QStringLiteral("Save CSV"));
    m_host.pumpEvents(0);
    m_exchange.scopeWrite(QStringLiteral("SAV:WAVE ALL, ") +
                          quotedName(m_prefs.ASCIIfspec() + stem));
    return waitForSave();
}

bool CaptureLoop::saveScreen(qint64 acquisition, const QString &stem) {
    showStatus(acquisition, QStringLiteral("Save Screen"));
    m_host.pumpEvents(0);
    if (!setUp({m_prefs.FileType(), m_prefs.Layout(), m_prefs.InkSaver()}))
        return false;
    m_exchange.scopeWrite(
        QStringLiteral("SAV:IMAG ") +
        quotedName(m_prefs.ScreenFspec() + stem + QLatin1Char('.') + m_prefs.fileTypeText()));
    return waitForSave();
}

Prompter::Answer CaptureLoop::askSave() {
    return m_prompter.ask(QStringLiteral("Save this Aquisition?"), Prompter::Buttons::YesNoCancel);
}

void CaptureLoop::stop() {
    const QString stoppedText = leadingNumber(m_host.statusText()) + QStringLiteral(": Stopped");
    m_host.setStatusText(stoppedText);
    try {
        m_instrument.deviceClear();
    } catch (const std::exception &) {
        // A scope that has gone away cannot be cleared; Stop must end anyway.
    }
    if (checked(m_prefs.chkRestoreRun()))
        restoreContinuousRun();
    m_host.setIdleButtons();
    // Drops any progress dots that retried restore commands appended.
    m_host.setStatusText(stoppedText);
}

void CaptureLoop::restoreContinuousRun() {
    static const QStringList commands{
        QStringLiteral("TRIG"), QStringLiteral("ACQ:STATE 0"), QStringLiteral("ACQ:STOPA RUNST"),
        QStringLiteral("TRIG:A:MOD AUTO"), QStringLiteral("ACQ:STATE 1")};
    // A command the link would not carry after its attempts means the scope is
    // gone or hung; the rest would only wait their timeouts out too.
    for (const QString &command : commands) {
        m_exchange.scopeWrite(command, RestoreAttempts);
        if (m_instrument.status() < 0)
            return;
    }
}

void CaptureLoop::showStatus(qint64 acquisition, const QString &text) {
    m_host.setStatusText(QString::number(acquisition) + QStringLiteral(": ") + text);
}

bool CaptureLoop::stopped() const {
    return m_host.startEnabled();
}
