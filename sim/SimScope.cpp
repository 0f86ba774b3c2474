#include "SimScope.h"

#include "CsvWriter.h"
#include "IsfWriter.h"
#include "ScpiParser.h"
#include "ScreenRenderer.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSaveFile>

#include <cmath>

namespace {

// Events also go to standard error, so a user sees what the scope refused.
Q_LOGGING_CATEGORY(scopeEvents, "mardock.scopesim.events")

// A queue that nobody reads must not grow without end over a long session.
constexpr qsizetype MaxEvents = 32;

QByteArray quoted(QByteArrayView text) {
    return '"' + text.toByteArray().replace('"', "\"\"") + '"';
}

// The start of the offending command, enough to recognise it in a report.
QByteArray input(const ScpiCommand &command) {
    constexpr qsizetype shown = 80;
    const QByteArray text =
        command.text.size() > shown ? command.text.first(shown) + "..." : command.text;
    return "; input was '" + text + "'";
}

// The event status register bit an error sets: command, execution, device
// specific and query errors.
int statusBit(int code) {
    switch (-code / 100) {
    case 1:
        return 32;
    case 2:
        return 16;
    case 4:
        return 4;
    default:
        return 8;
    }
}

QByteArray flag(bool on) {
    return on ? "1" : "0";
}

// The reply header as a scope writes it, long or short form.
QByteArray replyHeader(const QByteArray &header, bool verbose) {
    if (!verbose)
        return ':' + header;
    QByteArray full;
    for (const QByteArray &node : header.split(':'))
        full += ':' + ScpiParser::longForm(node);
    return full;
}

} // namespace

SimScope::SimScope(const SimOptions &options, const SimClock &clock)
    : m_clock(clock)
    , m_idn(options.idn)
    , m_triggerMeanSeconds(std::max(options.triggerMeanSeconds, 0.0))
    , m_saveSeconds(std::max(options.saveSeconds, 0.0))
    , m_storage(options.storage)
    , m_waveforms(options.recordLength, options.seed)
    , m_random(options.seed)
    , m_busyForever(options.busyForever)
    , m_noFiles(options.noFiles)
    , m_driveFault(options.driveFault)
    , m_powerCycleAfter(options.powerCycleAfter)
    , m_headers(options.headers) {
    reset();
}

const SimScope::Handlers &SimScope::handlers() {
    static const Handlers table{
        {
            {"*CLS", &SimScope::clearStatus},
            {"*ESE", &SimScope::setEventEnable},
            {"*SRE", &SimScope::setServiceEnable},
            {"DESE", &SimScope::setDeviceEventEnable},
            {"*RST", &SimScope::resetCommand},
            {"*WAI", &SimScope::wait},
            {"HEAD", &SimScope::setHeaders},
            {"VERB", &SimScope::setVerbose},
            {"ACQ:STOPA", &SimScope::setStopAfter},
            {"ACQ:STATE", &SimScope::setAcquisitionState},
            {"SAV:WAVE:FILEF", &SimScope::setWaveformFormat},
            {"SAV:WAVE:GATI", &SimScope::setGating},
            {"SAV:WAVE", &SimScope::saveWaveforms},
            {"SAV:IMAG:FILEF", &SimScope::setImageFormat},
            {"SAV:IMAG:LAY", &SimScope::setImageLayout},
            {"SAV:IMAG:INKS", &SimScope::setInkSaver},
            {"SAV:IMAG", &SimScope::saveImage},
            {"FILES:CWD", &SimScope::changeFolder},
            {"TRIG", &SimScope::forceTrigger},
            {"TRIG:A:MOD", &SimScope::setTriggerMode},
        },
        {
            {"*IDN", &SimScope::identify},
            {"*OPC", &SimScope::operationComplete},
            {"*ESR", &SimScope::eventStatus},
            {"*ESE", &SimScope::eventEnable},
            {"*SRE", &SimScope::serviceEnable},
            {"DESE", &SimScope::deviceEventEnable},
            {"HEAD", &SimScope::headers},
            {"VERB", &SimScope::verbose},
            {"ALLEV", &SimScope::allEvents},
            {"BUSY", &SimScope::busy},
            {"ACQ:STOPA", &SimScope::stopAfter},
            {"ACQ:STATE", &SimScope::acquisitionState},
            {"ACQ:NUMACQ", &SimScope::acquisitionCount},
            {"SAV:WAVE:FILEF", &SimScope::waveformFormat},
            {"SAV:WAVE:GATI", &SimScope::gating},
            {"SAV:IMAG:FILEF", &SimScope::imageFormat},
            {"SAV:IMAG:LAY", &SimScope::imageLayout},
            {"SAV:IMAG:INKS", &SimScope::inkSaver},
            {"FILES:DIR", &SimScope::folderListing},
            {"FILES:CWD", &SimScope::currentFolder},
            {"TRIG:A:MOD", &SimScope::triggerMode},
            {"CURV", &SimScope::curve},
        },
    };
    return table;
}

bool SimScope::handleMessage(QByteArrayView message, QByteArray &reply) {
    advanceTime();
    bool answered = false;
    for (const ScpiCommand &command : ScpiParser::parse(message)) {
        QByteArray value;
        const bool hasValue = execute(command, value);
        // Power lost: the rest of the message and its replies go with it.
        if (m_powerCycleDue)
            return false;
        if (!hasValue)
            continue;
        if (answered)
            reply += ';';
        if (m_headers && !command.header.startsWith('*'))
            reply += replyHeader(command.header, m_verbose) + ' ';
        reply += value;
        answered = true;
    }
    return answered;
}

int SimScope::statusByte(bool messageAvailable) const {
    constexpr int ErrorAvailable = 0x04;
    constexpr int MessageAvailable = 0x10;
    constexpr int EventSummary = 0x20;
    constexpr int RequestService = 0x40;
    const int status = (m_events.isEmpty() ? 0 : ErrorAvailable) |
                       (messageAvailable ? MessageAvailable : 0) |
                       (m_eventStatus & m_eventEnable ? EventSummary : 0);
    return status | (status & m_serviceEnable ? RequestService : 0);
}

void SimScope::queueEvent(int code, QByteArrayView text) {
    qCWarning(scopeEvents).noquote() << "event" << code << QString::fromUtf8(text);
    const int bit = statusBit(code);
    if (!(m_deviceEventEnable & bit))
        return;
    m_eventStatus |= bit;
    if (m_events.size() >= MaxEvents) {
        m_events.last() = "-350," + quoted("Queue overflow");
        return;
    }
    m_events.append(QByteArray::number(code) + ',' + quoted(text));
}

bool SimScope::execute(const ScpiCommand &command, QByteArray &reply) {
    switch (command.syntax) {
    case ScpiCommand::Syntax::BadHeader:
        queueEvent(-102, "Syntax error" + input(command));
        return false;
    case ScpiCommand::Syntax::UnterminatedString:
        queueEvent(-150, "String data error" + input(command));
        return false;
    case ScpiCommand::Syntax::Ok:
        break;
    }
    if (command.query) {
        if (const Getter getter = handlers().getters.value(command.header)) {
            if (!noArguments(command))
                return false;
            reply = (this->*getter)(command);
            return true;
        }
    } else if (const Setter setter = handlers().setters.value(command.header)) {
        (this->*setter)(command);
        return false;
    }
    queueEvent(-113, "Undefined header; Command not found" + input(command));
    return false;
}

void SimScope::powerOn() {
    reset();
    m_headers = true;
    m_verbose = true;
    m_eventEnable = 255;
    m_serviceEnable = 0;
    m_deviceEventEnable = 255;
    m_eventStatus = 0;
    m_events.clear();
    m_saveDoneAtMs = 0;
    m_saving = false;
    m_storage.setCurrentFolder(QStringLiteral("E:\\"));
}

void SimScope::advanceTime() {
    m_messageAtMs = m_clock.nowMs();
    if (m_triggerAtMs && m_messageAtMs >= *m_triggerAtMs)
        completeAcquisition(*m_triggerAtMs);
    if (m_saving && m_messageAtMs >= m_saveDoneAtMs) {
        m_saving = false;
        if (m_observer)
            m_observer("saved", m_saveDoneAtMs);
    }
}

void SimScope::reset() {
    m_stopAfter = "RUNST";
    m_running = true;
    m_triggerAtMs.reset();
    m_waveformFormat = "INTERNAL";
    m_gating = "NON";
    m_imageFormat = "PNG";
    m_imageLayout = "LAN";
    m_inkSaver = false;
    m_triggerMode = "AUTO";
}

void SimScope::arm() {
    m_running = true;
    if (m_stopAfter != "SEQ" || m_triggerAtMs)
        return;
    std::exponential_distribution<double> wait(1.0 / std::max(m_triggerMeanSeconds, 1e-9));
    const double waitMs = m_triggerMeanSeconds > 0 ? wait(m_random) * 1000.0 : 0.0;
    m_triggerAtMs = m_clock.nowMs() + std::llround(std::min(waitMs, 1e9));
}

void SimScope::completeAcquisition(qint64 atMs) {
    if (m_observer)
        m_observer("triggered", atMs);
    m_triggerAtMs.reset();
    m_running = false;
    ++m_acquisitions;
}

quint64 SimScope::takeAcquisition() {
    // A running scope shows a new record every time one is looked at.
    if (m_running && m_stopAfter == "RUNST")
        ++m_acquisitions;
    return m_acquisitions;
}

void SimScope::startSave() {
    const qint64 now = m_clock.nowMs();
    m_saveDoneAtMs = std::max(m_saveDoneAtMs, now) + std::llround(m_saveSeconds * 1000.0);
    m_saving = true;
}

bool SimScope::writeFile(const QString &hostPath, const QByteArray &bytes,
                         QByteArrayView scopeName) {
    QSaveFile file(hostPath);
    const bool written = QDir().mkpath(QFileInfo(hostPath).path()) &&
                         file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() &&
                         file.commit();
    if (!written)
        queueEvent(-250, "Mass storage error; cannot write '" + scopeName.toByteArray() + "'");
    return written;
}

bool SimScope::noArguments(const ScpiCommand &command) {
    if (command.arguments.isEmpty())
        return true;
    queueEvent(-108, "Parameter not allowed" + input(command));
    return false;
}

std::optional<QByteArray> SimScope::keyword(const ScpiCommand &command,
                                            std::initializer_list<const char *> allowed) {
    if (command.arguments.size() != 1) {
        queueEvent(command.arguments.isEmpty() ? -109 : -108,
                   QByteArray(command.arguments.isEmpty() ? "Missing parameter"
                                                          : "Parameter not allowed") +
                       input(command));
        return std::nullopt;
    }
    const QByteArray word = ScpiParser::shortForm(command.arguments.front());
    for (const char *candidate : allowed) {
        if (word == candidate)
            return word;
    }
    queueEvent(-224, "Illegal parameter value" + input(command));
    return std::nullopt;
}

std::optional<bool> SimScope::boolean(const ScpiCommand &command) {
    const QByteArray word =
        command.arguments.size() == 1 ? command.arguments.front() : QByteArray();
    bool isNumber = false;
    const double value = word.toDouble(&isNumber);
    if (isNumber)
        return std::lround(value) != 0;
    const auto on = keyword(command, {"ON", "OFF"});
    if (!on)
        return std::nullopt;
    return *on == "ON";
}

std::optional<int> SimScope::mask(const ScpiCommand &command) {
    bool isNumber = false;
    const int value =
        command.arguments.size() == 1 ? command.arguments.front().toInt(&isNumber) : -1;
    if (isNumber && value >= 0 && value <= 255)
        return value;
    queueEvent(command.arguments.isEmpty() ? -109 : -224,
               "Illegal parameter value" + input(command));
    return std::nullopt;
}

std::optional<QString> SimScope::fileName(const ScpiCommand &command, const QByteArray &argument) {
    const auto name = ScpiParser::unquote(argument);
    if (!name) {
        queueEvent(-224, "Illegal parameter value" + input(command));
        return std::nullopt;
    }
    const auto hostPath = m_storage.hostPath(QString::fromUtf8(*name));
    if (!hostPath) {
        queueEvent(-257, "File name error" + input(command));
        return std::nullopt;
    }
    if (m_driveFault != SimOptions::DriveFault::None) {
        const QByteArray drive = m_storage.absoluteName(QString::fromUtf8(*name))->left(2).toUtf8();
        queueEvent(-250, "Mass storage error; " + drive +
                             (m_driveFault == SimOptions::DriveFault::Missing ? " drive not found"
                                                                              : " drive full"));
        return std::nullopt;
    }
    return hostPath;
}

void SimScope::countSave() {
    if (++m_saves == m_powerCycleAfter)
        m_powerCycleDue = true;
}

// Keywords come back in their long form unless VERB is off.
QByteArray SimScope::keywordReply(const QByteArray &word) const {
    return m_verbose ? ScpiParser::longForm(word) : word;
}

void SimScope::clearStatus(const ScpiCommand &command) {
    if (!noArguments(command))
        return;
    m_events.clear();
    m_eventStatus = 0;
}

void SimScope::setEventEnable(const ScpiCommand &command) {
    m_eventEnable = mask(command).value_or(m_eventEnable);
}

void SimScope::setServiceEnable(const ScpiCommand &command) {
    m_serviceEnable = mask(command).value_or(m_serviceEnable);
}

void SimScope::setDeviceEventEnable(const ScpiCommand &command) {
    m_deviceEventEnable = mask(command).value_or(m_deviceEventEnable);
}

void SimScope::resetCommand(const ScpiCommand &command) {
    if (noArguments(command))
        reset();
}

void SimScope::wait(const ScpiCommand &command) {
    noArguments(command);
}

void SimScope::setHeaders(const ScpiCommand &command) {
    m_headers = boolean(command).value_or(m_headers);
}

void SimScope::setVerbose(const ScpiCommand &command) {
    m_verbose = boolean(command).value_or(m_verbose);
}

void SimScope::setStopAfter(const ScpiCommand &command) {
    if (const auto mode = keyword(command, {"SEQ", "RUNST"})) {
        m_stopAfter = *mode;
        if (m_stopAfter == "RUNST")
            m_triggerAtMs.reset();
    }
}

void SimScope::setAcquisitionState(const ScpiCommand &command) {
    const QByteArray word = command.arguments.size() == 1
                                ? ScpiParser::shortForm(command.arguments.front())
                                : QByteArray();
    std::optional<bool> run;
    if (word == "RUN" || word == "STOP")
        run = word == "RUN";
    else
        run = boolean(command);
    if (!run)
        return;
    if (*run) {
        arm();
    } else {
        m_running = false;
        m_triggerAtMs.reset();
    }
}

void SimScope::setWaveformFormat(const ScpiCommand &command) {
    m_waveformFormat = keyword(command, {"INTERNAL", "SPREADS"}).value_or(m_waveformFormat);
}

void SimScope::setGating(const ScpiCommand &command) {
    m_gating = keyword(command, {"NON", "CURS", "SCREEN"}).value_or(m_gating);
}

void SimScope::saveWaveforms(const ScpiCommand &command) {
    countSave();
    if (command.arguments.size() != 2) {
        queueEvent(-109, "Missing parameter" + input(command));
        return;
    }
    const QByteArray source = ScpiParser::shortForm(command.arguments[0]);
    if (source != "ALL" && source != "CH1" && source != "CH2") {
        queueEvent(-224, "Illegal parameter value" + input(command));
        return;
    }
    const auto base = fileName(command, command.arguments[1]);
    if (!base)
        return;
    const bool internal = m_waveformFormat == "INTERNAL";
    const quint64 acquisition = takeAcquisition();
    if (m_noFiles) {
        startSave();
        return;
    }
    for (int channel = 1; channel <= WaveformSource::ChannelCount; ++channel) {
        const QByteArray name = "CH" + QByteArray::number(channel);
        if (source != "ALL" && source != name)
            continue;
        const Waveform &waveform = m_waveforms.waveform(channel, acquisition);
        const QString path = *base + u'_' + QLatin1String(name) +
                             (internal ? QStringLiteral(".isf") : QStringLiteral(".csv"));
        if (!writeFile(path, internal ? IsfWriter::toBytes(waveform) : CsvWriter::toBytes(waveform),
                       command.arguments[1]))
            return;
    }
    startSave();
}

void SimScope::setImageFormat(const ScpiCommand &command) {
    m_imageFormat = keyword(command, {"BMP", "PNG", "TIFF"}).value_or(m_imageFormat);
}

void SimScope::setImageLayout(const ScpiCommand &command) {
    m_imageLayout = keyword(command, {"LAN", "PORTR"}).value_or(m_imageLayout);
}

void SimScope::setInkSaver(const ScpiCommand &command) {
    m_inkSaver = boolean(command).value_or(m_inkSaver);
}

void SimScope::saveImage(const ScpiCommand &command) {
    countSave();
    if (command.arguments.size() != 1) {
        queueEvent(-109, "Missing parameter" + input(command));
        return;
    }
    const auto path = fileName(command, command.arguments[0]);
    if (!path)
        return;
    const quint64 acquisition = takeAcquisition();
    if (m_noFiles) {
        startSave();
        return;
    }
    QList<Waveform> channels;
    for (int channel = 1; channel <= WaveformSource::ChannelCount; ++channel)
        channels.append(m_waveforms.waveform(channel, acquisition));
    const QImage image =
        ScreenRenderer::render(channels, acquisition,
                               m_imageLayout == "LAN" ? ScreenRenderer::Layout::Landscape
                                                      : ScreenRenderer::Layout::Portrait,
                               m_inkSaver);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, m_imageFormat.constData())) {
        queueEvent(-250, "Mass storage error; cannot encode " + m_imageFormat);
        return;
    }
    if (writeFile(*path, bytes, command.arguments[0]))
        startSave();
}

void SimScope::changeFolder(const ScpiCommand &command) {
    const auto name = command.arguments.size() == 1 ? ScpiParser::unquote(command.arguments.front())
                                                    : std::nullopt;
    if (!name || !m_storage.setCurrentFolder(QString::fromUtf8(*name)))
        queueEvent(-257, "File name error" + input(command));
}

void SimScope::forceTrigger(const ScpiCommand &command) {
    if (!command.arguments.isEmpty() && !keyword(command, {"FORC"}))
        return;
    if (m_triggerAtMs)
        completeAcquisition(m_clock.nowMs());
    else if (m_running)
        ++m_acquisitions;
}

void SimScope::setTriggerMode(const ScpiCommand &command) {
    m_triggerMode = keyword(command, {"AUTO", "NORM"}).value_or(m_triggerMode);
}

QByteArray SimScope::identify(const ScpiCommand &) {
    return m_idn;
}

QByteArray SimScope::operationComplete(const ScpiCommand &) {
    return "1";
}

QByteArray SimScope::eventStatus(const ScpiCommand &) {
    return QByteArray::number(std::exchange(m_eventStatus, 0));
}

QByteArray SimScope::eventEnable(const ScpiCommand &) {
    return QByteArray::number(m_eventEnable);
}

QByteArray SimScope::serviceEnable(const ScpiCommand &) {
    return QByteArray::number(m_serviceEnable);
}

QByteArray SimScope::deviceEventEnable(const ScpiCommand &) {
    return QByteArray::number(m_deviceEventEnable);
}

QByteArray SimScope::headers(const ScpiCommand &) {
    return flag(m_headers);
}

QByteArray SimScope::verbose(const ScpiCommand &) {
    return flag(m_verbose);
}

QByteArray SimScope::allEvents(const ScpiCommand &) {
    if (m_events.isEmpty())
        return "0," + quoted("No events to report - queue empty");
    const QByteArray all = m_events.join(',');
    m_events.clear();
    return all;
}

QByteArray SimScope::busy(const ScpiCommand &) {
    // The time the message came, so a save that BUSY? reports done has
    // been noticed as done.
    const bool saving = m_messageAtMs < m_saveDoneAtMs;
    return flag(m_busyForever || m_triggerAtMs || saving);
}

QByteArray SimScope::stopAfter(const ScpiCommand &) {
    return keywordReply(m_stopAfter);
}

QByteArray SimScope::acquisitionState(const ScpiCommand &) {
    return flag(m_running);
}

QByteArray SimScope::acquisitionCount(const ScpiCommand &) {
    return QByteArray::number(m_acquisitions);
}

QByteArray SimScope::waveformFormat(const ScpiCommand &) {
    return keywordReply(m_waveformFormat);
}

QByteArray SimScope::gating(const ScpiCommand &) {
    return keywordReply(m_gating);
}

QByteArray SimScope::imageFormat(const ScpiCommand &) {
    return keywordReply(m_imageFormat);
}

QByteArray SimScope::imageLayout(const ScpiCommand &) {
    return keywordReply(m_imageLayout);
}

QByteArray SimScope::inkSaver(const ScpiCommand &) {
    return flag(m_inkSaver);
}

QByteArray SimScope::folderListing(const ScpiCommand &) {
    const auto folder = m_storage.hostFolder(m_storage.currentFolder());
    QByteArrayList names;
    if (folder && m_driveFault != SimOptions::DriveFault::Missing) {
        const QStringList entries =
            QDir(*folder).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
        for (const QString &entry : entries)
            names.append(quoted(entry.toUtf8()));
    }
    return names.join(',');
}

QByteArray SimScope::currentFolder(const ScpiCommand &) {
    return quoted(m_storage.currentFolder().toUtf8());
}

QByteArray SimScope::triggerMode(const ScpiCommand &) {
    return keywordReply(m_triggerMode);
}

QByteArray SimScope::curve(const ScpiCommand &) {
    return IsfWriter::curveBlock(m_waveforms.waveform(1, takeAcquisition()));
}
