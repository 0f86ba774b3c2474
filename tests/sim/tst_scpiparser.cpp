#include "ScpiParser.h"

#include <QTest>

// Each parsed command written as "HEADER[?] arg|arg" (with " !header" or
// " !string" for a syntax fault), commands joined by " / ".
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
    // Path continuation, quoted names and queries are also driven through
    // the scope's own tests; these are the parser's corners.
    void parse_data() {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QByteArray>("expected");
        const auto row = [](const char *name, const char *message, const char *expected) {
            QTest::addRow("%s", name) << QByteArray(message) << QByteArray(expected);
        };
        row("colon resets to root", "ACQ:STOPA SEQ;:HEAD 0;VERB 1",
            "ACQ:STOPA SEQ / HEAD 0 / VERB 1");
        row("common command keeps the path", "SAV:IMAG:LAY LAN;*CLS;INKS ON",
            "SAV:IMAG:LAY LAN / *CLS / SAV:IMAG:INKS ON");
        row("long forms, any case", "acquire:stopafter sequence;state 1",
            "ACQ:STOPA sequence / ACQ:STATE 1");
        row("; and , inside quotes do not split", R"(SAV:IMAG "E:\a;b,c.PNG";*OPC?)",
            R"(SAV:IMAG "E:\a;b,c.PNG" / *OPC?)");
        row("doubled quote stays inside", R"(SAV:IMAG "a"";b.png";:BUSY?)",
            R"(SAV:IMAG "a"";b.png" / BUSY?)");
        row("unterminated string", R"(SAV:IMAG "E:\a;BUSY?)", R"(SAV:IMAG "E:\a;BUSY? !string)");
        row("blanks and empty commands", "  HEAD 0 ;; VERB\t0 ;", "HEAD 0 / VERB 0");
        row("node with a letter suffix", "TRIG:A:MOD NORM;:trigger:a:mode?",
            "TRIG:A:MOD NORM / TRIG:A:MOD?");
        row("empty node", "ACQ::STATE 1", "ACQ::STATE 1 !header");
        row("lone question mark", "?", "? !header");
        row("bad header leaves the path alone", "ACQ:STOPA SEQ;ST@TE 0;STATE 1",
            "ACQ:STOPA SEQ / ST@TE 0 !header / ACQ:STATE 1");
    }
    void parse() {
        QFETCH(QByteArray, message);
        QTEST(describe(ScpiParser::parse(message)), "expected");
    }

    void unquote_data() {
        QTest::addColumn<QByteArray>("argument");
        QTest::addColumn<std::optional<QByteArray>>("expected");
        using Text = std::optional<QByteArray>;
        QTest::addRow("single quotes") << QByteArray("'a b'") << Text("a b");
        QTest::addRow("doubled quote") << QByteArray(R"("a""b")") << Text(R"(a"b)");
        QTest::addRow("empty string") << QByteArray(R"("")") << Text("");
        QTest::addRow("mismatched quotes") << QByteArray(R"("a')") << Text();
        QTest::addRow("lone inner quote") << QByteArray(R"("a"b")") << Text();
        QTest::addRow("one quote only") << QByteArray(R"(")") << Text();
    }
    void unquote() {
        QFETCH(QByteArray, argument);
        QTEST(ScpiParser::unquote(argument), "expected");
    }
};

QTEST_APPLESS_MAIN(TestScpiParser)
#include "tst_scpiparser.moc"
