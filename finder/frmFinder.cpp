#include "frmFinder.h"

#include "AddressDescriptors.h"
#include "InstrumentListEdit.h"

#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

namespace {

enum Column { InstrumentColumn, AnswerColumn };
constexpr int SupportedRole = Qt::UserRole + 1;

QPushButton *button(const QString &name, const QString &caption, QWidget *parent) {
    auto *made = new QPushButton(caption, parent);
    made->setObjectName(name);
    made->setAutoDefault(false);
    return made;
}

} // namespace

frmFinder::frmFinder(QList<std::shared_ptr<ResourceSource>> sources, QString listPath,
                     QWidget *parent)
    : QDialog(parent)
    , m_survey(std::move(sources))
    , m_listPath(std::move(listPath)) {
    setObjectName(QStringLiteral("frmFinder"));
    setWindowTitle(QStringLiteral("Mardock: Choose the scope"));
    setWindowIcon(QIcon(QStringLiteral(":/mardock.png")));

    lstInstruments = new QTreeWidget(this);
    lstInstruments->setObjectName(QStringLiteral("lstInstruments"));
    lstInstruments->setHeaderLabels(
        {QStringLiteral("Instrument"), QStringLiteral("Identification, or why there is none")});
    lstInstruments->setRootIsDecorated(false);
    lstInstruments->header()->setSectionResizeMode(InstrumentColumn, QHeaderView::ResizeToContents);
    txtAddress = new QLineEdit(this);
    txtAddress->setObjectName(QStringLiteral("txtAddress"));
    txtAddress->setPlaceholderText(
        QStringLiteral("Host name or IPv4 address, with :port for a raw socket"));
    cbTest = button(QStringLiteral("cbTest"), QStringLiteral("Test"), this);
    cbUse = button(QStringLiteral("cbUse"), QStringLiteral("Use"), this);
    cbSearch = button(QStringLiteral("cbSearch"), QStringLiteral("Search the network"), this);
    cbCancel = button(QStringLiteral("cbCancel"), QStringLiteral("Cancel"), this);
    lblResult = new QLabel(this);
    lblResult->setObjectName(QStringLiteral("lblResult"));
    lblResult->setWordWrap(true);
    lblResult->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *layout = new QGridLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Instruments found (supported scopes first, "
                                                "marked ★):"),
                                 this),
                      0, 0, 1, 4);
    layout->addWidget(lstInstruments, 1, 0, 1, 4);
    layout->addWidget(cbSearch, 2, 0);
    layout->addWidget(new QLabel(QStringLiteral("Address:"), this), 3, 0);
    layout->addWidget(txtAddress, 3, 1, 1, 2);
    layout->addWidget(cbTest, 3, 3);
    layout->addWidget(lblResult, 4, 0, 1, 4);
    layout->addWidget(cbUse, 5, 2);
    layout->addWidget(cbCancel, 5, 3);
    resize(720, 420);
    // Most often the user has an address to type, and Enter uses it.
    txtAddress->setFocus();
    cbUse->setDefault(true);

    connect(cbTest, &QPushButton::clicked, this, &frmFinder::cbTest_Click);
    connect(cbUse, &QPushButton::clicked, this, &frmFinder::cbUse_Click);
    connect(cbSearch, &QPushButton::clicked, this, &frmFinder::cbSearch_Click);
    connect(cbCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(lstInstruments, &QTreeWidget::itemClicked, this, &frmFinder::lstInstruments_Click);
    connect(lstInstruments, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem *item) {
        lstInstruments_Click(item);
        cbUse_Click();
    });
    connect(this, &QDialog::finished, &m_survey, &InstrumentSurvey::cancelSearch);
    connect(&m_survey, &InstrumentSurvey::identified, this, &frmFinder::addIdentification);
    connect(&m_survey, &InstrumentSurvey::tested, this, &frmFinder::testFinished);
    connect(&m_survey, &InstrumentSurvey::searchFinished, this, [this] { showSearching(false); });
    m_survey.surveySources();
}

void frmFinder::addIdentification(const Identification &result) {
    auto *item = new QTreeWidgetItem;
    item->setData(InstrumentColumn, Qt::UserRole, result.descriptor);
    item->setData(InstrumentColumn, SupportedRole, result.supported());
    item->setText(InstrumentColumn,
                  (result.supported() ? QStringLiteral("★ ") : QString()) + result.descriptor);
    item->setText(AnswerColumn, result.answered() ? result.reply : result.error);
    item->setToolTip(AnswerColumn, item->text(AnswerColumn));
    if (result.supported()) {
        QFont bold = item->font(InstrumentColumn);
        bold.setBold(true);
        item->setFont(InstrumentColumn, bold);
        item->setFont(AnswerColumn, bold);
    }
    // Supported scopes go before every other instrument, each kind in the
    // order its answers came.
    int row = lstInstruments->topLevelItemCount();
    if (result.supported()) {
        row = 0;
        while (row < lstInstruments->topLevelItemCount() &&
               lstInstruments->topLevelItem(row)->data(InstrumentColumn, SupportedRole).toBool())
            ++row;
    }
    lstInstruments->insertTopLevelItem(row, item);
}

void frmFinder::lstInstruments_Click(QTreeWidgetItem *item) {
    const QString descriptor = item->data(InstrumentColumn, Qt::UserRole).toString();
    if (!descriptor.isEmpty())
        txtAddress->setText(descriptor);
}

QStringList frmFinder::candidates() {
    QString why;
    const QStringList descriptors = addressDescriptors(txtAddress->text(), &why);
    if (descriptors.isEmpty())
        lblResult->setText(why);
    return descriptors;
}

void frmFinder::cbTest_Click() {
    const QStringList descriptors = candidates();
    if (descriptors.isEmpty())
        return;
    startTest(descriptors, false);
}

// With one descriptor there is nothing to choose between: an instrument
// switched off now is written all the same. Of several, the first that
// answers is the one meant.
void frmFinder::cbUse_Click() {
    const QStringList descriptors = candidates();
    if (descriptors.size() == 1)
        use(descriptors.front());
    else if (descriptors.size() > 1)
        startTest(descriptors, true);
}

void frmFinder::startTest(const QStringList &descriptors, bool thenUse) {
    m_useAfterTest = thenUse;
    cbTest->setEnabled(false);
    cbUse->setEnabled(false);
    lblResult->setText(QStringLiteral("Asking %1 …").arg(descriptors.join(QStringLiteral(", "))));
    m_survey.test(descriptors);
}

void frmFinder::testFinished(const Identification &result) {
    cbTest->setEnabled(true);
    cbUse->setEnabled(true);
    if (!result.answered()) {
        lblResult->setText(QStringLiteral("No answer: ") + result.error);
        return;
    }
    txtAddress->setText(result.descriptor);
    lblResult->setText(result.descriptor + QStringLiteral(" answers: ") + result.reply +
                       (result.supported() ? QStringLiteral("\nA scope Mardock drives.")
                                           : QStringLiteral("\nNot a scope Mardock drives.")));
    if (m_useAfterTest)
        use(result.descriptor);
}

void frmFinder::use(const QString &descriptor) {
    QString why;
    if (!putFirstInList(m_listPath, descriptor, &why)) {
        lblResult->setText(why);
        return;
    }
    m_chosen = descriptor;
    accept();
}

void frmFinder::cbSearch_Click() {
    if (m_survey.searching()) {
        m_survey.cancelSearch();
        return;
    }
    showSearching(true);
    m_survey.searchNetwork();
}

void frmFinder::showSearching(bool searching) {
    cbSearch->setText(searching ? QStringLiteral("Stop the search")
                                : QStringLiteral("Search the network"));
}
