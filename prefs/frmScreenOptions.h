#pragma once

#include <QDialog>
#include <QString>

class QComboBox;
class QPushButton;
class QRadioButton;

// The screen-capture options: image type, ink saver and layout, turned into
// the three commands that precede every screen save. Never modal; OK and
// Cancel hide it and hand back to the preferences dialog.
class frmScreenOptions : public QDialog {
    Q_OBJECT

public:
    explicit frmScreenOptions(QWidget *parent = nullptr);

    void update_publics();

    QComboBox *cboFileType;
    QRadioButton *optInksaverOn;
    QRadioButton *optInksaverOff;
    QRadioButton *optLandscape;
    QRadioButton *optPortrait;
    QPushButton *cbOK;
    QPushButton *cbCancel;
    QPushButton *cbHelp;

    QString FileType;
    QString Layout;
    QString InkSaver;

signals:
    void helpRequested();
    void returnToPrefs();

public slots:
    // Esc and the window frame's close button come here.
    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void Form_Load();
    void Form_Activate();
    void cbOK_Click();
    void cbCancel_Click();

    int m_fileTypeTag = -1;
    bool m_inksaverOnTag = false;
    bool m_inksaverOffTag = false;
    bool m_landscapeTag = false;
    bool m_portraitTag = false;
};
