#include "ScopeDiscovery.h"

#include "CommandExchange.h"
#include "ExchangeHost.h"
#include "Instrument.h"
#include "Prompter.h"
#include "SupportedScope.h"

#include <exception>
#include <optional>

ScopeDiscovery::ScopeDiscovery(CommandExchange &exchange, ExchangeHost &host, Prompter &prompter,
                               QString instrumentList)
    : m_exchange(exchange)
    , m_host(host)
    , m_prompter(prompter)
    , m_instrumentList(std::move(instrumentList)) {}

template <typename Result>
Result ScopeDiscovery::on(std::function<Result(Instrument &)> operation) {
    // Nothing abandons a call at start-up: no run is active, nothing closes.
    return m_exchange.onInstrument<Result>(std::move(operation)).value();
}

bool ScopeDiscovery::run() {
    on<bool>([](Instrument &control) {
        control.setErrorReporting(true);
        control.setSetting(Instrument::TimeoutSetting, 300);
        control.setSetting(Instrument::TerminatorSetting, 0);
        return true;
    });

    // A list that cannot be read at all means as little as no list; the
    // reason, when there is one, tells the user what to fix.
    std::optional<QStringList> resources;
    QString reason;
    try {
        resources = on<std::optional<QStringList>>(
            [](Instrument &control) { return control.resourceList(); });
    } catch (const std::exception &error) {
        resources.reset();
        reason = QStringLiteral("\n\n") + QString::fromUtf8(error.what());
    }
    if (!resources) {
        m_prompter.ask(QStringLiteral("Scope not found.  Please check Quillon.") + reason,
                       Prompter::Buttons::Ok);
        return false;
    }

    QString tried = m_instrumentList;
    try {
        for (const QString &resource : std::as_const(*resources)) {
            tried = resource;
            m_host.setStatusText(on<QString>([resource](Instrument &control) {
                control.setDescriptor(resource);
                return control.descriptor();
            }));
            on<bool>([](Instrument &control) {
                control.deviceClear();
                return true;
            });
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
    m_prompter.ask(QStringLiteral("Error writing to ") + tried +
                       QStringLiteral(".  Please check Quillon Resource Manager."),
                   Prompter::Buttons::Ok);
    return false;
}

void ScopeDiscovery::initialise(const QString &identification) {
    m_host.setStatusText(identification);
    // Written directly with error reporting on, so a refusal ends start-up.
    on<bool>([](Instrument &control) {
        for (const char *command : {"DESE 0", "*ESE 0", "*SRE 0", "HEAD 0"})
            control.write(QString::fromLatin1(command));
        return true;
    });
    m_exchange.scopeWrite(QStringLiteral("*CLS"));
    m_exchange.scopeQuery(QStringLiteral("ALLEV?"));
}
