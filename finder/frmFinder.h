#pragma once

#include "InstrumentSurvey.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// The instrument finder. Lists every instrument the sources know, and on
// request those on the LAN, each with its identification or the error that
// asking for it met, supported scopes first and marked. An address typed in
// (or a row picked) can be tested, and Use puts it at the top of the
// instrument list and closes the dialog as accepted.
class frmFinder : public QDialog {
    Q_OBJECT

public:
    frmFinder(QList<std::shared_ptr<ResourceSource>> sources, QString listPath,
              QWidget *parent = nullptr);

    // The descriptor Use wrote; empty until then.
    QString chosen() const { return m_chosen; }

    QTreeWidget *lstInstruments;
    QLineEdit *txtAddress;
    QPushButton *cbTest;
    QPushButton *cbUse;
    QPushButton *cbSearch;
    QPushButton *cbCancel;
    QLabel *lblResult;

public slots:
    void cbTest_Click();
    void cbUse_Click();
    void cbSearch_Click();
    void lstInstruments_Click(QTreeWidgetItem *item);

private:
    void addIdentification(const Identification &result);
    void testFinished(const Identification &result);
    // The address field's descriptors; empty, with the reason shown, if none.
    QStringList candidates();
    // Asks the descriptors in turn off this thread; with thenUse, the first
    // that answers is used.
    void startTest(const QStringList &descriptors, bool thenUse);
    void use(const QString &descriptor);
    void showSearching(bool searching);

    InstrumentSurvey m_survey;
    QString m_listPath;
    QString m_chosen;
    bool m_useAfterTest = false;
};
