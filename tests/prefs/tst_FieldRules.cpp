#include "FieldRules.h"

#include <QTest>
#include <limits>

using Rule = QChar (*)(QChar);
Q_DECLARE_METATYPE(Rule)

namespace {

void addTextColumns(const char *second) {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>(second);
}

void row(const char *name, const QString &text, const QString &result) {
    QTest::addRow("%s", name) << text << result;
}

} // namespace

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
                                << "Za9@#$!%^&()_-+={}';,.~`\b \"*/:<>?[\\]|\x16\x7f\u00e9"
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

    void prefixSetHasExactly83SignsAndBackspace() {
        int accepted = 0;
        for (char16_t code = 0; code < 0x3000; ++code)
            accepted += FieldRules::prefixFilter(QChar(code)) == QChar(code) && code != 0;
        QCOMPARE(accepted, 84);
    }

    void normalizePath_data() {
        addTextColumns("normalized");
        row("drive only", "E:", "E:\\");
        row("forward slashes", "E:/data/run1", "E:\\data\\run1\\");
        row("already normal", "E:\\", "E:\\");
        row("empty stays empty", "", "");
        row("blanks and doubled backslashes stay", "a b\\\\", "a b\\\\");
        row("trailing slash turned, not doubled", "E:\\x/", "E:\\x\\");
    }
    void normalizePath() {
        QFETCH(QString, text);
        QTEST(FieldRules::normalizePath(text), "normalized");
    }

    // The fix-up is the plain number form of the leading number, never 0.
    void acqLimitFixUp_data() {
        addTextColumns("fixed");
        row("empty", "", "1");
        row("zero", "0", "1");
        row("no number", "abc", "1");
        row("leading zeros", "0010", " 10");
        row("already fixed", " 10", " 10");
        row("double seven", "007", " 7");
        row("fifteen nines", QString(15, u'9'), " 999999999999999");
        row("sixteen ones", QString(16, u'1'), " 1.11111111111111E+15");
        row("rounds up into exponent form", "999999999999999.9", " 1E+15");
        row("three-digit exponent", "1e100", " 1E+100");
        row("fraction", ".5", " .5");
        row("mixed fraction", "123.25", " 123.25");
        row("tiny fraction", "0.00001", " 1E-05");
        row("negative stays negative", "-4", "-4");
        row("negative fraction", "-0.25", "-.25");
        row("overflow", QString(400, u'9'), " 1.79769313486232E+308");
    }
    void acqLimitFixUp() {
        QFETCH(QString, text);
        QTEST(FieldRules::acqLimitFixUp(text), "fixed");
    }

    void numericValue_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("value");
        QTest::addRow("no digits") << "." << 0.0;
        QTest::addRow("blanks, tabs, line feeds anywhere") << " 1\t2\n3" << 123.0;
        QTest::addRow("blank after sign") << "- 5" << -5.0;
        QTest::addRow("trailing point") << "5." << 5.0;
        QTest::addRow("D exponent") << "2D2" << 200.0;
        QTest::addRow("exponent without digits") << "1e" << 1.0;
        QTest::addRow("stops at second point") << "1.2.3" << 1.2;
        QTest::addRow("negative overflow") << "-1e400" << -std::numeric_limits<double>::max();
    }
    void numericValue() {
        QFETCH(QString, text);
        QTEST(FieldRules::numericValue(text), "value");
    }
};

QTEST_APPLESS_MAIN(tst_FieldRules)
#include "tst_FieldRules.moc"
