#include "SimulatorProcess.h"

#include "ProcessUsage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <stdexcept>

SimulatorProcess::SimulatorProcess(const QStringList &extraArgs, Log log) {
    if (!m_dir.isValid())
        throw std::runtime_error("cannot make a folder for the simulator");
    QStringList args{QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--storage"),
                     m_dir.filePath(QStringLiteral("storage"))};
    if (log == Log::On)
        args << QStringLiteral("--log") << m_dir.filePath(QStringLiteral("log"));
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral(MARDOCK_SCOPESIM_PATH), args + extraArgs);
    static const QRegularExpression announce(QStringLiteral("listening on 127\\.0\\.0\\.1:(\\d+)"));
    QByteArray seen;
    while (m_port == 0 && m_process.waitForReadyRead(5000)) {
        seen += m_process.readAllStandardOutput();
        if (const auto match = announce.match(QString::fromUtf8(seen)); match.hasMatch())
            m_port = match.captured(1).toUShort();
    }
    if (m_port == 0)
        throw std::runtime_error("the simulator did not start");
}

QString SimulatorProcess::folderTemplate() {
    const QFileInfo memory(QStringLiteral("/dev/shm"));
    const QString base =
        memory.isDir() && memory.isWritable() ? memory.filePath() : QDir::tempPath();
    return base + QStringLiteral("/mardock-bench-XXXXXX");
}

SimulatorProcess::~SimulatorProcess() {
    m_process.terminate();
    if (!m_process.waitForFinished(3000)) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}

QString SimulatorProcess::descriptor() const {
    return QStringLiteral("TCPIP0::127.0.0.1::%1::SOCKET").arg(m_port);
}

double SimulatorProcess::cpuSeconds() const {
    return ProcessUsage::cpuSecondsOf(m_process.processId());
}

void SimulatorProcess::clearStorage() {
    QDir(m_dir.filePath(QStringLiteral("storage"))).removeRecursively();
}

qint64 SimulatorProcess::loggedMessages() const {
    QFile log(m_dir.filePath(QStringLiteral("log")));
    if (!log.open(QIODevice::ReadOnly))
        return 0;
    return log.readAll().count('\n');
}
