#pragma once

#include <QtGlobal>

#include <malloc.h>

// Bytes the process holds from the allocator, mapped blocks included.
inline qint64 heapInUse() {
    const struct mallinfo2 info = ::mallinfo2();
    return qint64(info.uordblks + info.hblkhd);
}
