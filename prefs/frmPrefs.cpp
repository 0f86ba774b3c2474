#include "frmPrefs.h"

#include "CheckChange.h"
#include "CheckValue.h"
#include "FieldRules.h"
#include "Prompter.h"
#include "WindowFont.h"
#include "frmScreenOptions.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QShowEvent>
#include <QVBoxLayout>

namespace {

// The design values of the delay: up to a minute, half a minute per page.
constexpr int maxDelaySeconds = 60;
constexpr int delayPageStep = 30;

template <typename Widget> Widget *named(const char *name, const QString &toolTip = {}) {
    auto *widget = new Widget;
    widget->setObjectName(QLatin1String(name));
    widget->setToolTip(toolTip);
    return widget;
}

QCheckBox *checkBox(const char *name, const QString &caption, const QString &toolTip = {}) {
    auto *box = named<QCheckBox>(name, toolTip);
    box->setText(caption);
    return box;
}

QPushButton *button(const char *name, const QString &caption, const QString &toolTip) {
    auto *pushButton = named<QPushButton>(name, toolTip);
    pushButton->setText(caption);
    return pushButton;
}

QLabel *label(const QString &caption, const QString &toolTip = {}) {
    auto *text = new QLabel(caption);
    text->setToolTip(toolTip);
    return text;
}

// A group whose title line is its check box, with a path row and a prefix row.
QGroupBox *fileGroup(const QString &toolTip, QCheckBox *title, QLineEdit *path,
                     const QString &prefixToolTip, QLineEdit *prefix) {
    auto *group = new QGroupBox;
    group->setToolTip(toolTip);
    auto *grid = new QGridLayout(group);
    grid->addWidget(title, 0, 0, 1, 2);
    grid->addWidget(label(QStringLiteral("Path"), QStringLiteral("Scope's destination path")), 1,
                    0);
    grid->addWidget(path, 1, 1);
    grid->addWidget(label(QStringLiteral("Prefix"), prefixToolTip), 2, 0);
    grid->addWidget(prefix, 2, 1);
    return group;
}

} // namespace

frmPrefs::frmPrefs(frmScreenOptions &screenOptions, Prompter &prompter, QWidget *parent)
    : QDialog(parent)
    , m_screenOptions(screenOptions)
    , m_prompter(prompter) {
    setObjectName(QStringLiteral("frmPrefs"));
    setWindowTitle(QStringLiteral("Mardock - Prefs"));
    setFont(windowFont(font()));

    const QString pathTip = QStringLiteral("Scope's destination path");
    const QString prefixTip = QStringLiteral("filename prefix");
    chkUseTimestamps =
        checkBox("chkUseTimestamps",
                 QStringLiteral("Prefix Filenames with Date and Time (versus simple counter)"));
    hsDelay = named<QScrollBar>("hsDelay");
    txtDelay = named<QLineEdit>("txtDelay", QStringLiteral("After Trigger, before saving"));
    chkAsk = checkBox("chkAsk", QStringLiteral("Ask before saving"),
                      QStringLiteral("Ask \"Yes, No, Cancel\" before saving"));
    chkStopAfter = checkBox("chkStopAfter", QStringLiteral("Stop after saving"),
                            QStringLiteral("Automatically stop saving"));
    txtAcqLimit = named<QLineEdit>("txtAcqLimit", QStringLiteral("max number of triggers to save"));
    chkWFM = checkBox("chkWFM", QStringLiteral("Save Waveforms (as ISF files)"),
                      QStringLiteral("Save native binary WFM files"));
    txtWFMpath = named<QLineEdit>("txtWFMpath", pathTip);
    txtWFMprefix = named<QLineEdit>("txtWFMprefix", prefixTip);
    chkASCII = checkBox("chkASCII", QStringLiteral("Save Waveforms (as CSV  files)"),
                        QStringLiteral("Export waveforms to ASCII data"));
    txtASCIIpath = named<QLineEdit>("txtASCIIpath", pathTip);
    txtASCIIprefix = named<QLineEdit>("txtASCIIprefix", prefixTip);
    chkScreen = checkBox("chkScreen", QStringLiteral("Save Screen Capture"),
                         QStringLiteral("Save screen image to graphics file"));
    txtScreenPath = named<QLineEdit>("txtScreenPath", pathTip);
    txtScreenPrefix = named<QLineEdit>("txtScreenPrefix", prefixTip);
    cbScreenOptions = button("cbScreenOptions", QStringLiteral("Options..."),
                             QStringLiteral("more options for saving image files"));
    chkRestoreRun = checkBox("chkRestoreRun", QStringLiteral("After Stopping, Run Continuous"));
    cbOK = button("cbOK", QStringLiteral("OK"), QStringLiteral("Save changes and return"));
    cbCancel =
        button("cbCancel", QStringLiteral("Cancel"), QStringLiteral("Undo changes and return"));
    cbDefault =
        button("cbDefault", QStringLiteral("Defaults"), QStringLiteral("Restore Default Prefs"));
    cbHelp = button("cbHelp", QStringLiteral("Help"), QStringLiteral("View readme.mht file"));
    cbOK->setDefault(true);

    hsDelay->setOrientation(Qt::Horizontal);
    hsDelay->setRange(0, maxDelaySeconds);
    hsDelay->setPageStep(delayPageStep);
    // The delay follows the end of a thumb drag, not every step of it.
    hsDelay->setTracking(false);
    hsDelay->setFocusPolicy(Qt::StrongFocus);
    txtDelay->setReadOnly(true);
    txtDelay->setFocusPolicy(Qt::NoFocus);

    buildLayout();
    arrangeTabOrder();
    hsDelay->setFocus();

    m_snapshotChecks = {chkASCII, chkAsk, chkScreen, chkStopAfter, chkWFM};
    m_snapshotTexts = {txtAcqLimit,     txtASCIIpath, txtASCIIprefix, txtScreenPath,
                       txtScreenPrefix, txtWFMpath,   txtWFMprefix};

    m_keystrokeRules = {
        {txtAcqLimit, FieldRules::digitFilter},   {txtWFMpath, FieldRules::slashTurn},
        {txtASCIIpath, FieldRules::slashTurn},    {txtScreenPath, FieldRules::slashTurn},
        {txtWFMprefix, FieldRules::prefixFilter}, {txtASCIIprefix, FieldRules::prefixFilter}};
    m_fixUpRules = {{txtAcqLimit, FieldRules::acqLimitFixUp},
                    {txtWFMpath, FieldRules::normalizePath},
                    {txtASCIIpath, FieldRules::normalizePath},
                    {txtScreenPath, FieldRules::normalizePath}};
    for (QObject *box : m_fixUpRules.keys() + m_keystrokeRules.keys())
        box->installEventFilter(this);

    onCheckChange(chkWFM, this, &frmPrefs::chkWFM_Click);
    onCheckChange(chkASCII, this, &frmPrefs::chkASCII_Click);
    onCheckChange(chkScreen, this, &frmPrefs::chkScreen_Click);
    onCheckChange(chkStopAfter, this, &frmPrefs::chkStopAfter_Click);
    connect(hsDelay, &QScrollBar::valueChanged, this, &frmPrefs::hsDelay_Change);
    connect(cbOK, &QPushButton::clicked, this, &frmPrefs::cbOK_Click);
    connect(cbCancel, &QPushButton::clicked, this, &frmPrefs::cbCancel_Click);
    connect(cbDefault, &QPushButton::clicked, this, &frmPrefs::cbDefault_Click);
    connect(cbScreenOptions, &QPushButton::clicked, this, &frmPrefs::cbScreenOptions_Click);
    connect(cbHelp, &QPushButton::clicked, this, &frmPrefs::helpRequested);
    connect(&m_screenOptions, &frmScreenOptions::returnToPrefs, this, &frmPrefs::show);

    // The stop rule holds from the start; its change handler keeps it. The
    // other rules and the delay display start out true as well.
    chkStopAfter->setChecked(true);
    chkWFM_Click();
    chkASCII_Click();
    chkScreen_Click();
    hsDelay_Change();
}

void frmPrefs::update_publics() {
    WFMfspec = txtWFMpath->text() + txtWFMprefix->text();
    ASCIIfspec = txtASCIIpath->text() + txtASCIIprefix->text();
    ScreenFspec = txtScreenPath->text() + txtScreenPrefix->text();
}

void frmPrefs::reject() {
    cbCancel_Click();
}

bool frmPrefs::eventFilter(QObject *watched, QEvent *event) {
    auto *box = qobject_cast<QLineEdit *>(watched);
    if (box && event->type() == QEvent::KeyPress) {
        if (const KeystrokeRule rule = m_keystrokeRules.value(box))
            return filterKeystroke(box, rule, static_cast<QKeyEvent *>(event));
    } else if (box && event->type() == QEvent::FocusOut) {
        // Switching to another program or opening the box's context menu is
        // not leaving the box.
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        const FixUpRule rule = m_fixUpRules.value(box);
        if (rule && reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            const QString fixed = rule(box->text());
            if (fixed != box->text())
                box->setText(fixed);
        }
    }
    return QDialog::eventFilter(watched, event);
}

void frmPrefs::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    // A window restored from the task bar is not shown anew; the snapshot of
    // this showing stays.
    if (!event->spontaneous())
        Form_Activate();
}

void frmPrefs::mouseReleaseEvent(QMouseEvent *event) {
    if (childAt(event->position().toPoint()) != nullptr) {
        QDialog::mouseReleaseEvent(event);
        return;
    }
    m_prompter.ask(QString::number(int(event->button())), Prompter::Buttons::Ok);
}

void frmPrefs::buildLayout() {
    auto *delayRow = new QHBoxLayout;
    delayRow->addWidget(
        label(QStringLiteral("Delay"), QStringLiteral("After Trigger, before saving")));
    delayRow->addWidget(hsDelay, 1);
    delayRow->addWidget(txtDelay);
    auto *limitRow = new QHBoxLayout;
    limitRow->addWidget(chkAsk);
    limitRow->addWidget(chkStopAfter);
    limitRow->addWidget(txtAcqLimit);
    limitRow->addWidget(label(QStringLiteral("triggers")));
    auto *afterTrigger = new QGroupBox(QStringLiteral("After Trigger"));
    afterTrigger->setToolTip(QStringLiteral("After Trigger, before saving"));
    auto *afterTriggerRows = new QVBoxLayout(afterTrigger);
    afterTriggerRows->addLayout(delayRow);
    afterTriggerRows->addLayout(limitRow);

    const QString prefixTip = QStringLiteral("filename prefix");
    auto *screenGroup = fileGroup(QStringLiteral("Save screen image to graphics file"), chkScreen,
                                  txtScreenPath, prefixTip, txtScreenPrefix);
    static_cast<QGridLayout *>(screenGroup->layout())->addWidget(cbScreenOptions, 1, 2, 2, 1);

    auto *buttons = new QHBoxLayout;
    for (QPushButton *pushButton : {cbDefault, cbOK, cbCancel, cbHelp})
        buttons->addWidget(pushButton);

    auto *rows = new QVBoxLayout(this);
    rows->addWidget(chkUseTimestamps);
    rows->addWidget(afterTrigger);
    rows->addWidget(fileGroup(QStringLiteral("Save native binary WFM files"), chkWFM, txtWFMpath,
                              QStringLiteral("WFM filename prefix"), txtWFMprefix));
    rows->addWidget(fileGroup(QStringLiteral("Export waveforms to ASCII data"), chkASCII,
                              txtASCIIpath, prefixTip, txtASCIIprefix));
    rows->addWidget(screenGroup);
    rows->addWidget(chkRestoreRun);
    rows->addLayout(buttons);
}

void frmPrefs::arrangeTabOrder() {
    const QList<QWidget *> order = {
        hsDelay,          chkAsk,       chkStopAfter,   chkWFM,      txtWFMpath,    txtWFMprefix,
        chkASCII,         txtASCIIpath, txtASCIIprefix, chkScreen,   txtScreenPath, txtScreenPrefix,
        cbScreenOptions,  cbOK,         cbHelp,         txtAcqLimit, cbCancel,      chkRestoreRun,
        chkUseTimestamps, cbDefault};
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

void frmPrefs::Form_Activate() {
    chkWFM_Click();
    chkASCII_Click();
    chkScreen_Click();
    hsDelay_Change();

    m_checkTags.clear();
    for (const QCheckBox *box : std::as_const(m_snapshotChecks))
        m_checkTags << checkValue(box);
    m_delayTag = hsDelay->value();
    m_textTags.clear();
    for (const QLineEdit *box : std::as_const(m_snapshotTexts))
        m_textTags << box->text();
}

void frmPrefs::cbOK_Click() {
    update_publics();
    hide();
    emit returnToMain();
}

void frmPrefs::cbCancel_Click() {
    for (qsizetype i = 0; i < m_snapshotChecks.size(); ++i)
        setCheckValue(m_snapshotChecks[i], m_checkTags.value(i, checkValue(m_snapshotChecks[i])));
    hsDelay->setValue(m_delayTag);
    for (qsizetype i = 0; i < m_snapshotTexts.size(); ++i)
        m_snapshotTexts[i]->setText(m_textTags.value(i, m_snapshotTexts[i]->text()));
    cbOK_Click();
}

void frmPrefs::cbDefault_Click() {
    if (m_prompter.ask(QStringLiteral("Default all prefs?"), Prompter::Buttons::OkCancel) ==
        Prompter::Answer::Ok)
        emit restoreDefaultsRequested();
}

void frmPrefs::cbScreenOptions_Click() {
    hide();
    m_screenOptions.show();
}

void frmPrefs::chkWFM_Click() {
    const bool enabled = checkValue(chkWFM) == 1;
    txtWFMpath->setEnabled(enabled);
    txtWFMprefix->setEnabled(enabled);
}

void frmPrefs::chkASCII_Click() {
    const bool enabled = checkValue(chkASCII) == 1;
    txtASCIIpath->setEnabled(enabled);
    txtASCIIprefix->setEnabled(enabled);
}

void frmPrefs::chkScreen_Click() {
    const bool enabled = checkValue(chkScreen) == 1;
    cbScreenOptions->setEnabled(enabled);
    txtScreenPath->setEnabled(enabled);
    txtScreenPrefix->setEnabled(enabled);
}

void frmPrefs::chkStopAfter_Click() {
    txtAcqLimit->setEnabled(checkValue(chkStopAfter) != 0);
}

void frmPrefs::hsDelay_Change() {
    txtDelay->setText(FieldRules::delayDisplayText(hsDelay->value()));
}

bool frmPrefs::filterKeystroke(QLineEdit *box, KeystrokeRule rule, const QKeyEvent *event) {
    // These keys move the focus or press the dialog's default and cancel
    // buttons; they never reach the box as characters.
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Delete:
        return false;
    default:
        break;
    }
    // A paste key combination types a control character (Ctrl+V is code 22),
    // so the filters that refuse control characters refuse the paste.
    const QString typed =
        event->matches(QKeySequence::Paste) ? QString(QChar(0x16)) : event->text();
    if (typed.isEmpty())
        return false;
    QString kept;
    for (const QChar c : typed) {
        if (const QChar out = rule(c); !out.isNull())
            kept += out;
    }
    if (kept == typed)
        return false;
    if (!kept.isEmpty())
        box->insert(kept);
    return true;
}
