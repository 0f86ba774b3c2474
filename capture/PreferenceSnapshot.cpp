#include "PreferenceSnapshot.h"

PreferenceSnapshot::PreferenceSnapshot(const RunPreferences &live)
    : m_useTimestamps(live.chkUseTimestamps())
    , m_delay(live.hsDelay())
    , m_ask(live.chkAsk())
    , m_stopAfter(live.chkStopAfter())
    , m_acqLimit(live.acqLimit())
    , m_wfm(live.chkWFM())
    , m_ascii(live.chkASCII())
    , m_screen(live.chkScreen())
    , m_restoreRun(live.chkRestoreRun())
    , m_wfmFspec(live.WFMfspec())
    , m_asciiFspec(live.ASCIIfspec())
    , m_screenFspec(live.ScreenFspec())
    , m_fileType(live.FileType())
    , m_layout(live.Layout())
    , m_inkSaver(live.InkSaver())
    , m_fileTypeText(live.fileTypeText()) {}
