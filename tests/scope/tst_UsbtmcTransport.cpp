#include "FakeUsbTree.h"
#include "TransportError.h"
#include "UsbtmcTransport.h"

#include <QTest>

#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

using namespace std::chrono_literals;

// The USB link with a pseudo-terminal standing in for /dev/usbtmcN: the
// test holds the instrument's end. Each reply is written whole, since the
// driver hands over one message per read.

namespace {

// The instrument's end of a pty, in raw mode so bytes pass unchanged.
class Instrument {
public:
    Instrument() {
        termios raw{};
        ::cfmakeraw(&raw);
        int device = -1;
        if (::openpty(&m_fd, &device, nullptr, &raw, nullptr) != 0)
            return;
        m_deviceFile = QString::fromLocal8Bit(::ttyname(device));
        ::close(device);
    }
    ~Instrument() { ::close(m_fd); }

    // Plugs it in as /dev/usbtmc<node>, on its own USB port.
    void plugInto(FakeUsbTree &tree, int node) const {
        tree.add({node, "FEED", "0042", "C012345", "00", QStringLiteral("1-%1").arg(node)});
        tree.linkDeviceFile(node, m_deviceFile);
    }
    // What the host sent, waiting a few seconds for it.
    QByteArray received() {
        pollfd watched{m_fd, POLLIN, 0};
        char chunk[256];
        const ssize_t got = ::poll(&watched, 1, 5000) > 0 ? ::read(m_fd, chunk, sizeof chunk) : 0;
        return QByteArray(chunk, std::max<ssize_t>(got, 0));
    }
    void reply(const QByteArray &bytes) {
        QCOMPARE(::write(m_fd, bytes.data(), bytes.size()), bytes.size());
    }

private:
    int m_fd = -1;
    QString m_deviceFile;
};

UsbtmcTransport transportFor(const FakeUsbTree &tree) {
    return UsbtmcTransport(*ResourceDescriptor::parse("USB0::0xFEED::0x0042::C012345::INSTR"),
                           UsbtmcDevices(tree.sysfsRoot(), tree.devRoot()));
}

QString failure(UsbtmcTransport &transport, QByteArrayView command,
                std::chrono::milliseconds timeout) {
    try {
        transport.write(command, timeout);
        transport.read('\n', timeout);
    } catch (const TransportError &error) {
        return error.reason();
    }
    return {};
}

} // namespace

class tst_UsbtmcTransport : public QObject {
    Q_OBJECT

private slots:
    void exchanges() {
        Instrument instrument;
        FakeUsbTree tree;
        instrument.plugInto(tree, 0);
        auto transport = transportFor(tree);
        // The driver's ioctls fail on a pty; the transport carries on without.
        transport.clear();

        // The driver tells where a message ends, with or without a
        // terminator, and a block may hold line feeds.
        const QList<std::pair<QByteArray, QByteArray>> replies{
            {"0\n", "0"}, {"42", "42"}, {"#15ab\ncd\n", "#15ab\ncd"}};
        for (const auto &[sent, reply] : replies) {
            transport.write("BUSY?", 2s);
            QCOMPARE(instrument.received(), "BUSY?\n");
            instrument.reply(sent);
            QCOMPARE(transport.read('\n', 2s).toByteArray(), reply);
        }

        // Silence fails the read in time; the link opens again for the next
        // exchange.
        QVERIFY(failure(transport, "*IDN?", 100ms).contains("timed out"));
        QCOMPARE(instrument.received(), "*IDN?\n");
        transport.write("BUSY?", 2s);
        QCOMPARE(instrument.received(), "BUSY?\n");
        instrument.reply("1\n");
        QCOMPARE(transport.read('\n', 2s).toByteArray(), "1");
    }

    // A reply nobody reads is taken in to its end, line feeds inside a block
    // and all, so the next query gets its own. (A pty hands over at most a
    // few kB per read, each read a message: the drop of a reply over many
    // chunks is left to the assembler's tests and the VISA link's.)
    void droppedReply() {
        Instrument instrument;
        FakeUsbTree tree;
        instrument.plugInto(tree, 0);
        auto transport = transportFor(tree);
        for (const QByteArray &dropped : {QByteArray("a,b,c\n"), QByteArray("#15ab\ncd\n")}) {
            transport.write("FILES:DIR?", 2s);
            QCOMPARE(instrument.received(), "FILES:DIR?\n");
            instrument.reply(dropped);
            transport.drop('\n', 2s);
            transport.write("BUSY?", 2s);
            QCOMPARE(instrument.received(), "BUSY?\n");
            instrument.reply("0\n");
            QCOMPARE(transport.read('\n', 2s).toByteArray(), "0");
        }
    }

    // Unplugged mid-run, the instrument comes back under another device
    // number: the failed exchange is reported, the next one finds it.
    void replugUnderAnotherNumberIsFoundAgain() {
        auto first = std::make_unique<Instrument>();
        FakeUsbTree tree;
        first->plugInto(tree, 0);
        auto transport = transportFor(tree);
        transport.write("*IDN?", 2s);
        QCOMPARE(first->received(), "*IDN?\n");

        first.reset();
        tree.unplug(0);
        QVERIFY_THROWS_EXCEPTION(TransportError, transport.read('\n', 2s));
        transport.clear();
        QVERIFY(failure(transport, "BUSY?", 2s).contains("not connected"));

        Instrument second;
        second.plugInto(tree, 1);
        transport.write("BUSY?", 2s);
        QCOMPARE(second.received(), "BUSY?\n");
        second.reply("1\n");
        QCOMPARE(transport.read('\n', 2s).toByteArray(), "1");
    }
};

QTEST_GUILESS_MAIN(tst_UsbtmcTransport)
#include "tst_UsbtmcTransport.moc"
