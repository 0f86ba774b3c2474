#include "frmScreenOptions.h"

#include "OptionValue.h"
#include "WindowFont.h"

#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>

namespace {

// The dialog's layout is fixed, designed in twips at 15 to the pixel.
QRect twips(int left, int top, int width, int height) {
    return {left / 15, top / 15, width / 15, height / 15};
}

template <typename Widget>
Widget *place(QWidget *parent, const char *name, const QString &toolTip, const QRect &geometry) {
    auto *widget = new Widget(parent);
    widget->setObjectName(QLatin1String(name));
    widget->setToolTip(toolTip);
    widget->setGeometry(geometry);
    return widget;
}

QRadioButton *placeOption(QGroupBox *frame, const char *name, const QString &caption,
                          const QString &toolTip, const QRect &geometry) {
    auto *option = place<QRadioButton>(frame, name, toolTip, geometry);
    option->setText(caption);
    return option;
}

QPushButton *placeButton(QWidget *parent, const char *name, const QString &caption,
                         const QString &toolTip, const QRect &geometry) {
    auto *button = place<QPushButton>(parent, name, toolTip, geometry);
    button->setText(caption);
    return button;
}

QGroupBox *placeFrame(QWidget *parent, const QString &title, const QString &toolTip,
                      const QRect &geometry) {
    auto *frame = new QGroupBox(title, parent);
    frame->setToolTip(toolTip);
    frame->setGeometry(geometry);
    return frame;
}

} // namespace

frmScreenOptions::frmScreenOptions(QWidget *parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("frmScreenOptions"));
    setWindowTitle(QStringLiteral("Mardock - Screen Capture Options"));
    setFont(windowFont(font()));
    setFixedSize(twips(0, 0, 5025, 2280).size());

    auto *fileTypeFrame =
        placeFrame(this, QStringLiteral("File Type"), QStringLiteral("Select file type"),
                   twips(240, 240, 1695, 1215));
    cboFileType = place<QComboBox>(fileTypeFrame, "cboFileType", QStringLiteral("Select file type"),
                                   twips(240, 480, 1215, 315));

    auto *layoutFrame =
        placeFrame(this, QStringLiteral("Layout"), QStringLiteral("Select screen layout"),
                   twips(2040, 240, 1455, 1215));
    optLandscape = placeOption(layoutFrame, "optLandscape", QStringLiteral("&Landscape"),
                               QStringLiteral("Print horizontally"), twips(120, 360, 1215, 255));
    optPortrait = placeOption(layoutFrame, "optPortrait", QStringLiteral("&Portrait"),
                              QStringLiteral("Print vertically"), twips(120, 720, 855, 255));

    auto *inksaverFrame =
        placeFrame(this, QStringLiteral("Inksaver"), QStringLiteral("Select color scheme"),
                   twips(3600, 240, 975, 1215));
    optInksaverOn = placeOption(inksaverFrame, "optInksaverOn", QStringLiteral("&On"),
                                QStringLiteral("White background"), twips(240, 360, 615, 255));
    optInksaverOff =
        placeOption(inksaverFrame, "optInksaverOff", QStringLiteral("O&ff"),
                    QStringLiteral("Colors as shown on screen"), twips(240, 720, 615, 255));

    cbOK = placeButton(this, "cbOK", QStringLiteral("OK"),
                       QStringLiteral("Save changes and return"), twips(240, 1680, 1215, 375));
    cbCancel = placeButton(this, "cbCancel", QStringLiteral("Cancel"),
                           QStringLiteral("Undo changes and return"), twips(1800, 1680, 1215, 375));
    cbHelp = placeButton(this, "cbHelp", QStringLiteral("Help"),
                         QStringLiteral("View readme.mht file"), twips(3360, 1680, 1215, 375));
    cbOK->setDefault(true);

    QWidget::setTabOrder(cbOK, cbHelp);
    QWidget::setTabOrder(cbHelp, cboFileType);
    QWidget::setTabOrder(cboFileType, optInksaverOn);
    QWidget::setTabOrder(optInksaverOn, optInksaverOff);
    QWidget::setTabOrder(optInksaverOff, optLandscape);
    QWidget::setTabOrder(optLandscape, optPortrait);
    QWidget::setTabOrder(optPortrait, cbCancel);

    optLandscape->setChecked(true);
    optInksaverOn->setChecked(true);

    connect(cbOK, &QPushButton::clicked, this, &frmScreenOptions::cbOK_Click);
    connect(cbCancel, &QPushButton::clicked, this, &frmScreenOptions::cbCancel_Click);
    connect(cbHelp, &QPushButton::clicked, this, &frmScreenOptions::helpRequested);

    Form_Load();
}

void frmScreenOptions::update_publics() {
    FileType = QStringLiteral("SAV:IMAG:FILEF ") + cboFileType->currentText();
    Layout = optLandscape->isChecked() ? QStringLiteral("SAV:IMAG:LAY LAN")
                                       : QStringLiteral("SAV:IMAG:LAY PORTR");
    InkSaver = optInksaverOn->isChecked() ? QStringLiteral("SAV:IMAG:INKS ON")
                                          : QStringLiteral("SAV:IMAG:INKS OFF");
}

void frmScreenOptions::reject() {
    cbCancel_Click();
}

void frmScreenOptions::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    // A window restored from the task bar is not shown anew; the snapshot of
    // this showing stays.
    if (!event->spontaneous())
        Form_Activate();
}

void frmScreenOptions::Form_Load() {
    cboFileType->clear();
    cboFileType->addItems({QStringLiteral("BMP"), QStringLiteral("PNG"), QStringLiteral("TIFF")});
    cboFileType->setCurrentIndex(-1);
}

void frmScreenOptions::Form_Activate() {
    m_fileTypeTag = cboFileType->currentIndex();
    m_inksaverOnTag = optInksaverOn->isChecked();
    m_inksaverOffTag = optInksaverOff->isChecked();
    m_landscapeTag = optLandscape->isChecked();
    m_portraitTag = optPortrait->isChecked();
}

void frmScreenOptions::cbOK_Click() {
    update_publics();
    hide();
    emit returnToPrefs();
}

void frmScreenOptions::cbCancel_Click() {
    cboFileType->setCurrentIndex(m_fileTypeTag);
    setOptionValue(optInksaverOn, m_inksaverOnTag);
    setOptionValue(optInksaverOff, m_inksaverOffTag);
    setOptionValue(optLandscape, m_landscapeTag);
    setOptionValue(optPortrait, m_portraitTag);
    cbOK_Click();
}
