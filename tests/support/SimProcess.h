#pragma once

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

// Runs the simulated scope as its own process on a free loopback port, with
// a fresh storage folder and command log, and stops it when it goes away.
class SimProcess {
public:
    explicit SimProcess(const QStringList &extraArgs = {}) { start(0, extraArgs); }
    ~SimProcess() { kill(); }

    bool started() const { return m_port != 0; }
    quint16 port() const { return m_port; }
    QString descriptor() const {
        return QStringLiteral("TCPIP0::127.0.0.1::%1::SOCKET").arg(m_port);
    }
    // With "--vxi11-port" among the arguments: the VXI-11 port, and the
    // descriptor that finds it through the portmapper.
    quint16 vxi11Port() const { return m_vxi11Port; }
    QString vxi11Descriptor() const { return QStringLiteral("TCPIP0::127.0.0.1::inst0::INSTR"); }
    QString storageDir() const { return m_dir.filePath(QStringLiteral("storage")); }
    // Every command the scope received so far, one per line of its log.
    QStringList commandLog() const;

    // Ends the simulator the hard way, as a pulled cable or crash would.
    void kill();
    // Starts it again on the same port (and VXI-11 port), with the same
    // folders.
    bool restart(const QStringList &extraArgs = {});
    // Starts it again on the same port but with another VXI-11 port, as an
    // instrument that came back where only its portmapper can tell.
    bool restartOnNewVxi11Port(const QStringList &extraArgs);

private:
    bool start(quint16 port, QStringList args);
    QString logPath() const { return m_dir.filePath(QStringLiteral("commands.log")); }

    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
    quint16 m_vxi11Port = 0;
};
