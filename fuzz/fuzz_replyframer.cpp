// Arbitrary byte streams through the reply framer, read the way the socket
// transport reads them. The first byte picks the terminator, the second seeds
// the chunk sizes; every stream is framed twice, in chunks and whole, and the
// replies must agree: framing may not depend on how the bytes arrived.
#include "ReplyFramer.h"
#include "TransportError.h"

#include <QByteArray>
#include <QByteArrayList>
#include <cstdlib>
#include <random>

namespace {

// Small, so that announced and real oversize replies reach the cap.
constexpr qsizetype MaxBytes = 4096;

struct Reading {
    QByteArrayList replies;
    bool failed = false;
};

Reading frameAll(QByteArrayView stream, char terminator, unsigned seed, bool chunked) {
    std::minstd_rand chunks(seed + 1);
    Reading reading;
    QByteArray buffer;
    qsizetype fed = 0;
    bool terminatorMayFollow = false;
    while (!reading.failed) {
        ReplyFramer framer(terminator, MaxBytes);
        std::optional<ReplyFramer::Frame> frame;
        for (;;) {
            if (terminatorMayFollow && !buffer.isEmpty()) {
                terminatorMayFollow = false;
                if (buffer.front() == terminator)
                    buffer.remove(0, 1);
            }
            try {
                frame = framer.find(buffer);
            } catch (const TransportError &) {
                reading.failed = true;
                break;
            }
            if (frame || fed == stream.size())
                break;
            const qsizetype step = chunked ? qsizetype(chunks() % 64) + 1 : stream.size() - fed;
            const qsizetype take = std::min(step, stream.size() - fed);
            buffer.append(stream.sliced(fed, take));
            fed += take;
        }
        if (!frame)
            break;
        if (frame->consumed <= 0 || frame->length > frame->consumed ||
            frame->consumed > buffer.size())
            std::abort();
        reading.replies << buffer.first(frame->length);
        buffer.remove(0, frame->consumed);
        terminatorMayFollow = frame->terminatorMayFollow;
    }
    return reading;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2)
        return 0;
    const char terminator = data[0] & 1 ? '\n' : char(data[0]);
    const QByteArrayView stream(reinterpret_cast<const char *>(data) + 2, qsizetype(size) - 2);
    const Reading chunked = frameAll(stream, terminator, data[1], true);
    const Reading whole = frameAll(stream, terminator, data[1], false);
    if (!chunked.failed && !whole.failed && chunked.replies != whole.replies)
        std::abort();
    return 0;
}
