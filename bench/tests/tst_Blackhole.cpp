#include "Blackhole.h"
#include "StallProbe.h"

#include <QTcpSocket>
#include <QTest>

#include <thread>

// The two instruments the fault benchmarks rest on: a port whose connects
// neither complete nor fail, and a probe that sees a blocked event loop.
class tst_Blackhole : public QObject {
    Q_OBJECT

private slots:
    void connectsHangInsteadOfFailing() {
        Blackhole blackhole;
        QTcpSocket socket;
        socket.connectToHost(QStringLiteral("127.0.0.1"), blackhole.port());
        QVERIFY(!socket.waitForConnected(300));
        QCOMPARE(socket.error(), QAbstractSocket::SocketTimeoutError);
    }

    void probeSeesABlockedLoop() {
        QObject target;
        StallProbe probe(target);
        QTest::qWait(20);
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        QCoreApplication::processEvents();
        QVERIFY(probe.longestSeconds() >= 0.15);
    }
};

QTEST_GUILESS_MAIN(tst_Blackhole)
#include "tst_Blackhole.moc"
