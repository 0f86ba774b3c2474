#include "AppPaths.h"
#include "CommandExchange.h"
#include "FakeClock.h"
#include "FakeHost.h"
#include "FakeInstrument.h"
#include "InstrumentError.h"
#include "ScopeDiscovery.h"
#include "ScriptedPrompter.h"
#include "SingleInstance.h"
#include "frmMain.h"

#include <QFile>
#include <QProcess>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString A = QStringLiteral("TCPIP0::10.0.0.1::4000::SOCKET");
const QString B = QStringLiteral("TCPIP0::10.0.0.2::4000::SOCKET");
const QString ScopeA5 = QStringLiteral("SIMULATED,KXA5034,SN0001,FW 1.0");
const QString ScopeB5 = QStringLiteral("SIMULATED,KXB5104,SN0002,FW 1.0");
const QString List = QStringLiteral("/home/user/.config/mardock/instruments.txt");
const QString NotFound = QStringLiteral("Scope not found.  Please check Quillon.");

QString writeError(const QString &descriptor) {
    return QStringLiteral("Error writing to ") + descriptor +
           QStringLiteral(".  Please check Quillon Resource Manager.");
}

QStringList identify(const QString &descriptor) {
    return {QStringLiteral("descriptor ") + descriptor, QStringLiteral("clear"),
            QStringLiteral("query *IDN?")};
}

const QStringList Initialise{QStringLiteral("write DESE 0"), QStringLiteral("write *ESE 0"),
                             QStringLiteral("write *SRE 0"), QStringLiteral("write HEAD 0"),
                             QStringLiteral("write *CLS"),   QStringLiteral("query ALLEV?")};

enum class ListRead { Array, NotArray, Throws };

// An instrument control whose resource list read itself fails.
class ListFailingInstrument : public FakeInstrument {
public:
    bool listFails = false;

    std::optional<QStringList> resourceList() override {
        if (listFails)
            throw InstrumentError(QStringLiteral("resource list"), QString(),
                                  QStringLiteral("resource manager unavailable"));
        return FakeInstrument::resourceList();
    }
};

// A process id that names no process any more.
qint64 deadProcessId() {
    QProcess finished;
    qint64 pid = 0;
    QObject::connect(&finished, &QProcess::started, [&] { pid = finished.processId(); });
    finished.start(QStringLiteral("true"));
    finished.waitForFinished();
    return pid;
}

// A lock file as a copy of the program leaves it, last touched an hour ago.
bool writeHourOldLock(const QString &path, qint64 pid) {
    QFile lock(path);
    if (!lock.open(QIODevice::WriteOnly))
        return false;
    lock.write(QStringLiteral("%1\n%2\n%3\n")
                   .arg(pid)
                   .arg(QCoreApplication::applicationName(), QSysInfo::machineHostName())
                   .toUtf8());
    return lock.flush() && lock.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                                            QFileDevice::FileModificationTime);
}

} // namespace

class tst_StartUp : public QObject {
    Q_OBJECT

private slots:
    void discovery_data() {
        QTest::addColumn<int>("listRead");
        QTest::addColumn<QStringList>("resources");
        // Identification replies, in list order; an empty entry never answers.
        QTest::addColumn<QStringList>("replies");
        QTest::addColumn<QStringList>("refused");
        QTest::addColumn<bool>("found");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QStringList>("operations");

        const auto row = [](const char *name, ListRead read, const QStringList &resources,
                            const QStringList &replies, const QStringList &refused, bool found,
                            const QString &message, const QString &status,
                            const QStringList &operations) {
            QTest::addRow("%s", name) << int(read) << resources << replies << refused << found
                                      << message << status << operations;
        };
        const ListRead array = ListRead::Array;
        row("first silent, second a scope", array, {A, B}, {QString(), ScopeA5}, {}, true, {},
            ScopeA5, identify(A) + identify(B) + Initialise);
        row("two scopes: the first in the list wins", array, {A, B}, {ScopeB5, ScopeA5}, {}, true,
            {}, ScopeB5, identify(A) + Initialise);
        row("marker in lower case is not a scope", array, {A}, {"SIMULATED,kxa5034,SN1,FW 1"}, {},
            false, writeError(A), A, identify(A));
        row("only an unsupported instrument", array, {A}, {"BENCH,PSU 3000,SN7,1.2"}, {}, false,
            writeError(A), A, identify(A));
        row("unsupported after a silent one names the last tried", array, {A, B},
            {QString(), "BENCH,PSU 3000,SN7,1.2"}, {}, false, writeError(B), B,
            identify(A) + identify(B));
        row("DESE 0 refused names the scope, nothing after it", array, {A, B}, {ScopeA5, ScopeB5},
            {"DESE 0"}, false, writeError(A), ScopeA5, identify(A) + QStringList{"write DESE 0"});
        row("empty list names the list", array, {}, {}, {}, false, writeError(List), {}, {});
        row("list is not an array", ListRead::NotArray, {}, {}, {}, false, NotFound, {}, {});
        row("list read fails", ListRead::Throws, {}, {}, {}, false, NotFound, {}, {});
    }
    void discovery() {
        QFETCH(int, listRead);
        QFETCH(QStringList, resources);
        QFETCH(QStringList, replies);
        QFETCH(QStringList, refused);
        QFETCH(QString, message);
        QFETCH(QStringList, operations);

        ListFailingInstrument instrument;
        instrument.listFails = ListRead(listRead) == ListRead::Throws;
        if (ListRead(listRead) != ListRead::NotArray)
            instrument.resources = resources;
        else
            instrument.resources = std::nullopt;
        for (int i = 0; i < replies.size(); ++i)
            if (!replies[i].isEmpty())
                instrument.idn.insert(resources[i], replies[i]);
        instrument.refusedWrites = refused;
        FakeClock clock;
        FakeHost host(&clock);
        ScriptedPrompter prompter;
        CommandExchange exchange(instrument, host, clock);
        QStringList shown;
        instrument.afterExchange = [&](const QString &command) {
            if (command == QLatin1String("*IDN?"))
                shown << host.statusText();
        };

        QTEST(ScopeDiscovery(instrument, exchange, host, prompter, List).run(), "found");

        QCOMPARE(prompter.asked, message.isEmpty() ? QStringList() : QStringList{message});
        QTEST(host.statusText(), "status");
        QStringList done = instrument.log;
        done.removeIf([](const QString &entry) { return entry.startsWith("errors "); });
        QCOMPARE(done, QStringList({"setting 14=300", "setting 1=0"}) + operations);
        QVERIFY(instrument.errorReporting());
        // Each instrument is asked with its descriptor on the status line.
        QStringList tried;
        for (const QString &operation : operations)
            if (operation.startsWith(QLatin1String("descriptor ")))
                tried << operation.mid(11);
        QCOMPARE(shown, tried);
    }

    void singleInstance() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("mardock.lock"));
        {
            SingleInstance first(path);
            QVERIFY(first.acquire());
            QVERIFY(first.acquire());
            SingleInstance second(path);
            QVERIFY(!second.acquire());
        }
        SingleInstance afterFirstEnded(path);
        QVERIFY(afterFirstEnded.acquire());

        SingleInstance noFolder(dir.filePath(QStringLiteral("missing/mardock.lock")));
        QVERIFY(noFolder.acquire());
    }

    void lockLeftBehind_data() {
        QTest::addColumn<bool>("ownerAlive");

        QTest::addRow("by a copy that was killed") << false;
        // A copy that has run for an hour is still running.
        QTest::addRow("by a copy still running") << true;
    }
    void lockLeftBehind() {
        QFETCH(bool, ownerAlive);

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("mardock.lock"));
        const qint64 owner = ownerAlive ? QCoreApplication::applicationPid() : deadProcessId();
        QVERIFY(owner > 0);
        QVERIFY(writeHourOldLock(path, owner));

        SingleInstance next(path);
        QCOMPARE(next.acquire(), !ownerAlive);
    }

    void secondInstanceEndsBeforeTouchingTheScope() {
        QTemporaryDir dir;
        const AppPaths paths(dir.path(), QStringLiteral("mardock"), dir.path());
        QVERIFY(paths.makeConfigDir());
        SingleInstance running(paths.lockFile());
        QVERIFY(running.acquire());

        FakeInstrument instrument;
        instrument.resources = QStringList{A};
        instrument.idn.insert(A, ScopeA5);
        ScriptedPrompter prompter;
        FakeClock clock;
        frmMain window(instrument, prompter, clock, paths);

        QVERIFY(!window.Form_Load());
        QCOMPARE(prompter.asked, QStringList{QStringLiteral("Mardock is already running.")});
        QVERIFY(instrument.log.isEmpty());
        QVERIFY(!window.isVisible());
    }
};

QTEST_MAIN(tst_StartUp)
#include "tst_startup.moc"
