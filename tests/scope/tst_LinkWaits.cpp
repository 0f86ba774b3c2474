#include "Cancellation.h"
#include "InstrumentControl.h"

#include <QTest>

#include <atomic>
#include <thread>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// A scope on 127.0.0.1 that takes one connection and, to every message,
// answers as `answer` says: after a while, in pieces, or never.
class LoopbackScope {
public:
    explicit LoopbackScope(std::function<void(int connection)> answer) {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(m_listener, reinterpret_cast<sockaddr *>(&address), length);
        ::listen(m_listener, 1);
        ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this, answer] {
            const int connection = ::accept(m_listener, nullptr, nullptr);
            char message[256];
            while (!m_quit && ::recv(connection, message, sizeof message, 0) > 0)
                answer(connection);
            ::close(connection);
        });
    }
    ~LoopbackScope() {
        m_quit = true;
        ::shutdown(m_listener, SHUT_RDWR);
        m_thread.join();
        ::close(m_listener);
    }
    QString descriptor() const {
        return QStringLiteral("TCPIP0::127.0.0.1::%1::SOCKET").arg(m_port);
    }

private:
    int m_listener = -1;
    quint16 m_port = 0;
    std::atomic<bool> m_quit{false};
    std::thread m_thread;
};

} // namespace

class tst_LinkWaits : public QObject {
    Q_OBJECT

private slots:
    // A query the scope never answers ends on a cancel, well before its
    // timeout, and says so.
    void cancelEndsAPendingRead() {
        LoopbackScope silent([](int) {});
        InstrumentControl control({});
        control.setErrorReporting(false);
        control.setDescriptor(silent.descriptor());
        Cancellation *token = nullptr;
        std::atomic<bool> started{false};
        std::thread caller([&] {
            Cancellation own;
            own.install();
            token = &own;
            started = true;
            control.query(QStringLiteral("BUSY?"));
        });
        while (!started)
            std::this_thread::sleep_for(1ms);
        std::this_thread::sleep_for(20ms);
        token->cancel();
        caller.join();
        QVERIFY(control.status() < 0);
        QVERIFY2(control.lastError().contains("cancelled"), qPrintable(control.lastError()));
    }

    // The I/O timeout bounds silence: a reply that keeps coming in pieces,
    // far longer in all than the timeout, completes.
    void slowlyArrivingReplyCompletes() {
        const QByteArray piece(4000, 'x');
        LoopbackScope dribbling([&](int connection) {
            for (int i = 0; i < 12; ++i) {
                ::send(connection, piece.constData(), piece.size(), MSG_NOSIGNAL);
                std::this_thread::sleep_for(40ms);
            }
            ::send(connection, "\n", 1, MSG_NOSIGNAL);
        });
        InstrumentControl control({});
        control.setErrorReporting(false);
        control.setDescriptor(dribbling.descriptor());
        control.setSetting(Instrument::TimeoutSetting, 100);
        // The first exchange on the connection has a longer bound; the one
        // after it has only the I/O timeout.
        control.query(QStringLiteral("*IDN?"));
        const QString reply = control.query(QStringLiteral("FILES:DIR?"));
        QVERIFY2(control.status() >= 0, qPrintable(control.lastError()));
        QCOMPARE(reply, QString(piece.repeated(12)));
    }
};

QTEST_GUILESS_MAIN(tst_LinkWaits)
#include "tst_LinkWaits.moc"
