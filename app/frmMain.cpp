#include "frmMain.h"

#include "CheckValue.h"
#include "HelpViewer.h"
#include "Instrument.h"
#include "PreferenceSnapshot.h"
#include "Prompter.h"
#include "ScopeDiscovery.h"
#include "WindowFont.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QUrl>

namespace {

// Layout sizes are given in twips, at 15 twips per pixel (96 dpi).
constexpr int px(int twips) {
    return twips / 15;
}

// About five status repaints a second at most: the dots of a wait move on at
// a readable pace, and each repaint of the line costs more than a poll.
constexpr int StatusRefreshMs = 200;

} // namespace

frmMain::frmMain(Instrument &plexor, Prompter &prompter, const Clock &clock,
                 const MonotonicClock &monotonic, const AppPaths &paths, QWidget *parent)
    : QWidget(parent)
    , m_prompter(prompter)
    , m_paths(paths)
    , m_instance(paths.lockFile())
    , m_prefs(m_screenOptions, prompter)
    , m_store(m_prefs, m_screenOptions, paths.settingsFile())
    , m_runPrefs(m_prefs, m_screenOptions)
    , m_journal(paths.journalFile(), clock)
    , m_alerts(m_notifier)
    , m_run(*this, m_cancellation)
    , m_runPrompter(*this, prompter, m_cancellation)
    , m_exchange(plexor, m_run, monotonic, m_cancellation)
    , m_namer(clock)
    , m_loop(m_exchange, m_run, m_namer, m_runPrompter, monotonic)
    , m_runThread(m_cancellation, [this](const QString &what) {
        // A job that failed outside the run's own trap ends its run too.
        m_run.stopCurrent();
        m_runPrompter.ask(QStringLiteral("The run stopped because of an error: ") + what,
                          Prompter::Buttons::Ok, Prompter::Icon::Warning);
    }) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Mardock V1.1"));
    setWindowIcon(QIcon(QStringLiteral(":/mardock.png")));
    setFixedSize(px(2445), px(675));
    // The small window font also lets whole status texts fit.
    setFont(windowFont(font()));

    cbPrefs = addButton(QStringLiteral("cbPrefs"), QStringLiteral("Prefs"),
                        QStringLiteral("Select what to save"), 0);
    cbStart = addButton(QStringLiteral("cbStart"), QStringLiteral("Start"),
                        QStringLiteral("Start saving"), 615);
    cbStop = addButton(QStringLiteral("cbStop"), QStringLiteral("Stop"),
                       QStringLiteral("Stop Saving"), 1230);
    cbClose = addButton(QStringLiteral("cbClose"), QStringLiteral("Close"),
                        QStringLiteral("Close and exit program"), 1845);

    Text1 = new QLineEdit(QStringLiteral("Text1"), this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setToolTip(QStringLiteral("Status"));
    Text1->setReadOnly(true);
    Text1->setGeometry(0, px(360), px(2415), px(285));
    m_statusText = Text1->text();
    Text1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Text1, &QWidget::customContextMenuRequested, this, &frmMain::Text1_ContextMenu);

    m_journal.setFailureNotice([this](const QString &reason) {
        QMetaObject::invokeMethod(
            this, [this, reason] { journalNotWritten(reason); }, Qt::QueuedConnection);
    });
    if (RunAlerts::wantedBy(paths.settingsFile()))
        m_journal.setObserver([this](RunJournal::Event event, const QString &detail) {
            // Each cycle's saves would otherwise wake the window for nothing.
            if (!RunAlerts::concerns(event))
                return;
            QMetaObject::invokeMethod(
                &m_alerts, [this, event, detail] { m_alerts.heard(event, detail); },
                Qt::QueuedConnection);
        });

    m_statusRefresh.setSingleShot(true);
    m_statusRefresh.setInterval(StatusRefreshMs);
    connect(&m_statusRefresh, &QTimer::timeout, this, [this] {
        const std::lock_guard lock(m_statusLock);
        if (m_statusQueued)
            QMetaObject::invokeMethod(this, &frmMain::refreshStatus, Qt::QueuedConnection);
    });

    setTabOrder(cbPrefs, cbStart);
    setTabOrder(cbStart, cbStop);
    setTabOrder(cbStop, cbClose);
    setTabOrder(cbClose, Text1);

    connect(cbPrefs, &QPushButton::clicked, this, &frmMain::cbPrefs_Click);
    connect(cbStart, &QPushButton::clicked, this, &frmMain::cbStart_Click);
    connect(cbStop, &QPushButton::clicked, this, &frmMain::cbStop_Click);
    connect(cbClose, &QPushButton::clicked, this, &frmMain::cbClose_Click);

    connect(&m_prefs, &frmPrefs::returnToMain, this, &QWidget::show);
    connect(&m_prefs, &frmPrefs::restoreDefaultsRequested, this, [this] { loadPrefs(true); });
    connect(&m_prefs, &frmPrefs::helpRequested, this, &frmMain::show_help);
    connect(&m_screenOptions, &frmScreenOptions::helpRequested, this, &frmMain::show_help);
}

QPushButton *frmMain::addButton(const QString &name, const QString &caption, const QString &tip,
                                int leftTwips) {
    auto *button = new QPushButton(caption, this);
    button->setObjectName(name);
    button->setToolTip(tip);
    button->setGeometry(px(leftTwips), 0, px(615), px(375));
    return button;
}

bool frmMain::Form_Load() {
    m_paths.makeConfigDir();
    const SingleInstance::Outcome instance = m_instance.acquire();
    if (instance == SingleInstance::Outcome::AlreadyRunning) {
        m_prompter.ask(QStringLiteral("Mardock is already running."), Prompter::Buttons::Ok);
        return false;
    }
    if (instance == SingleInstance::Outcome::Unavailable) {
        m_prompter.ask(QStringLiteral("Mardock cannot start: it cannot make the lock file \"%1\" "
                                      "that keeps a second copy from running.")
                           .arg(m_paths.lockFile()),
                       Prompter::Buttons::Ok);
        return false;
    }
    setWindowFlag(Qt::WindowStaysOnTopHint);
    loadPrefs(false);
    setIdleButtons();
    m_runThread.post([this] {
        const bool found =
            ScopeDiscovery(m_exchange, m_run, m_runPrompter, m_paths.instrumentListFile()).run();
        // The status now holds the scope's identification.
        if (found)
            m_loop.journalTo(m_journal, m_run.status() + QStringLiteral("; ") +
                                            m_exchange.instrument().descriptor());
        QMetaObject::invokeMethod(
            this, [this, found] { emit startUpEnded(found); }, Qt::QueuedConnection);
    });
    return true;
}

frmMain::~frmMain() {
    m_run.requestStop();
    m_runPrompter.close();
}

void frmMain::loadPrefs(bool restoreDefaults) {
    m_store.loadPrefs(restoreDefaults);
}

bool frmMain::startEnabled() const {
    return cbStart->isEnabled();
}

QString frmMain::statusText() const {
    const std::lock_guard lock(m_statusLock);
    return m_statusText;
}

// From the run thread: the text waits here, and this thread is woken for it
// at most once per refresh interval.
void frmMain::showStatus(const QString &text) {
    {
        const std::lock_guard lock(m_statusLock);
        m_statusText = text;
        if (std::exchange(m_statusQueued, true))
            return;
    }
    QMetaObject::invokeMethod(this, &frmMain::refreshStatus, Qt::QueuedConnection);
}

void frmMain::refreshStatus() {
    // While the interval runs, its end shows the latest text.
    if (m_statusRefresh.isActive())
        return;
    QString text;
    {
        const std::lock_guard lock(m_statusLock);
        text = m_statusText;
        m_statusQueued = false;
    }
    // Outside the lock: whoever hears of the change may read the text again.
    Text1->setText(text);
    // A long text shows its start: the acquisition number and what happens.
    Text1->setCursorPosition(0);
    m_statusRefresh.start();
}

void frmMain::showRunState() {
    QMetaObject::invokeMethod(this, &frmMain::refreshButtons, Qt::QueuedConnection);
}

void frmMain::refreshButtons() {
    if (m_run.running())
        setRunButtons();
    else
        setIdleButtons();
}

void frmMain::setRunButtons() {
    cbStart->setEnabled(false);
    cbPrefs->setEnabled(false);
    cbClose->setEnabled(false);
    cbStop->setEnabled(true);
}

void frmMain::setIdleButtons() {
    cbStart->setEnabled(true);
    cbPrefs->setEnabled(true);
    cbClose->setEnabled(true);
    cbStop->setEnabled(false);
}

void frmMain::cbPrefs_Click() {
    hide();
    m_prefs.show();
}

void frmMain::cbStart_Click() {
    if (checkValue(m_prefs.chkWFM) != 1 && checkValue(m_prefs.chkASCII) != 1 &&
        checkValue(m_prefs.chkScreen) != 1) {
        m_prompter.ask(QStringLiteral("Nothing to selected to Save. Check Prefs"),
                       Prompter::Buttons::Ok, Prompter::Icon::Warning);
        cbPrefs_Click();
        return;
    }
    // Queued behind whatever the run thread still does, Stop's commands of
    // the last run among them.
    const Run::Number run = m_run.requestStart();
    refreshButtons();
    m_runThread.post(
        [this, run, prefs = PreferenceSnapshot(m_runPrefs)] { m_loop.run(run, prefs); });
}

void frmMain::cbStop_Click() {
    m_run.requestStop();
    refreshButtons();
}

void frmMain::cbClose_Click() {
    beginClose();
}

void frmMain::beginClose() {
    if (std::exchange(m_closing, true))
        return;
    // A run stops itself, commands and all; otherwise Close's own Stop goes
    // out, each command tried once.
    const bool runWasActive = m_run.running();
    m_run.requestStop(QStringLiteral("Closed"));
    refreshButtons();
    m_runThread.post([this, runWasActive, prefs = PreferenceSnapshot(m_runPrefs)] {
        if (!runWasActive)
            m_loop.stopWhenIdle(prefs);
        QMetaObject::invokeMethod(this, &frmMain::askClose, Qt::QueuedConnection);
    });
}

void frmMain::askClose() {
    m_closing = false;
    if (m_prompter.ask(QStringLiteral("Close program?"), Prompter::Buttons::YesNo) !=
        Prompter::Answer::Yes)
        return;
    if (!m_store.savePrefs())
        m_prompter.ask(QStringLiteral("The preferences could not be saved to ") +
                           m_paths.settingsFile() + QLatin1Char('.'),
                       Prompter::Buttons::Ok, Prompter::Icon::Warning);
    endProgram();
}

void frmMain::endProgram() {
    m_ending = true;
    if (m_helpViewer)
        m_helpViewer->close();
    hide();
    emit programEnding();
}

void frmMain::closeEvent(QCloseEvent *event) {
    // Closing through the frame is the Close button; No keeps the window.
    if (m_ending) {
        event->accept();
        return;
    }
    event->ignore();
    beginClose();
}

void frmMain::Text1_ContextMenu(const QPoint &at) {
    // Not exec(): the menu waits for the user without a loop of its own.
    auto *menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const QString journal = m_paths.journalFile();
    menu->addAction(QStringLiteral("Open the run journal"), this,
                    [journal] { QDesktopServices::openUrl(QUrl::fromLocalFile(journal)); });
    menu->addAction(QStringLiteral("Show the journal's folder"), this, [journal] {
        QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(journal).absolutePath()));
    });
    menu->popup(Text1->mapToGlobal(at));
}

// Told without a modal box, which would keep the user from stopping the run.
void frmMain::journalNotWritten(const QString &reason) {
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Mardock"),
                                QStringLiteral("The run journal cannot be written (%1). The run "
                                               "goes on without it.")
                                    .arg(reason),
                                QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("journalNotWritten"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
}

void frmMain::show_help() {
    // Each Help replaces the viewer that an earlier Help opened.
    if (m_helpViewer)
        m_helpViewer->close();
    m_helpViewer = new HelpViewer(m_paths.guideFile(), this);
    m_helpViewer->show();
    m_helpViewer->raise();
    m_helpViewer->activateWindow();
}
