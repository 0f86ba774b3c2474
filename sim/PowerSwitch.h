#pragma once

#include <QObject>
#include <QTimer>

class SimScope;

// The scope's mains switch for the power cycle fault: off drops every
// connection and refuses new ones; after the set time the scope is back in
// its power-on state and the servers listen again.
class PowerSwitch : public QObject {
    Q_OBJECT

public:
    PowerSwitch(SimScope &scope, int offMs, QObject *parent = nullptr);

    // Switches off when the scope's last message asked for it; true if it did.
    bool cycleIfDue();

signals:
    void switchedOff();
    void switchedOn();

private:
    SimScope &m_scope;
    QTimer m_offTimer;
};
