#include "ScopeDiscovery.h"

#include "ExceptionText.h"
#include "Exchange.h"
#include "Instrument.h"
#include "Prompter.h"
#include "Run.h"
#include "SupportedScope.h"

#include <optional>

ScopeDiscovery::ScopeDiscovery(Exchange &exchange, Run &status, Prompter &prompter,
                               QString instrumentList)
    : m_exchange(exchange)
    , m_status(status)
    , m_prompter(prompter)
    , m_instrumentList(std::move(instrumentList)) {}

bool ScopeDiscovery::run() {
    Instrument &control = m_exchange.instrument();
    control.setErrorReporting(true);
    control.setSetting(Instrument::TimeoutSetting, 300);
    control.setSetting(Instrument::TerminatorSetting, 0);

    // A list that cannot be read at all means as little as no list; the
    // reason, when there is one, tells the user what to fix.
    std::optional<QStringList> resources;
    QString reason;
    try {
        resources = control.resourceList();
    } catch (...) {
        resources.reset();
        reason = QStringLiteral("\n\n") + describeCurrentException();
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
            control.setDescriptor(resource);
            m_status.setStatus(control.descriptor());
            control.deviceClear();
            const QString identification = m_exchange.scopeQuery(QStringLiteral("*IDN?"));
            if (isSupportedScope(identification)) {
                initialise(identification);
                return true;
            }
        }
    } catch (...) {
        // Any failure ends the search; the message names the instrument at
        // fault. The program then ends, as the window waits for no other word.
    }
    // With nothing listed no descriptor was ever tried; the list is what to check.
    m_prompter.ask(QStringLiteral("Error writing to ") + tried +
                       QStringLiteral(".  Please check Quillon Resource Manager."),
                   Prompter::Buttons::Ok);
    return false;
}

void ScopeDiscovery::initialise(const QString &identification) {
    m_status.setStatus(identification);
    // Written directly with error reporting on, so a refusal ends start-up.
    for (const char *command : {"DESE 0", "*ESE 0", "*SRE 0", "HEAD 0"})
        m_exchange.instrument().write(QString::fromLatin1(command));
    m_exchange.scopeWrite(QStringLiteral("*CLS"));
    m_exchange.scopeQuery(QStringLiteral("ALLEV?"));
}
