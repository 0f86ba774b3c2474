#include "Cancellation.h"

#include <QTest>

#include <atomic>
#include <thread>

#include <poll.h>

namespace {

constexpr int Stagger = 40;

void delay(int steps) {
    for (std::atomic<int> step = 0; step < steps * 8; ++step) {
    }
}

// Spins while the other thread is running, so both start a round together.
void awaitRound(const std::atomic<int> &value, int round) {
    for (int spin = 0; value.load(std::memory_order_acquire) != round; ++spin) {
        if (spin > 10000)
            std::this_thread::yield();
    }
}

bool readable(const Cancellation &token) {
    pollfd watched{token.descriptor(), POLLIN, 0};
    return ::poll(&watched, 1, 0) == 1;
}

} // namespace

class tst_Cancellation : public QObject {
    Q_OBJECT

private slots:
    // Whichever of a racing cancel and reset wins, the flag and the
    // descriptor agree afterwards: a wait on the descriptor never wakes for a
    // token that reads as not cancelled, nor sleeps through one that does.
    // Each round starts both together, one of them a little later each time,
    // so the two calls overlap in every way.
    void racingCancelAndResetAgree() {
        Cancellation token;
        constexpr int Rounds = 50000;
        std::atomic<int> started{-1};
        std::atomic<int> cancelled{-1};
        std::thread canceller([&] {
            for (int round = 0; round < Rounds; ++round) {
                awaitRound(started, round);
                delay(round % Stagger);
                token.cancel();
                cancelled.store(round, std::memory_order_release);
            }
        });
        int disagreements = 0;
        for (int round = 0; round < Rounds; ++round) {
            started.store(round, std::memory_order_release);
            delay(round / Stagger % Stagger);
            token.reset();
            awaitRound(cancelled, round);
            if (readable(token) != token.cancelled())
                ++disagreements;
        }
        canceller.join();
        QCOMPARE(disagreements, 0);
    }

    void sleepEndsOnCancel() {
        Cancellation token;
        token.cancel();
        QVERIFY(!token.sleepFor(std::chrono::hours(1)));
        token.reset();
        QVERIFY(!readable(token));
        QVERIFY(token.sleepFor(std::chrono::milliseconds(1)));
    }
};

QTEST_GUILESS_MAIN(tst_Cancellation)
#include "tst_Cancellation.moc"
