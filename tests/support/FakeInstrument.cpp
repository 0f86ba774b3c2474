#include "FakeInstrument.h"

#include "InstrumentError.h"

void FakeInstrument::setErrorReporting(bool on) {
    m_errorReporting = on;
    log << (on ? QStringLiteral("errors on") : QStringLiteral("errors off"));
}

void FakeInstrument::setSetting(int id, qint16 value) {
    log << QStringLiteral("setting %1=%2").arg(id).arg(value);
}

std::optional<QStringList> FakeInstrument::resourceList() {
    return resources;
}

void FakeInstrument::setDescriptor(const QString &descriptor) {
    m_descriptor = descriptor;
    log << QStringLiteral("descriptor ") + descriptor;
}

void FakeInstrument::deviceClear() {
    log << QStringLiteral("clear");
    if (clearFails && m_errorReporting)
        throw InstrumentError(QStringLiteral("device clear"), m_descriptor,
                              QStringLiteral("scripted failure"));
}

bool FakeInstrument::fail(const QString &operation) {
    m_status = -1;
    if (m_errorReporting)
        throw InstrumentError(operation, m_descriptor, QStringLiteral("scripted failure"));
    return true;
}

void FakeInstrument::write(const QString &command) {
    log << QStringLiteral("write ") + command;
    m_status = 0;
    if (failNext > 0) {
        --failNext;
        fail(QStringLiteral("write"));
    } else if (m_errorReporting && refusedWrites.contains(command)) {
        fail(QStringLiteral("write"));
    }
    if (afterExchange)
        afterExchange(command);
}

QString FakeInstrument::query(const QString &command) {
    log << QStringLiteral("query ") + command;
    m_status = 0;
    QString reply;
    if (failNext > 0) {
        --failNext;
        fail(QStringLiteral("query"));
        reply = failedReply;
    } else if (command == QLatin1String("*IDN?") && !replies.contains(command)) {
        if (idn.contains(m_descriptor))
            reply = idn.value(m_descriptor);
        else {
            fail(QStringLiteral("query"));
            reply = failedReply;
        }
    } else if (!replyQueues.value(command).isEmpty()) {
        reply = replyQueues[command].takeFirst();
    } else {
        reply = replies.value(command, QStringLiteral("0"));
    }
    if (afterExchange)
        afterExchange(command);
    return reply;
}

void FakeInstrument::queryAndDrop(const QString &command) {
    query(command);
}

QStringList FakeInstrument::sent() const {
    QStringList commands;
    for (const QString &entry : log)
        if (entry.startsWith(QLatin1String("write ")) || entry.startsWith(QLatin1String("query ")))
            commands << entry.mid(6);
    return commands;
}
