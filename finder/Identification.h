#pragma once

#include "ResourceSource.h"
#include "SupportedScope.h"

#include <QList>
#include <QMetaType>
#include <QString>
#include <memory>

// What one instrument answered to "*IDN?", or why it did not.
struct Identification {
    QString descriptor;
    QString reply;
    // Empty when it answered.
    QString error;

    bool answered() const { return error.isEmpty(); }
    bool supported() const { return answered() && isSupportedScope(reply); }
};
Q_DECLARE_METATYPE(Identification)

// Asks the instrument `descriptor` names for its identification on the
// calling thread, as start-up would: a fresh I/O control (opening through
// `sources` where one of them must), error reporting on, the 300 ms I/O
// timeout, a device clear, then the query. Bounded by the control's limits;
// the thread's Cancellation cuts it short.
Identification identify(const QString &descriptor,
                        const QList<std::shared_ptr<ResourceSource>> &sources);
