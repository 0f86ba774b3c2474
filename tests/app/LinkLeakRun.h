#pragma once

#include "SimProcess.h"
#include "frmMain.h"

#include <QDir>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QtTest>

// The simulator's arguments for a scope that runs out of VXI-11 links: 16 at
// most, kept when their connection closes. Its log counts the link calls.
inline const QStringList ScarceLinks{"--link-limit", "16", "--links-outlive-connection",
                                     "--log-timestamps"};

inline int linkCalls(const SimProcess &sim, const QString &call) {
    const QRegularExpression logged(QStringLiteral("^\\d+ \\* %1 ").arg(call));
    return int(sim.commandLog().filter(logged).size());
}

// Runs until the link was made `links` times, then two acquisitions more,
// and stops. Every link given up on must have been ended: at most the one in
// use is live, and saving went on.
inline void runDroppingLinks(frmMain &window, const SimProcess &sim, int links) {
    const QDir stored(sim.storageDir() + QStringLiteral("/E"));
    int acquisitionThen = 0;
    qsizetype filesThen = 0;
    QTimer user;
    QObject::connect(&user, &QTimer::timeout, [&] {
        const int acquisition = window.statusText().section(u':', 0, 0).toInt();
        if (acquisitionThen == 0 && linkCalls(sim, QStringLiteral("create_link")) >= links) {
            acquisitionThen = std::max(acquisition, 1);
            filesThen = stored.entryList(QDir::Files).size();
        }
        if (acquisitionThen == 0 || acquisition < acquisitionThen + 2)
            return;
        user.stop();
        QTest::mouseClick(window.cbStop, Qt::LeftButton);
    });
    user.start(20);
    QTimer::singleShot(120'000, &window, [&window] {
        if (!window.startEnabled())
            QTest::mouseClick(window.cbStop, Qt::LeftButton);
    });

    QTest::mouseClick(window.cbStart, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!window.startEnabled(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(window.startEnabled(), 130000);

    QVERIFY2(acquisitionThen > 0, qPrintable(window.statusText()));
    QVERIFY(stored.entryList(QDir::Files).size() > filesThen);
    const int created = linkCalls(sim, QStringLiteral("create_link"));
    const int destroyed = linkCalls(sim, QStringLiteral("destroy_link"));
    QVERIFY2(created >= links, qPrintable(QString::number(created)));
    QVERIFY2(created - destroyed >= 0 && created - destroyed <= 1,
             qPrintable(QStringLiteral("%1 links made, %2 ended").arg(created).arg(destroyed)));
}
