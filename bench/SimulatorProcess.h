#pragma once

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

// One simulated scope on a free loopback port, with its own storage folder
// and command log, ended when this goes away. Unlike the tests' helper it
// reads the simulator's CPU time, and keeps its storage in memory where it
// can: on disk, creating and syncing files made the simulator the slowest
// part of a capture cycle.
class SimulatorProcess {
public:
    // The log costs the simulator a write per message; only counts and
    // latencies need it, and only latencies its timestamps.
    enum class Log { Off, On, Timestamped };

    explicit SimulatorProcess(const QStringList &extraArgs, Log log = Log::Off);
    ~SimulatorProcess();
    SimulatorProcess(const SimulatorProcess &) = delete;
    SimulatorProcess &operator=(const SimulatorProcess &) = delete;

    quint16 port() const { return m_port; }
    QString descriptor() const;
    // With "--vxi11-port" among the arguments, the VXI-11 core port.
    quint16 vxi11Port() const { return m_vxi11Port; }
    double cpuSeconds() const;
    // Where the scope's storage lies; its E:\\ is the folder E in it.
    QString storageDir() const;
    // Deletes every file saved so far, so each client starts from the same
    // folder listing.
    void clearStorage();
    // Messages received so far, one line each in the command log (Log::On).
    qint64 loggedMessages() const;
    QByteArray log() const;

private:
    static QString folderTemplate();

    QTemporaryDir m_dir{folderTemplate()};
    QProcess m_process;
    quint16 m_port = 0;
    quint16 m_vxi11Port = 0;
};
