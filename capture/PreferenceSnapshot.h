#pragma once

#include "RunPreferences.h"

// The preference set as it stood when a run was started (or Close pressed):
// the run thread reads this copy while the user may already edit the dialogs
// again for the next run.
class PreferenceSnapshot : public RunPreferences {
public:
    explicit PreferenceSnapshot(const RunPreferences &live);

    int chkUseTimestamps() const override { return m_useTimestamps; }
    int hsDelay() const override { return m_delay; }
    int chkAsk() const override { return m_ask; }
    int chkStopAfter() const override { return m_stopAfter; }
    double acqLimit() const override { return m_acqLimit; }
    int chkWFM() const override { return m_wfm; }
    int chkASCII() const override { return m_ascii; }
    int chkScreen() const override { return m_screen; }
    int chkRestoreRun() const override { return m_restoreRun; }
    QString WFMfspec() const override { return m_wfmFspec; }
    QString ASCIIfspec() const override { return m_asciiFspec; }
    QString ScreenFspec() const override { return m_screenFspec; }
    QString FileType() const override { return m_fileType; }
    QString Layout() const override { return m_layout; }
    QString InkSaver() const override { return m_inkSaver; }
    QString fileTypeText() const override { return m_fileTypeText; }

private:
    int m_useTimestamps, m_delay, m_ask, m_stopAfter;
    double m_acqLimit;
    int m_wfm, m_ascii, m_screen, m_restoreRun;
    QString m_wfmFspec, m_asciiFspec, m_screenFspec, m_fileType, m_layout, m_inkSaver,
        m_fileTypeText;
};
