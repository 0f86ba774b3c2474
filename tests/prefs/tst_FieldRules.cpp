#include "FieldRules.h"

#include <QTest>

using Rule = QChar (*)(QChar);
using TextRule = QString (*)(const QString &);
Q_DECLARE_METATYPE(Rule)
Q_DECLARE_METATYPE(TextRule)

class tst_FieldRules : public QObject {
    Q_OBJECT

private slots:
    // \b is backspace, \x16 the control character of the paste key combination.
    void keystrokeRules_data() {
        QTest::addColumn<Rule>("rule");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("inserted");

        QTest::addRow("digit") << Rule(FieldRules::digitFilter) << "09\b a.-+\x16\u0663"
                               << "09\b";
        QTest::addRow("prefix") << Rule(FieldRules::prefixFilter)
                                << "Za9@#$!%^&()_-+={}';,.~`\b \"*/:<>?[\\]|\x16\x7f\u00e9\u0663"
                                << "Za9@#$!%^&()_-+={}';,.~`\b";
        QTest::addRow("slash turn") << Rule(FieldRules::slashTurn) << "E:/a\\ \b\x16"
                                    << "E:\\a\\ \b\x16";
    }
    void keystrokeRules() {
        QFETCH(Rule, rule);
        QFETCH(QString, typed);
        QString kept;
        for (const QChar c : typed)
            if (const QChar out = rule(c); !out.isNull())
                kept += out;
        QTEST(kept, "inserted");
    }

    // The limit's fix-up is the plain number form of the numeric reading,
    // never 0, so its rows also cover how a text is read as a number.
    void textRules_data() {
        QTest::addColumn<TextRule>("rule");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("result");
        const auto path = [](const char *name, const QString &text, const QString &result) {
            QTest::addRow("path: %s", name)
                << TextRule(FieldRules::normalizePath) << text << result;
        };
        const auto limit = [](const char *name, const QString &text, const QString &result) {
            QTest::addRow("limit: %s", name)
                << TextRule(FieldRules::acqLimitFixUp) << text << result;
        };
        path("drive only", "E:", "E:\\");
        path("already ended", "E:\\", "E:\\");
        path("folder", "E:\\data", "E:\\data\\");
        path("forward slashes", "E:/data/run1", "E:\\data\\run1\\");
        path("empty stays empty", "", "");
        path("blanks and doubled backslashes stay", "a b\\\\", "a b\\\\");
        path("trailing slash turned, not doubled", "E:\\x/", "E:\\x\\");

        limit("zero", "0", "1");
        limit("empty", "", "1");
        limit("plain", "10", " 10");
        limit("already plain", " 10", " 10");
        limit("negative stays", "-3", "-3");
        limit("no digits", ".", "1");
        limit("leading zeros", "0010", " 10");
        limit("double seven", "007", " 7");
        limit("blanks, tabs, line feeds anywhere", " 1\t2\n3", " 123");
        limit("blank after sign", "- 5", "-5");
        limit("trailing point", "5.", " 5");
        limit("D exponent", "2D2", " 200");
        limit("exponent without digits", "1e", " 1");
        limit("stops at second point", "1.2.3", " 1.2");
        limit("fifteen nines", QString(15, u'9'), " 999999999999999");
        limit("sixteen ones", QString(16, u'1'), " 1.11111111111111E+15");
        limit("rounds up into exponent form", "999999999999999.9", " 1E+15");
        limit("three-digit exponent", "1e100", " 1E+100");
        limit("fraction", ".5", " .5");
        limit("tiny fraction", "0.00001", " 1E-05");
        limit("negative fraction", "-0.25", "-.25");
        limit("overflow", QString(400, u'9'), " 1.79769313486232E+308");
        limit("negative overflow", "-1e400", "-1.79769313486232E+308");
    }
    void textRules() {
        QFETCH(TextRule, rule);
        QFETCH(QString, text);
        QTEST(rule(text), "result");
    }
};

QTEST_APPLESS_MAIN(tst_FieldRules)
#include "tst_FieldRules.moc"
