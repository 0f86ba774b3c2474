#pragma once

#include "Identification.h"
#include "ResourceSource.h"

#include <QObject>
#include <QSet>
#include <QStringList>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class Cancellation;
class LanDiscovery;

// Asks every instrument that can be found who it is, off the owner's thread,
// and reports each answer on the owner's thread as it arrives. The sources
// are listed and their instruments asked one after another on one thread;
// the sources themselves are only ever called by one thread at a time. The
// LAN is searched only when searchNetwork() is called, and each host found
// there is asked on a thread of its own, in parallel. Each descriptor is
// shown once, whichever way it was found.
//
// A network search listens for answers for ListenTime and is over, the
// identifications of what answered included, within SearchLimit. Cancelling
// it, or destroying the survey, cuts every exchange short at once.
class InstrumentSurvey : public QObject {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds ListenTime{1500};
    static constexpr std::chrono::milliseconds SearchLimit{3000};

    explicit InstrumentSurvey(QList<std::shared_ptr<ResourceSource>> sources,
                              QObject *parent = nullptr);
    ~InstrumentSurvey() override;

    // Identifies what the sources list. A source that cannot be read is
    // reported as a failed identification with no descriptor.
    void surveySources();
    void searchNetwork();
    void cancelSearch();
    bool searching() const { return m_searching > 0; }
    // Tries the descriptors in order until one answers; tested() gives that
    // answer or, when none answered, every error.
    void test(const QStringList &candidates);
    bool busy() const { return m_running > 0; }

signals:
    void identified(const Identification &result);
    void tested(const Identification &result);
    void searchFinished();
    // Nothing is left running.
    void finished();

private:
    enum class Group { Sources, Network, Test };

    using Report = std::function<void(const Identification &)>;

    void identifyFound(const QString &descriptor);
    // Runs `work` on a thread of its own, and `deliver` here with each result
    // it reports.
    void launch(Group group, std::function<void(const Report &)> work, Report deliver);
    void show(const Identification &result);
    void cancelGroup(Group group);
    void ended(Group group);

    QList<std::shared_ptr<ResourceSource>> m_sources;
    // Lower-cased descriptors asked on the LAN, and shown.
    QSet<QString> m_asked;
    QSet<QString> m_shown;
    std::vector<std::thread> m_threads;
    std::vector<std::unique_ptr<LanDiscovery>> m_discoveries;
    std::mutex m_lock;
    std::map<Cancellation *, Group> m_tokens;
    // Each cancelled search starts another generation; what arrives for an
    // older one is dropped.
    std::atomic<int> m_generation = 0;
    std::atomic<bool> m_closing = false;
    int m_running = 0;
    int m_searching = 0;
    QTimer m_searchLimit;
};
