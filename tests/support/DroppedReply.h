#pragma once

#include "InstrumentControl.h"

#include <QTest>

#include <malloc.h>

// Bytes the process holds from the allocator, mapped blocks included.
inline qint64 heapInUse() {
    const struct mallinfo2 info = ::mallinfo2();
    return qint64(info.uordblks + info.hblkhd);
}

// Drops the reply to `command` and checks that the link took all of it in,
// so the next query gets its own reply, and kept none of it: the heap has
// not grown by as much as a MiB.
inline void verifyDroppedWhole(InstrumentControl &control, const QString &command) {
    const qint64 before = heapInUse();
    control.queryAndDrop(command);
    QVERIFY2(control.status() == 0, qPrintable(control.lastError()));
    const qint64 grown = heapInUse() - before;
    QVERIFY2(grown < 1024 * 1024, qPrintable(QString::number(grown)));
    QCOMPARE(control.query("BUSY?"), "0");
}
