#include "CommandLine.h"

#include "AppPaths.h"
#include "InstrumentSources.h"
#include "InstrumentSurvey.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdio>

namespace {

const QString ListInstruments = QStringLiteral("list-instruments");
const QString Network = QStringLiteral("network");
const QString Instrument = QStringLiteral("instrument");
const QString ChooseInstrument = QStringLiteral("choose-instrument");

} // namespace

CommandLine::CommandLine(const QStringList &arguments)
    : m_help(m_parser.addHelpOption())
    , m_version(m_parser.addVersionOption()) {
    m_parser.setApplicationDescription(QStringLiteral(
        "Makes an oscilloscope save what it captures, once per trigger.\n"
        "Instruments are listed in ~/.config/mardock/instruments.txt, one VISA descriptor a "
        "line (the finder's Use writes it); everything else is set in the Prefs dialog.\n"
        "Started with nothing to search (no list, no vendor VISA library, no USB instrument), "
        "it opens the instrument finder."));
    m_parser.addOptions({
        {ListInstruments,
         QStringLiteral("Print every instrument found, one a line: its descriptor, a tab, and its "
                        "reply to *IDN? or the error met asking it. Supported scopes come first, "
                        "each followed by a tab and \"supported scope\". Exit status 0 when a "
                        "supported scope was found, 1 when none was, 2 on bad usage.")},
        {Network, QStringLiteral("With --list-instruments: search the local networks too, by "
                                 "VXI-11 portmapper broadcast and by mDNS. Needs UDP replies to "
                                 "this computer, the scope's port 111 and UDP port 5353.")},
        {Instrument,
         QStringLiteral("Start with this instrument only, for example "
                        "TCPIP0::192.0.2.10::inst0::INSTR or TCPIP0::192.0.2.10::4000::SOCKET, "
                        "instead of searching the instrument list and the other sources."),
         QStringLiteral("DESCRIPTOR")},
        {ChooseInstrument,
         QStringLiteral("Open the instrument finder first; Use puts the chosen instrument at the "
                        "top of the instrument list and starts with it.")},
    });
    if (!m_parser.parse(arguments)) {
        m_problem = m_parser.errorText();
        return;
    }
    if (!m_parser.positionalArguments().isEmpty()) {
        m_problem =
            QStringLiteral("unexpected argument: %1").arg(m_parser.positionalArguments().front());
        return;
    }
    const bool listing = m_parser.isSet(ListInstruments);
    const int choices =
        int(listing) + int(m_parser.isSet(Instrument)) + int(m_parser.isSet(ChooseInstrument));
    if (choices > 1) {
        m_problem = QStringLiteral("--list-instruments, --instrument and --choose-instrument "
                                   "go one at a time");
        return;
    }
    if (m_parser.isSet(Network) && !listing) {
        m_problem = QStringLiteral("--network goes with --list-instruments");
        return;
    }
    if (m_parser.isSet(Instrument) && m_parser.value(Instrument).trimmed().isEmpty()) {
        m_problem = QStringLiteral("--instrument needs a descriptor");
        return;
    }
    m_usable = true;
    m_answersAlone = listing || m_parser.isSet(m_help) || m_parser.isSet(m_version);
    if (m_parser.isSet(Instrument))
        m_instrument = m_parser.value(Instrument).trimmed();
    m_chooseInstrument = m_parser.isSet(ChooseInstrument);
}

int CommandLine::usageError(const QString &why) const {
    std::fprintf(stderr,
                 "mardock: %s\nUsage: mardock [--help | --version | --list-instruments "
                 "[--network] | --instrument DESCRIPTOR | --choose-instrument]\n",
                 qPrintable(why));
    return 2;
}

int CommandLine::answer() {
    if (!m_usable)
        return usageError(m_problem);
    if (m_parser.isSet(m_version))
        m_parser.showVersion();
    if (m_parser.isSet(m_help))
        m_parser.showHelp(0);
    if (m_parser.isSet(ListInstruments))
        return listInstruments(m_parser.isSet(Network));
    return 0;
}

int CommandLine::listInstruments(bool network) const {
    const InstrumentSources sources(AppPaths::forCurrentUser());
    InstrumentSurvey survey(sources.all());
    QList<Identification> found;
    QObject::connect(&survey, &InstrumentSurvey::identified,
                     [&found](const Identification &result) { found << result; });
    // The application's own loop runs until the survey is over.
    QObject::connect(&survey, &InstrumentSurvey::finished, QCoreApplication::instance(),
                     &QCoreApplication::quit, Qt::QueuedConnection);
    if (network)
        survey.searchNetwork();
    survey.surveySources();
    if (survey.busy())
        QCoreApplication::exec();

    std::stable_partition(found.begin(), found.end(),
                          [](const Identification &result) { return result.supported(); });
    for (const Identification &result : std::as_const(found)) {
        if (result.descriptor.isEmpty()) {
            std::fprintf(stderr, "mardock: %s\n", qPrintable(result.error));
            continue;
        }
        // One line each, whatever the reply or the error holds.
        QString text = result.answered() ? result.reply : result.error;
        text.replace(QLatin1Char('\n'), QLatin1Char(' '))
            .replace(QLatin1Char('\t'), QLatin1Char(' '));
        std::printf("%s\t%s%s\n", qPrintable(result.descriptor), qPrintable(text),
                    result.supported() ? "\tsupported scope" : "");
    }
    std::fflush(stdout);
    return std::any_of(found.cbegin(), found.cend(),
                       [](const Identification &result) { return result.supported(); })
               ? 0
               : 1;
}
