#pragma once

#include <QString>
#include <vector>

// A port on 127.0.0.1 that takes no more connections and refuses none: a
// listener with a backlog of 0 whose queue is filled, so the kernel drops
// every later SYN and a connect hangs in SYN-SENT, as it does towards a
// scope whose host silently drops packets.
class Blackhole {
public:
    // Throws when the queue cannot be filled.
    Blackhole();
    ~Blackhole();
    Blackhole(const Blackhole &) = delete;
    Blackhole &operator=(const Blackhole &) = delete;

    quint16 port() const { return m_port; }
    QString descriptor() const;

private:
    void close();

    int m_listener = -1;
    quint16 m_port = 0;
    std::vector<int> m_fillers;
};
