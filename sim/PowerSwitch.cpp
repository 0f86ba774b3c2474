#include "PowerSwitch.h"

#include "SimScope.h"

PowerSwitch::PowerSwitch(SimScope &scope, int offMs, QObject *parent)
    : QObject(parent)
    , m_scope(scope) {
    m_offTimer.setSingleShot(true);
    m_offTimer.setInterval(offMs);
    connect(&m_offTimer, &QTimer::timeout, this, [this] {
        m_scope.powerOn();
        emit switchedOn();
    });
}

bool PowerSwitch::cycleIfDue() {
    if (!m_scope.takePowerCycle())
        return false;
    m_offTimer.start();
    emit switchedOff();
    return true;
}
