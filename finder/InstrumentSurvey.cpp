#include "InstrumentSurvey.h"

#include "Cancellation.h"
#include "LanDiscovery.h"
#include "LockedSource.h"

namespace {

QList<std::shared_ptr<ResourceSource>>
lockedTogether(const QList<std::shared_ptr<ResourceSource>> &sources) {
    const auto lock = std::make_shared<std::mutex>();
    QList<std::shared_ptr<ResourceSource>> locked;
    for (const auto &source : sources)
        locked << std::make_shared<LockedSource>(source, lock);
    return locked;
}

} // namespace

InstrumentSurvey::InstrumentSurvey(QList<std::shared_ptr<ResourceSource>> sources, QObject *parent)
    : QObject(parent)
    , m_sources(lockedTogether(sources)) {
    qRegisterMetaType<Identification>();
    m_searchLimit.setSingleShot(true);
    m_searchLimit.setInterval(SearchLimit);
    connect(&m_searchLimit, &QTimer::timeout, this, [this] { cancelGroup(Group::Network); });
}

InstrumentSurvey::~InstrumentSurvey() {
    m_closing = true;
    cancelGroup(Group::Sources);
    cancelGroup(Group::Network);
    cancelGroup(Group::Test);
    for (std::thread &thread : m_threads)
        thread.join();
}

void InstrumentSurvey::launch(Group group, std::function<void(const Report &)> work,
                              Report deliver) {
    ++m_running;
    const int generation = m_generation;
    m_threads.emplace_back(
        [this, group, generation, work = std::move(work), deliver = std::move(deliver)] {
            Cancellation token;
            token.install();
            {
                // Whatever cancelled the group before this thread got here counts.
                const std::lock_guard lock(m_lock);
                m_tokens.emplace(&token, group);
                if (m_closing || (group == Group::Network && generation != m_generation))
                    token.cancel();
            }
            work([&](const Identification &reported) {
                Identification result = reported;
                if (token.cancelled() && !result.answered() && group == Group::Network)
                    result.error = QStringLiteral("no answer within the search's %1 s")
                                       .arg(SearchLimit.count() / 1000);
                QMetaObject::invokeMethod(
                    this, [deliver, result] { deliver(result); }, Qt::QueuedConnection);
            });
            {
                const std::lock_guard lock(m_lock);
                m_tokens.erase(&token);
            }
            QMetaObject::invokeMethod(
                this, [this, group] { ended(group); }, Qt::QueuedConnection);
        });
}

void InstrumentSurvey::cancelGroup(Group group) {
    const std::lock_guard lock(m_lock);
    for (const auto &[token, of] : m_tokens)
        if (of == group)
            token->cancel();
    if (group == Group::Network)
        for (const auto &discovery : m_discoveries)
            discovery->cancel();
}

void InstrumentSurvey::ended(Group group) {
    if (group == Group::Network && --m_searching == 0) {
        m_searchLimit.stop();
        emit searchFinished();
    }
    if (--m_running == 0)
        emit finished();
}

void InstrumentSurvey::show(const Identification &result) {
    const QString key = result.descriptor.trimmed().toLower();
    if (!key.isEmpty() && m_shown.contains(key))
        return;
    m_shown.insert(key);
    emit identified(result);
}

void InstrumentSurvey::identifyFound(const QString &descriptor) {
    const QString key = descriptor.trimmed().toLower();
    if (m_asked.contains(key) || m_shown.contains(key))
        return;
    m_asked.insert(key);
    ++m_searching;
    const int generation = m_generation;
    launch(
        Group::Network, [descriptor](const Report &report) { report(identify(descriptor, {})); },
        [this, generation](const Identification &result) {
            if (generation == m_generation)
                show(result);
        });
}

void InstrumentSurvey::surveySources() {
    launch(
        Group::Sources,
        [sources = m_sources](const Report &report) {
            QSet<QString> asked;
            for (const auto &source : sources) {
                try {
                    for (const QString &descriptor :
                         source->descriptors().value_or(QStringList())) {
                        const QString key = descriptor.trimmed().toLower();
                        if (asked.contains(key))
                            continue;
                        asked.insert(key);
                        report(identify(descriptor, sources));
                    }
                } catch (const std::exception &error) {
                    report({QString(), QString(), QString::fromUtf8(error.what())});
                }
            }
        },
        [this](const Identification &result) { show(result); });
}

void InstrumentSurvey::searchNetwork() {
    if (searching())
        return;
    ++m_searching;
    m_searchLimit.start();
    {
        const std::lock_guard lock(m_lock);
        m_discoveries.push_back(std::make_unique<LanDiscovery>());
    }
    LanDiscovery *discovery = m_discoveries.back().get();
    const int generation = m_generation;
    launch(Group::Network,
           [this, discovery, generation](const Report &) {
               discovery->search(ListenTime, [this, generation](const QString &descriptor) {
                   QMetaObject::invokeMethod(
                       this,
                       [this, generation, descriptor] {
                           if (generation == m_generation)
                               identifyFound(descriptor);
                       },
                       Qt::QueuedConnection);
               });
           },
           {});
}

void InstrumentSurvey::cancelSearch() {
    if (!searching())
        return;
    ++m_generation;
    cancelGroup(Group::Network);
}

void InstrumentSurvey::test(const QStringList &candidates) {
    launch(
        Group::Test,
        [candidates, sources = m_sources](const Report &report) {
            QStringList errors;
            for (const QString &descriptor : candidates) {
                const Identification result = identify(descriptor, sources);
                if (result.answered() || candidates.size() == 1)
                    return report(result);
                errors << descriptor + QStringLiteral(": ") + result.error;
            }
            report({candidates.value(0), QString(), errors.join(QLatin1Char('\n'))});
        },
        [this](const Identification &result) { emit tested(result); });
}
