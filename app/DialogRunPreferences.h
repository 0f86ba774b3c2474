#pragma once

#include "RunPreferences.h"

class frmPrefs;
class frmScreenOptions;

// The preference set as the capture run reads it, straight from the two
// dialogs' controls and public texts at the moment of use.
class DialogRunPreferences : public RunPreferences {
public:
    DialogRunPreferences(const frmPrefs &prefs, const frmScreenOptions &screenOptions);

    int chkUseTimestamps() const override;
    int hsDelay() const override;
    int chkAsk() const override;
    int chkStopAfter() const override;
    double acqLimit() const override;
    int chkWFM() const override;
    int chkASCII() const override;
    int chkScreen() const override;
    int chkRestoreRun() const override;

    QString WFMfspec() const override;
    QString ASCIIfspec() const override;
    QString ScreenFspec() const override;
    QString FileType() const override;
    QString Layout() const override;
    QString InkSaver() const override;
    QString fileTypeText() const override;

private:
    const frmPrefs &m_prefs;
    const frmScreenOptions &m_screenOptions;
};
