#pragma once

#include "Instrument.h"

#include <QHash>
#include <QStringList>
#include <functional>
#include <utility>

// A scripted instrument I/O control: it records every operation and fails
// or answers as the test says.
class FakeInstrument : public Instrument {
public:
    void setErrorReporting(bool on) override;
    void setSetting(int id, qint16 value) override;
    std::optional<QStringList> resourceList() override;
    void setDescriptor(const QString &descriptor) override;
    QString descriptor() const override { return m_descriptor; }
    void deviceClear() override;
    void write(const QString &command) override;
    QString query(const QString &command) override;
    // Logged, failed and scripted as query; the reply goes nowhere.
    void queryAndDrop(const QString &command) override;
    int status() const override { return m_status; }
    bool takeReconnected() override { return std::exchange(reconnected, false); }

    bool errorReporting() const { return m_errorReporting; }
    // Commands and queries as sent, queries marked with a trailing "?" already.
    QStringList sent() const;

    // Everything done, in order: "write CMD", "query CMD", "clear", "descriptor D",
    // "setting 14=300", "errors on"/"errors off".
    QStringList log;
    std::optional<QStringList> resources = QStringList();
    // Replies per query command; a missing entry answers "0".
    QHash<QString, QString> replies;
    // Replies per query command, used up in order before `replies` answers.
    QHash<QString, QStringList> replyQueues;
    // Per descriptor: how that instrument answers "*IDN?" (absent: it fails).
    QHash<QString, QString> idn;
    // The next this-many writes or queries fail (status -1); a failed query
    // returns failedReply.
    int failNext = 0;
    QString failedReply;
    // Writes of these commands fail while error reporting is on (they throw).
    QStringList refusedWrites;
    // Device clears fail: they throw while error reporting is on.
    bool clearFails = false;
    // The next exchange is answered over a new connection, after the last
    // one was lost.
    bool reconnected = false;
    // Runs after every write or query, with the command; lets a test act
    // between two exchanges (press Stop, move the clock).
    std::function<void(const QString &)> afterExchange;

private:
    bool fail(const QString &operation);

    QString m_descriptor;
    bool m_errorReporting = false;
    int m_status = 0;
};
