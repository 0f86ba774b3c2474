#include "BenchProgram.h"

#include "CheckValue.h"
#include "InstrumentListFile.h"
#include "SimulatorProcess.h"
#include "Vxi11Transport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTimer>

#include <memory>
#include <stdexcept>

namespace {

const QString Vxi11Descriptor = QStringLiteral("TCPIP0::127.0.0.1::inst0::INSTR");

class Vxi11Source : public ResourceSource {
public:
    explicit Vxi11Source(quint16 port)
        : m_port(port) {}
    std::optional<QStringList> descriptors() override { return QStringList{Vxi11Descriptor}; }
    std::unique_ptr<Transport> open(const QString &descriptor) override {
        if (descriptor != Vxi11Descriptor)
            return nullptr;
        return std::make_unique<Vxi11Transport>(QStringLiteral("127.0.0.1"),
                                                QStringLiteral("inst0"), m_port);
    }

private:
    quint16 m_port;
};

// Runs the event loop until Start is enabled again, for a run that goes on
// after Start's click has returned.
class UntilIdle : public QObject {
public:
    explicit UntilIdle(QPushButton &start)
        : m_start(start) {
        m_start.installEventFilter(this);
    }
    void wait() {
        if (!m_start.isEnabled())
            m_loop.exec();
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() == QEvent::EnabledChange && m_start.isEnabled())
            m_loop.quit();
        return QObject::eventFilter(watched, event);
    }

private:
    QPushButton &m_start;
    QEventLoop m_loop;
};

} // namespace

BenchProgram::BenchProgram(const SimulatorProcess &sim, Link link)
    : m_paths(m_dir.filePath(QStringLiteral("config")), m_dir.path(), QStringLiteral("mardock"),
              m_dir.path(), m_dir.filePath(QStringLiteral("state")))
    , m_plexor(
          {link == Link::Vxi11
               ? std::shared_ptr<ResourceSource>(std::make_shared<Vxi11Source>(sim.vxi11Port()))
               : std::make_shared<InstrumentListFile>(m_paths.instrumentListFile())}) {
    QFile list(m_paths.instrumentListFile());
    if (!m_paths.makeConfigDir() || !list.open(QIODevice::WriteOnly | QIODevice::Text) ||
        list.write(sim.descriptor().toUtf8()) < 0)
        throw std::runtime_error("cannot write the instrument list");
    list.close();
    m_window = std::make_unique<frmMain>(m_plexor, m_prompter, m_clock, m_monotonic, m_paths);
    QSignalSpy ended(m_window.get(), &frmMain::startUpEnded);
    if (!m_window->Form_Load() || (ended.isEmpty() && !ended.wait(60000)) ||
        !ended.constFirst().constFirst().toBool())
        throw std::runtime_error(std::string("the program did not start: ") +
                                 qPrintable(m_prompter.asked.join(QLatin1Char(' '))));
    m_window->show();
}

void BenchProgram::choose(const Choice &choice) {
    m_window->cbPrefs->click();
    frmPrefs &prefs = m_window->prefsDialog();
    setCheckValue(prefs.chkUseTimestamps, 0);
    setCheckValue(prefs.chkWFM, choice.isf);
    setCheckValue(prefs.chkASCII, choice.csv);
    setCheckValue(prefs.chkScreen, choice.image);
    setCheckValue(prefs.chkStopAfter, choice.limit > 0);
    prefs.txtAcqLimit->setText(QString::number(choice.limit));
    setCheckValue(prefs.chkRestoreRun, choice.restore);
    setCheckValue(prefs.chkAsk, 0);
    prefs.hsDelay->setValue(choice.delaySeconds);
    prefs.cbScreenOptions->click();
    frmScreenOptions &options = m_window->screenOptionsDialog();
    options.cboFileType->setCurrentIndex(options.cboFileType->findText(choice.imageType));
    options.cbOK->click();
    prefs.cbOK->click();
}

double BenchProgram::run() {
    QElapsedTimer timer;
    timer.start();
    UntilIdle idle(*m_window->cbStart);
    m_window->cbStart->click();
    idle.wait();
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    // Start is enabled at once, while the run thread still sends Stop's
    // commands (a device clear reconnects): another client on the same
    // simulator must not start before they are out.
    onRunThread([] {});
    return seconds;
}

void BenchProgram::redirect(const QString &descriptor) {
    onRunThread([this, descriptor] { m_plexor.setDescriptor(descriptor); });
}

// Runs `job` behind whatever the run thread still has queued, and waits for
// it in an event loop, so the window goes on answering meanwhile.
void BenchProgram::onRunThread(std::function<void()> job) {
    QEventLoop loop;
    QTimer::singleShot(30000, &loop, [&loop] { loop.exit(1); });
    m_window->onRunThread([job = std::move(job), &loop] {
        job();
        QMetaObject::invokeMethod(
            &loop, [&loop] { loop.exit(0); }, Qt::QueuedConnection);
    });
    if (loop.exec() != 0)
        throw std::runtime_error("the run thread did not get through its queue");
}
