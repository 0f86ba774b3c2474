#include "ScopeDiscovery.h"

#include "CommandExchange.h"
#include "ExchangeHost.h"
#include "Instrument.h"
#include "Prompter.h"

#include <exception>
#include <optional>

namespace {

// The families this program drives, named in their identification reply.
bool isSupportedScope(const QString &identification) {
    return identification.contains(QLatin1String("KXA5")) ||
           identification.contains(QLatin1String("KXB5"));
}

} // namespace

ScopeDiscovery::ScopeDiscovery(Instrument &instrument, CommandExchange &exchange,
                               ExchangeHost &host, Prompter &prompter, QString instrumentList)
    : m_instrument(instrument)
    , m_exchange(exchange)
    , m_host(host)
    , m_prompter(prompter)
    , m_instrumentList(std::move(instrumentList)) {}

bool ScopeDiscovery::run() {
    m_instrument.setErrorReporting(true);
    m_instrument.setSetting(Instrument::TimeoutSetting, 300);
    m_instrument.setSetting(Instrument::TerminatorSetting, 0);

    // A list that cannot be read at all means as little as no list; the
    // reason, when there is one, tells the user what to fix.
    std::optional<QStringList> resources;
    QString reason;
    try {
        resources = m_instrument.resourceList();
    } catch (const std::exception &error) {
        resources.reset();
        reason = QStringLiteral("\n\n") + QString::fromUtf8(error.what());
    }
    if (!resources) {
        m_prompter.ask(QStringLiteral("Scope not found.  Please check Quillon.") + reason,
                       Prompter::Buttons::Ok);
        return false;
    }

    try {
        for (const QString &resource : std::as_const(*resources)) {
            m_instrument.setDescriptor(resource);
            m_host.setStatusText(m_instrument.descriptor());
            m_instrument.deviceClear();
            const QString identification = m_exchange.scopeQuery(QStringLiteral("*IDN?"));
            if (isSupportedScope(identification)) {
                initialise(identification);
                return true;
            }
        }
    } catch (const std::exception &) {
        // Any failure ends the search; the message names the instrument at fault.
    }
    // With nothing listed no descriptor was ever tried; the list is what to check.
    const QString tried = resources->isEmpty() ? m_instrumentList : m_instrument.descriptor();
    m_prompter.ask(QStringLiteral("Error writing to ") + tried +
                       QStringLiteral(".  Please check Quillon Resource Manager."),
                   Prompter::Buttons::Ok);
    return false;
}

void ScopeDiscovery::initialise(const QString &identification) {
    m_host.setStatusText(identification);
    // Written directly with error reporting on, so a refusal ends start-up.
    for (const char *command : {"DESE 0", "*ESE 0", "*SRE 0", "HEAD 0"})
        m_instrument.write(QString::fromLatin1(command));
    m_exchange.scopeWrite(QStringLiteral("*CLS"));
    m_exchange.scopeQuery(QStringLiteral("ALLEV?"));
}
