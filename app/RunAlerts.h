#pragma once

#include "RunJournal.h"

#include <QObject>
#include <QTimer>
#include <chrono>

class DesktopNotifier;

// Tells the desktop, from the journal's events, what an unattended user
// would want to hear of: a run that ended by itself (Done, a refused save),
// and a scope that has not answered for a minute.
class RunAlerts : public QObject {
    Q_OBJECT

public:
    static constexpr std::chrono::seconds SilenceAlert{60};

    // `silence`: how long after the not-answering event the alert goes.
    explicit RunAlerts(DesktopNotifier &notifier, std::chrono::milliseconds silence = SilenceAlert);

    // "notifications" in the settings file's [Journal] section; on unless
    // it says false.
    static bool wantedBy(const QString &settingsFile);

    // The events heard matters for; the others need not wake the window.
    static bool concerns(RunJournal::Event event);
    void heard(RunJournal::Event event, const QString &detail);

private:
    DesktopNotifier &m_notifier;
    QTimer m_silence;
};
