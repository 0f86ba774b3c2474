#include "SimProcess.h"

#include <QFile>
#include <QRegularExpression>

SimProcess::SimProcess(const QStringList &extraArgs) {
    start(0, extraArgs);
}

SimProcess::~SimProcess() {
    kill();
}

QString SimProcess::descriptor() const {
    return QStringLiteral("TCPIP0::127.0.0.1::%1::SOCKET").arg(m_port);
}

QString SimProcess::vxi11Descriptor() const {
    return QStringLiteral("TCPIP0::127.0.0.1::inst0::INSTR");
}

QString SimProcess::storageDir() const {
    return m_dir.filePath(QStringLiteral("storage"));
}

QString SimProcess::logPath() const {
    return m_dir.filePath(QStringLiteral("commands.log"));
}

QStringList SimProcess::commandLog() const {
    QFile file(logPath());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
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

bool SimProcess::start(quint16 port, const QStringList &extraArgs) {
    QStringList args{QStringLiteral("--port"),    QString::number(port),
                     QStringLiteral("--storage"), storageDir(),
                     QStringLiteral("--log"),     logPath()};
    args << extraArgs;
    const qsizetype vxi11 = args.indexOf(QStringLiteral("--vxi11-port"));
    if (vxi11 >= 0 && vxi11 + 1 < args.size() && m_vxi11Port != 0)
        args[vxi11 + 1] = QString::number(m_vxi11Port);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral(MARDOCK_SCOPESIM_PATH), args);
    if (!m_process.waitForStarted(5000))
        return false;
    // The simulator announces its port on its first line of output, and its
    // VXI-11 port on the second.
    static const QRegularExpression announce(QStringLiteral("listening on 127\\.0\\.0\\.1:(\\d+)"));
    static const QRegularExpression vxi11Announce(
        QStringLiteral("vxi11 on 127\\.0\\.0\\.1:(\\d+)"));
    QByteArray seen;
    while (m_process.waitForReadyRead(5000)) {
        seen += m_process.readAllStandardOutput();
        const auto match = announce.match(QString::fromUtf8(seen));
        const auto vxi11Match = vxi11Announce.match(QString::fromUtf8(seen));
        if (match.hasMatch() && (vxi11 < 0 || vxi11Match.hasMatch())) {
            m_port = match.captured(1).toUShort();
            m_vxi11Port = vxi11 < 0 ? 0 : vxi11Match.captured(1).toUShort();
            return true;
        }
    }
    m_port = 0;
    return false;
}
