#pragma once

#include "ScpiCommand.h"
#include "SimClock.h"
#include "SimOptions.h"
#include "StoragePaths.h"
#include "WaveformSource.h"

#include <QByteArrayList>
#include <QHash>
#include <functional>
#include <random>
#include <utility>

// The simulated instrument: its settings, acquisitions, saves and event
// queue, driven one received message at a time. It knows nothing of
// sockets; time comes from the clock it is given.
class SimScope {
public:
    SimScope(const SimOptions &options, const SimClock &clock);

    // Carries out one message (without its line terminator). When it holds
    // queries, their replies, joined by ";", are appended to `reply` and the
    // result is true.
    bool handleMessage(QByteArrayView message, QByteArray &reply);

    // The status byte: error queue not empty, message available (known to
    // the link that holds the reply), event status summary and the service
    // request summary.
    int statusByte(bool messageAvailable) const;

    // Records an error event, as for a command the scope could not take: it
    // sets its bit of the event status register and joins the event queue
    // only when DESE enables that bit.
    void queueEvent(int code, QByteArrayView text);

    // Told of each trigger ("triggered") and finished save ("saved") with
    // the clock's time it happened at, when the next message notices it.
    using Observer = std::function<void(QByteArrayView what, qint64 atMs)>;
    void setObserver(Observer observer) { m_observer = std::move(observer); }

    // True once, after the message whose save command was the one the power
    // cycle fault waits for; the rest of that message was dropped.
    bool takePowerCycle() { return std::exchange(m_powerCycleDue, false); }
    // The state the scope comes back in after a power cycle.
    void powerOn();

private:
    using Setter = void (SimScope::*)(const ScpiCommand &);
    using Getter = QByteArray (SimScope::*)(const ScpiCommand &);
    struct Handlers {
        QHash<QByteArray, Setter> setters;
        QHash<QByteArray, Getter> getters;
    };
    static const Handlers &handlers();

    bool execute(const ScpiCommand &command, QByteArray &reply);
    void advanceTime();
    void reset();
    void arm();
    void completeAcquisition(qint64 atMs);
    quint64 takeAcquisition();
    void startSave();
    bool writeFile(const QString &hostPath, const QByteArray &bytes, QByteArrayView scopeName);

    // Argument checks; each queues the matching error and returns nothing
    // when the command does not fit.
    bool noArguments(const ScpiCommand &command);
    std::optional<QByteArray> keyword(const ScpiCommand &command,
                                      std::initializer_list<const char *> allowed);
    std::optional<bool> boolean(const ScpiCommand &command);
    std::optional<int> mask(const ScpiCommand &command);
    std::optional<QString> fileName(const ScpiCommand &command, const QByteArray &argument);
    void countSave();
    QByteArray keywordReply(const QByteArray &word) const;

    void clearStatus(const ScpiCommand &command);
    void setEventEnable(const ScpiCommand &command);
    void setServiceEnable(const ScpiCommand &command);
    void setDeviceEventEnable(const ScpiCommand &command);
    void resetCommand(const ScpiCommand &command);
    void wait(const ScpiCommand &command);
    void setHeaders(const ScpiCommand &command);
    void setVerbose(const ScpiCommand &command);
    void setStopAfter(const ScpiCommand &command);
    void setAcquisitionState(const ScpiCommand &command);
    void setWaveformFormat(const ScpiCommand &command);
    void setGating(const ScpiCommand &command);
    void saveWaveforms(const ScpiCommand &command);
    void setImageFormat(const ScpiCommand &command);
    void setImageLayout(const ScpiCommand &command);
    void setInkSaver(const ScpiCommand &command);
    void saveImage(const ScpiCommand &command);
    void changeFolder(const ScpiCommand &command);
    void forceTrigger(const ScpiCommand &command);
    void setTriggerMode(const ScpiCommand &command);

    QByteArray identify(const ScpiCommand &command);
    QByteArray operationComplete(const ScpiCommand &command);
    QByteArray eventStatus(const ScpiCommand &command);
    QByteArray eventEnable(const ScpiCommand &command);
    QByteArray serviceEnable(const ScpiCommand &command);
    QByteArray deviceEventEnable(const ScpiCommand &command);
    QByteArray headers(const ScpiCommand &command);
    QByteArray verbose(const ScpiCommand &command);
    QByteArray allEvents(const ScpiCommand &command);
    QByteArray busy(const ScpiCommand &command);
    QByteArray stopAfter(const ScpiCommand &command);
    QByteArray acquisitionState(const ScpiCommand &command);
    QByteArray acquisitionCount(const ScpiCommand &command);
    QByteArray waveformFormat(const ScpiCommand &command);
    QByteArray gating(const ScpiCommand &command);
    QByteArray imageFormat(const ScpiCommand &command);
    QByteArray imageLayout(const ScpiCommand &command);
    QByteArray inkSaver(const ScpiCommand &command);
    QByteArray folderListing(const ScpiCommand &command);
    QByteArray currentFolder(const ScpiCommand &command);
    QByteArray triggerMode(const ScpiCommand &command);
    QByteArray curve(const ScpiCommand &command);

    const SimClock &m_clock;
    const QByteArray m_idn;
    const double m_triggerMeanSeconds;
    const double m_saveSeconds;
    StoragePaths m_storage;
    WaveformSource m_waveforms;
    std::mt19937_64 m_random;
    QByteArrayList m_events;
    const bool m_busyForever;
    const bool m_noFiles;
    Observer m_observer;
    const SimOptions::DriveFault m_driveFault;
    const int m_powerCycleAfter;
    int m_saves = 0;
    bool m_powerCycleDue = false;

    bool m_headers;
    bool m_verbose = true;
    int m_eventEnable = 255;
    int m_serviceEnable = 0;
    int m_deviceEventEnable = 255;
    int m_eventStatus = 0;

    QByteArray m_stopAfter;
    bool m_running = false;
    std::optional<qint64> m_triggerAtMs;
    quint64 m_acquisitions = 0;
    qint64 m_saveDoneAtMs = 0;
    bool m_saving = false;
    qint64 m_messageAtMs = 0;
    QByteArray m_waveformFormat;
    QByteArray m_gating;
    QByteArray m_imageFormat;
    QByteArray m_imageLayout;
    bool m_inkSaver = false;
    QByteArray m_triggerMode;
};
