#include "FakeUsbTree.h"
#include "TransportError.h"
#include "UsbtmcTransport.h"

#include <QTest>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

using namespace std::chrono_literals;

// The USB link with a pseudo-terminal standing in for /dev/usbtmcN: the
// test holds the instrument's end. Each reply is written whole, since the
// driver hands over one message per read.
class tst_UsbtmcTransport : public QObject {
    Q_OBJECT

private slots:
    void replies_data();
    void replies();
    void silentInstrumentTimesOut();
    void replugUnderAnotherNumberIsFoundAgain();
};

namespace {

const auto Descriptor = QStringLiteral("USB0::0xFEED::0x0042::C012345::INSTR");

// The instrument's end of a pty, in raw mode so bytes pass unchanged.
class Instrument {
public:
    Instrument() {
        m_fd = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m_fd < 0 || ::grantpt(m_fd) != 0 || ::unlockpt(m_fd) != 0)
            return;
        m_deviceFile = QString::fromLocal8Bit(::ptsname(m_fd));
        const int device = ::open(::ptsname(m_fd), O_RDWR | O_NOCTTY);
        termios raw{};
        ::tcgetattr(device, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(device, TCSANOW, &raw);
        ::close(device);
    }
    ~Instrument() { unplug(); }

    QString deviceFile() const { return m_deviceFile; }

    // What the host sent, waiting up to a few seconds for a line.
    QByteArray received() {
        QByteArray got;
        while (!got.endsWith('\n')) {
            pollfd watched{m_fd, POLLIN, 0};
            if (::poll(&watched, 1, 5000) <= 0)
                break;
            char chunk[256];
            const ssize_t n = ::read(m_fd, chunk, sizeof chunk);
            if (n <= 0)
                break;
            got.append(chunk, n);
        }
        return got;
    }
    void reply(const QByteArray &bytes) {
        QCOMPARE(::write(m_fd, bytes.data(), bytes.size()), bytes.size());
    }
    void unplug() {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd = -1;
    QString m_deviceFile;
};

UsbtmcTransport transportFor(const FakeUsbTree &tree) {
    return UsbtmcTransport(*ResourceDescriptor::parse(Descriptor),
                           UsbtmcDevices(tree.sysfsRoot(), tree.devRoot()));
}

} // namespace

void tst_UsbtmcTransport::replies_data() {
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QByteArray>("reply");

    QTest::addRow("line") << QByteArray("0\n") << QByteArray("0");
    QTest::addRow("carriage return and line feed") << QByteArray("ID,1\r\n") << QByteArray("ID,1");
    // The driver tells where a message ends even without a terminator.
    QTest::addRow("message end without terminator") << QByteArray("42") << QByteArray("42");
    QTest::addRow("block holding a line feed")
        << QByteArray("#15ab\ncd\n") << QByteArray("#15ab\ncd");
}

void tst_UsbtmcTransport::replies() {
    QFETCH(QByteArray, sent);
    QFETCH(QByteArray, reply);

    Instrument instrument;
    FakeUsbTree tree;
    tree.add({0, "FEED", "0042", "C012345"});
    tree.linkDeviceFile(0, instrument.deviceFile());
    auto transport = transportFor(tree);

    // The driver's ioctls fail on a pty; the transport carries on without.
    transport.clear();
    transport.write("BUSY?", 2s);
    QCOMPARE(instrument.received(), QByteArray("BUSY?\n"));
    instrument.reply(sent);
    QCOMPARE(transport.read('\n', 2s).toByteArray(), reply);
}

void tst_UsbtmcTransport::silentInstrumentTimesOut() {
    Instrument instrument;
    FakeUsbTree tree;
    tree.add({0, "FEED", "0042", "C012345"});
    tree.linkDeviceFile(0, instrument.deviceFile());
    auto transport = transportFor(tree);

    transport.write("*IDN?", 2s);
    QCOMPARE(instrument.received(), QByteArray("*IDN?\n"));
    try {
        transport.read('\n', 100ms);
        QFAIL("a reply without an answer");
    } catch (const TransportError &error) {
        QVERIFY2(error.reason().contains("timed out"), qPrintable(error.reason()));
    }
    // The link opens again for the next exchange.
    transport.write("BUSY?", 2s);
    QCOMPARE(instrument.received(), QByteArray("BUSY?\n"));
    instrument.reply("0\n");
    QCOMPARE(transport.read('\n', 2s).toByteArray(), QByteArray("0"));
}

// Unplugged mid-run, the instrument comes back under another device
// number: the failed exchange is reported, the next one finds it.
void tst_UsbtmcTransport::replugUnderAnotherNumberIsFoundAgain() {
    auto first = std::make_unique<Instrument>();
    FakeUsbTree tree;
    tree.add({0, "FEED", "0042", "C012345"});
    tree.linkDeviceFile(0, first->deviceFile());
    auto transport = transportFor(tree);
    transport.write("*IDN?", 2s);
    QCOMPARE(first->received(), QByteArray("*IDN?\n"));

    first.reset();
    tree.unplug(0);
    QVERIFY_THROWS_EXCEPTION(TransportError, transport.read('\n', 2s));
    transport.clear();
    try {
        transport.write("BUSY?", 2s);
        QFAIL("written to an unplugged instrument");
    } catch (const TransportError &error) {
        QVERIFY2(error.reason().contains("not connected"), qPrintable(error.reason()));
    }

    Instrument second;
    tree.add({1, "FEED", "0042", "C012345", "00", "1-3"});
    tree.linkDeviceFile(1, second.deviceFile());
    transport.write("BUSY?", 2s);
    QCOMPARE(second.received(), QByteArray("BUSY?\n"));
    second.reply("1\n");
    QCOMPARE(transport.read('\n', 2s).toByteArray(), QByteArray("1"));
}

QTEST_GUILESS_MAIN(tst_UsbtmcTransport)
#include "tst_UsbtmcTransport.moc"
