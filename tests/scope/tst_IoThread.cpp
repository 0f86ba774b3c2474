#include "Cancellation.h"
#include "InstrumentControl.h"
#include "IoThread.h"

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

class tst_IoThread : public QObject {
    Q_OBJECT

private slots:
    // Jobs run one at a time in order, and a cancel reaches only the job it
    // names: never one queued behind it, such as Stop's own commands.
    void orderAndCancelTargets() {
        IoThread io;
        QStringList ran;
        std::atomic<bool> release{false};
        const auto first = io.submit([&] {
            while (!release)
                std::this_thread::sleep_for(1ms);
            ran << "first";
        });
        const auto second = io.submit([&] {
            ran << (Cancellation::current()->cancelled() ? "second, cancelled" : "second");
        });
        io.cancel(second);
        release = true;
        QVERIFY(io.waitFinished(second, 10s));
        QVERIFY(io.finished(first));
        QCOMPARE(ran, (QStringList{"first", "second"}));
    }

    // A job handed over while the I/O thread still looks for one, as it
    // stops looking, or once it sleeps, runs; and its end reaches a caller
    // still looking for it as well as one already asleep.
    void handOffsAcrossTheLookAndTheSleep() {
        IoThread io;
        std::atomic<int> ran{0};
        for (const auto gap : {0us, 20us, 80us, 100us, 130us, 500us, 3000us}) {
            std::this_thread::sleep_for(gap);
            const auto quick = io.submit([&] { ++ran; });
            QVERIFY(io.waitFinished(quick, 10s));
            const auto slow = io.submit([&, gap] {
                std::this_thread::sleep_for(gap);
                ++ran;
            });
            QVERIFY(io.waitFinished(slow, 10s));
        }
        QCOMPARE(ran.load(), 14);
    }

    // A query the scope never answers ends on a cancel, well before its
    // timeout, and says so.
    void cancelEndsAPendingRead() {
        LoopbackScope silent([](int) {});
        InstrumentControl control({});
        control.setErrorReporting(false);
        control.setDescriptor(silent.descriptor());
        IoThread io;
        std::atomic<bool> started{false};
        const auto query = io.submit([&] {
            started = true;
            control.query(QStringLiteral("BUSY?"));
        });
        while (!started)
            std::this_thread::sleep_for(1ms);
        std::this_thread::sleep_for(20ms);
        io.cancel(query);
        QVERIFY(io.waitFinished(query, 10s));
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

QTEST_GUILESS_MAIN(tst_IoThread)
#include "tst_IoThread.moc"
