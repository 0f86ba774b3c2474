#pragma once

#include <QDialog>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

class Prompter;
class QCheckBox;
class QLineEdit;
class QPushButton;
class QScrollBar;
class frmScreenOptions;

// The preferences dialog. Its controls hold fifteen of the twenty preferences
// for the whole life of the program, also while it is hidden; the capture run
// reads them directly. Never modal: it is shown in place of the main window
// and hands back with returnToMain.
class frmPrefs : public QDialog {
    Q_OBJECT

public:
    frmPrefs(frmScreenOptions &screenOptions, Prompter &prompter, QWidget *parent = nullptr);

    void update_publics();

    QCheckBox *chkUseTimestamps;
    QScrollBar *hsDelay;
    QLineEdit *txtDelay;
    QCheckBox *chkAsk;
    QCheckBox *chkStopAfter;
    QLineEdit *txtAcqLimit;
    QCheckBox *chkWFM;
    QLineEdit *txtWFMpath;
    QLineEdit *txtWFMprefix;
    QCheckBox *chkASCII;
    QLineEdit *txtASCIIpath;
    QLineEdit *txtASCIIprefix;
    QCheckBox *chkScreen;
    QLineEdit *txtScreenPath;
    QLineEdit *txtScreenPrefix;
    QPushButton *cbScreenOptions;
    QCheckBox *chkRestoreRun;
    QPushButton *cbOK;
    QPushButton *cbCancel;
    QPushButton *cbDefault;
    QPushButton *cbHelp;

    QString WFMfspec;
    QString ASCIIfspec;
    QString ScreenFspec;

signals:
    void helpRequested();
    void restoreDefaultsRequested();
    void returnToMain();

public slots:
    // Esc and the window frame's close button come here.
    void reject() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    using KeystrokeRule = QChar (*)(QChar);
    using FixUpRule = QString (*)(const QString &);

    void buildLayout();
    void arrangeTabOrder();
    void Form_Activate();
    void cbOK_Click();
    void cbCancel_Click();
    void cbDefault_Click();
    void cbScreenOptions_Click();
    void chkWFM_Click();
    void chkASCII_Click();
    void chkScreen_Click();
    void chkStopAfter_Click();
    void hsDelay_Change();
    bool filterKeystroke(QLineEdit *box, KeystrokeRule rule, const QKeyEvent *event);

    frmScreenOptions &m_screenOptions;
    Prompter &m_prompter;
    QHash<QObject *, KeystrokeRule> m_keystrokeRules;
    QHash<QObject *, FixUpRule> m_fixUpRules;
    QList<QCheckBox *> m_snapshotChecks;
    QList<QLineEdit *> m_snapshotTexts;
    QList<int> m_checkTags;
    int m_delayTag = 0;
    QStringList m_textTags;
};
