#pragma once

#include <QString>

class Exchange;
class Prompter;
class Run;

// Finds the scope at start-up: sets the I/O control up, tries the known
// instruments in order until one identifies as a supported scope family, and
// prepares that scope. The chosen instrument stays selected in the control.
// It runs on the thread that owns the instrument; the descriptors tried and
// the identification go to the status line.
class ScopeDiscovery {
public:
    // instrumentList names where the instruments are listed; the failure
    // message shows it when the list holds no instrument at all.
    ScopeDiscovery(Exchange &exchange, Run &status, Prompter &prompter, QString instrumentList);

    // True when a scope was found and prepared. Otherwise the user has been
    // told why and the program must end.
    bool run();

private:
    void initialise(const QString &identification);

    Exchange &m_exchange;
    Run &m_status;
    Prompter &m_prompter;
    QString m_instrumentList;
};
