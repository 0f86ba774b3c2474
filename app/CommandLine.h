#pragma once

#include <QCommandLineParser>
#include <QStringList>
#include <optional>

// Mardock's command line. The job is set in the Prefs dialog; the arguments
// choose the instrument. --help, --version and --list-instruments are
// answered on the terminal, without a display; so is a usage error.
// --instrument and --choose-instrument shape the start of the window.
class CommandLine {
public:
    explicit CommandLine(const QStringList &arguments);

    // True when no window opens: answer() says all.
    bool answersAlone() const { return !m_usable || m_answersAlone; }
    // The exit status: 0 after --help or --version; after --list-instruments
    // 0 when a supported scope was found and 1 when none was; 2 after a usage
    // error. A listing needs a QCoreApplication.
    int answer();

    // The one instrument to start with, instead of searching.
    std::optional<QString> instrument() const { return m_instrument; }
    bool chooseInstrument() const { return m_chooseInstrument; }

private:
    int usageError(const QString &why) const;
    int listInstruments(bool network) const;

    QCommandLineParser m_parser;
    QCommandLineOption m_help;
    QCommandLineOption m_version;
    bool m_usable = false;
    bool m_answersAlone = false;
    std::optional<QString> m_instrument;
    bool m_chooseInstrument = false;
    QString m_problem;
};
