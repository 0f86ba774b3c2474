#include "FieldRules.h"

#include <QTest>
#include <limits>

class tst_FieldRules : public QObject {
    Q_OBJECT

private slots:
    void keystrokeRules_data();
    void keystrokeRules();
    void prefixSetHasExactly83SignsAndBackspace();
    void normalizePath_data();
    void normalizePath();
    void numericValue_data();
    void numericValue();
    void plainNumberForm_data();
    void plainNumberForm();
    void acqLimitFixUp_data();
    void acqLimitFixUp();
    void delayDisplayText();
};

namespace {

using Rule = QChar (*)(QChar);

const QString digit = QStringLiteral("digit");
const QString prefix = QStringLiteral("prefix");
const QString slash = QStringLiteral("slash");

Rule ruleNamed(const QString &name) {
    if (name == digit)
        return FieldRules::digitFilter;
    if (name == prefix)
        return FieldRules::prefixFilter;
    return FieldRules::slashTurn;
}

constexpr char16_t dropped = 0;
constexpr char16_t backspace = 8;
constexpr char16_t pasteKey = 22;

} // namespace

void tst_FieldRules::keystrokeRules_data() {
    QTest::addColumn<QString>("rule");
    QTest::addColumn<char16_t>("typed");
    QTest::addColumn<char16_t>("inserted");

    QTest::addRow("digit keeps 0") << digit << u'0' << u'0';
    QTest::addRow("digit keeps 9") << digit << u'9' << u'9';
    QTest::addRow("digit keeps backspace") << digit << backspace << backspace;
    QTest::addRow("digit drops letter") << digit << u'a' << dropped;
    QTest::addRow("digit drops blank") << digit << u' ' << dropped;
    QTest::addRow("digit drops point") << digit << u'.' << dropped;
    QTest::addRow("digit drops minus") << digit << u'-' << dropped;
    QTest::addRow("digit drops paste key") << digit << pasteKey << dropped;
    QTest::addRow("digit drops other script digit") << digit << u'\u0663' << dropped;

    QTest::addRow("prefix keeps capital") << prefix << u'Z' << u'Z';
    QTest::addRow("prefix keeps small") << prefix << u'a' << u'a';
    QTest::addRow("prefix keeps grave accent") << prefix << u'`' << u'`';
    QTest::addRow("prefix keeps backspace") << prefix << backspace << backspace;
    for (const char16_t refused : u" \"*/:<>?[\\]|\u00e9\u007f")
        QTest::addRow("prefix drops %s", qPrintable(QString(QChar(refused))))
            << prefix << refused << dropped;
    QTest::addRow("prefix drops paste key") << prefix << pasteKey << dropped;

    QTest::addRow("slash turns") << slash << u'/' << u'\\';
    QTest::addRow("slash keeps backslash") << slash << u'\\' << u'\\';
    QTest::addRow("slash keeps blank") << slash << u' ' << u' ';
    QTest::addRow("slash keeps paste key") << slash << pasteKey << pasteKey;
    QTest::addRow("slash keeps backspace") << slash << backspace << backspace;
}

void tst_FieldRules::keystrokeRules() {
    QFETCH(QString, rule);
    QFETCH(char16_t, typed);
    QFETCH(char16_t, inserted);
    QCOMPARE(ruleNamed(rule)(QChar(typed)).unicode(), inserted);
}

void tst_FieldRules::prefixSetHasExactly83SignsAndBackspace() {
    int accepted = 0;
    for (char16_t code = 0; code < 0x3000; ++code) {
        const QChar out = FieldRules::prefixFilter(QChar(code));
        if (!out.isNull()) {
            QCOMPARE(out, QChar(code));
            ++accepted;
        }
    }
    QCOMPARE(accepted, 84);
}

void tst_FieldRules::normalizePath_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("normalized");

    QTest::addRow("drive only") << "E:"
                                << "E:\\";
    QTest::addRow("forward slashes") << "E:/data/run1"
                                     << "E:\\data\\run1\\";
    QTest::addRow("already normal") << "E:\\"
                                    << "E:\\";
    QTest::addRow("folder without end") << "E:\\data"
                                        << "E:\\data\\";
    QTest::addRow("empty stays empty") << ""
                                       << "";
    QTest::addRow("lone slash") << "/"
                                << "\\";
    QTest::addRow("blanks and doubled backslashes stay") << "a b\\\\"
                                                         << "a b\\\\";
    QTest::addRow("trailing slash turned, not doubled") << "E:\\x/"
                                                        << "E:\\x\\";
}

void tst_FieldRules::normalizePath() {
    QFETCH(QString, text);
    QFETCH(QString, normalized);
    QCOMPARE(FieldRules::normalizePath(text), normalized);
}

void tst_FieldRules::numericValue_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");

    const double largest = std::numeric_limits<double>::max();
    QTest::addRow("empty") << "" << 0.0;
    QTest::addRow("no digits") << "abc" << 0.0;
    QTest::addRow("lone point") << "." << 0.0;
    QTest::addRow("leading blank") << " 10" << 10.0;
    QTest::addRow("leading zeros") << "0010" << 10.0;
    QTest::addRow("blank inside") << "1 2" << 12.0;
    QTest::addRow("tab and line feed") << "\t7\n" << 7.0;
    QTest::addRow("blank after sign") << "- 5" << -5.0;
    QTest::addRow("negative") << "-3" << -3.0;
    QTest::addRow("plus sign") << "+4" << 4.0;
    QTest::addRow("fraction without zero") << ".5" << 0.5;
    QTest::addRow("trailing point") << "5." << 5.0;
    QTest::addRow("exponent") << "1e3" << 1000.0;
    QTest::addRow("D exponent") << "2D2" << 200.0;
    QTest::addRow("exponent without digits") << "1e" << 1.0;
    QTest::addRow("stops at letter") << "12abc" << 12.0;
    QTest::addRow("stops at second point") << "1.2.3" << 1.2;
    QTest::addRow("plain form reads back") << " 1.11111111111111E+15" << 1.11111111111111e15;
    QTest::addRow("overflow") << "1e400" << largest;
    QTest::addRow("negative overflow") << "-1e400" << -largest;
    QTest::addRow("four hundred nines") << QString(400, u'9') << largest;
}

void tst_FieldRules::numericValue() {
    QFETCH(QString, text);
    QFETCH(double, value);
    QCOMPARE(FieldRules::numericValue(text), value);
}

void tst_FieldRules::plainNumberForm_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("form");

    QTest::addRow("ten") << 10.0 << " 10";
    QTest::addRow("seven") << 7.0 << " 7";
    QTest::addRow("zero") << 0.0 << " 0";
    QTest::addRow("negative zero") << -0.0 << " 0";
    QTest::addRow("sixteen ones") << 1111111111111111.0 << " 1.11111111111111E+15";
    QTest::addRow("fifteen nines") << 999999999999999.0 << " 999999999999999";
    QTest::addRow("rounds up into exponent form") << 999999999999999.9 << " 1E+15";
    QTest::addRow("ten to the fifteen") << 1e15 << " 1E+15";
    QTest::addRow("three-digit exponent") << 1e100 << " 1E+100";
    QTest::addRow("half") << 0.5 << " .5";
    QTest::addRow("mixed fraction") << 123.25 << " 123.25";
    QTest::addRow("negative") << -3.0 << "-3";
    QTest::addRow("negative fraction") << -0.25 << "-.25";
    QTest::addRow("small fraction") << 0.0001 << " .0001";
    QTest::addRow("tiny fraction") << 0.00001 << " 1E-05";
    QTest::addRow("largest") << std::numeric_limits<double>::max() << " 1.79769313486232E+308";
}

void tst_FieldRules::plainNumberForm() {
    QFETCH(double, value);
    QFETCH(QString, form);
    QCOMPARE(FieldRules::plainNumberForm(value), form);
}

void tst_FieldRules::acqLimitFixUp_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("fixed");

    QTest::addRow("empty") << ""
                           << "1";
    QTest::addRow("zero") << "0"
                          << "1";
    QTest::addRow("zeros") << "000"
                           << "1";
    QTest::addRow("no number") << "abc"
                               << "1";
    QTest::addRow("typed ten") << "10"
                               << " 10";
    QTest::addRow("leading zeros") << "0010"
                                   << " 10";
    QTest::addRow("already fixed") << " 10"
                                   << " 10";
    QTest::addRow("double seven") << "007"
                                  << " 7";
    QTest::addRow("sixteen ones") << QString(16, u'1') << " 1.11111111111111E+15";
    QTest::addRow("fraction") << ".5"
                              << " .5";
    QTest::addRow("fraction below one") << "0.4"
                                        << " .4";
    QTest::addRow("negative stays negative") << "-4"
                                             << "-4";
    QTest::addRow("overflow") << QString(400, u'9') << " 1.79769313486232E+308";
}

void tst_FieldRules::acqLimitFixUp() {
    QFETCH(QString, text);
    QFETCH(QString, fixed);
    QCOMPARE(FieldRules::acqLimitFixUp(text), fixed);
}

void tst_FieldRules::delayDisplayText() {
    QCOMPARE(FieldRules::delayDisplayText(0), QStringLiteral("0 Sec."));
    QCOMPARE(FieldRules::delayDisplayText(15), QStringLiteral("15 Sec."));
}

QTEST_APPLESS_MAIN(tst_FieldRules)
#include "tst_FieldRules.moc"
