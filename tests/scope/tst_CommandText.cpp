#include "CommandText.h"

#include <QTest>

class tst_CommandText : public QObject {
    Q_OBJECT

private slots:
    // What the user is shown is what the scope got: the name after the
    // encoding of the link, with nothing left invisible.
    void asSent_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::addRow("plain path") << QStringLiteral("E:\\run_1") << QStringLiteral("E:\\run_1");
        // Latin-1, so it leaves as the byte 0xA0 and reads as itself.
        QTest::addRow("no-break space")
            << QStringLiteral("run\u00a01") << QStringLiteral("run\u00a01");
        QTest::addRow("Latin-1 letter")
            << QStringLiteral("messung_\u00e4") << QStringLiteral("messung_\u00e4");
        QTest::addRow("CJK") << QStringLiteral("run\u6e2c1") << QStringLiteral("run?1");
        QTest::addRow("outside the BMP")
            << QStringLiteral("a\U0001F600b") << QStringLiteral("a??b");
        QTest::addRow("tab") << QStringLiteral("run\t1") << QStringLiteral("run<09>1");
        QTest::addRow("escape and DEL") << QStringLiteral("\x1b\x7f") << QStringLiteral("<1B><7F>");
        QTest::addRow("C1 control") << QStringLiteral("run\u00851") << QStringLiteral("run<85>1");
        QTest::addRow("empty") << QString() << QString();
    }
    void asSent() {
        QFETCH(QString, typed);
        QTEST(asSentToScope(typed), "shown");
    }

    // The bytes on the wire and the text shown agree, character by character.
    void bytesMatchTheShownText() {
        const QString typed = QStringLiteral("E:\\\u00e4\u00a0\u6e2c?");
        QByteArray sent;
        for (const QChar c : typed)
            sent += commandByte(c);
        QCOMPARE(sent, QByteArray("E:\\\xe4\xa0??"));
        QCOMPARE(QString::fromLatin1(sent), asSentToScope(typed));
    }
};

QTEST_GUILESS_MAIN(tst_CommandText)
#include "tst_CommandText.moc"
