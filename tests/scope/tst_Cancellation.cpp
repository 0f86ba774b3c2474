#include "Cancellation.h"

#include <QFile>
#include <QTest>

#include <atomic>
#include <cerrno>
#include <functional>
#include <thread>

#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// The next read of this descriptor runs afterRead once it has read.
std::atomic<int> raceAfterReadOf{-1};
std::function<void()> afterRead;

bool readable(const Cancellation &token) {
    pollfd watched{token.descriptor(), POLLIN, 0};
    return ::poll(&watched, 1, 0) == 1;
}

// The thread is blocked (on a lock, say), not running or about to.
bool blocked(pid_t thread) {
    QFile stat(QStringLiteral("/proc/self/task/%1/stat").arg(thread));
    if (thread == 0 || !stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray fields = stat.readAll();
    const qsizetype state = fields.lastIndexOf(')') + 2;
    return state < fields.size() && fields.at(state) == 'S';
}

} // namespace

// Every read of this test passes here, so that another thread can act
// between a reset's read of its descriptor and what the reset does next.
extern "C" ssize_t read(int fd, void *buffer, size_t size) {
    const ssize_t got = ::syscall(SYS_read, fd, buffer, size);
    int expected = fd;
    if (fd >= 0 && raceAfterReadOf.compare_exchange_strong(expected, -1)) {
        const int error = errno;
        afterRead();
        errno = error;
    }
    return got;
}

class tst_Cancellation : public QObject {
    Q_OBJECT

private slots:
    // A cancel that comes just after a reset has drained the descriptor wins:
    // the token reads as cancelled and its descriptor wakes a wait, rather
    // than a readable descriptor on a token that reads as not cancelled.
    void cancelRacingResetWins() {
        Cancellation token;
        std::atomic<pid_t> cancelling{0};
        std::atomic<bool> cancelled{false};
        std::thread canceller;
        afterRead = [&] {
            canceller = std::thread([&] {
                cancelling = pid_t(::syscall(SYS_gettid));
                token.cancel();
                cancelled = true;
            });
            // Until the cancel is through, or waits for the reset to end.
            while (!cancelled && !blocked(cancelling))
                std::this_thread::yield();
        };
        raceAfterReadOf = token.descriptor();
        token.reset();
        canceller.join();
        QVERIFY(token.cancelled());
        QVERIFY(readable(token));
    }

    void resetClearsBoth() {
        Cancellation token;
        token.cancel();
        QVERIFY(token.cancelled());
        QVERIFY(readable(token));
        token.reset();
        QVERIFY(!token.cancelled());
        QVERIFY(!readable(token));
    }
};

QTEST_GUILESS_MAIN(tst_Cancellation)
#include "tst_Cancellation.moc"
