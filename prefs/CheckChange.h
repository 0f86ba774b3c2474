#pragma once

#include <QCheckBox>

#include <utility>

// Calls the slot whenever the box changes state. Qt 6.7 deprecated
// stateChanged(int) for checkStateChanged(Qt::CheckState); older Qt has only
// the first.
template <typename Receiver, typename Slot>
QMetaObject::Connection onCheckChange(QCheckBox *box, const Receiver *receiver, Slot &&slot,
                                      Qt::ConnectionType type = Qt::AutoConnection) {
#if QT_VERSION >= QT_VERSION_CHECK(6, 7, 0)
    return QObject::connect(box, &QCheckBox::checkStateChanged, receiver, std::forward<Slot>(slot),
                            type);
#else
    return QObject::connect(box, &QCheckBox::stateChanged, receiver, std::forward<Slot>(slot),
                            type);
#endif
}
