#include "AppPaths.h"
#include "Cancellation.h"
#include "Exchange.h"
#include "FakeInstrument.h"
#include "FakeMonotonicClock.h"
#include "FakeRunView.h"
#include "InstrumentControl.h"
#include "InstrumentError.h"
#include "InstrumentListFile.h"
#include "Run.h"
#include "ScopeDiscovery.h"
#include "ScriptedPrompter.h"
#include "SingleInstance.h"

#include <QDir>
#include <QFile>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <limits>
#include <unistd.h>

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
    return {"descriptor " + descriptor, "clear", "query *IDN?"};
}

const QStringList Initialise{"write DESE 0", "write *ESE 0", "write *SRE 0",
                             "write HEAD 0", "write *CLS",   "query ALLEV?"};

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
        // The message that ends the program; none when a scope was found.
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QStringList>("operations");

        const auto row = [](const char *name, ListRead read, const QStringList &resources,
                            const QStringList &replies, const QStringList &refused,
                            const QString &message, const QString &status,
                            const QStringList &operations) {
            QTest::addRow("%s", name)
                << int(read) << resources << replies << refused << message << status << operations;
        };
        const ListRead array = ListRead::Array;
        const QString psu = QStringLiteral("BENCH,PSU 3000,SN7,1.2");
        row("first silent, second a scope", array, {A, B}, {QString(), ScopeA5}, {}, {}, ScopeA5,
            identify(A) + identify(B) + Initialise);
        row("two scopes: the first in the list wins", array, {A, B}, {ScopeB5, ScopeA5}, {}, {},
            ScopeB5, identify(A) + Initialise);
        row("marker in lower case is not a scope", array, {A}, {"SIMULATED,kxa5034,SN1,FW 1"}, {},
            writeError(A), A, identify(A));
        row("unsupported after a silent one names the last tried", array, {A, B}, {QString(), psu},
            {}, writeError(B), B, identify(A) + identify(B));
        row("DESE 0 refused names the scope, nothing after it", array, {A, B}, {ScopeA5, ScopeB5},
            {"DESE 0"}, writeError(A), ScopeA5, identify(A) + QStringList{"write DESE 0"});
        row("empty list names the list", array, {}, {}, {}, writeError(List), {}, {});
        row("list is not an array", ListRead::NotArray, {}, {}, {}, NotFound, {}, {});
        row("list read fails, the reason shown", ListRead::Throws, {}, {}, {},
            NotFound + "\n\nresource list on  failed: resource manager unavailable", {}, {});
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
        instrument.resources =
            ListRead(listRead) == ListRead::NotArray ? std::nullopt : std::optional(resources);
        for (int i = 0; i < replies.size(); ++i)
            if (!replies[i].isEmpty())
                instrument.idn.insert(resources[i], replies[i]);
        instrument.refusedWrites = refused;
        FakeMonotonicClock clock;
        FakeRunView view;
        Cancellation cancellation;
        Run status(view, cancellation);
        ScriptedPrompter prompter;
        Exchange exchange(instrument, status, clock, cancellation);

        QCOMPARE(ScopeDiscovery(exchange, status, prompter, List).run(), message.isEmpty());

        QCOMPARE(prompter.asked, message.isEmpty() ? QStringList() : QStringList{message});
        QTEST(status.status(), "status");
        QStringList done = instrument.log;
        done.removeIf([](const QString &entry) { return entry.startsWith("errors "); });
        QCOMPARE(done, QStringList({"setting 14=300", "setting 1=0"}) + operations);
        QVERIFY(instrument.errorReporting());
    }

    // An instrument list that is there but unusable (the kinds are tried
    // with the list itself) ends the search with the promised message and
    // the reason, even when another source reads fine.
    void unusableListSaysScopeNotFound() {
        QTemporaryDir dir;
        const QString list = dir.filePath(QStringLiteral("instruments.txt"));
        QVERIFY(QDir().mkdir(list));
        InstrumentControl control({std::make_shared<InstrumentListFile>(list),
                                   std::make_shared<InstrumentListFile>(dir.filePath("none"))});
        FakeMonotonicClock clock;
        FakeRunView view;
        Cancellation cancellation;
        Run status(view, cancellation);
        ScriptedPrompter prompter;
        Exchange exchange(control, status, clock, cancellation);

        QVERIFY(!ScopeDiscovery(exchange, status, prompter, list).run());
        QCOMPARE(prompter.asked, QStringList{NotFound + "\n\nThe instrument list " + list +
                                             " is not a regular file."});
    }

    // What a start finds in the lock file decides whether it may run. The
    // owner line is written by a copy that runs, or by one that is gone.
    void lockFile_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("ageSeconds");
        QTest::addColumn<SingleInstance::Outcome>("outcome");
        const auto owner = [](qint64 pid, const QString &host = QSysInfo::machineHostName()) {
            return QStringLiteral("%1\n%2\n%3\n")
                .arg(pid)
                .arg(QCoreApplication::applicationName(), host)
                .toUtf8();
        };
        const auto running = SingleInstance::Outcome::AlreadyRunning;
        const auto acquired = SingleInstance::Outcome::Acquired;
        // A copy that has run for an hour is still running.
        QTest::addRow("live owner, an hour old")
            << owner(QCoreApplication::applicationPid()) << -3600 << running;
        // Above the kernel's highest process id: a copy that was killed.
        QTest::addRow("dead owner")
            << owner(std::numeric_limits<qint32>::max()) << -3600 << acquired;
        // No other host shares the runtime folder, whatever its process ids.
        const qint64 pid = QCoreApplication::applicationPid();
        QTest::addRow("another host, two days old")
            << owner(pid, QSysInfo::machineHostName() + "-other") << -2 * 86400 << acquired;
        QTest::addRow("another host, just made")
            << owner(pid, QStringLiteral("lab-pc")) << 0 << acquired;
        // A copy killed between making the lock and writing its owner.
        QTest::addRow("empty, an hour old") << QByteArray() << -3600 << acquired;
        QTest::addRow("garbage, an hour old") << QByteArray("\x7f\x01zz\n\n") << -3600 << acquired;
        QTest::addRow("garbage, dated an hour ahead") << QByteArray("zz") << 3600 << acquired;
        // A copy starting right now has not written its owner yet.
        QTest::addRow("empty, just made") << QByteArray() << 0 << running;
    }
    void lockFile() {
        QFETCH(QByteArray, content);
        QFETCH(int, ageSeconds);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("mardock.lock"));
        QFile lock(path);
        QVERIFY(lock.open(QIODevice::WriteOnly) && lock.write(content) == content.size());
        QVERIFY(lock.flush() && lock.setFileTime(QDateTime::currentDateTime().addSecs(ageSeconds),
                                                 QFileDevice::FileModificationTime));
        lock.close();

        SingleInstance next(path);
        const SingleInstance::Outcome outcome = next.acquire();
        QTEST(outcome, "outcome");
        // A lock taken over keeps the next start out.
        if (outcome == SingleInstance::Outcome::Acquired)
            QCOMPARE(SingleInstance(path).acquire(), SingleInstance::Outcome::AlreadyRunning);
    }

    // A lock that cannot be made at all keeps the program from starting
    // rather than letting copies run side by side.
    void lockCannotBeMade() {
        QTemporaryDir dir;
        for (const QString &path :
             {dir.filePath(QStringLiteral("missing/mardock.lock")), QString()})
            QCOMPARE(SingleInstance(path).acquire(), SingleInstance::Outcome::Unavailable);
    }

    // The lock lives in the runtime folder, never beside the settings: with
    // no XDG_RUNTIME_DIR, in a folder of this user's that nobody else can use.
    void lockLivesInTheRuntimeFolder() {
        const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
        qunsetenv("XDG_RUNTIME_DIR");
        const AppPaths paths = AppPaths::forCurrentUser();
        if (!saved.isNull())
            qputenv("XDG_RUNTIME_DIR", saved);

        const QFileInfo folder(QFileInfo(paths.lockFile()).path());
        QVERIFY2(folder.isDir() && folder.ownerId() == ::getuid(), qPrintable(folder.filePath()));
        QCOMPARE(folder.permissions() & QFileDevice::Permissions(0x7077),
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QVERIFY(!paths.lockFile().startsWith(paths.configDir()));
    }

    // A relative XDG_STATE_HOME is not a state folder and is ignored.
    void journalLivesInTheStateFolder_data() {
        QTest::addColumn<QByteArray>("stateHome");
        QTest::addColumn<QString>("journal");
        const QString home = QDir::homePath();
        QTest::newRow("set") << QByteArray("/srv/state") << "/srv/state/mardock/journal.csv";
        QTest::newRow("unset") << QByteArray() << home + "/.local/state/mardock/journal.csv";
        QTest::newRow("relative") << QByteArray("state")
                                  << home + "/.local/state/mardock/journal.csv";
    }
    void journalLivesInTheStateFolder() {
        QFETCH(QByteArray, stateHome);
        QFETCH(QString, journal);
        const QByteArray saved = qgetenv("XDG_STATE_HOME");
        if (stateHome.isNull())
            qunsetenv("XDG_STATE_HOME");
        else
            qputenv("XDG_STATE_HOME", stateHome);
        const QString path = AppPaths::forCurrentUser().journalFile();
        if (saved.isNull())
            qunsetenv("XDG_STATE_HOME");
        else
            qputenv("XDG_STATE_HOME", saved);
        QCOMPARE(path, journal);
    }
};

QTEST_MAIN(tst_StartUp)
#include "tst_startup.moc"
