#include "Cancellation.h"
#include "RunThread.h"

#include <QTest>

#include <atomic>
#include <mutex>
#include <stdexcept>
#include <thread>

using namespace std::chrono_literals;

class tst_RunThread : public QObject {
    Q_OBJECT

private slots:
    // Jobs run one at a time in order on a thread whose cancellation is the
    // one given; a job that throws, of whatever kind, is reported and the
    // jobs behind it still run.
    void orderAndFailures() {
        Cancellation cancellation;
        std::mutex lock;
        QStringList ran;
        QStringList failures;
        std::atomic<bool> release{false};
        {
            RunThread thread(cancellation, [&](const QString &what) {
                const std::lock_guard guard(lock);
                failures << what;
            });
            const auto record = [&](const QString &what) {
                const std::lock_guard guard(lock);
                ran << what;
            };
            thread.post([&] {
                while (!release)
                    std::this_thread::sleep_for(1ms);
                record("first");
            });
            thread.post([&] {
                record(Cancellation::current() == &cancellation ? "second, cancellable" : "second");
                throw std::runtime_error("broken link");
            });
            thread.post([] { throw 42; });
            thread.post([&] { record("last"); });
            release = true;
            // Destroyed here: what is queued runs first.
        }
        QCOMPARE(ran, (QStringList{"first", "second, cancellable", "last"}));
        QCOMPARE(failures, (QStringList{"broken link", "an unknown error"}));
    }
};

QTEST_GUILESS_MAIN(tst_RunThread)
#include "tst_RunThread.moc"
