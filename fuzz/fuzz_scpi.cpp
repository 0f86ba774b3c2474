// Arbitrary messages to the simulated scope: each line of the input is one
// message, parsed and carried out with the saves landing in a scratch folder,
// while the clock moves on by an amount taken from the input.
#include "ScpiParser.h"
#include "SimClock.h"
#include "SimScope.h"

#include <QDir>
#include <QGuiApplication>
#include <QTemporaryDir>

namespace {

class SteppedClock : public SimClock {
public:
    qint64 nowMs() const override { return m_ms; }
    void advance(qint64 ms) { m_ms += ms; }

private:
    qint64 m_ms = 0;
};

struct Scratch {
    Scratch() {
        // Screen images are drawn off-screen, as the simulator itself does.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "fuzz_scpi";
        static char *argv[] = {name, nullptr};
        app = new QGuiApplication(argc, argv);
        options.storage = dir.filePath(QStringLiteral("storage"));
        options.recordLength = 64;
        options.triggerMeanSeconds = 0.01;
        options.saveSeconds = 0.01;
    }
    QGuiApplication *app;
    QTemporaryDir dir;
    SimOptions options;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static Scratch scratch;
    const QByteArrayView input(reinterpret_cast<const char *>(data), qsizetype(size));
    SteppedClock clock;
    {
        SimScope scope(scratch.options, clock);
        for (QByteArrayView message : input.toByteArray().split('\n')) {
            ScpiParser::parse(message);
            QByteArray reply;
            scope.handleMessage(message, reply);
            clock.advance(message.size() * 7);
        }
    }
    QDir(scratch.options.storage).removeRecursively();
    return 0;
}
