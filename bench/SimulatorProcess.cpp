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
    if (log != Log::Off)
        args << QStringLiteral("--log") << m_dir.filePath(QStringLiteral("log"));
    if (log == Log::Timestamped)
        args << QStringLiteral("--log-timestamps");
    // The bench's own process draws on the X server; the simulator must not.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    m_process.setProcessEnvironment(environment);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral(MARDOCK_SCOPESIM_PATH), args + extraArgs);
    static const QRegularExpression announce(
        QStringLiteral("(listening|vxi11) on 127\\.0\\.0\\.1:(\\d+)"));
    const bool vxi11 = extraArgs.contains(QStringLiteral("--vxi11-port"));
    QByteArray seen;
    while ((m_port == 0 || (vxi11 && m_vxi11Port == 0)) && m_process.waitForReadyRead(5000)) {
        seen += m_process.readAllStandardOutput();
        auto matches = announce.globalMatch(QString::fromUtf8(seen));
        while (matches.hasNext()) {
            const auto match = matches.next();
            (match.captured(1) == u"vxi11" ? m_vxi11Port : m_port) = match.captured(2).toUShort();
        }
    }
    if (m_port == 0 || (vxi11 && m_vxi11Port == 0))
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

QString SimulatorProcess::storageDir() const {
    return m_dir.filePath(QStringLiteral("storage"));
}

void SimulatorProcess::clearStorage() {
    QDir(storageDir()).removeRecursively();
}

qint64 SimulatorProcess::loggedMessages() const {
    return log().count('\n');
}

QByteArray SimulatorProcess::log() const {
    QFile file(m_dir.filePath(QStringLiteral("log")));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
