#include "DesktopNotifier.h"
#include "RunAlerts.h"

#include <QDBusConnection>
#include <QTemporaryDir>
#include <QtTest>

using Event = RunJournal::Event;

namespace {

// The desktop's notification service, as far as Mardock uses it: it records
// the summaries it is given.
class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QStringList summaries;

public slots:
    uint Notify(const QString &, uint, const QString &, const QString &summary, const QString &,
                const QStringList &, const QVariantMap &, int) {
        summaries << summary;
        return uint(summaries.size());
    }
};

const QString Ended = QStringLiteral("The run has ended");
const QString Silent = QStringLiteral("The scope is not answering");
const QString Marker = QStringLiteral("marker");

} // namespace

// Runs under dbus-run-session: a private session bus on which this test is
// the notification service, on a connection of its own.
class tst_Notifications : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        if (!QDBusConnection::sessionBus().isConnected())
            QSKIP("needs a session bus (run through CTest, which uses dbus-run-session)");
        QVERIFY(m_service.isConnected());
        QVERIFY(m_service.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &m_fake,
                                         QDBusConnection::ExportAllSlots));
    }

    void alerts_data() {
        QTest::addColumn<QList<Event>>("events");
        QTest::addColumn<QStringList>("details");
        QTest::addColumn<QStringList>("told");

        QTest::newRow("done") << QList<Event>{Event::RunStarted, Event::RunEnded}
                              << QStringList{"", "Done"} << QStringList{Ended};
        QTest::newRow("refused save") << QList<Event>{Event::Refused, Event::RunEnded}
                                      << QStringList{"-250", "refused save"} << QStringList{Ended};
        for (const char *byHand : {"Stopped", "Cancelled", "Closed"})
            QTest::addRow("%s by hand", byHand)
                << QList<Event>{Event::RunEnded} << QStringList{byHand} << QStringList();
        QTest::newRow("silent past the alert")
            << QList<Event>{Event::NotAnswering} << QStringList{""} << QStringList{Silent};
        QTest::newRow("answering again in time")
            << QList<Event>{Event::NotAnswering, Event::AnsweringAgain} << QStringList{"", "1 s"}
            << QStringList();
        QTest::newRow("stopped while silent") << QList<Event>{Event::NotAnswering, Event::RunEnded}
                                              << QStringList{"", "Stopped"} << QStringList();
    }
    void alerts() {
        QFETCH(QList<Event>, events);
        QFETCH(QStringList, details);
        QFETCH(QStringList, told);

        QVERIFY(m_service.registerService(QStringLiteral("org.freedesktop.Notifications")));
        m_fake.summaries.clear();
        DesktopNotifier notifier;
        RunAlerts alerts(notifier, std::chrono::milliseconds(1));
        for (qsizetype i = 0; i < events.size(); ++i)
            alerts.heard(events.at(i), details.at(i));
        // What the service hears comes in order: once the marker is there,
        // nothing sent before it is still on its way.
        if (!told.contains(Silent)) {
            notifier.notify(Marker, QString());
            told << Marker;
        }
        QTRY_COMPARE(m_fake.summaries, told);
    }

    // Where no service runs, a notification goes nowhere and holds nothing up.
    void noService() {
        QVERIFY(m_service.unregisterService(QStringLiteral("org.freedesktop.Notifications")));
        m_fake.summaries.clear();
        DesktopNotifier notifier;
        notifier.notify(QStringLiteral("lost"), QString());
        QVERIFY(m_service.registerService(QStringLiteral("org.freedesktop.Notifications")));
        notifier.notify(Marker, QString());
        QTRY_COMPARE(m_fake.summaries, QStringList{Marker});
    }

    void turnedOffInTheSettings_data() {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<bool>("wanted");
        QTest::newRow("no file") << QByteArray() << true;
        QTest::newRow("other sections only") << QByteArray("[Prefs]\nchkAsk=1\n") << true;
        QTest::newRow("off") << QByteArray("[Prefs]\nchkAsk=1\n[Journal]\nnotifications=false\n")
                             << false;
        QTest::newRow("on") << QByteArray("[Journal]\nnotifications=true\n") << true;
    }
    void turnedOffInTheSettings() {
        QFETCH(QByteArray, ini);
        QFETCH(bool, wanted);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("mardock.ini"));
        if (!ini.isNull()) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(ini);
        }
        QCOMPARE(RunAlerts::wantedBy(path), wanted);
    }

private:
    FakeNotifications m_fake;
    QDBusConnection m_service =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("service"));
};

QTEST_GUILESS_MAIN(tst_Notifications)
#include "tst_notifications.moc"
