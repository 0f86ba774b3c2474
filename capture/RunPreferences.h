#pragma once

#include <QString>

// The preference set as the capture run reads it, at the moment of use.
// Check box values are 0 unchecked, 1 checked, 2 greyed (only from a store).
class RunPreferences {
public:
    virtual ~RunPreferences() = default;

    virtual int chkUseTimestamps() const = 0;
    virtual int hsDelay() const = 0;
    virtual int chkAsk() const = 0;
    virtual int chkStopAfter() const = 0;
    // The leading number of txtAcqLimit's text, 0 when it has none.
    virtual double acqLimit() const = 0;
    virtual int chkWFM() const = 0;
    virtual int chkASCII() const = 0;
    virtual int chkScreen() const = 0;
    virtual int chkRestoreRun() const = 0;

    virtual QString WFMfspec() const = 0;
    virtual QString ASCIIfspec() const = 0;
    virtual QString ScreenFspec() const = 0;
    virtual QString FileType() const = 0;
    virtual QString Layout() const = 0;
    virtual QString InkSaver() const = 0;
    // Text of the selected entry of cboFileType ("BMP", "PNG" or "TIFF").
    virtual QString fileTypeText() const = 0;
};
