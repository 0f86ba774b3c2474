#pragma once

#include "RunJournal.h"

#include <QElapsedTimer>
#include <QList>
#include <QString>

// The saves of one acquisition as the journal follows them: planned, sent,
// checked. A save whose outcome the run cannot know any more (the link was
// lost, the scope restarted) is journalled as unconfirmed, and so is every
// later save of the acquisition that never went out.
class SaveLedger {
public:
    struct Save {
        QString kind; // "ISF", "CSV" or "image"
        QString name; // as sent to the scope
    };

    void journalTo(RunJournal *journal) { m_journal = journal; }

    // The saves of `acquisition`, in the order they will go out.
    void plan(qint64 acquisition, QList<Save> saves);
    // Around the save command's write: it may reach the scope more than once.
    void sending(const QString &name);
    void sent();
    // The scope's event register was read after the save: no error, or these.
    void confirmed();
    void refused(const QString &events);
    // A new connection replaced a lost one while a save was under way.
    void linkLost();
    // The acquisition is armed again: what it did not send never will be.
    void scopeRestarted();

private:
    enum class State { None, Sending, Sent, Unconfirmed, SentAgain };

    void unconfirmed(const Save &save, const QString &detail);

    RunJournal *m_journal = nullptr;
    qint64 m_acquisition = RunJournal::NoAcquisition;
    QList<Save> m_planned;
    Save m_current;
    State m_state = State::None;
    QElapsedTimer m_took;
};
