#pragma once

#include <QString>

#include <functional>

class CommandExchange;
class ExchangeHost;
class Instrument;
class Prompter;

// Finds the scope at start-up: sets the I/O control up, tries the known
// instruments in order until one identifies as a supported scope family, and
// prepares that scope. The chosen instrument stays selected in the control.
class ScopeDiscovery {
public:
    // instrumentList names where the instruments are listed; the failure
    // message shows it when the list holds no instrument at all.
    ScopeDiscovery(CommandExchange &exchange, ExchangeHost &host, Prompter &prompter,
                   QString instrumentList);

    // True when a scope was found and prepared. Otherwise the user has been
    // told why and the program must end.
    bool run();

private:
    void initialise(const QString &identification);
    // Runs `operation` on the instrument, where its calls belong.
    template <typename Result> Result on(std::function<Result(Instrument &)> operation);

    CommandExchange &m_exchange;
    ExchangeHost &m_host;
    Prompter &m_prompter;
    QString m_instrumentList;
};
