#include "DialogRunPreferences.h"

#include "CheckValue.h"
#include "FieldRules.h"
#include "frmPrefs.h"
#include "frmScreenOptions.h"

#include <QComboBox>
#include <QLineEdit>
#include <QScrollBar>

DialogRunPreferences::DialogRunPreferences(const frmPrefs &prefs,
                                           const frmScreenOptions &screenOptions)
    : m_prefs(prefs)
    , m_screenOptions(screenOptions) {}

int DialogRunPreferences::chkUseTimestamps() const {
    return checkValue(m_prefs.chkUseTimestamps);
}

int DialogRunPreferences::hsDelay() const {
    return m_prefs.hsDelay->value();
}

int DialogRunPreferences::chkAsk() const {
    return checkValue(m_prefs.chkAsk);
}

int DialogRunPreferences::chkStopAfter() const {
    // A greyed box leaves the limit box enabled in the dialog, showing a limit;
    // the run keeps to it rather than going on until the scope's storage fills.
    return checkValue(m_prefs.chkStopAfter) == 0 ? 0 : 1;
}

double DialogRunPreferences::acqLimit() const {
    return FieldRules::numericValue(m_prefs.txtAcqLimit->text());
}

int DialogRunPreferences::chkWFM() const {
    return checkValue(m_prefs.chkWFM);
}

int DialogRunPreferences::chkASCII() const {
    return checkValue(m_prefs.chkASCII);
}

int DialogRunPreferences::chkScreen() const {
    return checkValue(m_prefs.chkScreen);
}

int DialogRunPreferences::chkRestoreRun() const {
    return checkValue(m_prefs.chkRestoreRun);
}

QString DialogRunPreferences::WFMfspec() const {
    return m_prefs.WFMfspec;
}

QString DialogRunPreferences::ASCIIfspec() const {
    return m_prefs.ASCIIfspec;
}

QString DialogRunPreferences::ScreenFspec() const {
    return m_prefs.ScreenFspec;
}

QString DialogRunPreferences::FileType() const {
    return m_screenOptions.FileType;
}

QString DialogRunPreferences::Layout() const {
    return m_screenOptions.Layout;
}

QString DialogRunPreferences::InkSaver() const {
    return m_screenOptions.InkSaver;
}

QString DialogRunPreferences::fileTypeText() const {
    return m_screenOptions.cboFileType->currentText();
}
