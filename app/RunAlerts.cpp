#include "RunAlerts.h"

#include "DesktopNotifier.h"

#include <QSettings>

RunAlerts::RunAlerts(DesktopNotifier &notifier, std::chrono::milliseconds silence)
    : m_notifier(notifier) {
    m_silence.setSingleShot(true);
    m_silence.setInterval(silence);
    connect(&m_silence, &QTimer::timeout, this, [this] {
        m_notifier.notify(QStringLiteral("The scope is not answering"),
                          QStringLiteral("Mardock has had no answer from the scope for a minute. "
                                         "The run goes on waiting for it."));
    });
}

bool RunAlerts::wantedBy(const QString &settingsFile) {
    const QSettings settings(settingsFile, QSettings::IniFormat);
    return settings.value(QStringLiteral("Journal/notifications"), true).toBool();
}

bool RunAlerts::concerns(RunJournal::Event event) {
    using Event = RunJournal::Event;
    return event == Event::NotAnswering || event == Event::AnsweringAgain ||
           event == Event::RunEnded;
}

void RunAlerts::heard(RunJournal::Event event, const QString &detail) {
    using Event = RunJournal::Event;
    switch (event) {
    case Event::NotAnswering:
        if (!m_silence.isActive())
            m_silence.start();
        break;
    case Event::AnsweringAgain:
        m_silence.stop();
        break;
    case Event::RunEnded:
        m_silence.stop();
        if (detail == QLatin1String("Done") || detail == QLatin1String("refused save"))
            m_notifier.notify(QStringLiteral("The run has ended"),
                              QStringLiteral("Mardock's run ended by itself: %1.").arg(detail));
        break;
    default:
        break;
    }
}
