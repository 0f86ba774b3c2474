#include "SaveLedger.h"

using Event = RunJournal::Event;

void SaveLedger::plan(qint64 acquisition, QList<Save> saves) {
    m_acquisition = acquisition;
    m_planned = std::move(saves);
    m_state = State::None;
}

void SaveLedger::sending(const QString &name) {
    const auto planned = std::find_if(m_planned.begin(), m_planned.end(),
                                      [&](const Save &save) { return save.name == name; });
    m_current = planned != m_planned.end() ? *planned : Save{QString(), name};
    m_planned.erase(m_planned.begin(), planned == m_planned.end() ? planned : planned + 1);
    m_state = State::Sending;
    m_took.start();
}

void SaveLedger::sent() {
    if (m_state == State::Sending)
        m_state = State::Sent;
}

void SaveLedger::confirmed() {
    // A save whose command went out again on the new connection was carried
    // out there; one that lost its link on the way cannot be vouched for.
    if (m_journal && (m_state == State::Sent || m_state == State::SentAgain))
        m_journal->record(Event::Saved, m_acquisition, m_current.name,
                          QStringLiteral("%1, %2 s")
                              .arg(m_current.kind)
                              .arg(double(m_took.elapsed()) / 1000.0, 0, 'f', 3));
    m_state = State::None;
}

void SaveLedger::refused(const QString &events) {
    if (m_journal)
        m_journal->record(Event::Refused, m_acquisition, m_current.name, events);
    m_state = State::None;
}

void SaveLedger::linkLost() {
    if (m_state == State::Sending) {
        unconfirmed(m_current, QStringLiteral("sent again: the link was lost while it went out"));
        m_state = State::SentAgain;
    } else if (m_state == State::Sent) {
        unconfirmed(m_current, QStringLiteral("the link was lost before its check"));
        m_state = State::Unconfirmed;
    }
}

void SaveLedger::scopeRestarted() {
    if (m_state == State::Sent || m_state == State::SentAgain)
        unconfirmed(m_current, QStringLiteral("the scope restarted before its check"));
    for (const Save &save : std::as_const(m_planned))
        unconfirmed(save, QStringLiteral("never sent: the scope restarted"));
    m_planned.clear();
    m_state = State::None;
}

void SaveLedger::unconfirmed(const Save &save, const QString &detail) {
    if (m_journal)
        m_journal->record(Event::Unconfirmed, m_acquisition, save.name, detail);
}
