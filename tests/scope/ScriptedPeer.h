#pragma once

#include <QByteArrayList>
#include <QList>
#include <QString>
#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

// An instrument on a loopback socket that answers each received line as a
// test scripts it, byte by byte, with pauses and hang-ups where a real
// instrument would make them. Serves one connection at a time on its own
// thread.
class ScriptedPeer {
public:
    struct Step {
        QByteArray bytes;
        int pauseMsBefore = 0;
        bool hangUp = false;
    };
    using Script = std::function<QList<Step>(const QByteArray &line)>;

    explicit ScriptedPeer(Script script);
    ~ScriptedPeer();
    ScriptedPeer(const ScriptedPeer &) = delete;
    ScriptedPeer &operator=(const ScriptedPeer &) = delete;

    QString descriptor() const;
    // Lines received, without their line feeds.
    QByteArrayList received() const;
    int connections() const { return m_connections; }
    int hangUps() const { return m_hangUps; }

private:
    void serve();
    void converse(int client);

    Script m_script;
    int m_listener = -1;
    quint16 m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::atomic<int> m_connections{0};
    std::atomic<int> m_hangUps{0};
    mutable std::mutex m_mutex;
    QByteArrayList m_received;
    std::thread m_thread;
};
