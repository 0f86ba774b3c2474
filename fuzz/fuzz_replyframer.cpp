// Arbitrary byte streams through the reply assembler that the message-based
// links (USB, a VISA library) read with, and so through the framer that every
// link shares. The first byte picks the terminator, the second seeds where
// messages end and how each arrives in chunks. Every stream is read twice,
// each message in chunks and whole. The first replies must agree: a reply may
// not depend on how its bytes arrived. (Later ones may: a block found before
// its message ended expects its terminator at the start of the next.)
#include "ReplyAssembler.h"
#include "TransportError.h"

#include <QByteArray>
#include <QByteArrayList>
#include <cstdlib>
#include <cstring>
#include <random>

namespace {

// Small, so that announced and real oversize replies reach the cap.
constexpr qsizetype MaxBytes = 4096;

struct Reading {
    QByteArrayList replies;
    bool failed = false;
};

Reading readAll(QByteArrayView stream, char terminator, unsigned seed, bool chunked) {
    std::minstd_rand messages(seed + 1);
    std::minstd_rand chunks(seed + 2);
    ReplyAssembler assembler(MaxBytes);
    Reading reading;
    qsizetype fed = 0;
    while (fed < stream.size()) {
        const qsizetype end = std::min(stream.size(), fed + qsizetype(messages() % 512) + 1);
        assembler.start(terminator);
        while (fed < end) {
            const qsizetype step = chunked ? qsizetype(chunks() % 64) + 1 : end - fed;
            const qsizetype take = std::min(step, end - fed);
            std::memcpy(assembler.chunk(), stream.data() + fed, size_t(take));
            fed += take;
            try {
                if (const auto reply = assembler.add(take, fed == end)) {
                    if (reply->size() > MaxBytes)
                        std::abort();
                    reading.replies << reply->toByteArray();
                    break;
                }
            } catch (const TransportError &) {
                reading.failed = true;
                return reading;
            }
        }
        // The rest of a message after its reply is never read.
        fed = end;
    }
    return reading;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2)
        return 0;
    const char terminator = data[0] & 1 ? '\n' : char(data[0]);
    const QByteArrayView stream(reinterpret_cast<const char *>(data) + 2, qsizetype(size) - 2);
    const Reading chunked = readAll(stream, terminator, data[1], true);
    const Reading whole = readAll(stream, terminator, data[1], false);
    if (!chunked.failed && !whole.failed && !chunked.replies.isEmpty() &&
        chunked.replies.front() != whole.replies.value(0))
        std::abort();
    return 0;
}
