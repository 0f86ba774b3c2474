#include "SimProcess.h"

#include <QFile>
#include <QRegularExpression>

QStringList SimProcess::commandLog() const {
    QFile file(logPath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

void SimProcess::kill() {
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

bool SimProcess::restart(const QStringList &extraArgs) {
    kill();
    return start(m_port, extraArgs);
}

bool SimProcess::restartOnNewVxi11Port(const QStringList &extraArgs) {
    const quint16 old = m_vxi11Port;
    kill();
    // A free port picked by the system may be the old one again.
    for (int attempt = 0; attempt < 5; ++attempt) {
        m_vxi11Port = 0;
        if (!start(m_port, extraArgs))
            return false;
        if (m_vxi11Port != old)
            return true;
        kill();
    }
    return false;
}

bool SimProcess::start(quint16 port, QStringList args) {
    const qsizetype vxi11 = args.indexOf(QStringLiteral("--vxi11-port")) + 1;
    if (vxi11 > 0 && vxi11 < args.size() && m_vxi11Port != 0)
        args[vxi11] = QString::number(m_vxi11Port);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral(MARDOCK_SCOPESIM_PATH),
                    QStringList{"--port", QString::number(port), "--storage", storageDir(), "--log",
                                logPath()} +
                        args);
    m_port = m_vxi11Port = 0;
    // The simulator announces its port on its first line of output, and its
    // VXI-11 port on the second.
    static const QRegularExpression announce(
        QStringLiteral("(listening|vxi11) on 127\\.0\\.0\\.1:(\\d+)"));
    while (m_process.waitForReadyRead(5000)) {
        while (m_process.canReadLine()) {
            const auto match = announce.match(QString::fromUtf8(m_process.readLine()));
            if (!match.hasMatch())
                continue;
            quint16 &found = match.captured(1) == u"vxi11" ? m_vxi11Port : m_port;
            found = match.captured(2).toUShort();
        }
        if (m_port != 0 && (vxi11 == 0 || m_vxi11Port != 0))
            return true;
    }
    m_port = 0;
    return false;
}
