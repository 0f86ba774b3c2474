#include "ScpiParser.h"

#include <QTest>

// Each parsed command written as "HEADER[?] arg|arg" (or "!syntax" for a
// syntax fault), commands joined by " / ", to compare whole messages at once.
static QByteArray describe(const QList<ScpiCommand> &commands) {
    QByteArrayList parts;
    for (const ScpiCommand &c : commands) {
        QByteArray text = c.header + (c.query ? "?" : "");
        if (!c.arguments.isEmpty())
            text += ' ' + c.arguments.join('|');
        if (c.syntax == ScpiCommand::Syntax::BadHeader)
            text += " !header";
        if (c.syntax == ScpiCommand::Syntax::UnterminatedString)
            text += " !string";
        parts << text;
    }
    return parts.join(" / ");
}

class TestScpiParser : public QObject {
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void unquote_data();
    void unquote();
};

void TestScpiParser::parse_data() {
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<QByteArray>("expected");

    QTest::addRow("single query") << QByteArray("BUSY?") << QByteArray("BUSY?");
    QTest::addRow("path continues after ;")
        << QByteArray("ACQ:STOPA SEQ;STATE 0") << QByteArray("ACQ:STOPA SEQ / ACQ:STATE 0");
    QTest::addRow("two root commands")
        << QByteArray("HEAD 0;VERB 0") << QByteArray("HEAD 0 / VERB 0");
    QTest::addRow("colon resets to root") << QByteArray("ACQ:STOPA SEQ;:HEAD 0;VERB 1")
                                          << QByteArray("ACQ:STOPA SEQ / HEAD 0 / VERB 1");
    QTest::addRow("common command keeps the path")
        << QByteArray("SAV:IMAG:LAY LAN;*CLS;INKS ON")
        << QByteArray("SAV:IMAG:LAY LAN / *CLS / SAV:IMAG:INKS ON");
    QTest::addRow("deep path continues") << QByteArray("SAV:IMAG:FILEF PNG;LAY PORTR")
                                         << QByteArray("SAV:IMAG:FILEF PNG / SAV:IMAG:LAY PORTR");
    QTest::addRow("long forms, any case") << QByteArray("acquire:stopafter sequence;state 1")
                                          << QByteArray("ACQ:STOPA sequence / ACQ:STATE 1");
    QTest::addRow("mixed case short forms")
        << QByteArray("Sav:Wave:FileF spreads") << QByteArray("SAV:WAVE:FILEF spreads");
    QTest::addRow("query among commands")
        << QByteArray("*IDN?;ACQ:STATE?;STOPA?") << QByteArray("*IDN? / ACQ:STATE? / ACQ:STOPA?");
    QTest::addRow("save with two arguments") << QByteArray(R"(SAV:WAVE ALL, "E:\my_ISFs_7")")
                                             << QByteArray(R"(SAV:WAVE ALL|"E:\my_ISFs_7")");
    QTest::addRow("; and , inside quotes do not split")
        << QByteArray(R"(SAV:IMAG "E:\a;b,c.PNG";*OPC?)")
        << QByteArray(R"(SAV:IMAG "E:\a;b,c.PNG" / *OPC?)");
    QTest::addRow("single quotes")
        << QByteArray("SAV:IMAG 'x;y.png'") << QByteArray("SAV:IMAG 'x;y.png'");
    QTest::addRow("doubled quote stays inside the string")
        << QByteArray(R"(SAV:IMAG "a"";b.png";:BUSY?)")
        << QByteArray(R"(SAV:IMAG "a"";b.png" / BUSY?)");
    QTest::addRow("unterminated string")
        << QByteArray(R"(SAV:IMAG "E:\a;BUSY?)") << QByteArray(R"(SAV:IMAG "E:\a;BUSY? !string)");
    QTest::addRow("blanks and empty commands")
        << QByteArray("  HEAD 0 ;; VERB\t0 ;") << QByteArray("HEAD 0 / VERB 0");
    QTest::addRow("numeric suffix node") << QByteArray("TRIG:A:MOD NORM;:trigger:a:mode?")
                                         << QByteArray("TRIG:A:MOD NORM / TRIG:A:MOD?");
    QTest::addRow("empty node") << QByteArray("ACQ::STATE 1") << QByteArray("ACQ::STATE 1 !header");
    QTest::addRow("bad character in header")
        << QByteArray("AC-Q 1") << QByteArray("AC-Q 1 !header");
    QTest::addRow("lone question mark") << QByteArray("?") << QByteArray("? !header");
    QTest::addRow("bad header leaves the path alone")
        << QByteArray("ACQ:STOPA SEQ;ST@TE 0;STATE 1")
        << QByteArray("ACQ:STOPA SEQ / ST@TE 0 !header / ACQ:STATE 1");
    QTest::addRow("empty message") << QByteArray("") << QByteArray("");
}

void TestScpiParser::parse() {
    QFETCH(QByteArray, message);
    QFETCH(QByteArray, expected);
    QCOMPARE(describe(ScpiParser::parse(message)), expected);
}

void TestScpiParser::unquote_data() {
    QTest::addColumn<QByteArray>("argument");
    QTest::addColumn<std::optional<QByteArray>>("expected");

    QTest::addRow("double quotes")
        << QByteArray(R"("E:\a.png")") << std::optional<QByteArray>(R"(E:\a.png)");
    QTest::addRow("single quotes") << QByteArray("'a b'") << std::optional<QByteArray>("a b");
    QTest::addRow("doubled quote")
        << QByteArray(R"("a""b")") << std::optional<QByteArray>(R"(a"b)");
    QTest::addRow("empty string") << QByteArray(R"("")") << std::optional<QByteArray>("");
    QTest::addRow("bare word") << QByteArray("E:\\a") << std::optional<QByteArray>();
    QTest::addRow("mismatched quotes") << QByteArray(R"("a')") << std::optional<QByteArray>();
    QTest::addRow("lone inner quote") << QByteArray(R"("a"b")") << std::optional<QByteArray>();
    QTest::addRow("one quote only") << QByteArray(R"(")") << std::optional<QByteArray>();
}

void TestScpiParser::unquote() {
    QFETCH(QByteArray, argument);
    QFETCH(std::optional<QByteArray>, expected);
    QCOMPARE(ScpiParser::unquote(argument), expected);
}

QTEST_APPLESS_MAIN(TestScpiParser)
#include "tst_scpiparser.moc"
